#include "shared/InterProcessLock.h"
#include "TestNames.h"
#include "shared/Event.h"
#include "shared/Mutex.h"
#include "shared/Win32Exception.h"

#include <gtest/gtest.h>

#include <thread>

TEST(InterProcessLock, UnnamedMutexIsRefusedWithoutWaiting) {
    Mutex unnamed(false, "", false);
    // Held by another thread: a lock that waited first would never return.
    Event held(true, false, "", false);
    Event done(true, false, "", false);
    std::thread owner([&] {
        unnamed.acquire(INFINITE);
        held.set();
        done.wait(INFINITE);
        unnamed.release();
    });
    ASSERT_TRUE(held.wait(20000));
    try {
        InterProcessLock lock(unnamed);
        ADD_FAILURE() << "locked an unnamed mutex";
    } catch (Win32Exception& e) {
        EXPECT_EQ("InterProcessLock has no name", e.getMessage());
        EXPECT_EQ(0u, e.getErrorCode());
        EXPECT_EQ("InterProcessLock", e.getFileName());
        EXPECT_EQ(16u, e.getLineNumber());
    }
    done.set();
    owner.join();
}

TEST(InterProcessLock, HoldsTheNamedMutexForItsScope) {
    const std::string name = uniqueObjectName("lock");
    Mutex mine(false, name, true);
    Mutex theirs(false, name, true); // as another process would open it
    auto othersCanLock = [&](DWORD timeout) {
        bool acquired = false;
        std::thread other([&] {
            acquired = theirs.acquire(timeout);
            theirs.release();
        });
        other.join();
        return acquired;
    };
    {
        InterProcessLock lock(mine);
        EXPECT_FALSE(othersCanLock(1));
    }
    EXPECT_TRUE(othersCanLock(20000));
}
