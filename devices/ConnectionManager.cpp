#include "devices/ConnectionManager.h"

#include "protocol/NullLayer.h"

namespace {

NullLayer& baseNullLayer() {
    static NullLayer layer;
    return layer;
}

} // namespace

ConnectionManager::ConnectionManager() = default;

ConnectionManager::~ConnectionManager() = default;

Layer* ConnectionManager::doGet(Layer*, const std::string&, const std::string&) {
    return &baseNullLayer();
}

void ConnectionManager::doRelease(Layer*) {}
