// Events: manual-reset ones stay signalled until reset. An auto-reset one
// hands each SetEvent to one blocked waiter, the longest waiting, or with
// none blocked stays set until a wait takes it, as on Windows: two SetEvent
// calls with one waiter release it and leave the event set. Named events are shared within the
// process (the module's named objects that cross processes are mutexes).
#include "platform/linux/sync.h"

#include <list>

namespace platform {

namespace {

class EventObject : public KernelObject {
public:
    EventObject(bool manualReset, bool signalled)
        : manualReset_(manualReset), signalled_(signalled) {}

    DWORD wait(DWORD milliseconds) override {
        MonitorLock guard(monitor_);
        if (signalled_) {
            if (!manualReset_) {
                signalled_ = false;
            }
            return WAIT_OBJECT_0;
        }
        if (milliseconds == 0) {
            return WAIT_TIMEOUT;
        }
        Deadline deadline(milliseconds);
        if (manualReset_) {
            while (!signalled_) {
                if (!monitor_.wait(deadline)) {
                    return signalled_ ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
                }
            }
            return WAIT_OBJECT_0;
        }
        Waiter self(waiters_);
        while (!self.released) {
            if (!monitor_.wait(deadline)) {
                return self.released ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
            }
        }
        return WAIT_OBJECT_0;
    }

    void set() {
        {
            MonitorLock guard(monitor_);
            if (!manualReset_ && !waiters_.empty()) {
                Waiter* first = waiters_.front();
                waiters_.pop_front();
                first->released = true;
            } else {
                signalled_ = true;
            }
        }
        // Woken outside the lock: a waiter that wakes at once on another core
        // would otherwise block again on the lock the setter still holds. A
        // waiter tests the state under the lock before it waits, so it cannot
        // miss this wake-up.
        monitor_.notifyAll();
    }

    void reset() {
        MonitorLock guard(monitor_);
        signalled_ = false;
    }

private:
    // A blocked waiter of an auto-reset event, in the queue from its first
    // wait until a SetEvent releases it or it leaves (time-out, or its
    // thread ended by TerminateThread, always with the monitor's lock held).
    struct Waiter {
        explicit Waiter(std::list<Waiter*>& queue)
            : queue_(queue), entry_(queue.insert(queue.end(), this)) {}
        ~Waiter() {
            if (!released) {
                queue_.erase(entry_);
            }
        }
        Waiter(const Waiter&) = delete;
        Waiter& operator=(const Waiter&) = delete;
        bool released = false;

    private:
        std::list<Waiter*>& queue_;
        std::list<Waiter*>::iterator entry_;
    };

    Monitor monitor_;
    const bool manualReset_;
    bool signalled_;
    std::list<Waiter*> waiters_; // oldest first
};

} // namespace

} // namespace platform

using platform::EventObject;

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
    std::string objectName;
    if (!platform::normaliseObjectName(name, objectName)) {
        return nullptr;
    }
    std::shared_ptr<platform::KernelObject> object;
    bool existed = false;
    if (objectName.empty()) {
        object = std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE);
    } else {
        object = platform::openOrCreateNamed(objectName, existed, [&] {
            return std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE);
        });
        // The name belongs to another kind of object.
        if (!std::dynamic_pointer_cast<EventObject>(object)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
    }
    HANDLE handle = platform::addHandle(object);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL SetEvent(HANDLE event) {
    auto object = platform::findHandleAs<EventObject>(event);
    if (!object) {
        return FALSE;
    }
    object->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE event) {
    auto object = platform::findHandleAs<EventObject>(event);
    if (!object) {
        return FALSE;
    }
    object->reset();
    return TRUE;
}
