#include "visitors/Par1VisitorManager.h"

#include "visitors/Par1NullVisitor.h"
#include "visitors/Par1Visitor.h"

#include "shared/CriticalSectionLock.h"

#include <atomic>
#include <new>

namespace {

std::atomic<Par1VisitorManager*> instance{nullptr};

CriticalSection& instanceLock() {
    static CriticalSection lock;
    return lock;
}

} // namespace

Par1VisitorManager* Par1VisitorManager::getInstance() {
    Par1VisitorManager* manager = instance.load(std::memory_order_acquire);
    if (manager == nullptr) {
        CriticalSectionLock lock(instanceLock());
        manager = instance.load(std::memory_order_relaxed);
        if (manager == nullptr) {
            manager = new (std::nothrow) Par1VisitorManager;
            instance.store(manager, std::memory_order_release);
        }
    }
    return manager;
}

void Par1VisitorManager::destroyInstance() {
    CriticalSectionLock lock(instanceLock());
    delete instance.exchange(nullptr, std::memory_order_acq_rel);
}

Par1VisitorManager::Par1VisitorManager() = default;

Par1VisitorManager::~Par1VisitorManager() = default;

Visitor* Par1VisitorManager::getVisitor(std::string name) {
    Visitor* visitor = nullptr;
    {
        CriticalSectionLock lock(prototypesLock_);
        const auto found = prototypes_.find(name);
        if (found != prototypes_.end()) {
            visitor = found->second->clone();
        }
    }
    // A prototype that cannot be cloned must not hand the host a null
    // pointer it would call through.
    if (visitor == nullptr) {
        visitor = new (std::nothrow) Par1NullVisitor;
    }
    return visitor;
}

void Par1VisitorManager::registerVisitor(Par1Visitor* prototype) {
    if (prototype == nullptr) {
        return;
    }
    std::string name = prototype->getName();
    if (name.empty()) {
        return;
    }
    CriticalSectionLock lock(prototypesLock_);
    prototypes_[name] = prototype;
}
