// What printer is on a port: its IEEE 1284 identification, read through the
// module's port seam the way discovery reads it, so that par1 --virtual asks
// the virtual printer and par1 without it asks the system's port.
#pragma once

#include <string>

// What a port ("LPT1:" to "LPT9:") answers: whether it opens at all, the
// identification text of its printer up to the first zero byte, and why
// there is none: queryError 0 with an empty text, or ERROR_INVALID_FUNCTION
// (a driver without the query), is a printer that gives none; another error
// (ERROR_NOT_READY, ERROR_DEVICE_NOT_CONNECTED) is no printer.
struct PortAnswer {
    bool opens = false;
    std::string deviceId;
    unsigned long queryError = 0;
};

PortAnswer askPort(const std::string& portName);

// The identification alone; empty when the port cannot be opened or gives
// none.
std::string readDeviceId(const std::string& portName);
