// Builds log lines and messages: numbers as text, "true"/"false", and hex
// dumps of byte buffers. Every append returns the builder so appends chain.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

class TextBuilder {
public:
    TextBuilder() = default;
    explicit TextBuilder(const std::string& text);
    // A null pointer gives empty text.
    explicit TextBuilder(const char* text);
    // The number in the given radix (2 to 36), lower-case digits. A negative
    // value has a minus sign in radix 10 and shows its 32-bit pattern in any
    // other radix. Another radix throws Win32Exception (87).
    TextBuilder(int32_t value, int radix);
    TextBuilder(uint32_t value, int radix);
    // Two lower-case hex digits per byte, high nibble first, each followed by
    // a blank when spaced. A null pointer or a length below 1 gives empty text.
    TextBuilder(const void* bytes, int32_t length, bool spaced);

    TextBuilder& append(const std::string& text);
    // A null pointer appends nothing.
    TextBuilder& append(const char* text);
    // Only a real bool reaches this: a number or a pointer must not turn into
    // "true" silently.
    template <class T, std::enable_if_t<std::is_same_v<T, bool>, int> = 0>
    TextBuilder& append(T value) {
        return appendBool(value);
    }
    // In decimal, without leading zeros.
    TextBuilder& append(uint32_t value);

    const char* c_str() const { return text_.c_str(); }
    std::string str() const { return text_; }

private:
    TextBuilder& appendBool(bool value);

    std::string text_;
};
