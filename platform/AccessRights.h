// Which of a handle's desired access rights allow reading and writing, as
// Windows grants them for files and ports. One rule for the Linux platform's
// files and ports and for the virtual printer's ports.
#pragma once

#include "platform/win32.h"

namespace platform {

inline bool grantsRead(DWORD access) {
    return (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
}

inline bool grantsWrite(DWORD access) {
    return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
}

} // namespace platform
