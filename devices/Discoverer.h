// Discoverer, the subject through which a host finds printers, is one of the
// classes hosts call through: it is defined in the public header.
#pragma once

#include "par1/transport.h"
