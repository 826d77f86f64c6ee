#include "sim/WaitQueue.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace sim {

namespace {

// The longest single sleep; a longer wait sleeps again.
constexpr DWORD longestSleep = 0x7FFFFFFFu;

} // namespace

// A thread's own auto-reset event, made at its first wait and kept for the
// next ones. A wake-up that comes after its wait ended leaves the event set
// and makes the next wait return at once, which callers treat as spurious.
// Shared, so that an event deferred for waking outlives the thread it wakes.
struct WaitQueue::Waiter {
    HANDLE event;
    Waiter() : event(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
        if (event == nullptr) {
            throw std::runtime_error("no event to wait on");
        }
    }
    ~Waiter() { CloseHandle(event); }
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;
};

namespace {

thread_local WaitQueue::DeferredWakeups* deferred = nullptr;

} // namespace

WaitQueue::DeferredWakeups::DeferredWakeups() : outer_(deferred) {
    deferred = this;
}

WaitQueue::DeferredWakeups::~DeferredWakeups() {
    deferred = outer_;
    flush();
}

void WaitQueue::DeferredWakeups::flush() {
    for (const std::shared_ptr<Waiter>& waiter : woken_) {
        SetEvent(waiter->event);
    }
    woken_.clear();
}

void WaitQueue::wait(std::unique_lock<std::mutex>& lock) {
    sleep(lock, INFINITE);
}

void WaitQueue::release(std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    if (deferred != nullptr) {
        deferred->flush();
    }
}

void WaitQueue::waitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline,
                          bool coarse) {
    const Clock::time_point now = Clock::now();
    if (deadline <= now) {
        return;
    }
    const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
    if (coarse) {
        sleep(lock,
              static_cast<DWORD>(std::min<long long>((micro.count() + 999) / 1000, longestSleep)));
        return;
    }
    if (micro.count() >= 1000) {
        // Whole milliseconds, rounded down; callers wait again for the rest.
        sleep(lock, static_cast<DWORD>(std::min<long long>(micro.count() / 1000, longestSleep)));
        return;
    }
    // The rest of a millisecond, slept to the microsecond: a Win32 wait would
    // make it a whole one, and a link's timing (2 ms for a packet, the 1 ms
    // read interval) would run late by up to half.
    struct Relock {
        std::unique_lock<std::mutex>& lock;
        ~Relock() { lock.lock(); }
    } relock{lock};
    release(lock);
    std::this_thread::sleep_until(deadline);
}

void WaitQueue::notifyAll() {
    if (deferred != nullptr) {
        deferred->woken_.insert(deferred->woken_.end(), waiting_.begin(), waiting_.end());
    } else {
        for (const std::shared_ptr<Waiter>& waiter : waiting_) {
            SetEvent(waiter->event);
        }
    }
    waiting_.clear();
}

void WaitQueue::sleep(std::unique_lock<std::mutex>& lock, DWORD milliseconds) {
    thread_local std::shared_ptr<Waiter> self = std::make_shared<Waiter>();
    waiting_.push_back(self);
    // Runs on a normal return and while a terminated thread's stack unwinds.
    struct Leave {
        std::unique_lock<std::mutex>& lock;
        std::vector<std::shared_ptr<Waiter>>& waiting;
        const std::shared_ptr<Waiter>& self;
        ~Leave() {
            lock.lock();
            waiting.erase(std::remove(waiting.begin(), waiting.end(), self), waiting.end());
        }
    } leave{lock, waiting_, self};
    release(lock);
    WaitForSingleObject(self->event, milliseconds);
}

} // namespace sim
