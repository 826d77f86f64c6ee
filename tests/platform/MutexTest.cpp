// Mutexes: recursion, ownership, abandonment by a thread or a process that
// ended holding one, and named mutexes shared between processes.
#include "RunThread.h"
#include "support/TestChild.h"

using par1test::TestChild;
using platformtest::RunThread;
using platformtest::uniqueName;

namespace {

const DWORD kShortMs = 50;

// What another thread's poll of the mutex answers (it releases what it got).
DWORD pollFromAnotherThread(HANDLE mutex) {
    RunThread thread([&]() -> unsigned {
        DWORD result = WaitForSingleObject(mutex, 0);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
            ReleaseMutex(mutex);
        }
        return result;
    });
    EXPECT_TRUE(thread.join());
    return thread.exitCode();
}

// Mutexes of both kinds: unnamed ones live in the process, named ones in
// memory shared between processes.
class AnyMutex : public testing::TestWithParam<bool> {
protected:
    HANDLE create(BOOL initialOwner) {
        name_ = GetParam() ? uniqueName("mutex") : std::string();
        HANDLE mutex = CreateMutexA(nullptr, initialOwner, GetParam() ? name_.c_str() : nullptr);
        EXPECT_NE(nullptr, mutex) << GetLastError();
        handles_.push_back(mutex);
        return mutex;
    }
    void TearDown() override {
        for (HANDLE handle : handles_) {
            CloseHandle(handle);
        }
    }
    std::string name_;
    std::vector<HANDLE> handles_;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Mutex, AnyMutex, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "Named" : "Unnamed";
                         });

TEST_P(AnyMutex, IsRecursiveForItsOwner) {
    HANDLE mutex = create(TRUE);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, INFINITE));
    for (int held = 3; held > 0; --held) {
        EXPECT_EQ(WAIT_TIMEOUT, pollFromAnotherThread(mutex)) << held << " acquisitions left";
        ASSERT_TRUE(ReleaseMutex(mutex));
    }
    EXPECT_EQ(WAIT_OBJECT_0, pollFromAnotherThread(mutex));
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(mutex)) << "one release more than acquisitions";
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());
}

TEST_P(AnyMutex, ReleaseByNonOwnerFailsWith288) {
    HANDLE mutex = create(TRUE);
    RunThread other([&]() -> unsigned {
        SetLastError(0);
        return ReleaseMutex(mutex) ? 0 : GetLastError();
    });
    ASSERT_TRUE(other.join());
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), other.exitCode());
    EXPECT_EQ(WAIT_TIMEOUT, pollFromAnotherThread(mutex)) << "still owned";
    EXPECT_TRUE(ReleaseMutex(mutex));
}

TEST_P(AnyMutex, TimedWaitOnAnOwnedMutexTimesOut) {
    HANDLE mutex = create(FALSE);
    HANDLE owned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    RunThread owner([&]() -> unsigned {
        WaitForSingleObject(mutex, INFINITE);
        SetEvent(owned);
        WaitForSingleObject(done, INFINITE);
        ReleaseMutex(mutex);
        return 0;
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(owned, 10000));
    const DWORD start = GetTickCount();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(mutex, kShortMs));
    EXPECT_GE(GetTickCount() - start, kShortMs - 20);
    SetEvent(done);
    // The owner's release hands the mutex over to this waiter.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 10000));
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(owned);
    CloseHandle(done);
}

// A thread that ends owning a mutex abandons it: the next wait answers
// WAIT_ABANDONED once, and its caller owns the mutex.
TEST_P(AnyMutex, ThreadEndingAsOwnerAbandonsIt) {
    HANDLE mutex = create(FALSE);
    RunThread owner([&]() -> unsigned { return WaitForSingleObject(mutex, INFINITE); });
    ASSERT_TRUE(owner.join());
    ASSERT_EQ(WAIT_OBJECT_0, owner.exitCode());
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, 0));
    EXPECT_EQ(WAIT_TIMEOUT, pollFromAnotherThread(mutex)) << "the waiter owns it now";
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WAIT_OBJECT_0, pollFromAnotherThread(mutex)) << "abandoned only once";
}

// A thread already waiting when the owner ends is woken with WAIT_ABANDONED.
TEST_P(AnyMutex, WaiterIsWokenByTheOwnersEnd) {
    HANDLE mutex = create(FALSE);
    HANDLE owned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE end = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    RunThread owner([&]() -> unsigned {
        WaitForSingleObject(mutex, INFINITE);
        SetEvent(owned);
        WaitForSingleObject(end, INFINITE);
        return 0;
    });
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(owned, 10000));
    RunThread waiter([&]() -> unsigned {
        DWORD result = WaitForSingleObject(mutex, 10000);
        ReleaseMutex(mutex);
        return result;
    });
    SetEvent(end);
    ASSERT_TRUE(waiter.join());
    EXPECT_EQ(WAIT_ABANDONED, waiter.exitCode());
    CloseHandle(owned);
    CloseHandle(end);
}

