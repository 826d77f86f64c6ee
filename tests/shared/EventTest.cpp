#include "shared/Event.h"
#include "TestNames.h"

#include <gtest/gtest.h>

#include <thread>

TEST(Event, SetWithCodeWakesTheWaiterWithFalseAndTheCode) {
    Event event(false, false, "", false);
    bool result = true;
    std::thread waiter([&] { result = event.wait(INFINITE); });
    event.set(ERROR_OPERATION_ABORTED);
    waiter.join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(event.isAborted());  // the reason is consumed
    EXPECT_EQ(995u, event.getCode()); // the code stays readable
    EXPECT_FALSE(event.wait(0));      // auto reset: nothing left
    event.set();
    EXPECT_EQ(0u, event.getCode());
    EXPECT_TRUE(event.wait(0));
}

TEST(Event, ManualResetAnswersFalseOnceForACode) {
    Event event(true, false, "", false);
    event.set(7);
    EXPECT_TRUE(event.isAborted());
    EXPECT_FALSE(event.wait(0));
    // Still signalled, and the reason was taken by the first wait.
    EXPECT_TRUE(event.wait(0));
    EXPECT_EQ(7u, event.getCode());
}

TEST(Event, ResetModes) {
    Event manual(true, false, "", false);
    EXPECT_FALSE(manual.wait(0));
    manual.set();
    EXPECT_TRUE(manual.wait(0));
    EXPECT_TRUE(manual.wait(0));
    manual.reset();
    EXPECT_FALSE(manual.wait(0));

    Event automatic(false, false, "", false);
    automatic.set();
    EXPECT_TRUE(automatic.wait(0));
    EXPECT_FALSE(automatic.wait(0));

    Event initiallySet(false, true, "", false);
    EXPECT_TRUE(initiallySet.wait(0));
    EXPECT_FALSE(initiallySet.wait(0));
}

TEST(Event, ResetForgetsTheCode) {
    Event event(true, false, "", false);
    event.set(1460);
    event.reset();
    EXPECT_FALSE(event.isAborted());
    EXPECT_EQ(0u, event.getCode());
    EXPECT_FALSE(event.wait(0));
    event.set();
    EXPECT_TRUE(event.wait(0));
}

TEST(Event, NamedEventsShareTheirState) {
    const std::string name = uniqueObjectName("event");
    Event first(true, false, name, true);
    Event second(true, false, name, false);
    EXPECT_EQ(name, second.getName());
    EXPECT_FALSE(second.wait(0));
    first.set();
    EXPECT_TRUE(second.wait(0));
    second.reset();
    EXPECT_FALSE(first.wait(0));
}
