// NotifyRecord, the record form of a notification, is one of the classes hosts
// build: it is defined in the public header.
#pragma once

#include "par1/transport.h"
