#include "shared/Win32Exception.h"

#include "platform/win32.h"

#include <algorithm>
#include <utility>

Win32Exception::Win32Exception(std::string message, uint32_t errorCode, std::string fileName,
                               uint32_t lineNumber)
    : Exception(std::move(message), errorCode, std::move(fileName), lineNumber) {}

Win32Exception::~Win32Exception() = default;

std::string Win32Exception::getErrorText() const {
    uint32_t code = getErrorCode();
    if (code == 0) {
        return std::string();
    }
    return "Win32(" + std::to_string(static_cast<int32_t>(code)) + "): " + getSystemMessage(code);
}

std::string Win32Exception::getSystemMessage(uint32_t errorCode) {
    char buffer[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, errorCode, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                  buffer, sizeof buffer, nullptr);
    if (length == 0) {
        // Read at once: nothing may run between the failed lookup and this.
        DWORD lookupError = GetLastError();
        return "Error getting message:" + std::to_string(lookupError);
    }
    std::string text(buffer, std::min<size_t>(length, sizeof buffer));
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    return text;
}
