// Names for named kernel objects that no other test run shares.
#pragma once

#include "platform/win32.h"

#include <string>

inline std::string uniqueObjectName(const std::string& what) {
    return "Par1SharedTests_" + std::to_string(GetCurrentProcessId()) + "_" + what;
}
