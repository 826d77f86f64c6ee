// The operating system's version, read once when the library is loaded.
#pragma once

#include "platform/win32.h"

class OsVersion {
public:
    // Reads the version record; the library holds one instance, made at load.
    OsVersion();

    // Platform id 2 (VER_PLATFORM_WIN32_NT).
    static bool isWinNT();
    // NT with major version 5 or more.
    static bool isWin2000OrLater();
    static DWORD getPlatformId();

private:
    static const OSVERSIONINFOEXA& record();
};
