#include "protocol/NullLayer.h"

#include "protocol/Data.h"

#include "platform/win32.h"

NullLayer::NullLayer() {
    setName("null");
}

NullLayer::~NullLayer() = default;

void NullLayer::doAccept(Data& data) {
    data.setError(ERROR_INVALID_HANDLE);
}

void NullLayer::doAccept(Visitor& visitor) {
    visitor.setError(ERROR_INVALID_FUNCTION);
}

void NullLayer::doWrite(Data& data) {
    data.setError(ERROR_INVALID_HANDLE);
}

uint32_t NullLayer::doOpen() {
    return ERROR_INVALID_HANDLE;
}

uint32_t NullLayer::doClose() {
    return ERROR_INVALID_HANDLE;
}
