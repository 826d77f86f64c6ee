// Events: reset modes, time-outs, names, bad handles.
#include "RunThread.h"

#include <atomic>

using platformtest::RunThread;
using platformtest::uniqueName;

namespace {

// The shortest time-out that still shows waiting.
const DWORD kShortMs = 50;

struct EventHandle {
    HANDLE handle;
    explicit EventHandle(HANDLE h) : handle(h) { EXPECT_NE(nullptr, h) << GetLastError(); }
    ~EventHandle() { CloseHandle(handle); }
    operator HANDLE() const { return handle; }
};

} // namespace

TEST(Event, ManualResetStaysSignalledUntilReset) {
    EventHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
    ASSERT_TRUE(SetEvent(event));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, INFINITE));
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
}

TEST(Event, AutoResetReleasesOneWaitPerSet) {
    EventHandle event(CreateEventA(nullptr, FALSE, TRUE, nullptr));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(SetEvent(event)); // a second set before a wait is not counted
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
}

TEST(Event, AutoResetWakesOneOfTwoWaiters) {
    EventHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    EventHandle woken(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    std::atomic<int> count{0};
    auto waiter = [&]() -> unsigned {
        DWORD result = WaitForSingleObject(event, INFINITE);
        ++count;
        SetEvent(woken);
        return result;
    };
    RunThread a(waiter);
    RunThread b(waiter);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(woken, 10000));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(woken, kShortMs));
    EXPECT_EQ(1, count.load());
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(a.join());
    ASSERT_TRUE(b.join());
    EXPECT_EQ(2, count.load());
    EXPECT_EQ(WAIT_OBJECT_0, a.exitCode());
    EXPECT_EQ(WAIT_OBJECT_0, b.exitCode());
}

// Windows hands each SetEvent of an auto-reset event to one blocked waiter,
// or with none blocked leaves the event set. Whether a thread is blocked in
// its wait cannot be seen through the API, so the waiters get kBlockMs to
// block before the sets: the one order in which that rule shows.
const DWORD kBlockMs = 200;

TEST(Event, AutoResetHandsTheFirstOfTwoSetsToTheBlockedWaiterAndKeepsTheSecond) {
    EventHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    RunThread waiter([&]() -> unsigned { return WaitForSingleObject(event, 10000); });
    Sleep(kBlockMs);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(waiter.join());
    EXPECT_EQ(WAIT_OBJECT_0, waiter.exitCode());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
}

TEST(Event, AutoResetReleasesBothBlockedWaitersForTwoSets) {
    EventHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    auto waiter = [&]() -> unsigned { return WaitForSingleObject(event, 10000); };
    RunThread a(waiter);
    RunThread b(waiter);
    Sleep(kBlockMs);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(a.join(20000));
    ASSERT_TRUE(b.join(20000));
    EXPECT_EQ(WAIT_OBJECT_0, a.exitCode());
    EXPECT_EQ(WAIT_OBJECT_0, b.exitCode());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
}

TEST(Event, SetWakesAWaitingThread) {
    EventHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    RunThread waiter([&]() -> unsigned { return WaitForSingleObject(event, 10000); });
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(waiter.join());
    EXPECT_EQ(WAIT_OBJECT_0, waiter.exitCode());
}

TEST(Event, TimedWaitTimesOutAfterItsTime) {
    EventHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const DWORD start = GetTickCount();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, kShortMs));
    // The tick count advances in steps of up to ~16 ms on Windows.
    EXPECT_GE(GetTickCount() - start, kShortMs - 20);
}

TEST(Event, NameOpensTheExistingEvent) {
    const std::string name = uniqueName("event");
    SetLastError(77);
    EventHandle first(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    // The second call's arguments do not change the existing event.
    EventHandle second(CreateEventA(nullptr, FALSE, TRUE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_NE(first.handle, second.handle);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(second, 0));
    ASSERT_TRUE(SetEvent(first));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 0)) << "still manual reset";
}

TEST(Event, EmptyNameIsUnnamed) {
    EventHandle first(CreateEventA(nullptr, TRUE, FALSE, ""));
    EventHandle second(CreateEventA(nullptr, TRUE, FALSE, ""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    ASSERT_TRUE(SetEvent(first));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(second, 0));
}

TEST(Event, NameOfAnotherKindOfObjectFails) {
    const std::string name = uniqueName("kind");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(SetEvent(mutex));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(mutex);
}

TEST(Event, BackslashInNameFails) {
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateEventA(nullptr, TRUE, FALSE, "par1test\\event"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST(KernelObjects, BadHandlesFailWithInvalidHandle) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    ASSERT_TRUE(CloseHandle(event));
    for (HANDLE bad : {static_cast<HANDLE>(nullptr), event}) {
        SetLastError(0);
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(bad, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(bad));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(0);
        EXPECT_FALSE(SetEvent(bad));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(0);
        EXPECT_FALSE(ResetEvent(bad));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    }
}

// An object lives while any handle names it, and its name with it.
TEST(KernelObjects, NameLivesAsLongAsAHandle) {
    const std::string name = uniqueName("outlive");
    HANDLE first = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    HANDLE second = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(nullptr, second);
    RunThread waiter([&]() -> unsigned { return WaitForSingleObject(second, 10000); });
    ASSERT_TRUE(CloseHandle(first));
    HANDLE third = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    ASSERT_TRUE(SetEvent(third));
    ASSERT_TRUE(waiter.join());
    EXPECT_EQ(WAIT_OBJECT_0, waiter.exitCode());
    CloseHandle(second);
    CloseHandle(third);
    HANDLE fresh = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(fresh, 0)) << "a new event";
    CloseHandle(fresh);
}
