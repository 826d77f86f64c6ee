#include "shared/RegistryKey.h"
#include "TestStore.h"
#include "platform/win32.h"
#include "protocol/Data.h"
#include "shared/Win32Exception.h"

#include <gtest/gtest.h>

#include <list>
#include <string>

namespace {

bool keyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void setRaw(const std::string& path, const char* name, DWORD type, const void* bytes, DWORD size) {
    RegistryKey key(path, true);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.getHandle(), name, 0, type,
                                            static_cast<const BYTE*>(bytes), size));
}

// What a failing call raised.
struct Raised {
    std::string message;
    uint32_t code = 0;
    std::string file;
    uint32_t line = 0;
};

template <class Call> Raised raisedBy(Call call) {
    Raised raised;
    try {
        call();
        raised.message = "(nothing raised)";
    } catch (Win32Exception& e) {
        raised.message = e.getMessage();
        raised.code = e.getErrorCode();
        raised.file = e.getFileName();
        raised.line = e.getLineNumber();
    }
    return raised;
}

} // namespace

class RegistryKeyTest : public LocalStoreTest {
protected:
    void SetUp() override {
        LocalStoreTest::SetUp();
        base_ = store_ + "RegistryKeyTest";
    }

    std::string base_;
};

TEST_F(RegistryKeyTest, OpensOnlyExistingKeysUnlessAskedToCreate) {
    Raised raised = raisedBy([&] { RegistryKey key(base_ + "\\Missing", false); });
    EXPECT_EQ("RegistryKey::openKey()", raised.message);
    EXPECT_EQ(2u, raised.code);
    EXPECT_EQ("RegistryKey", raised.file);
    EXPECT_EQ(357u, raised.line);
    EXPECT_FALSE(keyExists(base_ + "\\Missing"));

    // Creating makes the missing parents too.
    { RegistryKey created(base_ + "\\A\\B", true); }
    EXPECT_TRUE(keyExists(base_ + "\\A\\B"));
    RegistryKey opened(base_ + "\\A\\B", false);
    EXPECT_NE(nullptr, opened.getHandle());
}

TEST_F(RegistryKeyTest, ValuesRoundTripAndMissingOnesAnswerFalse) {
    RegistryKey key(base_, true);
    uint32_t number = 7;
    std::string text = "keep";
    Data bytes(std::string("keep"));
    EXPECT_FALSE(key.getValue("Number", number));
    EXPECT_FALSE(key.getValue("Text", text));
    EXPECT_FALSE(key.getValue("Bytes", bytes));
    EXPECT_EQ(7u, number);
    EXPECT_EQ("keep", text);
    EXPECT_EQ(Data(std::string("keep")), bytes);

    key.setValue("Number", 0xFFFFFFFFu);
    key.setValue("Text", std::string("Vantrel LPT"));
    key.setValue("Empty", std::string());
    const uint8_t raw[] = {0x00, 0x1B, 0xFF, 0x00};
    key.setValue("Bytes", Data(raw, 4));
    EXPECT_TRUE(key.getValue("Number", number));
    EXPECT_EQ(0xFFFFFFFFu, number);
    EXPECT_TRUE(key.getValue("Text", text));
    EXPECT_EQ("Vantrel LPT", text);
    EXPECT_TRUE(key.getValue("Empty", text));
    EXPECT_EQ("", text);
    EXPECT_TRUE(key.getValue("Bytes", bytes));
    EXPECT_EQ(Data(raw, 4), bytes);

    // Text is stored with its terminating zero, as REG_SZ.
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(key.getHandle(), "Text", nullptr, &type, nullptr, &size));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(12u, size);
}

TEST_F(RegistryKeyTest, TextEndsAtItsFirstZero) {
    const char stored[] = "abc\0def";
    setRaw(base_, "Text", REG_SZ, stored, sizeof stored);
    RegistryKey key(base_, false);
    std::string text;
    EXPECT_TRUE(key.getValue("Text", text));
    EXPECT_EQ("abc", text);
    // Without any terminator, only the stored bytes count.
    setRaw(base_, "Unterminated", REG_SZ, "xyz", 3);
    EXPECT_TRUE(key.getValue("Unterminated", text));
    EXPECT_EQ("xyz", text);
}

