#include "shared/Thread.h"
#include "platform/win32.h"
#include "shared/Event.h"
#include "shared/Win32Exception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>

namespace {

const DWORD bound = 20000;

class FunctionRunnable : public Runnable {
public:
    explicit FunctionRunnable(std::function<uint32_t()> body) : body_(std::move(body)) {}
    uint32_t run() override { return body_(); }

private:
    std::function<uint32_t()> body_;
};

DWORD exitCodeOf(const Thread& thread) {
    HANDLE handle = nullptr;
    DWORD code = 0xDEADBEEF;
    EXPECT_TRUE(thread.getHandle(handle));
    EXPECT_TRUE(GetExitCodeThread(handle, &code));
    return code;
}

} // namespace

TEST(Thread, NotStartedHasNoHandleAndNothingToWaitFor) {
    FunctionRunnable runnable([] { return 0u; });
    Thread thread(runnable);
    HANDLE handle = nullptr;
    EXPECT_FALSE(thread.getHandle(handle));
    EXPECT_FALSE(thread.waitForTermination(0));
}

TEST(Thread, StartReturnsWhileRunIsStillRunning) {
    Event proceed(true, false, "", false);
    FunctionRunnable runnable([&] {
        proceed.wait(INFINITE);
        return 42u;
    });
    Thread thread(runnable);
    // Would never return if start waited for run to end.
    thread.start();
    HANDLE handle = nullptr;
    EXPECT_TRUE(thread.getHandle(handle));
    EXPECT_FALSE(thread.waitForTermination(0));
    EXPECT_EQ(STILL_ACTIVE, exitCodeOf(thread));
    proceed.set();
    EXPECT_TRUE(thread.waitForTermination(bound));
    EXPECT_EQ(42u, exitCodeOf(thread));
}

TEST(Thread, StartAndDestroyRepeatedly) {
    // Each start hands its start event to the new thread and destroys it on
    // return; destruction waits for the thread to end.
    std::atomic<int> runs{0};
    FunctionRunnable runnable([&] {
        ++runs;
        return 0u;
    });
    for (int i = 0; i < 25; ++i) {
        Thread thread(runnable);
        thread.start();
    }
    EXPECT_EQ(25, runs.load());
}

TEST(Thread, StartedTwiceIsRefused) {
    FunctionRunnable runnable([] { return 0u; });
    Thread thread(runnable);
    thread.start();
    try {
        thread.start();
        ADD_FAILURE() << "started twice";
    } catch (Win32Exception& e) {
        EXPECT_EQ("Thread::start()", e.getMessage());
        EXPECT_EQ(1u, e.getErrorCode());
    }
    EXPECT_TRUE(thread.waitForTermination(bound));
}

TEST(Thread, ExceptionFromRunBecomesTheExitCode) {
    FunctionRunnable runnable(
        []() -> uint32_t { throw Win32Exception("Test::run()", ERROR_IO_DEVICE, "Test", 1); });
    Thread thread(runnable);
    thread.start();
    ASSERT_TRUE(thread.waitForTermination(bound));
    EXPECT_EQ(1117u, exitCodeOf(thread));
}

TEST(Thread, AnyOtherExceptionFromRunEndsTheThreadWithInternalError) {
    FunctionRunnable runnable([]() -> uint32_t { throw "text"; });
    Thread thread(runnable);
    thread.start();
    ASSERT_TRUE(thread.waitForTermination(bound));
    EXPECT_EQ(1359u, exitCodeOf(thread));
}

TEST(Thread, TerminateASleepingThread) {
    Event running(true, false, "", false);
    FunctionRunnable runnable([&] {
        running.set();
        Sleep(bound);
        return 0u;
    });
    Thread thread(runnable);
    thread.start();
    ASSERT_TRUE(running.wait(bound));
    EXPECT_FALSE(thread.waitForTermination(1));
    HANDLE handle = nullptr;
    ASSERT_TRUE(thread.getHandle(handle));
    ASSERT_TRUE(TerminateThread(handle, 77));
    EXPECT_TRUE(thread.waitForTermination(bound));
    EXPECT_EQ(77u, exitCodeOf(thread));
}
