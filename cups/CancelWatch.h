// A cancelled job: the scheduler sends the backend SIGTERM. The watch turns
// the signal into a flag the job checks between its steps, wakes the job's
// waits, and runs the job's abort action (closing the connection, which
// stops the read thread and the port) on a thread of its own. A job that is
// blocked inside the module (a printer that never answers keeps a write
// waiting for its acknowledgement for seconds, a slow port holds a write)
// gets a short grace from the signal on to close and unwind; after it the
// process ends at once with BackendCancel, so a cancelled job always ends
// within a second. The closing runs on a thread of its own, so that a write
// the port holds cannot keep the process past the grace.
#pragma once

#include "StatusLines.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class CancelWatch {
public:
    // Installs the SIGTERM handler and starts the watch.
    // Its lines go to status.
    explicit CancelWatch(StatusLines& status,
                         std::chrono::milliseconds grace = std::chrono::milliseconds(500));
    // The job has ended: stops the watch.
    ~CancelWatch();
    CancelWatch(const CancelWatch&) = delete;
    CancelWatch& operator=(const CancelWatch&) = delete;

    bool cancelled() const;
    // Waits so long, or until the job is cancelled; false when it is.
    bool sleep(std::chrono::milliseconds time);
    // What cancelling does besides the flag, on a thread of its own; an empty
    // function for nothing. Setting it waits for an action under way, so the
    // job may destroy what the old action used once this returns.
    void onCancel(std::function<void()> action);

private:
    void watch();

    StatusLines& status_;
    const std::chrono::milliseconds grace_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::mutex actionMutex_;
    std::function<void()> action_;
    bool cancelled_ = false;
    bool finished_ = false;
    std::thread thread_;
};
