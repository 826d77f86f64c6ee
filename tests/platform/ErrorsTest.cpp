// Last error per thread, and the system texts of error codes.
#include "RunThread.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

using platformtest::RunThread;

namespace {

const DWORD kFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
const DWORD kEnglishUs = 0x0409;

std::string message(DWORD code, DWORD size = 256) {
    std::string buffer(size, '\0');
    DWORD length = FormatMessageA(kFlags, nullptr, code, kEnglishUs, &buffer[0], size, nullptr);
    return buffer.substr(0, length);
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

TEST(LastError, EachThreadHasItsOwn) {
    SetLastError(1234);
    DWORD seenByThread = 0;
    RunThread thread([&] {
        seenByThread = GetLastError();
        SetLastError(ERROR_ACCESS_DENIED);
        return GetLastError();
    });
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(0u, seenByThread);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), thread.exitCode());
    EXPECT_EQ(1234u, GetLastError());
}

// Every code the module reports has a text in Windows' form: one sentence
// (or a few) on one line, ending with a line break.
TEST(SystemMessage, KnownCodesGiveOneLineOfText) {
    const DWORD codes[] = {
        ERROR_SUCCESS,
        ERROR_INVALID_FUNCTION,
        ERROR_FILE_NOT_FOUND,
        ERROR_PATH_NOT_FOUND,
        ERROR_ACCESS_DENIED,
        ERROR_INVALID_HANDLE,
        ERROR_NOT_ENOUGH_MEMORY,
        ERROR_BAD_FORMAT,
        ERROR_INVALID_DATA,
        ERROR_OUTOFMEMORY,
        ERROR_NOT_READY,
        ERROR_BAD_COMMAND,
        ERROR_CRC,
        ERROR_OUT_OF_PAPER,
        ERROR_WRITE_FAULT,
        ERROR_READ_FAULT,
        ERROR_GEN_FAILURE,
        ERROR_SHARING_VIOLATION,
        ERROR_HANDLE_EOF,
        ERROR_NOT_SUPPORTED,
        ERROR_FILE_EXISTS,
        ERROR_INVALID_PARAMETER,
        ERROR_BROKEN_PIPE,
        ERROR_SEM_TIMEOUT,
        ERROR_INSUFFICIENT_BUFFER,
        ERROR_INVALID_NAME,
        ERROR_MOD_NOT_FOUND,
        ERROR_PROC_NOT_FOUND,
        ERROR_ALREADY_EXISTS,
        ERROR_MORE_DATA,
        ERROR_NO_MORE_ITEMS,
        ERROR_NOT_OWNER,
        ERROR_MR_MID_NOT_FOUND,
        ERROR_OPERATION_ABORTED,
        ERROR_IO_INCOMPLETE,
        ERROR_IO_PENDING,
        ERROR_NOACCESS,
        ERROR_KEY_DELETED,
        ERROR_NO_DATA_DETECTED,
        ERROR_IO_DEVICE,
        ERROR_COUNTER_TIMEOUT,
        ERROR_DEVICE_NOT_CONNECTED,
        ERROR_NOT_FOUND,
        ERROR_INVALID_ACL,
        ERROR_INVALID_SID,
        ERROR_INVALID_SECURITY_DESCR,
        ERROR_INTERNAL_ERROR,
        ERROR_TIMEOUT,
        ERROR_DATATYPE_MISMATCH,
        ERROR_TOO_MANY_OPEN_FILES,
        ERROR_WRITE_PROTECT,
        ERROR_BAD_NETPATH,
        ERROR_DISK_FULL,
        ERROR_NEGATIVE_SEEK,
        ERROR_BAD_PATHNAME,
        ERROR_FILENAME_EXCED_RANGE,
        ERROR_DIR_NOT_EMPTY,
        ERROR_ENVVAR_NOT_FOUND,
        ERROR_DIRECTORY,
        ERROR_REGISTRY_IO_FAILED,
        ERROR_BAD_EXE_FORMAT,
        ERROR_UNKNOWN_REVISION,
        ERROR_ALLOTTED_SPACE_EXCEEDED,
        ERROR_RESOURCE_LANG_NOT_FOUND,
    };
    for (DWORD code : codes) {
        SCOPED_TRACE(code);
        SetLastError(77);
        std::string text = message(code);
        ASSERT_GT(text.size(), 3u) << "last error " << GetLastError();
        EXPECT_EQ("\r\n", text.substr(text.size() - 2));
        EXPECT_NE(std::string::npos, std::string(".)").find(text[text.size() - 3]));
        EXPECT_EQ(text.size() - 2, text.find_first_of("\r\n"));
        EXPECT_EQ(nullptr, std::memchr(text.data(), '\0', text.size()));
    }
}

