// RefCounted is one of the classes hosts call through: it is defined in the
// public header, so the module and its hosts share one definition.
#pragma once

#include "par1/transport.h"
