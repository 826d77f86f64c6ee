#include "sim/WaitQueue.h"

#include <algorithm>
#include <stdexcept>

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
    // Rounded up, so the sleep does not end just before the deadline.
    const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
    const long long ms = (micro.count() + 999) / 1000;
    sleep(lock, static_cast<DWORD>(std::min<long long>(ms, longestSleep)));
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
