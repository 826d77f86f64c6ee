// The process environment, which the platform's own settings come from.
#include "platform/win32.h"

#include <cstdlib>
#include <cstring>

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    const char* value = name != nullptr ? std::getenv(name) : nullptr;
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const size_t length = std::strlen(value);
    if (buffer == nullptr || size <= length) {
        return DWORD(length + 1); // the size needed, with the terminating zero
    }
    std::memcpy(buffer, value, length + 1);
    return DWORD(length);
}

BOOL SetEnvironmentVariableA(LPCSTR name, LPCSTR value) {
    // A name may begin with '=' on Windows, but may not hold one elsewhere.
    if (name == nullptr || *name == '\0' || std::strchr(name + 1, '=') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (value == nullptr) {
        if (std::getenv(name) == nullptr) {
            SetLastError(ERROR_ENVVAR_NOT_FOUND);
            return FALSE;
        }
        unsetenv(name);
        return TRUE;
    }
    if (setenv(name, value, 1) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}
