#include "shared/OsVersion.h"

#include "shared/Win32Exception.h"

#include <cstring>

namespace {

// Process-wide; filled by the one OsVersion instance.
OSVERSIONINFOEXA versionRecord;

bool isWin2000OrLater(const OSVERSIONINFOEXA& record) {
    return record.dwPlatformId == VER_PLATFORM_WIN32_NT && record.dwMajorVersion >= 5;
}

} // namespace

OsVersion::OsVersion() {
    std::memset(&versionRecord, 0, sizeof versionRecord);
    versionRecord.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&versionRecord))) {
        DWORD error = GetLastError();
        throw Win32Exception("OsVersion::OsVersion(): GetVersionEx failed", error, "OsVersion",
                             195);
    }
    if (::isWin2000OrLater(versionRecord)) {
        versionRecord.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
        if (!GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&versionRecord))) {
            DWORD error = GetLastError();
            throw Win32Exception("OsVersion::OsVersion(): GetVersionEx failed with OSVERSIONINFOEX",
                                 error, "OsVersion", 205);
        }
    }
}

bool OsVersion::isWinNT() {
    return record().dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool OsVersion::isWin2000OrLater() {
    return ::isWin2000OrLater(record());
}

DWORD OsVersion::getPlatformId() {
    return record().dwPlatformId;
}

const OSVERSIONINFOEXA& OsVersion::record() {
    // Made on first use as well as at load, so that code that runs while the
    // library loads, before this unit is initialised, sees the real version.
    static const OsVersion instance;
    return versionRecord;
}

namespace {

// The version is read while the library loads, not at the first question.
[[maybe_unused]] const DWORD platformIdAtLoad = OsVersion::getPlatformId();

} // namespace
