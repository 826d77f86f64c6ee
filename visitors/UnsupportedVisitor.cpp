#include "visitors/UnsupportedVisitor.h"

#include "platform/win32.h"

UnsupportedVisitor::UnsupportedVisitor() = default;

UnsupportedVisitor::~UnsupportedVisitor() = default;

void UnsupportedVisitor::doAtProtocol(Layer&, Layer*) {
    setError(ERROR_INVALID_FUNCTION);
}

void UnsupportedVisitor::doAtAdapter(Layer&, Layer*) {
    setError(ERROR_INVALID_FUNCTION);
}

void UnsupportedVisitor::doAtFilter(Layer&, Layer*) {
    setError(ERROR_INVALID_FUNCTION);
}
