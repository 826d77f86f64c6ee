// ConnectionManager, which hands out connections, is one of the classes hosts
// call through: it is defined in the public header. The base answers a null
// layer of its own to every doGet and does nothing on doRelease.
#pragma once

#include "par1/transport.h"
