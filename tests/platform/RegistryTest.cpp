// The registry calls the module makes, with the answers Windows gives. On the
// Windows build they run against the real registry (under Wine), in a key of
// their own below HKEY_CURRENT_USER that is removed afterwards.
#include "platform/win32.h"
#include "support/PrivateHostStore.h"
#include "support/TestChild.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const bool privateStore = par1test::usePrivateHostStore();

const char testsRoot[] = "Software\\Par1Tests";

std::string uniqueKeyName() {
    static int counter = 0;
    return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + "-" +
           std::to_string(++counter);
}

// Deletes a key and everything below it.
LSTATUS deleteTree(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    for (;;) {
        char child[256];
        DWORD size = sizeof child;
        if (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if (deleteTree(key, child) != ERROR_SUCCESS) {
            break;
        }
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name.c_str());
}

std::vector<std::string> subkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD size = sizeof name;
        LSTATUS status = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
            break;
        }
        EXPECT_EQ(std::strlen(name), size);
        names.push_back(name);
    }
    return names;
}

std::vector<std::string> valueNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD size = sizeof name;
        LSTATUS status = RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
            break;
        }
        EXPECT_EQ(std::strlen(name), size);
        names.push_back(name);
    }
    return names;
}

LSTATUS setDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

// A fresh key below HKEY_CURRENT_USER\Software\Par1Tests for each test.
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        name_ = std::string(testsRoot) + "\\" + uniqueKeyName();
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr,
                                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                                 &key_, &disposition));
        ASSERT_EQ(REG_CREATED_NEW_KEY, disposition);
    }

    void TearDown() override {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
        EXPECT_EQ(ERROR_SUCCESS, deleteTree(HKEY_CURRENT_USER, name_));
        // Removed when no other run's key is left in it.
        RegDeleteKeyA(HKEY_CURRENT_USER, testsRoot);
    }

    HKEY create(const char* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(key_, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, &key, disposition))
            << path;
        return key;
    }

    HKEY key_ = nullptr;
    std::string name_;
};

TEST_F(Registry, CreateReportsNewOrExistingAndMakesIntermediateKeys) {
    DWORD disposition = 0;
    HKEY deep = create("One\\Two\\Three", &disposition);
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    RegCloseKey(deep);

    HKEY middle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "One\\Two", 0, KEY_READ, &middle));
    EXPECT_EQ(std::vector<std::string>{"Three"}, subkeyNames(middle));
    RegCloseKey(middle);

    disposition = 0;
    HKEY again = create("One\\Two\\Three", &disposition);
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    RegCloseKey(again);

    // A key made below an intermediate key is new although its parent is not.
    disposition = 0;
    HKEY sibling = create("One\\Other", &disposition);
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    RegCloseKey(sibling);
}

TEST_F(Registry, PathsTakeTrailingAndRepeatedBackslashesButNoLeadingOne) {
    RegCloseKey(create("A\\B"));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "A\\B\\", 0, KEY_READ, &key));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "A\\\\B", 0, KEY_READ, &key));
    RegCloseKey(key);
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegOpenKeyExA(key_, "\\A", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_BAD_PATHNAME,
              RegCreateKeyExA(key_, "\\C", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    // An empty path opens the key itself.
    ASSERT_EQ(ERROR_SUCCESS, setDword(key_, "here", 1));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "here", nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(key);
}

TEST_F(Registry, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    RegCloseKey(create("MixedCase"));
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "mIXEDcASE", 0, KEY_ALL_ACCESS, &key));
    DWORD disposition = 0;
    RegCloseKey(create("MIXEDCASE", &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    EXPECT_EQ(std::vector<std::string>{"MixedCase"}, subkeyNames(key_));

    ASSERT_EQ(ERROR_SUCCESS, setDword(key, "ReadTimeout", 50));
    ASSERT_EQ(ERROR_SUCCESS, setDword(key, "READTIMEOUT", 75));
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = REG_NONE;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "readtimeout", nullptr, &type,
                                              reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(75u, value);
    EXPECT_EQ(std::vector<std::string>{"ReadTimeout"}, valueNames(key));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "rEADtIMEOUT"));
    EXPECT_TRUE(valueNames(key).empty());
    RegCloseKey(key);
}

TEST_F(Registry, MissingKeyOrValueIsFileNotFound) {
    HKEY key = reinterpret_cast<HKEY>(uintptr_t(0x1234));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key_, "Absent", 0, KEY_READ, &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key_, "Absent\\Deeper", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(key_, "Absent"));

    DWORD type = 99;
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "Absent", nullptr, &type,
                                                     reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(key_, "Absent", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key_, "Absent"));
}

