#include "shared/TextBuilder.h"

#include "platform/win32.h"
#include "shared/Win32Exception.h"

#include <algorithm>

namespace {

const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";

std::string unsignedText(uint32_t value, int radix) {
    if (radix < 2 || radix > 36) {
        throw Win32Exception("TextBuilder::TextBuilder() invalid radix", ERROR_INVALID_PARAMETER,
                             "TextBuilder", __LINE__);
    }
    std::string text;
    do {
        text.push_back(digits[value % static_cast<uint32_t>(radix)]);
        value /= static_cast<uint32_t>(radix);
    } while (value != 0);
    std::reverse(text.begin(), text.end());
    return text;
}

} // namespace

TextBuilder::TextBuilder(const std::string& text) : text_(text) {}

TextBuilder::TextBuilder(const char* text) {
    if (text != nullptr) {
        text_ = text;
    }
}

TextBuilder::TextBuilder(int32_t value, int radix) {
    if (value < 0 && radix == 10) {
        // Negate in unsigned arithmetic, so the lowest value does not overflow.
        text_ = "-" + unsignedText(0u - static_cast<uint32_t>(value), radix);
    } else {
        text_ = unsignedText(static_cast<uint32_t>(value), radix);
    }
}

TextBuilder::TextBuilder(uint32_t value, int radix) : text_(unsignedText(value, radix)) {}

TextBuilder::TextBuilder(const void* bytes, int32_t length, bool spaced) {
    if (bytes == nullptr || length <= 0) {
        return;
    }
    const auto* data = static_cast<const unsigned char*>(bytes);
    text_.reserve(static_cast<size_t>(length) * (spaced ? 3 : 2));
    for (int32_t i = 0; i < length; ++i) {
        text_.push_back(digits[data[i] >> 4]);
        text_.push_back(digits[data[i] & 0x0F]);
        if (spaced) {
            text_.push_back(' ');
        }
    }
}

TextBuilder& TextBuilder::append(const std::string& text) {
    text_ += text;
    return *this;
}

TextBuilder& TextBuilder::append(const char* text) {
    if (text != nullptr) {
        text_ += text;
    }
    return *this;
}

TextBuilder& TextBuilder::append(uint32_t value) {
    text_ += unsignedText(value, 10);
    return *this;
}

TextBuilder& TextBuilder::appendBool(bool value) {
    text_ += value ? "true" : "false";
    return *this;
}
