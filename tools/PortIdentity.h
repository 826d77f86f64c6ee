// What printer is on a port: its IEEE 1284 identification, read through the
// module's port seam the way discovery reads it, so that par1 --virtual asks
// the virtual printer and par1 without it asks the system's port.
#pragma once

#include <string>

// The identification text of the printer on the port ("LPT1:" to "LPT9:"), up
// to its first zero byte; empty when the port cannot be opened or gives none.
std::string readDeviceId(const std::string& portName);