TEST_F(Registry, QueryReportsStoredTypeAndSize) {
    struct Case {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    };
    const Case cases[] = {
        {"number", REG_DWORD, {0x32, 0, 0, 0}},
        {"text", REG_SZ, {'A', 'U', 'T', 'O', 0}},
        {"bytes", REG_BINARY, {1, 0, 2}},
        {"nothing", REG_BINARY, {}},
        {"wide", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key_, c.name, 0, c.type, c.data.data(), DWORD(c.data.size())));
        const DWORD stored = DWORD(c.data.size());

        // Without a buffer: type and size only.
        DWORD type = 99;
        DWORD size = 12345;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, c.name, nullptr, &type, nullptr, &size));
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(stored, size);

        // A larger buffer: the data and its true size.
        std::vector<BYTE> buffer(stored + 8, 0xEE);
        size = DWORD(buffer.size());
        type = 99;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegQueryValueExA(key_, c.name, nullptr, &type, buffer.data(), &size));
        EXPECT_EQ(c.type, type);
        ASSERT_EQ(stored, size);
        EXPECT_EQ(c.data, std::vector<BYTE>(buffer.begin(), buffer.begin() + size));
        EXPECT_EQ(0xEE, buffer[size]);

        // One byte short: ERROR_MORE_DATA with the size needed.
        if (stored > 0) {
            size = stored - 1;
            type = 99;
            EXPECT_EQ(ERROR_MORE_DATA,
                      RegQueryValueExA(key_, c.name, nullptr, &type, buffer.data(), &size));
            EXPECT_EQ(stored, size);
            EXPECT_EQ(c.type, type);
        }
    }
    // A buffer without a size is refused.
    BYTE buffer[8];
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExA(key_, "number", nullptr, nullptr, buffer, nullptr));
}

TEST_F(Registry, RewritingAValueReplacesItsTypeAndData) {
    const char text[] = "2500";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "PJLReadTimeout", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(text), sizeof text));
    ASSERT_EQ(ERROR_SUCCESS, setDword(key_, "PJLReadTimeout", 2500));
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "PJLReadTimeout", nullptr, &type,
                                              reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(REG_DWORD, type);
    EXPECT_EQ(sizeof value, size);
    EXPECT_EQ(2500u, value);
}

TEST_F(Registry, DefaultValueHasAnEmptyOrNullName) {
    const char text[] = "default";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, nullptr, 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(text), sizeof text));
    char buffer[32] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueExA(key_, "", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(REG_SZ, type);
    EXPECT_EQ(sizeof text, size);
    EXPECT_STREQ(text, buffer);
    EXPECT_EQ(std::vector<std::string>{""}, valueNames(key_));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key_, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key_, "", nullptr, nullptr, nullptr, nullptr));
}

TEST_F(Registry, EnumerationIsCaseBlindAlphabeticalUntilNoMoreItems) {
    const char* const created[] = {"beta", "Gamma", "_under", "Alpha", "delta"};
    const std::vector<std::string> expected = {"_under", "Alpha", "beta", "delta", "Gamma"};
    for (const char* name : created) {
        RegCloseKey(create(name));
        ASSERT_EQ(ERROR_SUCCESS, setDword(key_, name, 1));
    }
    EXPECT_EQ(expected, subkeyNames(key_));
    EXPECT_EQ(expected, valueNames(key_));

    char name[256];
    DWORD size = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExA(key_, 5, name, &size, nullptr, nullptr, nullptr, nullptr));
    size = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueA(key_, 5, name, &size, nullptr, nullptr, nullptr, nullptr));

    // An empty key has nothing at index 0.
    HKEY empty = create("Alpha");
    size = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExA(empty, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    size = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumValueA(empty, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(empty);
}

TEST_F(Registry, EnumerationWithShortBuffersAnswersMoreData) {
    RegCloseKey(create("Settings"));
    const char text[] = "a longer text";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "Name", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(text), sizeof text));

    // A subkey name needs room for its terminating zero.
    char name[16];
    DWORD size = 8; // "Settings" is 8 characters
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumKeyExA(key_, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    size = 9;
    EXPECT_EQ(ERROR_SUCCESS,
              RegEnumKeyExA(key_, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(8u, size);
    EXPECT_STREQ("Settings", name);

    // A value name that does not fit.
    size = 4;
    DWORD dataSize = 0;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key_, 0, name, &size, nullptr, nullptr, nullptr, &dataSize));
    EXPECT_EQ(sizeof text, dataSize);

    // Data that does not fit: the size needed is reported.
    BYTE data[4];
    size = sizeof name;
    dataSize = sizeof data;
    DWORD type = 0;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key_, 0, name, &size, nullptr, &type, data, &dataSize));
    EXPECT_EQ(sizeof text, dataSize);
    EXPECT_EQ(REG_SZ, type);

    // Enough room for both.
    BYTE all[32];
    size = sizeof name;
    dataSize = sizeof all;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumValueA(key_, 0, name, &size, nullptr, &type, all, &dataSize));
    EXPECT_STREQ("Name", name);
    EXPECT_EQ(4u, size);
    EXPECT_EQ(sizeof text, dataSize);
    EXPECT_EQ(0, std::memcmp(text, all, sizeof text));
}

