// Layer, the base of every element of a connection's stack, is one of the
// classes hosts call through: it is defined in the public header, so the
// module's layers and a host's own top layer share one table of operations.
#pragma once

#include "par1/transport.h"
