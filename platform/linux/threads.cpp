// Threads. TerminateThread cancels the pthread: the thread leaves its next
// wait, sleep or read and its stack unwinds (see platform::isThreadTerminating
// in win32.h). The handle is signalled once the unwinding has finished, so
// nothing of the thread still runs when a waiter wakes up.
#include "platform/linux/sync.h"

#include <cerrno>
#include <ctime>
#include <sched.h>
#include <unistd.h>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/asan_interface.h>
#endif

namespace platform {

namespace {

// AddressSanitizer clears the shadow of the frames an exception unwinds, but
// not of those a cancellation unwinds: left poisoned below the frames still
// running, they fail its own checks when the unwinding is rethrown. A stack
// region handed here holds no live variable (or only ones about to unwind).
// The tests run with detect_stack_use_after_return (the linux-asan test
// preset), which keeps most frames on ASan's fake stack, where a cancellation
// leaves no poison behind.
void forgetStackPoison(char* low, char* high) {
#ifdef __SANITIZE_ADDRESS__
    if (low != nullptr && high > low) {
        __asan_unpoison_memory_region(low, static_cast<size_t>(high - low));
    }
#else
    (void)low;
    (void)high;
#endif
}

// Windows reserves a thread's stack in the program's default size (1 MiB)
// whatever smaller size is asked for, which it only commits at start.
constexpr size_t kMinimumStack = 1024 * 1024;

class ThreadObject : public ThreadHandleObject {
public:
    ThreadObject(unsigned(WINAPI* start)(void*), void* argument)
        : start_(start), argument_(argument) {}

    DWORD wait(DWORD milliseconds) override {
        MonitorLock guard(monitor_);
        Deadline deadline(milliseconds);
        while (!finished_) {
            if (milliseconds == 0 || !monitor_.wait(deadline)) {
                if (finished_) {
                    break;
                }
                return WAIT_TIMEOUT;
            }
        }
        return WAIT_OBJECT_0;
    }

    DWORD exitCode() override {
        MonitorLock guard(monitor_);
        return finished_ ? exitCode_ : STILL_ACTIVE;
    }

    bool terminating() const { return terminating_.load(); }
    // Below the caller's frame, what unwinding left behind.
    void forgetUnwoundFrames(char* callerFrame) const { forgetStackPoison(stackLow_, callerFrame); }

    // Answers false when the thread has already ended.
    bool terminate(DWORD exitCode) {
        MonitorLock guard(monitor_);
        if (finished_) {
            return false;
        }
        if (!terminating_.load()) {
            terminateCode_ = exitCode;
            terminating_.store(true);
            if (!pthread_equal(thread_, pthread_self())) {
                // The thread cannot be gone yet: it marks itself finished
                // under this lock before it ends. Its frames are about to
                // unwind.
                forgetStackPoison(stackLow_, stackHigh_);
                pthread_cancel(thread_);
            }
        }
        return true;
    }

    static void* entry(void* holder);
    static bool start(const std::shared_ptr<ThreadObject>& thread, size_t stackSize,
                      DWORD& threadId);

private:
    struct End;

    unsigned(WINAPI* start_)(void*);
    void* argument_;
    Monitor monitor_;
    pthread_t thread_{};
    DWORD id_ = 0;
    char* stackLow_ = nullptr;
    char* stackHigh_ = nullptr;

    bool finished_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
    std::atomic<bool> terminating_{false};
    DWORD terminateCode_ = 0;
};

thread_local ThreadObject* currentThread = nullptr;

// Runs when the thread function returns and when the stack of a terminated
// thread unwinds: abandons the mutexes still owned, then signals the handle.
struct ThreadObject::End {
    std::shared_ptr<ThreadObject> self;
    bool returned = false;
    unsigned code = 0;