// Strings as Windows keeps them: a size that leaves out the NUL after the
// text still stores it; a string stored without one (no NUL followed it) is
// read back with one added where the buffer has room, at its stored size.
TEST_F(Registry, StringsWithoutTheirNulAreStoredAndReadAsWindowsDoes) {
    const char text[] = "abc";
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key_, "Counted", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 3));
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Counted", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(4u, size);

    const BYTE bare[] = {'x', 'y', 'z', '!'};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "Bare", 0, REG_SZ, bare, 3));
    struct Case {
        DWORD room;
        const char* expected; // the buffer afterwards
    };
    for (const Case& c : {Case{8, "xyz\0qqqq"}, Case{3, "xyzqqqqq"}}) {
        BYTE data[8];
        std::memset(data, 'q', sizeof data);
        size = c.room;
        DWORD type = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key_, "Bare", nullptr, &type, data, &size));
        EXPECT_EQ(3u, size);
        EXPECT_EQ(0, std::memcmp(c.expected, data, sizeof data)) << "room " << c.room;

        std::memset(data, 'q', sizeof data);
        char name[16];
        DWORD nameSize = sizeof name;
        size = c.room;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegEnumValueA(key_, 0, name, &nameSize, nullptr, &type, data, &size));
        EXPECT_STREQ("Bare", name);
        EXPECT_EQ(3u, size);
        EXPECT_EQ(0, std::memcmp(c.expected, data, sizeof data)) << "room " << c.room;
    }
}

// A size query of a missing value answers a size of 0.
TEST_F(Registry, SizeQueryOfAMissingValueClearsTheSize) {
    DWORD size = 77;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(key_, "Missing", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(0u, size);
}

// A value name too long for its buffer answers ERROR_MORE_DATA, yet the data
// that fits is written.
TEST_F(Registry, EnumerationWritesTheDataEvenWhenTheNameIsTooLong) {
    const BYTE value[] = {1, 2, 3, 4};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key_, "LongName", 0, REG_BINARY, value, 4));
    char name[4];
    DWORD nameSize = sizeof name;
    BYTE data[8] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumValueA(key_, 0, name, &nameSize, nullptr, &type, data, &size));
    EXPECT_EQ(4u, size);
    EXPECT_EQ(REG_BINARY, type);
    EXPECT_EQ(0, std::memcmp(value, data, sizeof value));
}

// No key at all: the call fails and leaves the caller's result as it was.
TEST(RegistryHandles, NullKeyLeavesTheResultAlone) {
    HKEY result = reinterpret_cast<HKEY>(uintptr_t(0x1234));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(nullptr, "", 0, KEY_READ, &result));
    EXPECT_EQ(reinterpret_cast<HKEY>(uintptr_t(0x1234)), result);
}

TEST_F(Registry, DeletingAKeyWithSubkeysIsRefused) {
    RegCloseKey(create("Parent\\Child"));
    ASSERT_EQ(ERROR_SUCCESS, setDword(key_, "kept", 1));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(key_, "Parent"));
    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "Parent\\Child", 0, KEY_READ, &parent));
    RegCloseKey(parent);

    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Parent\\Child"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "PARENT"));
    EXPECT_TRUE(subkeyNames(key_).empty());
    EXPECT_EQ(std::vector<std::string>{"kept"}, valueNames(key_));

    // A predefined root is never deleted.
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, ""));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(key_, nullptr));
}

