// Threads: handles, exit codes, ids, priorities, the stack size, and ending
// a thread with TerminateThread.
#include "RunThread.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>

using platformtest::RunThread;

namespace {

struct Event {
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ~Event() { CloseHandle(handle); }
    operator HANDLE() const { return handle; }
};

} // namespace

TEST(Thread, HandleIsSignalledWhenTheThreadEnds) {
    Event release;
    RunThread thread([&]() -> unsigned {
        WaitForSingleObject(release, INFINITE);
        return 42;
    });
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread.handle(), 0));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread.handle(), &code));
    EXPECT_EQ(STILL_ACTIVE, code);
    SetEvent(release);
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(42u, thread.exitCode());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.handle(), 0)) << "stays signalled";
}

TEST(Thread, IdsAreDistinctAndStable) {
    const DWORD mine = GetCurrentThreadId();
    EXPECT_EQ(mine, GetCurrentThreadId());
    DWORD seen = 0;
    DWORD seenAgain = 0;
    RunThread thread([&]() -> unsigned {
        seen = GetCurrentThreadId();
        seenAgain = GetCurrentThreadId();
        return 0;
    });
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(thread.id(), seen) << "the id _beginthreadex reported";
    EXPECT_EQ(seen, seenAgain);
    EXPECT_NE(mine, seen);
    EXPECT_EQ(GetCurrentProcessId(), GetCurrentProcessId());
    EXPECT_NE(0u, GetCurrentProcessId());
}

// The module asks for 4096 bytes; the thread still gets a usable stack.
TEST(Thread, SmallStackSizeIsRoundedUp) {
    RunThread thread(
        []() -> unsigned {
            volatile char buffer[128 * 1024];
            std::memset(const_cast<char*>(buffer), 1, sizeof buffer);
            unsigned sum = 0;
            for (size_t i = 0; i < sizeof buffer; i += 4096) {
                sum += static_cast<unsigned>(buffer[i]);
            }
            return sum;
        },
        4096);
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(32u, thread.exitCode());
}

TEST(Thread, PriorityIsRecorded) {
    Event release;
    RunThread thread([&]() -> unsigned { return WaitForSingleObject(release, INFINITE); });
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(thread.handle()));
    for (int priority :
         {THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_ABOVE_NORMAL,
          THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_NORMAL}) {
        EXPECT_TRUE(SetThreadPriority(thread.handle(), priority)) << priority;
        EXPECT_EQ(priority, GetThreadPriority(thread.handle()));
    }
    for (int priority : {3, -3, 5, 6, -7, 100}) {
        SetLastError(0);
        EXPECT_FALSE(SetThreadPriority(thread.handle(), priority)) << priority;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(thread.handle()));
    SetEvent(release);
}

TEST(Thread, BadHandlesFail) {
    SetLastError(0);
    EXPECT_EQ(THREAD_PRIORITY_ERROR_RETURN, GetThreadPriority(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(SetThreadPriority(nullptr, THREAD_PRIORITY_NORMAL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    DWORD code = 0;
    SetLastError(0);
    EXPECT_FALSE(GetExitCodeThread(nullptr, &code));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(TerminateThread(nullptr, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(Thread, SleepZeroReturnsAtOnce) {
    const DWORD start = GetTickCount();
    Sleep(0);
    EXPECT_LT(GetTickCount() - start, 1000u);
}

// TerminateThread ends a thread wherever it blocks; its handle is signalled
// and its exit code is the one given.
class Terminate : public testing::TestWithParam<const char*> {};

// "Library" blocks where the standard library waits, as the virtual
// printer's reads do. Only on Linux: on Windows, terminating a thread inside
// the threads library can leave that library's own locks held.
#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Thread, Terminate, testing::Values("Sleep", "Wait", "Catch"));
#else
INSTANTIATE_TEST_SUITE_P(Thread, Terminate, testing::Values("Sleep", "Wait", "Catch", "Library"));
#endif

TEST_P(Terminate, EndsABlockedThread) {
    const std::string where = GetParam();
    Event started;
    Event neverSet;
    std::atomic<bool> swallowed{false};
    std::atomic<bool> returned{false};
    std::mutex mutex;
    std::condition_variable never;
    RunThread thread([&]() -> unsigned {
        SetEvent(started);
        if (where == "Sleep") {
            Sleep(INFINITE);
        } else if (where == "Wait") {
            WaitForSingleObject(neverSet, INFINITE);
        } else if (where == "Library") {
            std::unique_lock<std::mutex> lock(mutex);
            never.wait(lock, [] { return false; });
        } else {
            try {
                Sleep(INFINITE);
            } catch (...) {
                if (platform::isThreadTerminating()) {
                    throw;
                }
                swallowed = true;
            }
        }
        returned = true;
        return 0;
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(started, 10000));
    ASSERT_TRUE(TerminateThread(thread.handle(), 77));
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(77u, thread.exitCode());
    EXPECT_FALSE(swallowed.load());
    EXPECT_FALSE(returned.load());
}

// Only a thread being terminated is told so.
TEST(Thread, OrdinaryExceptionIsNotTermination) {
    RunThread thread([]() -> unsigned {
        try {
            throw std::runtime_error("ordinary");
        } catch (...) {
            return platform::isThreadTerminating() ? 1 : 2;
        }
    });
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(2u, thread.exitCode());
    EXPECT_FALSE(platform::isThreadTerminating());
}

// A thread terminated while owning a mutex abandons it.
TEST(Thread, TerminatedOwnerAbandonsItsMutex) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    Event owned;
    RunThread thread([&]() -> unsigned {
        WaitForSingleObject(mutex, INFINITE);
        SetEvent(owned);
        Sleep(INFINITE);
        return 0;
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(owned, 10000));
    ASSERT_TRUE(TerminateThread(thread.handle(), 5));
    ASSERT_TRUE(thread.join());
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, 10000));
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}
