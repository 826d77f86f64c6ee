// Byte buffers for the NPA tests, written as hex text: "a5 00 02 00 00".
#pragma once

#include "protocol/Data.h"
#include "sim/NpaFrames.h"

#include <cstdint>
#include <string>
#include <vector>

namespace npatest {

using sim::Bytes;

inline std::vector<uint8_t> hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    std::string digits;
    for (char c : text) {
        if (c == ' ') {
            continue;
        }
        digits += c;
        if (digits.size() == 2) {
            bytes.push_back(static_cast<uint8_t>(std::stoul(digits, nullptr, 16)));
            digits.clear();
        }
    }
    return bytes;
}

inline Data buffer(const std::vector<uint8_t>& bytes) {
    return Data(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

inline Data buffer(const std::string& hexText) {
    return buffer(hex(hexText));
}

inline std::vector<uint8_t> bytesOf(Data& d) {
    return std::vector<uint8_t>(d.data(), d.data() + d.size());
}

inline std::string dump(Data& d) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint32_t i = 0; i < d.size(); ++i) {
        if (i != 0) {
            text += ' ';
        }
        text += digits[d.data()[i] >> 4];
        text += digits[d.data()[i] & 15];
    }
    return text;
}

// A whole packet: header and payload.
inline std::vector<uint8_t> packet(uint8_t channel, uint8_t flags,
                                   const std::vector<uint8_t>& payload) {
    uint32_t length = static_cast<uint32_t>(payload.size()) + 2;
    std::vector<uint8_t> bytes{0xA5, static_cast<uint8_t>(length >> 8),
                               static_cast<uint8_t>(length & 0xFF), flags, channel};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

} // namespace npatest
