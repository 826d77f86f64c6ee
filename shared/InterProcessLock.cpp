#include "shared/InterProcessLock.h"

#include "shared/Win32Exception.h"

InterProcessLock::InterProcessLock(Mutex& mutex) : InterProcessLock(mutex, INFINITE) {}

InterProcessLock::InterProcessLock(Mutex& mutex, DWORD timeout) : mutex_(mutex) {
    if (mutex_.getName().empty()) {
        throw Win32Exception("InterProcessLock has no name", 0, "InterProcessLock", 16);
    }
    held_ = mutex_.acquire(timeout);
}

InterProcessLock::~InterProcessLock() {
    if (!held_) {
        return;
    }
    try {
        mutex_.release();
    } catch (Exception&) {
        // Nothing leaves a destructor; a failed release leaves the mutex to
        // be abandoned when this thread ends.
    }
}
