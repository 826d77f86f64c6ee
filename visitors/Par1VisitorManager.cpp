#include "visitors/Par1VisitorManager.h"

#include "visitors/Par1NullVisitor.h"
#include "visitors/Par1Visitor.h"

#include "shared/CriticalSectionLock.h"

#include <new>

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
