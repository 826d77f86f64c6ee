// Subject, which keeps observers and delivers notifications to them, is one of
// the classes hosts call through: it is defined in the public header.
#pragma once

#include "par1/transport.h"
