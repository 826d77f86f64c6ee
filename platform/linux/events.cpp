// Events: manual-reset ones stay signalled until reset, auto-reset ones
// release one waiter and reset themselves. Named events are shared within the
// process (the module's named objects that cross processes are mutexes).
#include "platform/linux/sync.h"

namespace platform {

namespace {

class EventObject : public KernelObject {
public:
    EventObject(bool manualReset, bool signalled)
        : manualReset_(manualReset), signalled_(signalled) {}

    DWORD wait(DWORD milliseconds) override {
        MonitorLock guard(monitor_);
        Deadline deadline(milliseconds);
        while (!signalled_) {
            if (milliseconds == 0 || !monitor_.wait(deadline)) {
                if (signalled_) {
                    break;
                }
                return WAIT_TIMEOUT;
            }
        }
        if (!manualReset_) {
            signalled_ = false;
        }
        return WAIT_OBJECT_0;
    }

    void set() {
        {
            MonitorLock guard(monitor_);
            signalled_ = true;
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
    Monitor monitor_;
    const bool manualReset_;
    bool signalled_;
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
