#include "shared/Exception.h"
#include "platform/win32.h"
#include "shared/Win32Exception.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

TEST(Exception, ErrorTextIsTheSignedDecimalCode) {
    struct Case {
        uint32_t code;
        const char* text;
    };
    const Case cases[] = {{0, ""},
                          {87, "87"},
                          {4294967295u, "-1"},
                          {0x80000000u, "-2147483648"},
                          {2147483647u, "2147483647"}};
    for (const Case& c : cases) {
        Exception e("Test::op()", c.code, "Test", 1);
        EXPECT_EQ(c.text, e.getErrorText()) << c.code;
        EXPECT_EQ(c.code, e.getErrorCode());
    }
}

TEST(Win32Exception, CodeZeroHasNoErrorText) {
    EXPECT_EQ("", Win32Exception("Test::op()", 0, "", 0).getErrorText());
}

TEST(Win32Exception, ErrorTextCarriesTheSystemMessageOnOneLine) {
    std::string text = Win32Exception("Test::op()", ERROR_FILE_NOT_FOUND, "Test", 7).getErrorText();
    EXPECT_TRUE(startsWith(text, "Win32(2")) << text;
    EXPECT_EQ(std::string::npos, text.find('\r')) << text;
    EXPECT_EQ(std::string::npos, text.find('\n')) << text;

    // The system's own text for the code, as FormatMessageA gives it, minus
    // the line end, must be part of it.
    char raw[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, ERROR_FILE_NOT_FOUND, 0x0409, raw, sizeof raw, nullptr);
    ASSERT_NE(0u, length);
    std::string expected(raw, length);
    while (!expected.empty() && (expected.back() == '\n' || expected.back() == '\r')) {
        expected.pop_back();
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(endsWith(text, expected)) << text;
    EXPECT_EQ(std::string::npos, text.find("Error getting message")) << text;
}

TEST(Win32Exception, CodeWithoutSystemTextReportsTheLookupError) {
    // Application-defined codes (bit 29) have no system message.
    const uint32_t code = 0x20001234u;
    std::string text = Win32Exception("Test::op()", code, "Test", 7).getErrorText();
    EXPECT_TRUE(startsWith(text, "Win32(536875572")) << text;
    EXPECT_TRUE(endsWith(text, "Error getting message:317")) << text;
}

TEST(Win32Exception, CodesAboveTheSignedRangePrintNegative) {
    std::string text = Win32Exception("Test::op()", 0xFFFFFFFFu, "Test", 7).getErrorText();
    EXPECT_TRUE(startsWith(text, "Win32(-1")) << text;
}

TEST(Win32Exception, ThrownCopyCaughtAsExceptionKeepsEverything) {
    Win32Exception original("RegistryKey::openKey()", ERROR_ACCESS_DENIED, "RegistryKey", 357);
    try {
        Win32Exception copy(original);
        throw copy;
    } catch (Exception& caught) {
        EXPECT_EQ("RegistryKey::openKey()", caught.getMessage());
        EXPECT_EQ(5u, caught.getErrorCode());
        EXPECT_EQ("RegistryKey", caught.getFileName());
        EXPECT_EQ(357u, caught.getLineNumber());
        EXPECT_TRUE(startsWith(caught.getErrorText(), "Win32(5")) << caught.getErrorText();
        EXPECT_EQ(original.getErrorText(), caught.getErrorText());
    }
}

TEST(Win32Exception, AssignmentCopiesAllFields) {
    Win32Exception target("a", 1, "A", 1);
    target = Win32Exception("BasicLogger::getInstance()", 1, "", 0);
    EXPECT_EQ("BasicLogger::getInstance()", target.getMessage());
    EXPECT_EQ(1u, target.getErrorCode());
    EXPECT_EQ("", target.getFileName());
    EXPECT_EQ(0u, target.getLineNumber());
}
