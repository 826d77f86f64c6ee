#include "HostFailure.h"

#include "par1/transport.h"
#include "platform/win32.h"

#include <algorithm>
#include <cctype>

std::string systemText(uint32_t code) {
    char buffer[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "unknown error" : text;
}

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The module's text of a code (the public header's table), else the system's.
std::string codeText(uint32_t code) {
    const TransportErrorText* entry = findTransportError(code);
    return entry != nullptr ? entry->text : systemText(code);
}

[[noreturn]] void fail(int exitCode, const std::string& what, uint32_t code,
                       const std::string& hint) {
    throw Failure{exitCode, what, code, hint};
}