TEST_F(Registry, HandleOfADeletedKeyAnswersKeyDeleted) {
    HKEY doomed = create("Doomed");
    ASSERT_EQ(ERROR_SUCCESS, setDword(doomed, "value", 1));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(key_, "Doomed"));

    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed, "value", nullptr, nullptr,
                                                  reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(ERROR_KEY_DELETED, setDword(doomed, "value", 2));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExA(doomed, "Child", 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &child, nullptr));
    char name[64];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(ERROR_KEY_DELETED,
              RegEnumKeyExA(doomed, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));

    // A new key of the same name is another key: the old handle stays dead.
    HKEY reborn = create("Doomed");
    ASSERT_EQ(ERROR_SUCCESS, setDword(reborn, "value", 3));
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(doomed, "value", nullptr, nullptr,
                                                  reinterpret_cast<BYTE*>(&value), &size));
    RegCloseKey(reborn);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(doomed));
}

TEST_F(Registry, ClosedOrUnknownHandlesAreInvalid) {
    HKEY key = create("Closed");
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, setDword(nullptr, "value", 1));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExA(reinterpret_cast<HKEY>(uintptr_t(0x1234)),
                                                     "value", nullptr, nullptr, nullptr, nullptr));
    HKEY result = nullptr;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(nullptr, "Software", 0, KEY_READ, &result));
    // Closing a predefined root is allowed and leaves it usable.
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER));
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, name_.c_str(), 0, KEY_READ, &result));
    RegCloseKey(result);
}

TEST_F(Registry, HandleRightsLimitWhatItMayDo) {
    RegCloseKey(create("Limited"));
    ASSERT_EQ(ERROR_SUCCESS, setDword(key_, "value", 1));
    HKEY reader = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "", 0, KEY_READ, &reader));
    EXPECT_EQ(ERROR_ACCESS_DENIED, setDword(reader, "value", 2));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(reader, "value"));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(reader, "value", nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(reader);

    HKEY writer = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key_, "", 0, KEY_SET_VALUE, &writer));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegQueryValueExA(writer, "value", nullptr, nullptr, nullptr, nullptr));
    char name[64];
    DWORD size = sizeof name;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegEnumKeyExA(writer, 0, name, &size, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, setDword(writer, "value", 3));
    RegCloseKey(writer);
}

TEST_F(Registry, CallsLeaveTheLastErrorAlone) {
    SetLastError(12345);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(key_, "Absent", 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExA(key_, "Absent", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, setDword(key_, "present", 1));
    EXPECT_EQ(12345u, GetLastError());
}

// Several processes write into one key at once, each its own values, and
// create keys of their own; afterwards every value is there.
const int writesPerChild = 200;

void writeAsChild(const std::string& path, const std::string& child) {
    for (int i = 0; i < writesPerChild; ++i) {
        // Each write opens and closes its key, as the settings store does.
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &key, nullptr));
        const std::string name = "child" + child + "-" + std::to_string(i);
        ASSERT_EQ(ERROR_SUCCESS, setDword(key, name.c_str(), DWORD(i)));
        HKEY own = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(key, ("Child" + child + "\\" + std::to_string(i % 10)).c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &own, nullptr));
        RegCloseKey(own);
        RegCloseKey(key);
    }
}

TEST(RegistryProcesses, SeveralWritingAtOnceLoseNothing) {
    if (par1test::TestChild::role() == "writer") {
        std::vector<std::string> arguments = par1test::TestChild::arguments();
        ASSERT_EQ(2u, arguments.size());
        writeAsChild(arguments[0], arguments[1]);
        return;
    }
    const std::string path = std::string(testsRoot) + "\\" + uniqueKeyName();
    const int children = 4;
    {
        std::vector<std::unique_ptr<par1test::TestChild>> writers;
        for (int child = 0; child < children; ++child) {
            writers.push_back(std::make_unique<par1test::TestChild>(
                "writer", std::vector<std::string>{path, std::to_string(child)}));
        }
        for (auto& writer : writers) {
            ASSERT_TRUE(writer->wait());
            EXPECT_EQ(0u, writer->exitCode());
        }
    }
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key));
    for (int child = 0; child < children; ++child) {
        for (int i = 0; i < writesPerChild; ++i) {
            const std::string name = "child" + std::to_string(child) + "-" + std::to_string(i);
            DWORD value = 0xFFFFFFFF;
            DWORD size = sizeof value;
            ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                                      reinterpret_cast<BYTE*>(&value), &size))
                << name;
            EXPECT_EQ(DWORD(i), value) << name;
        }
        HKEY own = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(key, ("Child" + std::to_string(child)).c_str(), 0, KEY_READ, &own));
        EXPECT_EQ(10u, subkeyNames(own).size());
        RegCloseKey(own);
    }
    EXPECT_EQ(size_t(children * writesPerChild), valueNames(key).size());
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, deleteTree(HKEY_CURRENT_USER, path));
    RegDeleteKeyA(HKEY_CURRENT_USER, testsRoot);
}

} // namespace
