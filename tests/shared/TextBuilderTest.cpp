#include "shared/TextBuilder.h"
#include "shared/Win32Exception.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

TEST(TextBuilder, HexDump) {
    const unsigned char esc[] = {0x1B, 0x45};
    const unsigned char edges[] = {0x00, 0xFF, 0xA0, 0x0F};
    struct Case {
        const void* bytes;
        int32_t length;
        bool spaced;
        const char* text;
    };
    const Case cases[] = {
        {esc, 2, false, "1b45"}, {esc, 2, true, "1b 45 "}, {edges, 4, false, "00ffa00f"},
        {edges, 1, true, "00 "}, {esc, 0, true, ""},       {esc, -1, false, ""},
        {nullptr, 2, true, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.text, TextBuilder(c.bytes, c.length, c.spaced).str())
            << c.length << " spaced=" << c.spaced;
    }
}

TEST(TextBuilder, NumbersInARadix) {
    EXPECT_EQ("-5", TextBuilder(int32_t{-5}, 10).str());
    EXPECT_EQ("4294967291", TextBuilder(static_cast<uint32_t>(-5), 10).str());
    EXPECT_EQ("-2147483648", TextBuilder(INT32_MIN, 10).str());
    EXPECT_EQ("0", TextBuilder(int32_t{0}, 10).str());
    EXPECT_EQ("0", TextBuilder(uint32_t{0}, 10).str());
    EXPECT_EQ("4294967295", TextBuilder(UINT32_MAX, 10).str());
    // Other radices: lower-case digits, negative values as their bit pattern.
    EXPECT_EQ("ff", TextBuilder(int32_t{255}, 16).str());
    EXPECT_EQ("ffffffff", TextBuilder(int32_t{-1}, 16).str());
    EXPECT_EQ("101", TextBuilder(uint32_t{5}, 2).str());
    EXPECT_EQ("z", TextBuilder(uint32_t{35}, 36).str());
}

TEST(TextBuilder, RadixOutsideTwoToThirtySixIsRefused) {
    for (int radix : {-10, 0, 1, 37}) {
        try {
            TextBuilder(int32_t{5}, radix);
            ADD_FAILURE() << "radix " << radix << " accepted";
        } catch (Win32Exception& e) {
            EXPECT_EQ(87u, e.getErrorCode());
        }
        EXPECT_THROW(TextBuilder(uint32_t{5}, radix), Win32Exception) << radix;
    }
}

TEST(TextBuilder, AppendsChain) {
    const char* none = nullptr;
    TextBuilder text("rc=");
    text.append(uint32_t{0}).append(" ").append(true).append(none).append(std::string("/"));
    text.append(false).append(UINT32_MAX);
    EXPECT_EQ("rc=0 true/false4294967295", text.str());
    EXPECT_STREQ("rc=0 true/false4294967295", text.c_str());
}

TEST(TextBuilder, NullStringsGiveAndAddNothing) {
    const char* none = nullptr;
    EXPECT_EQ("", TextBuilder(none).str());
    TextBuilder text(std::string("abc"));
    text.append(none);
    EXPECT_EQ("abc", text.str());
}
