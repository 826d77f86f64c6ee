#include "sim/WaitQueue.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace sim {

namespace {

// The longest single sleep; a longer wait sleeps again.
constexpr DWORD longestSleep = 0x7FFFFFFFu;

} // namespace

void WaitQueue::wait(std::unique_lock<std::mutex>& lock) {
    sleep(lock, INFINITE);
}

void WaitQueue::waitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline) {
    const Clock::time_point now = Clock::now();
    if (deadline <= now) {
        return;
    }
    const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
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
    lock.unlock();
    std::this_thread::sleep_until(deadline);
}

void WaitQueue::notifyAll() {
    for (HANDLE event : waiting_) {
        SetEvent(event);
    }
    waiting_.clear();
}

void WaitQueue::sleep(std::unique_lock<std::mutex>& lock, DWORD milliseconds) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        throw std::runtime_error("no event to wait on");
    }
    waiting_.push_back(event);
    // Runs on a normal return and while a terminated thread's stack unwinds.
    struct Leave {
        std::unique_lock<std::mutex>& lock;
        std::vector<HANDLE>& waiting;
        HANDLE event;
        ~Leave() {
            lock.lock();
            waiting.erase(std::remove(waiting.begin(), waiting.end(), event), waiting.end());
            CloseHandle(event);
        }
    } leave{lock, waiting_, event};
    lock.unlock();
    WaitForSingleObject(event, milliseconds);
}

} // namespace sim
