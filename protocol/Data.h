// Data, the buffer that travels through a connection's layers, is one of the
// classes hosts build: it is defined in the public header, so the module and
// its hosts share one definition.
#pragma once

#include "par1/transport.h"