TEST(NamedMutex, NameOpensTheExistingMutexWithoutOwnership) {
    const std::string name = uniqueName("named");
    SetLastError(77);
    HANDLE first = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());

    // Another thread asks for initial ownership of the existing mutex: it
    // gets a handle to the same mutex, but not the ownership.
    HANDLE second = nullptr;
    RunThread opener([&]() -> unsigned {
        second = CreateMutexA(nullptr, TRUE, name.c_str());
        return GetLastError();
    });
    ASSERT_TRUE(opener.join());
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), opener.exitCode());
    EXPECT_NE(first, second);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first, 0));

    // Held through one handle, it is held through the other.
    EXPECT_EQ(WAIT_TIMEOUT, pollFromAnotherThread(second));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 0)) << "recursive through both";
    EXPECT_TRUE(ReleaseMutex(second));
    EXPECT_TRUE(ReleaseMutex(first));
    EXPECT_EQ(WAIT_OBJECT_0, pollFromAnotherThread(second));
    CloseHandle(first);
    CloseHandle(second);

    // With its last handle closed the name is free again.
    HANDLE fresh = CreateMutexA(nullptr, FALSE, name.c_str());
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    CloseHandle(fresh);
}

TEST(NamedMutex, BadNamesFail) {
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateMutexA(nullptr, FALSE, "par1test\\mutex"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

    const std::string name = uniqueName("taken");
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    SetLastError(0);
    EXPECT_EQ(nullptr, CreateMutexA(nullptr, FALSE, name.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(event));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(event);
}

TEST(NamedMutex, LocalPrefixNamesTheSameMutex) {
    const std::string name = uniqueName("prefixed");
    HANDLE plain = CreateMutexA(nullptr, FALSE, name.c_str());
    HANDLE local = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
    ASSERT_NE(nullptr, local);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    CloseHandle(local);
    CloseHandle(plain);
}

// A process that dies owning a named mutex abandons it to the other
// processes that have it open.
TEST(NamedMutex, ProcessDyingAsOwnerAbandonsIt) {
    if (TestChild::role() == "hold") {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, TestChild::arguments().at(0).c_str());
        if (mutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) {
            TestChild::exit(10);
        }
        if (WaitForSingleObject(mutex, 0) != WAIT_OBJECT_0) {
            TestChild::exit(11);
        }
        TestChild::exit(3); // still owning it
    }
    const std::string name = uniqueName("abandoned");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    {
        TestChild child("hold", {name});
        ASSERT_TRUE(child.wait());
        ASSERT_EQ(3u, child.exitCode());
    }
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, 0));
    EXPECT_EQ(WAIT_TIMEOUT, pollFromAnotherThread(mutex)) << "the waiter owns it now";
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0)) << "abandoned only once";
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

// Held in one process, a named mutex excludes the others, which cannot
// release it either; released, another process gets it.
TEST(NamedMutex, ExcludesOtherProcesses) {
    const std::string role = TestChild::role();
    if (!role.empty()) {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, TestChild::arguments().at(0).c_str());
        if (mutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) {
            TestChild::exit(10);
        }
        if (role == "contend") {
            SetLastError(0);
            if (ReleaseMutex(mutex) || GetLastError() != ERROR_NOT_OWNER) {
                TestChild::exit(12);
            }
            if (WaitForSingleObject(mutex, 0) != WAIT_TIMEOUT ||
                WaitForSingleObject(mutex, kShortMs) != WAIT_TIMEOUT) {
                TestChild::exit(13);
            }
            TestChild::exit(5);
        }
        if (WaitForSingleObject(mutex, 0) != WAIT_OBJECT_0 || !ReleaseMutex(mutex)) {
            TestChild::exit(14);
        }
        TestChild::exit(6);
    }
    const std::string name = uniqueName("exclusive");
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    {
        TestChild child("contend", {name});
        ASSERT_TRUE(child.wait());
        EXPECT_EQ(5u, child.exitCode());
    }
    ASSERT_TRUE(ReleaseMutex(mutex));
    {
        TestChild child("take", {name});
        ASSERT_TRUE(child.wait());
        EXPECT_EQ(6u, child.exitCode());
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0)) << "released, not abandoned";
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

// A name dies with the last process that had it open, even one that ended
// without closing its handles.
TEST(NamedMutex, NameIsForgottenWhenItsLastProcessEnds) {
    if (TestChild::role() == "create") {
        HANDLE mutex = CreateMutexA(nullptr, TRUE, TestChild::arguments().at(0).c_str());
        TestChild::exit(mutex != nullptr && GetLastError() == ERROR_SUCCESS ? 4 : 10);
    }
    const std::string name = uniqueName("forgotten");
    {
        TestChild child("create", {name});
        ASSERT_TRUE(child.wait());
        ASSERT_EQ(4u, child.exitCode());
    }
    SetLastError(77);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0)) << "a new mutex, not abandoned";
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}