// The wording is the system's; these words are in it on every system.
TEST(SystemMessage, TextsSayWhatTheCodeMeans) {
    const struct {
        DWORD code;
        const char* words;
    } cases[] = {
        {ERROR_SUCCESS, "success"},
        {ERROR_FILE_NOT_FOUND, "file"},
        {ERROR_PATH_NOT_FOUND, "path"},
        {ERROR_ACCESS_DENIED, "denied"},
        {ERROR_INVALID_HANDLE, "handle"},
        {ERROR_WRITE_FAULT, "write"},
        {ERROR_INVALID_PARAMETER, "parameter"},
        {ERROR_ALREADY_EXISTS, "already exists"},
        {ERROR_NOT_OWNER, "not owned by caller"},
        {ERROR_IO_DEVICE, "i/o device error"},
        {ERROR_DEVICE_NOT_CONNECTED, "the device is not connected."},
        {ERROR_NOT_FOUND, "element not found."},
        {ERROR_INTERNAL_ERROR, "internal error"},
        {ERROR_TIMEOUT, "timeout"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_NE(std::string::npos, lower(message(c.code)).find(c.words)) << message(c.code);
    }
}

// Inserts stay as they are: the caller asked to ignore them.
TEST(SystemMessage, InsertsAreLeftInTheText) {
    EXPECT_NE(std::string::npos, message(ERROR_MR_MID_NOT_FOUND).find("0x%1"));
}

TEST(SystemMessage, CodeWithoutTextFailsWith317) {
    for (DWORD code : {0x12345678u, 0xFFFFFFFFu}) {
        char buffer[256] = {};
        SetLastError(0);
        EXPECT_EQ(
            0u, FormatMessageA(kFlags, nullptr, code, kEnglishUs, buffer, sizeof buffer, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND), GetLastError());
    }
}

// The text and its terminating zero must fit; a buffer one byte short fails
// with 122 and is left as it was.
TEST(SystemMessage, ShortBufferFailsWith122) {
    const std::string full = message(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(full.empty());
    const DWORD length = static_cast<DWORD>(full.size());

    std::string buffer(length + 8, 'x');
    SetLastError(0);
    EXPECT_EQ(0u, FormatMessageA(kFlags, nullptr, ERROR_FILE_NOT_FOUND, kEnglishUs, &buffer[0],
                                 length, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(std::string(length + 8, 'x'), buffer);

    EXPECT_EQ(length, FormatMessageA(kFlags, nullptr, ERROR_FILE_NOT_FOUND, kEnglishUs, &buffer[0],
                                     length + 1, nullptr));
    EXPECT_EQ(full, buffer.substr(0, length));
    EXPECT_EQ('\0', buffer[length]);
}

// A size query with no buffer at all is a buffer too small.
TEST(SystemMessage, NullBufferOfSizeZeroFailsWith122) {
    SetLastError(0);
    EXPECT_EQ(
        0u, FormatMessageA(kFlags, nullptr, ERROR_FILE_NOT_FOUND, kEnglishUs, nullptr, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}
