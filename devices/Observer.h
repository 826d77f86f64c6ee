// Observer, which receives notifications and remembers its subjects, is one
// of the classes hosts call through: it is defined in the public header.
#pragma once

#include "par1/transport.h"
