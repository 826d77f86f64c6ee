#include "protocol/RefCounted.h"

#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"

RefCounted::RefCounted() : count_(0), countLock_(new CriticalSection) {}

RefCounted::~RefCounted() = default;

uint32_t RefCounted::addRef() {
    CriticalSectionLock lock(*countLock_);
    return ++count_;
}

uint32_t RefCounted::release() {
    CriticalSectionLock lock(*countLock_);
    if (count_ > 0) {
        --count_;
    }
    return count_;
}
