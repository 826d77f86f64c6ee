#include "devices/Par1ConnectionManager.h"

#include "devices/Par1ConnectionFactoryManager.h"
#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "protocol/NullLayer.h"
#include "shared/CriticalSectionLock.h"
#include "shared/TransportLog.h"

#include <atomic>
#include <new>

namespace {

std::atomic<Par1ConnectionManager*> instance{nullptr};

CriticalSection& instanceLock() {
    static CriticalSection lock;
    return lock;
}

NullLayer& managerNullLayer() {
    static NullLayer layer;
    return layer;
}

} // namespace

Par1ConnectionManager* Par1ConnectionManager::getInstance() {
    Par1ConnectionManager* manager = instance.load(std::memory_order_acquire);
    if (manager == nullptr) {
        CriticalSectionLock lock(instanceLock());
        manager = instance.load(std::memory_order_relaxed);
        if (manager == nullptr) {
            manager = new (std::nothrow) Par1ConnectionManager;
            instance.store(manager, std::memory_order_release);
        }
    }
    return manager;
}

void Par1ConnectionManager::destroyInstance() {
    CriticalSectionLock lock(instanceLock());
    delete instance.exchange(nullptr, std::memory_order_acq_rel);
}

Par1ConnectionManager::Par1ConnectionManager() = default;

Par1ConnectionManager::~Par1ConnectionManager() = default;

Layer* Par1ConnectionManager::nullLayer() {
    return &managerNullLayer();
}

size_t Par1ConnectionManager::connectionCount() {
    CriticalSectionLock lock(lock_);
    return connections_.size();
}

Layer* Par1ConnectionManager::doGet(Layer* host, const std::string& transportString,
                                    const std::string& connectionName) {
    FunctionTrace trace = transportLog::open(LevelTrace, [&] {
        return "Par1ConnectionManager::doGet() connectionName=" + connectionName;
    });
    uint32_t handle = 0;
    if (TransportProperties().getLong(transportString, PropertyRecords::Handle, handle) != 0) {
        if (trace.isEnabled()) {
            trace.setReturnCode("Unable to extract handle from the transport string");
        }
        return nullLayer();
    }
    CriticalSectionLock lock(lock_);
    Layer* connection = nullptr;
    auto found = connections_.find(handle);
    if (found != connections_.end()) {
        connection = found->second;
    } else {
        Par1ConnectionFactoryManager* factories = Par1ConnectionFactoryManager::getInstance();
        connection = factories != nullptr ? factories->doMake(host, connectionName, transportString)
                                          : nullptr;
        if (connection == nullptr) {
            if (trace.isEnabled()) {
                trace.setReturnCode("No connection named " + connectionName);
            }
            return nullLayer();
        }
        connections_[handle] = connection;
    }
    connection->addRef();
    return connection;
}

void Par1ConnectionManager::doRelease(Layer* connection) {
    if (connection == nullptr) {
        return;
    }
    CriticalSectionLock lock(lock_);
    // Only a connection this manager handed out is touched: anything else (a
    // null layer, the host's own layer, one already destroyed) may not even be
    // a live object, and its count is not ours to change.
    auto entry = connections_.begin();
    while (entry != connections_.end() && entry->second != connection) {
        ++entry;
    }
    if (entry == connections_.end()) {
        transportLog::line(LevelDetail,
                           "Par1ConnectionManager::doRelease() not a connection of this manager");
        return;
    }
    FunctionTrace trace = transportLog::open(LevelTrace, [&] {
        return "Par1ConnectionManager::doRelease() name=" + connection->getName();
    });
    if (connection->release() != 0) {
        return;
    }
    transportLog::line(LevelDetail, "Par1ConnectionManager::doRelease() " + connection->getName() +
                                        " usage count=0");
    connections_.erase(entry);
    // An adapter must not be deleted with its read thread running: close
    // what the holders left open. The lock stays held, so a doGet for the
    // same device makes its new stack only once this one is gone.
    while (connection->openCount() != 0) {
        connection->close();
    }
    Par1ConnectionFactoryManager* factories = Par1ConnectionFactoryManager::getInstance();
    if (factories != nullptr) {
        factories->doUnMake(connection);
    }
}
