#include "protocol/Layer.h"

#include "protocol/Data.h"

#include "platform/win32.h"

#include <utility>

Layer::Layer() : upper_(nullptr), lower_(nullptr), tag_(0), openCount_(0) {}

Layer::~Layer() = default;

Layer* Layer::getLayer(int direction) const {
    return direction == Upper ? upper_ : lower_;
}

bool Layer::setLayer(int direction, Layer* layer) {
    if (direction == Upper) {
        upper_ = layer;
        return true;
    }
    if (direction == Lower) {
        lower_ = layer;
        return true;
    }
    return false;
}

void Layer::doReserved() {}

void Layer::doAccept(Data& data) {
    data.setError(ERROR_INVALID_FUNCTION);
}

void Layer::doAccept(Visitor& visitor) {
    visitor.setError(ERROR_INVALID_FUNCTION);
}

void Layer::passUp(Visitor& visitor) {
    if (upper_ != nullptr) {
        upper_->doAccept(visitor);
    }
}

void Layer::passDown(Visitor& visitor) {
    if (lower_ != nullptr) {
        lower_->doAccept(visitor);
    }
}

void Layer::doWrite(Data& data) {
    data.setError(ERROR_INVALID_FUNCTION);
}

uint32_t Layer::doOpen() {
    return 0;
}

uint32_t Layer::doClose() {
    return 0;
}

void Layer::setName(std::string name) {
    name_ = std::move(name);
}

std::string Layer::getName() const {
    return name_;
}

void Layer::setTag(uint32_t value) {
    tag_ = value;
}

uint32_t Layer::getTag() const {
    return tag_;
}

uint32_t Layer::open() {
    if (openCount_.load() != 0) {
        ++openCount_;
        return 0;
    }
    const uint32_t result = doOpen();
    if (result == 0) {
        ++openCount_;
    }
    return result;
}

uint32_t Layer::close() {
    // A close without a matching open must not wrap the count round: the
    // layer would then count as open and answer every later open() with
    // success without opening anything.
    uint32_t current = openCount_.load();
    do {
        if (current == 0) {
            return ERROR_INVALID_FUNCTION;
        }
    } while (!openCount_.compare_exchange_weak(current, current - 1));
    if (current - 1 != 0) {
        return 0;
    }
    return doClose();
}

uint32_t Layer::openCount() const {
    return openCount_.load();
}
