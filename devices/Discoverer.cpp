#include "devices/Discoverer.h"

Discoverer::Discoverer() : name_("Discoverer") {}

Discoverer::~Discoverer() = default;

uint32_t Discoverer::doDiscover(const std::string&) {
    return 1;
}

uint32_t Discoverer::isDiscovering() const {
    return 0;
}

uint32_t Discoverer::isAsynchronous() const {
    return 1;
}

uint32_t Discoverer::canCancel() const {
    return 1;
}

uint32_t Discoverer::isLocal() const {
    return 1;
}
