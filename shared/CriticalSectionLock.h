// Holds a critical section for the lifetime of the guard.
#pragma once

#include "shared/CriticalSection.h"

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& section);
    ~CriticalSectionLock();
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& section_;
};
