// The standard handles and GetFileType, which par1 asks whether its output is
// a terminal.
#include "platform/win32.h"
#include "support/PrivateHostStore.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const bool privateStore = par1test::usePrivateHostStore();

} // namespace

TEST(StdHandles, EachStreamHasOneStableHandleAndOtherNumbersFail) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {in, out, err}) {
        EXPECT_NE(INVALID_HANDLE_VALUE, handle);
        EXPECT_NE(nullptr, handle);
    }
    EXPECT_NE(out, err);
    EXPECT_EQ(out, GetStdHandle(STD_OUTPUT_HANDLE));

    SetLastError(NO_ERROR);
    EXPECT_EQ(INVALID_HANDLE_VALUE, GetStdHandle(5));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(StdHandles, WritingToStandardErrorGoesOut) {
    const std::string line = "StdHandles: a line written through the handle\n";
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), DWORD(line.size()), &written,
                          nullptr));
    EXPECT_EQ(line.size(), written);
}

TEST(FileType, NamesDisksStreamsAndRefusesWhatIsNoFile) {
    // Under the test runner the output is a pipe or a file, by hand a
    // terminal: a known kind in every case, never unknown.
    DWORD outType = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE));
    EXPECT_TRUE(outType == FILE_TYPE_CHAR || outType == FILE_TYPE_PIPE || outType == FILE_TYPE_DISK)
        << outType;

    std::string path = "C:\\par1-filetype-" + std::to_string(GetCurrentProcessId()) + ".txt";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(DWORD(FILE_TYPE_DISK), GetFileType(file));
    CloseHandle(file);
    DeleteFileA(path.c_str());

    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    struct Case {
        const char* what;
        HANDLE handle;
    } cases[] = {{"null", nullptr}, {"an event", event}};
    for (const Case& c : cases) {
        SetLastError(NO_ERROR);
        EXPECT_EQ(DWORD(FILE_TYPE_UNKNOWN), GetFileType(c.handle)) << c.what;
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError()) << c.what;
    }
    CloseHandle(event);
}