TEST_F(RegistryKeyTest, AValueOfAnotherTypeRaisesWithItsSite) {
    const DWORD number = 50;
    const char shortText[] = "50";
    const char longText[] = "fifty milliseconds";
    const uint8_t bytes[] = {1, 2};
    setRaw(base_, "Dword", REG_DWORD, &number, sizeof number);
    setRaw(base_, "ShortText", REG_SZ, shortText, sizeof shortText);
    setRaw(base_, "LongText", REG_SZ, longText, sizeof longText);
    setRaw(base_, "Binary", REG_BINARY, bytes, sizeof bytes);

    RegistryKey key(base_, false);
    uint32_t n = 0;
    std::string t;
    Data b(0, 255);
    struct Case {
        Raised raised;
        const char* message;
        uint32_t code;
        uint32_t line;
    };
    const Case cases[] = {
        {raisedBy([&] { key.getValue("ShortText", n); }),
         "RegistryKey::getValue(ulong)ShortText : incorrect value type", 0, 188},
        // Too long for a number's buffer: the query's own failure.
        {raisedBy([&] { key.getValue("LongText", n); }), "RegistryKey::getValue(ulong)LongText",
         ERROR_MORE_DATA, 188},
        {raisedBy([&] { key.getValue("Dword", t); }),
         "RegistryKey::getValue(string) Dword : incorrect value type", 0, 222},
        {raisedBy([&] { key.getValue("Dword", b); }),
         "RegistryKey::getValue(binary)Dword : incorrect value type", 0, 513},
        {raisedBy([&] { key.getValue("ShortText", b); }),
         "RegistryKey::getValue(binary)ShortText : incorrect value type", 0, 513},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.message, c.raised.message);
        EXPECT_EQ(c.code, c.raised.code) << c.message;
        EXPECT_EQ("RegistryKey", c.raised.file) << c.message;
        EXPECT_EQ(c.line, c.raised.line) << c.message;
    }
    EXPECT_EQ(0u, n);
    EXPECT_EQ("", t);
    EXPECT_EQ(0u, b.size());
}

TEST_F(RegistryKeyTest, DeletingAMissingValueIsNoError) {
    RegistryKey key(base_, true);
    key.setValue("Gone", 1u);
    key.deleteValue("Gone");
    uint32_t n = 0;
    EXPECT_FALSE(key.getValue("Gone", n));
    EXPECT_NO_THROW(key.deleteValue("Gone"));
}

TEST_F(RegistryKeyTest, ListsSubkeysUpToAMaximumAndAllValueNames) {
    RegistryKey key(base_, true);
    for (const char* name : {"Charlie", "alpha", "Bravo"}) {
        RegistryKey child(base_ + "\\" + name, true);
    }
    std::list<std::string> names{"before"};
    key.getChildrenNames(names, 100);
    EXPECT_EQ((std::list<std::string>{"before", "alpha", "Bravo", "Charlie"}), names);
    names.clear();
    key.getChildrenNames(names, 2);
    EXPECT_EQ(2u, names.size());

    names.clear();
    key.getValueNames(names);
    EXPECT_TRUE(names.empty());
    key.setValue("One", 1u);
    key.setValue("Two", std::string("2"));
    key.getValueNames(names);
    names.sort();
    EXPECT_EQ((std::list<std::string>{"One", "Two"}), names);
}

TEST_F(RegistryKeyTest, RecurseDeleteRemovesTheWholeTree) {
    for (const char* path : {"\\A\\B\\C", "\\A\\D", "\\A\\Software\\E", "\\F"}) {
        RegistryKey created(base_ + path, true);
        created.setValue("Value", 1u);
    }
    // A subkey called "Software" deep in the tree goes like any other.
    EXPECT_TRUE(RegistryKey::recurseDeleteKey(base_ + "\\A"));
    EXPECT_FALSE(keyExists(base_ + "\\A"));
    EXPECT_TRUE(keyExists(base_ + "\\F"));
    // A trailing backslash names the same key.
    EXPECT_TRUE(RegistryKey::recurseDeleteKey(base_ + "\\F\\"));
    EXPECT_FALSE(keyExists(base_ + "\\F"));
}

TEST_F(RegistryKeyTest, RecurseDeleteOfAMissingKeySucceeds) {
    EXPECT_TRUE(RegistryKey::recurseDeleteKey(base_ + "\\Never\\There"));
    EXPECT_FALSE(keyExists(base_ + "\\Never"));
}

TEST_F(RegistryKeyTest, RecurseDeleteKeepsTheHivesSoftwareKeyAndRefusesTheHiveItself) {
    // Our own key stands in for the hive, so a fault here cannot reach the
    // machine's keys.
    { RegistryKey tree(base_ + "\\Software\\Vendor\\Product", true); }
    RegistryKey hive(base_, false);
    EXPECT_TRUE(RegistryKey::recurseDeleteKey("SOFTWARE", hive.getHandle()));
    EXPECT_TRUE(keyExists(base_ + "\\Software"));
    EXPECT_FALSE(keyExists(base_ + "\\Software\\Vendor"));

    for (const char* path : {"", "\\", "\\\\"}) {
        Raised raised = raisedBy([&] { RegistryKey::recurseDeleteKey(path, hive.getHandle()); });
        EXPECT_EQ("RegistryKey::recurseDeleteKey() RegOpenKey()", raised.message) << path;
        EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_PARAMETER), raised.code) << path;
        EXPECT_EQ(316u, raised.line);
    }
    EXPECT_TRUE(keyExists(base_ + "\\Software"));
}
