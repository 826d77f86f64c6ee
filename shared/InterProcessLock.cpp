#include "shared/InterProcessLock.h"

#include "shared/Win32Exception.h"

InterProcessLock::InterProcessLock(Mutex& mutex) : mutex_(mutex) {
    if (mutex_.getName().empty()) {
        throw Win32Exception("InterProcessLock has no name", 0, "InterProcessLock", 16);
    }
    mutex_.acquire(INFINITE);
}

InterProcessLock::~InterProcessLock() {
    try {
        mutex_.release();
    } catch (Exception&) {
        // Nothing leaves a destructor; a failed release leaves the mutex to
        // be abandoned when this thread ends.
    }
}
