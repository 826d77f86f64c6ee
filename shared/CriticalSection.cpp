#include "shared/CriticalSection.h"

CriticalSection::CriticalSection() {
    InitializeCriticalSection(&section_);
}

CriticalSection::~CriticalSection() {
    DeleteCriticalSection(&section_);
}

void CriticalSection::enter() {
    EnterCriticalSection(&section_);
}

void CriticalSection::leave() {
    LeaveCriticalSection(&section_);
}
