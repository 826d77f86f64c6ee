// An in-process lock over a Windows critical section (recursive for its owner).
#pragma once

#include "platform/win32.h"

class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter();
    void leave();

private:
    CRITICAL_SECTION section_;
};
