#include "devices/Par1DeviceHandles.h"

#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"
#include "shared/TransportLog.h"

#include <atomic>
#include <string>

namespace {

std::atomic<Par1DeviceHandles*> instance{nullptr};

CriticalSection& instanceLock() {
    static CriticalSection lock;
    return lock;
}

[[maybe_unused]] CriticalSection& lockMadeAtLoad = instanceLock();

} // namespace

Par1DeviceHandles* Par1DeviceHandles::getInstance() {
    Par1DeviceHandles* handles = instance.load();
    if (handles == nullptr) {
        CriticalSectionLock lock(instanceLock());
        handles = instance.load();
        if (handles == nullptr) {
            handles = new Par1DeviceHandles;
            instance.store(handles);
        }
    }
    return handles;
}

void Par1DeviceHandles::destroyInstance() {
    CriticalSectionLock lock(instanceLock());
    delete instance.exchange(nullptr);
}

Par1DeviceHandles::Par1DeviceHandles() = default;

Par1DeviceHandles::~Par1DeviceHandles() = default;

void Par1DeviceHandles::get(uint32_t portNumber, uint32_t& handle) const {
    handle = handleOf(portNumber);
    FunctionTrace trace = transportLog::open(LevelTrace, [&] {
        return "Par1DeviceHandles::get(handle=" + std::to_string(handle) + ")";
    });
}
