// Holds a named mutex for a scope, serialising every process that opens the
// same name (the shared log file). The release at the end of the scope is a
// full one: the mutex is free afterwards even if this thread had acquired it
// before the lock was made.
#pragma once

#include "shared/Mutex.h"

class InterProcessLock {
public:
    // Waits without a time-out. Throws Win32Exception "InterProcessLock has
    // no name" (code 0) at once for an unnamed mutex, and whatever acquire
    // throws.
    explicit InterProcessLock(Mutex& mutex);
    ~InterProcessLock();
    InterProcessLock(const InterProcessLock&) = delete;
    InterProcessLock& operator=(const InterProcessLock&) = delete;

private:
    Mutex& mutex_;
};
