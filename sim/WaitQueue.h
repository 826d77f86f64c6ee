// Threads waiting for the state that a std::mutex guards to change: the
// condition variable of the virtual ports, built on Win32 events.
//
// The module terminates a read thread that does not stop in time, and such a
// thread is usually blocked in a read. A waiter here holds neither the mutex
// nor any lock inside a condition variable while it sleeps (it waits on an
// event of its own), so the threads that remain carry on; on Linux the
// terminated thread's stack unwinds through wait and leaves everything tidy.
#pragma once

#include "platform/win32.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace sim {

class WaitQueue {
    struct Waiter;

public:
    using Clock = std::chrono::steady_clock;

    // With the lock held: sleeps until notifyAll or the deadline, and returns
    // with the lock held again. Wake-ups may be spurious: callers check.
    // Waits longer than a millisecond may end up to a millisecond early
    // (callers wait again); the last part of a millisecond is slept to the
    // microsecond and is not ended by notifyAll. A coarse wait is one sleep,
    // rounded up to the millisecond: it may end up to a millisecond late but
    // wakes the thread once rather than twice.
    void wait(std::unique_lock<std::mutex>& lock);
    void waitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline,
                   bool coarse = false);

    // With the lock held: waits until ready() or the time is up; answers
    // ready().
    template <class Ready>
    bool waitFor(std::unique_lock<std::mutex>& lock, DWORD milliseconds, Ready ready) {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
        while (!ready()) {
            if (Clock::now() >= deadline) {
                return false;
            }
            waitUntil(lock, deadline);
        }
        return true;
    }

    // With the lock held: wakes every waiter, at once or, inside a
    // DeferredWakeups scope of this thread, once the lock is given up.
    void notifyAll();

    // While one lives, the calling thread's notifyAll calls wake their
    // waiters when the thread next sleeps here or when the scope ends.
    // Declared before the lock, it ends after the lock is released: a woken
    // thread then does not run straight into the lock its waker still holds.
    class DeferredWakeups {
    public:
        DeferredWakeups();
        ~DeferredWakeups();
        DeferredWakeups(const DeferredWakeups&) = delete;
        DeferredWakeups& operator=(const DeferredWakeups&) = delete;

        // Wakes what was deferred so far.
        void flush();

    private:
        friend class WaitQueue;
        DeferredWakeups* outer_;
        std::vector<std::shared_ptr<Waiter>> woken_;
    };

private:
    void sleep(std::unique_lock<std::mutex>& lock, DWORD milliseconds);
    // Gives the lock up for a sleep, waking what this thread deferred.
    static void release(std::unique_lock<std::mutex>& lock);

    std::vector<std::shared_ptr<Waiter>> waiting_;
};

} // namespace sim
