// Child processes: exit codes, waits, TerminateProcess, and the command line
// as the child's C runtime splits it.
#include "RunThread.h"
#include "support/TestChild.h"

using par1test::TestChild;
using platformtest::uniqueName;

TEST(Process, ExitCodeReachesTheParent) {
    if (TestChild::role() == "exit") {
        TestChild::exit(static_cast<DWORD>(std::stoul(TestChild::arguments().at(0))));
    }
    for (DWORD code : {0u, 7u, 200u}) {
        TestChild child("exit", {std::to_string(code)});
        ASSERT_TRUE(child.started());
        EXPECT_NE(GetCurrentProcessId(), child.processId());
        ASSERT_TRUE(child.wait());
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.process(), 0)) << "stays signalled";
        EXPECT_EQ(code, child.exitCode());
    }
}

// A child blocked on a mutex this process holds runs until it is terminated,
// and then answers the code given to TerminateProcess.
TEST(Process, TerminateProcessEndsARunningChild) {
    if (TestChild::role() == "block") {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, TestChild::arguments().at(0).c_str());
        WaitForSingleObject(mutex, INFINITE);
        TestChild::exit(1);
    }
    const std::string name = uniqueName("block");
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    TestChild child("block", {name});
    ASSERT_TRUE(child.started());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(child.process(), 0));
    EXPECT_EQ(STILL_ACTIVE, child.exitCode());
    ASSERT_TRUE(TerminateProcess(child.process(), 42));
    ASSERT_TRUE(child.wait());
    EXPECT_EQ(42u, child.exitCode());
    // Windows refuses to terminate an ended process (Wine accepts it); the
    // exit code stays either way.
    TerminateProcess(child.process(), 43);
    EXPECT_EQ(42u, child.exitCode());
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST(Process, MissingProgramFailsWithFileNotFound) {
    for (const char* line :
         {"Z:\\par1-no-such-dir\\no-such-program.exe a b", "par1-no-such-program-anywhere a b"}) {
        std::string text(line);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        SetLastError(0);
        EXPECT_FALSE(CreateProcessA(nullptr, &text[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &startup, &info))
            << line;
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError()) << line;
    }
}

// Quotes group, 2n backslashes before a quote give n, 2n+1 give n and a
// literal quote, other backslashes stay, "" inside quotes is a quote.
TEST(Process, CommandLineIsSplitAsTheRuntimeDoes) {
    const std::vector<std::string> expected = {
        "plain", "two words", "a\\b\\c", "quote\"inside", "back\\", "x\\\"y", "ab", "q\"q", "",
    };
    if (TestChild::role() == "split") {
        TestChild::exit(TestChild::tail() == expected ? 0 : 1);
    }
    const std::string tail = R"(plain "two words"  a\b\c quote\"inside "back\\" x\\\"y a"b" )"
                             R"("q""q" "")";
    TestChild child("split", {}, tail);
    ASSERT_TRUE(child.wait());
    EXPECT_EQ(0u, child.exitCode()) << "the child saw other words";
}

TEST(Process, BadHandlesFail) {
    DWORD code = 0;
    SetLastError(0);
    EXPECT_FALSE(GetExitCodeProcess(nullptr, &code));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(TerminateProcess(nullptr, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

namespace {

uint64_t intervals(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

// The process's own CPU time grows with work done on any of its threads.
TEST(Process, ProcessTimesCountTheWorkOfTheCallingProcess) {
    FILETIME creation{}, exit{}, kernel{}, user{};
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user));
    const uint64_t before = intervals(kernel) + intervals(user);
    // Started after 2020 (FILETIME counts 100 ns from 1601).
    EXPECT_GT(intervals(creation), 132223104000000000ull);

    volatile uint64_t sink = 0;
    uint64_t after = before;
    // Work until the counters move: at least a clock tick of CPU time.
    for (int round = 0; round < 2000 && after == before; ++round) {
        platformtest::RunThread worker([&]() -> unsigned {
            for (int i = 0; i < 1000000; ++i) {
                sink = sink + static_cast<uint64_t>(i) * 3;
            }
            return 0;
        });
        ASSERT_TRUE(worker.join());
        ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user));
        after = intervals(kernel) + intervals(user);
    }
    EXPECT_GT(after, before);
}