    ~End() {
        CancellationBlock block;
        self->forgetUnwoundFrames(static_cast<char*>(__builtin_frame_address(0)));
        abandonOwnedMutexes();
        MonitorLock guard(self->monitor_);
        if (self->terminating_.load()) {
            self->exitCode_ = self->terminateCode_;
        } else {
            self->exitCode_ = returned ? code : 0;
        }
        self->finished_ = true;
        self->monitor_.notifyAll();
        currentThread = nullptr;
    }
};

void* ThreadObject::entry(void* holder) {
    End end;
    {
        auto* object = static_cast<std::shared_ptr<ThreadObject>*>(holder);
        end.self = std::move(*object);
        delete object;
    }
    ThreadObject& self = *end.self;
    currentThread = &self;
    {
        MonitorLock guard(self.monitor_);
        pthread_attr_t attributes;
        if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
            void* low = nullptr;
            size_t size = 0;
            pthread_attr_getstack(&attributes, &low, &size);
            self.stackLow_ = static_cast<char*>(low);
            self.stackHigh_ = self.stackLow_ + size;
            pthread_attr_destroy(&attributes);
        }
        self.id_ = currentThreadId();
        self.monitor_.notifyAll();
    }
    end.code = self.start_(self.argument_);
    end.returned = true;
    return nullptr;
}

bool ThreadObject::start(const std::shared_ptr<ThreadObject>& thread, size_t stackSize,
                         DWORD& threadId) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t stack = stackSize < kMinimumStack ? kMinimumStack : stackSize;
    stack = (stack + page - 1) / page * page;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attributes, stack);
    auto* holder = new std::shared_ptr<ThreadObject>(thread);
    int result = pthread_create(&thread->thread_, &attributes, &ThreadObject::entry, holder);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        delete holder;
        errno = result;
        SetLastError(result == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return false;
    }
    // The caller learns the thread's id, which only the thread itself knows.
    MonitorLock guard(thread->monitor_);
    while (thread->id_ == 0) {
        thread->monitor_.wait(Deadline(INFINITE));
    }
    threadId = thread->id_;
    return true;
}

} // namespace

bool isThreadTerminating() {
    if (currentThread == nullptr || !currentThread->terminating()) {
        return false;
    }
    // Asked from a catch block that rethrows the unwinding next.
    currentThread->forgetUnwoundFrames(static_cast<char*>(__builtin_frame_address(0)));
    return true;
}

} // namespace platform

using platform::ThreadObject;

uintptr_t _beginthreadex(void*, unsigned stackSize, unsigned(WINAPI* start)(void*), void* argument,
                         unsigned, unsigned* threadId) {
    if (start == nullptr) {
        errno = EINVAL;
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto thread = std::make_shared<ThreadObject>(start, argument);
    DWORD id = 0;
    if (!ThreadObject::start(thread, stackSize, id)) {
        return 0;
    }
    if (threadId != nullptr) {
        *threadId = id;
    }
    return reinterpret_cast<uintptr_t>(platform::addHandle(thread));
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
    switch (priority) {
    case THREAD_PRIORITY_IDLE:
    case THREAD_PRIORITY_LOWEST:
    case THREAD_PRIORITY_BELOW_NORMAL:
    case THREAD_PRIORITY_NORMAL:
    case THREAD_PRIORITY_ABOVE_NORMAL:
    case THREAD_PRIORITY_HIGHEST:
    case THREAD_PRIORITY_TIME_CRITICAL:
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto object = platform::findHandleAs<platform::ThreadHandleObject>(thread);
    if (!object) {
        return FALSE;
    }
    object->setPriority(priority);
    return TRUE;
}

int GetThreadPriority(HANDLE thread) {
    auto object = platform::findHandleAs<platform::ThreadHandleObject>(thread);
    if (!object) {
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return object->priority();
}

BOOL TerminateThread(HANDLE thread, DWORD exitCode) {
    auto object = platform::findHandleAs<ThreadObject>(thread);
    if (!object) {
        return FALSE;
    }
    if (!object->terminate(exitCode)) {
        return TRUE; // already ended: its exit code stays
    }
    if (object.get() == platform::currentThread) {
        object.reset();
        pthread_exit(nullptr);
    }
    return TRUE;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    auto object = platform::findHandleAs<platform::ThreadHandleObject>(thread);
    if (!object) {
        return FALSE;
    }
    if (exitCode == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *exitCode = object->exitCode();
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    // clock_nanosleep is a cancellation point: a terminated thread leaves it.
    if (milliseconds == INFINITE) {
        for (;;) {
            timespec day{86400, 0};
            clock_nanosleep(CLOCK_MONOTONIC, 0, &day, nullptr);
        }
    }
    platform::Deadline deadline(milliseconds);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline.when(), nullptr) == EINTR) {
    }
}

DWORD GetCurrentThreadId() {
    return platform::currentThreadId();
}

DWORD GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}
