// A thread that runs a Runnable. start() returns only once the new thread is
// running; destroying a started Thread waits for it to end, so an owner that
// must not block for ever waits with waitForTermination first and ends the
// thread itself.
#pragma once

#include "platform/win32.h"
#include "shared/Runnable.h"

#include <cstdint>
#include <memory>

class Thread {
public:
    // The runnable is not owned and must outlive the thread.
    explicit Thread(Runnable& runnable);
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Throws Win32Exception "Thread::start()" when the thread cannot be
    // created, or (code 1) when it was started before.
    void start();
    // True when the thread ended within the time-out (milliseconds); false
    // for a thread never started.
    bool waitForTermination(DWORD timeout);
    // The thread's handle, once started.
    bool getHandle(HANDLE& handle) const;

private:
    struct StartBlock;
    static unsigned WINAPI entry(void* argument);

    std::unique_ptr<StartBlock> startBlock_;
    // Below the POSIX minimum; the Linux platform rounds it up.
    uint32_t stackSize_ = 4096;
    unsigned threadId_ = 0;
    int32_t priority_ = THREAD_PRIORITY_NORMAL;
    HANDLE threadHandle_ = nullptr;
    Runnable& runnable_;
};
