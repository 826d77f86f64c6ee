#include "shared/Mutex.h"
#include "TestNames.h"
#include "shared/Event.h"
#include "shared/Win32Exception.h"
#include "support/TestChild.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

// Long enough never to be reached when things work; a bound, not a pause.
const DWORD bound = 20000;

// Runs a check on another thread and waits for it.
template <class Check> void onOtherThread(Check check) {
    std::thread other(check);
    other.join();
}

// Whether another thread can take the mutex: within a bound when it should,
// with the shortest wait when it should not. It gives the mutex back.
bool freeForOthers(Mutex& mutex, DWORD timeout) {
    bool acquired = false;
    onOtherThread([&] {
        acquired = mutex.acquire(timeout);
        if (acquired) {
            mutex.release();
        }
    });
    return acquired;
}

} // namespace

TEST(Mutex, AcquireWithZeroTimeoutIsFalseEvenWhenFree) {
    Mutex mutex(false, "", false);
    EXPECT_FALSE(mutex.acquire(0));
    EXPECT_TRUE(freeForOthers(mutex, bound)); // it was free, and still is
    ASSERT_TRUE(mutex.acquire(INFINITE));
    EXPECT_FALSE(mutex.acquire(0)); // also for the owner
    mutex.release();
}

TEST(Mutex, RecursiveForItsOwnerAndReleasedCompletelyAtOnce) {
    Mutex mutex(false, "", false);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(mutex.acquire(bound)) << i;
    }
    EXPECT_FALSE(freeForOthers(mutex, 1));
    mutex.release();
    EXPECT_TRUE(freeForOthers(mutex, bound));
    // A second release has nothing left to give.
    EXPECT_NO_THROW(mutex.release());
}

TEST(Mutex, ReleaseByAnotherThreadDoesNothing) {
    Mutex mutex(false, "", false);
    EXPECT_NO_THROW(mutex.release()); // never acquired
    ASSERT_TRUE(mutex.acquire(bound));
    ASSERT_TRUE(mutex.acquire(bound));
    onOtherThread([&] {
        EXPECT_NO_THROW(mutex.release());
        EXPECT_FALSE(mutex.acquire(1));
    });
    // Still held twice by this thread, and one release gives both back.
    EXPECT_NO_THROW(mutex.release());
    EXPECT_TRUE(freeForOthers(mutex, bound));
}

TEST(Mutex, KnowsWhetherTheCallerHoldsIt) {
    Mutex mutex(false, "", false);
    EXPECT_FALSE(mutex.heldByCaller());
    ASSERT_TRUE(mutex.acquire(bound));
    ASSERT_TRUE(mutex.acquire(bound));
    EXPECT_TRUE(mutex.heldByCaller());
    onOtherThread([&] { EXPECT_FALSE(mutex.heldByCaller()); });
    mutex.release();
    EXPECT_FALSE(mutex.heldByCaller());
    // Another thread's hold is not the caller's.
    onOtherThread([&] {
        ASSERT_TRUE(mutex.acquire(bound));
        EXPECT_TRUE(mutex.heldByCaller());
        mutex.release();
    });
    EXPECT_FALSE(mutex.heldByCaller());
}

TEST(Mutex, InitialOwnerHoldsItOnce) {
    Mutex mutex(true, "", false);
    EXPECT_FALSE(freeForOthers(mutex, 1));
    mutex.release();
    EXPECT_TRUE(freeForOthers(mutex, bound));
}

TEST(Mutex, InitialOwnerOfAnExistingNameIsNotTheOwner) {
    const std::string name = uniqueObjectName("existing");
    Event held(true, false, "", false);
    Event done(true, false, "", false);
    std::thread owner([&] {
        Mutex first(true, name, false);
        held.set();
        done.wait(INFINITE);
        first.release();
    });
    ASSERT_TRUE(held.wait(bound));
    {
        Mutex second(true, name, false);
        EXPECT_FALSE(second.acquire(1)); // the other thread still owns it
        EXPECT_NO_THROW(second.release());
    }
    done.set();
    owner.join();
}

TEST(Mutex, AbandonedByAnEndedThreadCountsAsAcquiredOnce) {
    Mutex mutex(false, "", false);
    onOtherThread([&] {
        ASSERT_TRUE(mutex.acquire(bound));
        ASSERT_TRUE(mutex.acquire(bound));
        // Ends without releasing.
    });
    ASSERT_TRUE(mutex.acquire(bound));
    // The dead thread's two acquisitions are not this thread's to release.
    EXPECT_NO_THROW(mutex.release());
    EXPECT_TRUE(freeForOthers(mutex, bound));
}

TEST(Mutex, OpenToEveryone) {
    const std::string name = uniqueObjectName("everyone");
    Mutex mutex(false, name, true);
    EXPECT_EQ(name, mutex.getName());
    Mutex same(false, name, true);
    ASSERT_TRUE(mutex.acquire(bound));
    onOtherThread([&] { EXPECT_FALSE(same.acquire(1)); });
    mutex.release();
}

TEST(Mutex, NamedMutexIsSharedWithAnotherProcessAndAbandonedWhenItEnds) {
    using par1test::TestChild;
    // The child's parts; only the mutex crosses the process boundary.
    const DWORD played = 3;
    const std::string role = TestChild::role();
    if (!role.empty()) {
        Mutex mutex(false, TestChild::arguments().at(0), true);
        if (role == "find-held") {
            TestChild::exit(mutex.acquire(1) ? 1 : played);
        }
        // "take-and-end": ends at once, without releasing.
        TestChild::exit(mutex.acquire(bound) ? played : 1);
    }

    const std::string name = uniqueObjectName("shared");
    Mutex mutex(false, name, true);
    ASSERT_TRUE(mutex.acquire(bound));
    {
        TestChild child("find-held", {name});
        ASSERT_TRUE(child.wait());
        EXPECT_EQ(played, child.exitCode()) << "the other process did not see the mutex held";
    }
    mutex.release();
    {
        TestChild child("take-and-end", {name});
        ASSERT_TRUE(child.wait());
        EXPECT_EQ(played, child.exitCode()) << "the other process could not take the mutex";
    }
    // Abandoned by the ended process: acquired, once.
    ASSERT_TRUE(mutex.acquire(bound));
    EXPECT_NO_THROW(mutex.release());
    EXPECT_TRUE(freeForOthers(mutex, bound));
}
