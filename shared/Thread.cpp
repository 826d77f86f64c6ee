#include "shared/Thread.h"

#include "shared/Event.h"
#include "shared/Win32Exception.h"

struct Thread::StartBlock {
    Runnable* runnable;
    Event* startEvent;
};

Thread::Thread(Runnable& runnable) : runnable_(runnable) {}

Thread::~Thread() {
    if (threadHandle_ != nullptr) {
        WaitForSingleObject(threadHandle_, INFINITE);
        CloseHandle(threadHandle_);
    }
}

void Thread::start() {
    if (threadHandle_ != nullptr) {
        throw Win32Exception("Thread::start()", ERROR_INVALID_FUNCTION, "Thread", __LINE__);
    }
    Event startEvent(true, false, "", false);
    startBlock_.reset(new StartBlock{&runnable_, &startEvent});
    uintptr_t handle =
        _beginthreadex(nullptr, stackSize_, &Thread::entry, startBlock_.get(), 0, &threadId_);
    if (handle == 0) {
        DWORD error = GetLastError();
        startBlock_.reset();
        throw Win32Exception("Thread::start()", error, "Thread", __LINE__);
    }
    threadHandle_ = reinterpret_cast<HANDLE>(handle);
    SetThreadPriority(threadHandle_, priority_);
    startEvent.wait(INFINITE);
    // The new thread no longer looks at the start event.
    startBlock_->startEvent = nullptr;
}

bool Thread::waitForTermination(DWORD timeout) {
    if (threadHandle_ == nullptr) {
        return false;
    }
    DWORD result = WaitForSingleObject(threadHandle_, timeout);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

bool Thread::getHandle(HANDLE& handle) const {
    if (threadHandle_ == nullptr) {
        return false;
    }
    handle = threadHandle_;
    return true;
}

unsigned WINAPI Thread::entry(void* argument) {
    auto* block = static_cast<StartBlock*>(argument);
    Runnable* runnable = block->runnable;
    try {
        block->startEvent->set();
        return runnable->run();
    } catch (Exception& e) {
        // An exception must not end the host's process: it becomes the
        // thread's exit code.
        return e.getErrorCode() != 0 ? e.getErrorCode() : ERROR_INTERNAL_ERROR;
    } catch (...) {
        // TerminateThread unwinds the stack on Linux; that must go on.
        if (platform::isThreadTerminating()) {
            throw;
        }
        return ERROR_INTERNAL_ERROR;
    }
}
