// Critical sections and interlocked counters.
#include "RunThread.h"

using platformtest::RunThread;

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EXPECT_TRUE(TryEnterCriticalSection(&section));

    auto otherThreadGetsIn = [&] {
        RunThread thread([&]() -> unsigned {
            if (!TryEnterCriticalSection(&section)) {
                return 0;
            }
            LeaveCriticalSection(&section);
            return 1;
        });
        EXPECT_TRUE(thread.join());
        return thread.exitCode() == 1;
    };
    EXPECT_FALSE(otherThreadGetsIn());
    LeaveCriticalSection(&section);
    EXPECT_FALSE(otherThreadGetsIn()) << "still entered once";
    LeaveCriticalSection(&section);
    EXPECT_TRUE(otherThreadGetsIn());
    DeleteCriticalSection(&section);
}

TEST(Interlocked, ReturnsTheNewValueAndLosesNoUpdate) {
    volatile LONG value = 0;
    EXPECT_EQ(1, InterlockedIncrement(&value));
    EXPECT_EQ(0, InterlockedDecrement(&value));
    EXPECT_EQ(-1, InterlockedDecrement(&value));
    value = 0;
    const int kPerThread = 20000;
    auto count = [&]() -> unsigned {
        for (int i = 0; i < kPerThread; ++i) {
            InterlockedIncrement(&value);
            InterlockedIncrement(&value);
            InterlockedDecrement(&value);
        }
        return 0;
    };
    {
        RunThread a(count);
        RunThread b(count);
        RunThread c(count);
    }
    EXPECT_EQ(3 * kPerThread, value);
}
