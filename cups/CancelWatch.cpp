#include "CancelWatch.h"

#include "BackendExit.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

namespace {

// Set by the signal handler: a lock-free atomic is all a handler may touch.
std::atomic<bool> terminateSignalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs a lock-free flag");

extern "C" void onTerminate(int) {
    terminateSignalled.store(true);
}

// How often the watch looks at the flag.
const std::chrono::milliseconds pollInterval(10);

} // namespace

CancelWatch::CancelWatch(StatusLines& status, std::chrono::milliseconds grace)
    : status_(status), grace_(grace) {
    std::signal(SIGTERM, onTerminate);
#ifdef SIGPIPE
    // A scheduler that has gone away is seen as a failed write, not a death.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    thread_ = std::thread([this] { watch(); });
}

CancelWatch::~CancelWatch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool CancelWatch::cancelled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cancelled_;
}

bool CancelWatch::sleep(std::chrono::milliseconds time) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, time, [this] { return cancelled_; });
    return !cancelled_;
}

void CancelWatch::onCancel(std::function<void()> action) {
    std::lock_guard<std::mutex> lock(actionMutex_);
    action_ = std::move(action);
}

void CancelWatch::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!finished_ && !terminateSignalled.load()) {
        changed_.wait_for(lock, pollInterval);
    }
    if (finished_) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + grace_;
    cancelled_ = true;
    lock.unlock();
    changed_.notify_all();
    status_.debug("the job was cancelled (SIGTERM): closing the connection");
    // On a thread of its own: closing waits for a write under way to leave
    // the port, which a slow printer may hold longer than the grace.
    std::thread closer([this] {
        std::lock_guard<std::mutex> acting(actionMutex_);
        if (action_) {
            action_();
        }
    });
    lock.lock();
    if (!changed_.wait_until(lock, deadline, [this] { return finished_; })) {
        // The job is still inside the module, waiting for a printer that
        // does not answer (the connection closed, or closing).
        status_.debug("the job is still waiting for the printer; ending it now");
        std::_Exit(BackendCancel);
    }
    lock.unlock();
    closer.join();
}
