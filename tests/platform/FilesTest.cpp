// The file and time calls of the log: CreateFileA's dispositions and last
// errors, appending at the end, sizes, deletion, and the paths they take.
#include "platform/win32.h"
#include "support/PrivateHostStore.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ctime>
#include <string>
#include <vector>

namespace {

const bool privateStore = par1test::usePrivateHostStore();

std::string uniqueName(const char* stem) {
    static int counter = 0;
    return std::string(stem) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount()) + "-" + std::to_string(++counter);
}

HANDLE open(const std::string& path, DWORD disposition,
            DWORD access = GENERIC_READ | GENERIC_WRITE) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool writeAll(HANDLE file, const std::string& text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) &&
           written == text.size();
}

std::string readAll(HANDLE file) {
    std::string text;
    char buffer[64];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        text.append(buffer, count);
    }
    return text;
}

std::string contents(const std::string& path) {
    HANDLE file = open(path, OPEN_EXISTING, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string text = readAll(file);
    CloseHandle(file);
    return text;
}

// A file name of its own on drive C: for each test, deleted afterwards.
class Files : public ::testing::Test {
protected:
    void TearDown() override { DeleteFileA(path_.c_str()); }

    void create(const std::string& text) {
        HANDLE file = open(path_, CREATE_ALWAYS);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        ASSERT_TRUE(writeAll(file, text));
        CloseHandle(file);
    }

    std::string path_ = "C:\\" + uniqueName("par1-files") + ".log";
};

TEST_F(Files, OpenAlwaysCreatesAndThenReportsAlreadyExists) {
    SetLastError(12345);
    HANDLE file = open(path_, OPEN_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(0u, GetLastError());
    CloseHandle(file);

    SetLastError(12345);
    file = open(path_, OPEN_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
    CloseHandle(file);
}

// The log's way of adding a line: open, move to the size, write, close.
TEST_F(Files, LinesAppendedAtTheSizeAccumulate) {
    const std::string lines[] = {"first line\r\n", "second\r\n", "third and last\r\n"};
    std::string expected;
    for (const std::string& line : lines) {
        HANDLE file = open(path_, OPEN_ALWAYS);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD high = 99;
        DWORD size = GetFileSize(file, &high);
        EXPECT_EQ(expected.size(), size);
        EXPECT_EQ(0u, high);
        EXPECT_EQ(size, SetFilePointer(file, LONG(size), nullptr, FILE_BEGIN));
        ASSERT_TRUE(writeAll(file, line));
        expected += line;
        EXPECT_EQ(expected.size(), GetFileSize(file, nullptr));
        EXPECT_TRUE(CloseHandle(file));
    }
    EXPECT_EQ(expected, contents(path_));

    EXPECT_TRUE(DeleteFileA(path_.c_str()));
    EXPECT_EQ(INVALID_HANDLE_VALUE, open(path_, OPEN_EXISTING));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_FALSE(DeleteFileA(path_.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST_F(Files, DispositionsOnMissingAndExistingFiles) {
    const DWORD unchanged = 12345;
    struct Case {
        const char* name;
        DWORD disposition;
        bool exists;
        bool opens;
        DWORD lastError; // unchanged: not checked on success
        const char* contentsAfter;
    };
    const Case cases[] = {
        {"CREATE_NEW, missing", CREATE_NEW, false, true, unchanged, ""},
        {"CREATE_NEW, existing", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        {"CREATE_ALWAYS, missing", CREATE_ALWAYS, false, true, 0, ""},
        {"CREATE_ALWAYS, existing", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
        {"OPEN_EXISTING, missing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "<missing>"},
        {"OPEN_EXISTING, existing", OPEN_EXISTING, true, true, unchanged, "old"},
        {"OPEN_ALWAYS, missing", OPEN_ALWAYS, false, true, 0, ""},
        {"OPEN_ALWAYS, existing", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
        {"TRUNCATE_EXISTING, missing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
         "<missing>"},
        {"TRUNCATE_EXISTING, existing", TRUNCATE_EXISTING, true, true, unchanged, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(path_.c_str());
        if (c.exists) {
            create("old");
        }
        SetLastError(unchanged);
        HANDLE file = open(path_, c.disposition);
        EXPECT_EQ(c.opens, file != INVALID_HANDLE_VALUE);
        if (c.lastError != unchanged) {
            EXPECT_EQ(c.lastError, GetLastError());
        }
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        EXPECT_EQ(c.contentsAfter, contents(path_));
    }
}

TEST_F(Files, MissingDirectoryIsPathNotFound) {
    const std::string inMissing = "C:\\" + uniqueName("par1-no-such-folder") + "\\file.log";
    for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_NEW}) {
        SetLastError(0);
        EXPECT_EQ(INVALID_HANDLE_VALUE, open(inMissing, disposition));
        EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError()) << disposition;
    }
    EXPECT_FALSE(DeleteFileA(inMissing.c_str()));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST_F(Files, FilePointerMovesFromEachOrigin) {
    create("0123456789");
    HANDLE file = open(path_, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(10u, SetFilePointer(file, 0, nullptr, FILE_END));
    EXPECT_EQ(6u, SetFilePointer(file, -4, nullptr, FILE_CURRENT));
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -7, nullptr, FILE_CURRENT));
    EXPECT_EQ(ERROR_NEGATIVE_SEEK, GetLastError());
    EXPECT_EQ(2u, SetFilePointer(file, 2, nullptr, FILE_BEGIN));
    char buffer[3];
    DWORD count = 0;
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ("234", std::string(buffer, count));
    EXPECT_EQ(5u, SetFilePointer(file, 0, nullptr, FILE_CURRENT));

    // With a high part the position is 64 bits wide.
    LONG high = -1;
    EXPECT_EQ(3u, SetFilePointer(file, -7, &high, FILE_END));
    EXPECT_EQ(0, high);

    // Writing past the end extends the file.
    EXPECT_EQ(20u, SetFilePointer(file, 20, nullptr, FILE_BEGIN));
    ASSERT_TRUE(writeAll(file, "x"));
    EXPECT_EQ(21u, GetFileSize(file, nullptr));

    // At the end a read succeeds with nothing.
    count = 99;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(0u, count);
    CloseHandle(file);
}

TEST_F(Files, AccessOfTheHandleLimitsItsUse) {
    create("data");
    HANDLE reader = open(path_, OPEN_EXISTING, GENERIC_READ);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    DWORD count = 99;
    EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(0u, count);
    CloseHandle(reader);

    HANDLE writer = open(path_, OPEN_EXISTING, GENERIC_WRITE);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    char buffer[4];
    EXPECT_FALSE(ReadFile(writer, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    CloseHandle(writer);
    EXPECT_EQ("data", contents(path_));
}

TEST_F(Files, ClosedHandleIsInvalid) {
    HANDLE file = open(path_, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(CloseHandle(file));
    DWORD count = 99;
    EXPECT_FALSE(WriteFile(file, "x", 1, &count, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(file, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0, nullptr, FILE_END));
    EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
}

TEST_F(Files, WindowsPathsIgnoreCaseAndTakeEitherSlash) {
    create("same file");
    std::string upper = path_;
    for (char& c : upper) {
        c = char(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string slashed = "c:/" + path_.substr(3);
    EXPECT_EQ("same file", contents(upper));
    EXPECT_EQ("same file", contents(slashed));
    EXPECT_TRUE(DeleteFileA(upper.c_str()));
    EXPECT_EQ("<missing>", contents(path_));
}

TEST(FilePaths, ProgramOpensByTheNameItIsGiven) {
    // The program's own name is a Z: path on both builds (Wine shows Unix
    // files there too).
    char program[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    HANDLE file = CreateFileA(program, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << program << ": " << GetLastError();
    EXPECT_LT(10000u, GetFileSize(file, nullptr));
    char magic[2] = {};
    DWORD count = 0;
    ASSERT_TRUE(ReadFile(file, magic, sizeof magic, &count, nullptr));
#ifdef _WIN32
    EXPECT_EQ("MZ", std::string(magic, count));
#else
    EXPECT_EQ("\x7f"
              "E",
              std::string(magic, count));
#endif
    CloseHandle(file);
}

TEST(FilePaths, UnknownDeviceAndDriveAreNotFound) {
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("\\\\.\\PAR1_NO_SUCH_DEVICE", GENERIC_READ, 0,
                                                nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA("", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

#ifndef _WIN32
TEST(FilePaths, DriveCIsTheConfiguredDirectory) {
    const std::string directory = par1test::privateHostStoreDirectory() + "/drive_c";
    const std::string name = uniqueName("par1-drive") + ".txt";
    HANDLE file = CreateFileA(("C:\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(writeAll(file, "on drive C"));
    CloseHandle(file);
    // The Unix path and the Z: path reach the same file.
    EXPECT_EQ("on drive C", contents(directory + "/" + name));
    std::string zPath = "Z:" + directory + "/" + name;
    for (char& c : zPath) {
        c = c == '/' ? '\\' : c;
    }
    EXPECT_EQ("on drive C", contents(zPath));
    EXPECT_TRUE(DeleteFileA((directory + "/" + name).c_str()));
}
#endif

TEST(SystemCalls, WindowsDirectoryIsOnDriveC) {
    char buffer[MAX_PATH + 1] = {};
    UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    ASSERT_EQ(10u, length);
    std::string directory(buffer, length);
    for (char& c : directory) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ("c:\\windows", directory);
    // A short buffer gets nothing; the answer is the size needed.
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(11u, GetWindowsDirectoryA(small, sizeof small));
}

TEST(SystemCalls, TickCountAdvancesInMilliseconds) {
    DWORD start = GetTickCount();
    Sleep(100);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 80u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(SystemCalls, LocalTimeMatchesTheLibraryClock) {
    std::time_t before = std::time(nullptr);
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    std::time_t after = std::time(nullptr);
    bool matched = false;
    for (std::time_t t = before; t <= after && !matched; ++t) {
        std::tm local = *std::localtime(&t);
        matched = now.wYear == local.tm_year + 1900 && now.wMonth == local.tm_mon + 1 &&
                  now.wDay == local.tm_mday && now.wDayOfWeek == local.tm_wday &&
                  now.wHour == local.tm_hour && now.wMinute == local.tm_min &&
                  now.wSecond == local.tm_sec;
    }
    EXPECT_TRUE(matched) << now.wYear << "/" << now.wMonth << "/" << now.wDay << " " << now.wHour
                         << ":" << now.wMinute << ":" << now.wSecond;
    EXPECT_LT(now.wMilliseconds, 1000);
}

} // namespace
