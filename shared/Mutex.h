// A Windows mutex, recursive for its owner, optionally named (shared between
// processes) and open to every user. release() gives it up completely,
// however often the owner acquired it.
#pragma once

#include "platform/win32.h"

#include <atomic>
#include <cstdint>
#include <string>

class Mutex {
public:
    // An empty name makes an unnamed mutex. With everyone, any user may open
    // it (a security descriptor with a null DACL). Throws Win32Exception.
    Mutex(bool initialOwner, const std::string& name, bool everyone);
    // Closes the handle; does not release.
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Time-out in milliseconds, INFINITE waits for ever; 0 answers false
    // without waiting. A mutex abandoned by an owner that ended counts as
    // acquired. Throws Win32Exception when the wait fails.
    bool acquire(DWORD timeout);
    // Only for the owning thread: releases every acquisition. Does nothing on
    // any other thread. Throws Win32Exception when ReleaseMutex fails.
    void release();
    // Whether the calling thread owns the mutex (acquired and not released).
    bool heldByCaller() const;

    const std::string& getName() const { return name_; }

protected:
    void createMutex(LPSECURITY_ATTRIBUTES attributes, bool initialOwner, const char* name);

private:
    HANDLE handle_ = nullptr;
    std::string name_;
    // The owner's thread id (high half) and how often it acquired the mutex
    // (low half), in one word: only the owner writes it, and a thread that
    // reads it can never take another thread's count for its own.
    std::atomic<uint64_t> ownerAndCount_{0};
};
