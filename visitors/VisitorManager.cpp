#include "visitors/VisitorManager.h"

#include "visitors/UnsupportedVisitor.h"

#include <new>

VisitorManager::VisitorManager() = default;

VisitorManager::~VisitorManager() = default;

Visitor* VisitorManager::getVisitor(std::string) {
    return new (std::nothrow) UnsupportedVisitor;
}

void VisitorManager::releaseVisitor(Visitor* visitor) {
    delete visitor;
}
