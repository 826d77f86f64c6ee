#include "visitors/Par1VisitorPrototypes.h"

#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"
#include "visitors/Par1ActivateNpaModeVisitor.h"
#include "visitors/Par1GetNpaModeVisitor.h"
#include "visitors/Par1NpaDataVisitor.h"
#include "visitors/Par1SetMaxPacketSizeVisitor.h"
#include "visitors/Par1SetNpaWrapModeVisitor.h"

#include <atomic>
#include <new>

namespace {

CriticalSection& prototypesLock() {
    static CriticalSection lock;
    return lock;
}

template <class T> std::atomic<T*>& slot() {
    static std::atomic<T*> instance{nullptr};
    return instance;
}

template <class T> T* instanceOf() {
    T* instance = slot<T>().load(std::memory_order_acquire);
    if (instance == nullptr) {
        CriticalSectionLock lock(prototypesLock());
        instance = slot<T>().load(std::memory_order_relaxed);
        if (instance == nullptr) {
            // The constructor registers the prototype under its name.
            instance = new (std::nothrow) T(true);
            slot<T>().store(instance, std::memory_order_release);
        }
    }
    return instance;
}

template <class T> void releaseOf() {
    CriticalSectionLock lock(prototypesLock());
    delete slot<T>().exchange(nullptr, std::memory_order_acq_rel);
}

} // namespace

namespace Par1VisitorPrototypes {

void create() {
    activateNpaMode();
    getNpaMode();
    setNpaWrapMode();
    npaData();
    setMaxPacketSize();
}

void release() {
    releaseOf<Par1SetMaxPacketSizeVisitor>();
    releaseOf<Par1NpaDataVisitor>();
    releaseOf<Par1SetNpaWrapModeVisitor>();
    releaseOf<Par1GetNpaModeVisitor>();
    releaseOf<Par1ActivateNpaModeVisitor>();
}

Par1ActivateNpaModeVisitor* activateNpaMode() {
    return instanceOf<Par1ActivateNpaModeVisitor>();
}

Par1GetNpaModeVisitor* getNpaMode() {
    return instanceOf<Par1GetNpaModeVisitor>();
}

Par1SetNpaWrapModeVisitor* setNpaWrapMode() {
    return instanceOf<Par1SetNpaWrapModeVisitor>();
}

Par1NpaDataVisitor* npaData() {
    return instanceOf<Par1NpaDataVisitor>();
}

Par1SetMaxPacketSizeVisitor* setMaxPacketSize() {
    return instanceOf<Par1SetMaxPacketSizeVisitor>();
}

} // namespace Par1VisitorPrototypes
