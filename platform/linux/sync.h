// Building blocks of the layer's waitable objects: time-outs on the
// monotonic clock, a monitor (mutex and condition) whose waits TerminateThread
// can interrupt, the per-thread record of owned mutexes, and the process's
// namespace of named objects.
#pragma once

#include "platform/linux/handles.h"

#include <atomic>
#include <ctime>
#include <functional>
#include <memory>
#include <pthread.h>
#include <string>

namespace platform {

// A wait's end, on the monotonic clock so that a change of the wall clock
// neither shortens nor stretches a time-out. INFINITE never expires.
class Deadline {
public:
    explicit Deadline(DWORD milliseconds);
    bool infinite() const { return infinite_; }
    bool expired() const;
    const timespec& when() const { return when_; }
    // The earlier of the deadline and sliceMs from now, on the wall clock, for
    // the waits that take no other clock: a change of the wall clock
    // stretches or shortens only this slice.
    timespec wallClockSliceEnd(long sliceMs) const;
    // Milliseconds left, rounded up; -1 for INFINITE.
    int remainingMs() const;

private:
    bool infinite_;
    timespec when_{};
};

timespec monotonicNow();

// A mutex and a condition on the monotonic clock. Waiting on it is a
// cancellation point: a thread ended by TerminateThread leaves the wait, and
// MonitorLock gives the mutex back while the stack unwinds.
class Monitor {
public:
    Monitor();
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    void lock();
    void unlock();
    // With the lock held: waits for notifyAll or the deadline; false once the
    // deadline has passed.
    bool wait(const Deadline& deadline);
    void notifyAll();

private:
    pthread_mutex_t mutex_;
    pthread_cond_t condition_;
};

class MonitorLock {
public:
    explicit MonitorLock(Monitor& monitor) : monitor_(monitor) { monitor_.lock(); }
    ~MonitorLock() { monitor_.unlock(); }
    MonitorLock(const MonitorLock&) = delete;
    MonitorLock& operator=(const MonitorLock&) = delete;

private:
    Monitor& monitor_;
};

// Holds off TerminateThread for a scope: code that must run to its end (a
// handle's destruction, the bookkeeping of a thread's end) runs inside one.
class CancellationBlock {
public:
    CancellationBlock();
    ~CancellationBlock();
    CancellationBlock(const CancellationBlock&) = delete;
    CancellationBlock& operator=(const CancellationBlock&) = delete;

private:
    int previous_;
};

// The calling thread's id as GetCurrentThreadId answers it.
DWORD currentThreadId();

// What a thread handle names: a thread of this process, or the main thread of
// a child process.
class ThreadHandleObject : public KernelObject {
public:
    // STILL_ACTIVE while the thread runs.
    virtual DWORD exitCode() = 0;
    // The priority is recorded; the scheduling it asks for is not applied.
    int priority() const { return priority_.load(); }
    void setPriority(int priority) { priority_.store(priority); }

private:
    std::atomic<int> priority_{THREAD_PRIORITY_NORMAL};
};

// A mutex object, in-process or named.
class MutexObject : public KernelObject, public std::enable_shared_from_this<MutexObject> {
public:
    virtual BOOL release() = 0;
    // Called on the owning thread when it ends still owning the mutex: the
    // next waiter gets WAIT_ABANDONED.
    virtual void abandon() = 0;
};

// The calling thread's owned mutexes. Ownership keeps the object alive, so a
// mutex whose handles were closed by its owner is still abandoned at the
// owner's end, as Windows does.
void noteOwned(const std::shared_ptr<MutexObject>& mutex);
void noteReleased(const MutexObject* mutex);
// Abandons every mutex the calling thread still owns.
void abandonOwnedMutexes();

// The process's namespace of named kernel objects. Answers the object of that
// name when one exists (existed true), otherwise what create makes (which may
// be null, with the last error set). The namespace lock is held meanwhile, so
// two threads creating one name get one object.
std::shared_ptr<KernelObject>
openOrCreateNamed(const std::string& name, bool& existed,
                  const std::function<std::shared_ptr<KernelObject>()>& create);

// Checks an object name as Windows does: null or empty is unnamed; the
// "Global\" and "Local\" prefixes are dropped; another backslash fails with
// ERROR_PATH_NOT_FOUND. Answers false with the last error set.
bool normaliseObjectName(LPCSTR name, std::string& normalised);

} // namespace platform
