#include "shared/CriticalSectionLock.h"

CriticalSectionLock::CriticalSectionLock(CriticalSection& section) : section_(section) {
    section_.enter();
}

CriticalSectionLock::~CriticalSectionLock() {
    section_.leave();
}
