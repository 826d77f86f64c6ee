#include "visitors/Par1NullVisitor.h"

#include "shared/BasicLogger.h"
#include "shared/Exception.h"

#include "platform/win32.h"

#include <new>

namespace {

void writeDetail(const char* line) {
    try {
        if (isLogEnabled(LogCategories::Par1Transport, LevelDetail)) {
            BasicLogger::getInstance()->log(LogCategories::Par1Transport, LevelDetail, line);
        }
    } catch (const Exception&) {
        // A visitor reports through its error, never by throwing.
    }
}

} // namespace

Par1NullVisitor::Par1NullVisitor() {
    setError(ERROR_INVALID_FUNCTION);
}

Par1NullVisitor::~Par1NullVisitor() = default;

void Par1NullVisitor::doAtPar1Protocol(Layer&, Layer*) {
    writeDetail("Par1NullVisitor::doAtPar1Protocol");
    setError(ERROR_INVALID_FUNCTION);
}

void Par1NullVisitor::doAtPar1Adapter(Layer&, Layer*) {
    writeDetail("Par1NullVisitor::doAtPar1Adapater");
    setError(ERROR_INVALID_FUNCTION);
}

void Par1NullVisitor::doAtPar1NpaProtocol(Layer&, Layer*) {
    writeDetail("Par1NullVisitor::doAtPar1NpaProtcol");
    setError(ERROR_INVALID_FUNCTION);
}

Visitor* Par1NullVisitor::clone() const {
    return new (std::nothrow) Par1NullVisitor;
}
