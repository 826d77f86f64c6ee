#include "devices/Par1Devices.h"

#include "devices/Discoverer.h"
#include "devices/Par1DiscovererManager.h"
#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "shared/CriticalSectionLock.h"
#include "shared/TransportLog.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<Par1Devices*> instance{nullptr};

CriticalSection& instanceLock() {
    static CriticalSection lock;
    return lock;
}

[[maybe_unused]] CriticalSection& lockMadeAtLoad = instanceLock();

} // namespace

Par1Devices* Par1Devices::getInstance() {
    Par1Devices* devices = instance.load();
    if (devices == nullptr) {
        CriticalSectionLock lock(instanceLock());
        devices = instance.load();
        if (devices == nullptr) {
            devices = new Par1Devices;
            instance.store(devices);
        }
    }
    return devices;
}

Par1Devices* Par1Devices::existingInstance() {
    return instance.load();
}

Par1Devices::Par1Devices() {
    // Before this table is published, so that a manager made meanwhile does
    // not attach it a second time.
    Par1DiscovererManager* manager = Par1DiscovererManager::getInstance();
    if (manager != nullptr) {
        attachTo(manager->getDiscoverer());
    }
}

Par1Devices::~Par1Devices() {
    detachFromAll();
    CriticalSectionLock lock(entriesLock_);
    entries_.clear();
}

void Par1Devices::update(const std::string& transportString) {
    doUpdate(transportString);
}

void Par1Devices::doUpdate(const std::string& transportString) {
    {
        CriticalSectionLock lock(entriesLock_);
        auto found = std::find(entries_.begin(), entries_.end(), transportString);
        if (found != entries_.end()) {
            entries_.erase(found);
        }
        entries_.push_back(transportString);
    }
    transportLog::detail(
        [&] { return "Par1Devices::doUpdate: adding transportString=" + transportString + "."; });
}

uint32_t Par1Devices::get(const std::string& portName) {
    bool found = false;
    {
        CriticalSectionLock lock(entriesLock_);
        TransportProperties properties;
        for (const std::string& entry : entries_) {
            std::string port;
            if (properties.getString(entry, PropertyRecords::Portname, port) == 0 &&
                port == portName) {
                found = true;
                break;
            }
        }
    }
    transportLog::detail([&] {
        return std::string(found ? "Par1Devices::get: rc=conn" : "Par1Devices::get: rc=1");
    });
    return found ? 0 : 1;
}

void Par1Devices::emptyList() {
    transportLog::detail([] { return std::string("Par1Devices::emptyList: "); });
    CriticalSectionLock lock(entriesLock_);
    entries_.clear();
}

std::list<std::string> Par1Devices::entries() {
    CriticalSectionLock lock(entriesLock_);
    return entries_;
}
