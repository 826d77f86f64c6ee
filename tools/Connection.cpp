#include "Connection.h"

#include <cctype>
#include <cstdio>

std::string printable(const uint8_t* bytes, size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        unsigned char c = bytes[i];
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else if (c == '\n') {
            text += "\\n";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        }
    }
    return text;
}

std::string normalisePort(const std::string& text) {
    std::string port = text;
    std::transform(port.begin(), port.end(), port.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (!port.empty() && port.back() != ':') {
        port += ':';
    }
    if (port.size() != 5 || port.compare(0, 3, "LPT") != 0 || port[3] < '1' || port[3] > '9') {
        fail(ExitUsage, "unknown port \"" + text + "\"", ERROR_INVALID_PARAMETER,
             "ports are LPT1: to LPT9:");
    }
    return port;
}
