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
    // Waits at most timeout milliseconds; held() tells whether it got the
    // mutex. Another process may hold a shared lock for ever: every wait for
    // one that the module makes on a print path is bounded.
    InterProcessLock(Mutex& mutex, DWORD timeout);
    bool held() const { return held_; }
    ~InterProcessLock();
    InterProcessLock(const InterProcessLock&) = delete;
    InterProcessLock& operator=(const InterProcessLock&) = delete;

private:
    Mutex& mutex_;
    bool held_ = false;
};
