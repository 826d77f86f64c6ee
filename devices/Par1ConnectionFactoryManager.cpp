#include "devices/Par1ConnectionFactoryManager.h"

#include "protocol/Layer.h"
#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"
#include "shared/TransportLog.h"

#include <atomic>
#include <new>
#include <vector>

namespace {

std::atomic<Par1ConnectionFactoryManager*> instance{nullptr};

// Guards the instance and the registry.
CriticalSection& managerLock() {
    static CriticalSection lock;
    return lock;
}

} // namespace

Par1ConnectionFactoryManager* Par1ConnectionFactoryManager::getInstance() {
    Par1ConnectionFactoryManager* manager = instance.load(std::memory_order_acquire);
    if (manager == nullptr) {
        CriticalSectionLock lock(managerLock());
        manager = instance.load(std::memory_order_relaxed);
        if (manager == nullptr) {
            manager = new (std::nothrow) Par1ConnectionFactoryManager;
            instance.store(manager, std::memory_order_release);
        }
    }
    return manager;
}

void Par1ConnectionFactoryManager::destroyInstance() {
    CriticalSectionLock lock(managerLock());
    delete instance.exchange(nullptr, std::memory_order_acq_rel);
}

Par1ConnectionFactoryManager::Par1ConnectionFactoryManager() = default;

Par1ConnectionFactoryManager::~Par1ConnectionFactoryManager() = default;

void Par1ConnectionFactoryManager::addFactory(ConnectionFactory* factory) {
    if (factory == nullptr) {
        return;
    }
    std::string name;
    factory->getName(name);
    CriticalSectionLock lock(managerLock());
    factories_[name] = factory;
}

void Par1ConnectionFactoryManager::removeFactory(ConnectionFactory* factory) {
    {
        CriticalSectionLock lock(managerLock());
        for (auto entry = factories_.begin(); entry != factories_.end(); ++entry) {
            if (entry->second == factory) {
                factories_.erase(entry);
                return;
            }
        }
    }
    std::string name;
    if (factory != nullptr) {
        factory->getName(name);
    }
    transportLog::line(LevelDetail,
                       "Par1ConnectionFactoryManager::removeFactory" + name + " not found");
}

ConnectionFactory* Par1ConnectionFactoryManager::findFactory(const std::string& name) {
    CriticalSectionLock lock(managerLock());
    auto found = factories_.find(name);
    return found != factories_.end() ? found->second : nullptr;
}

Layer* Par1ConnectionFactoryManager::doMake(Layer* host, const std::string& connectionName,
                                            const std::string& transportString) {
    ConnectionFactory* factory = findFactory(connectionName);
    return factory != nullptr ? factory->doMake(host, connectionName, transportString) : nullptr;
}

void Par1ConnectionFactoryManager::doUnMake(Layer* connection) {
    if (connection == nullptr) {
        return;
    }
    ConnectionFactory* factory = findFactory(connection->getName());
    if (factory != nullptr) {
        factory->doUnMake(connection);
    }
}

void Par1ConnectionFactoryManager::findConnectionName(std::string& name, const std::string& first,
                                                      const std::string& second) {
    std::vector<ConnectionFactory*> factories;
    {
        CriticalSectionLock lock(managerLock());
        for (const auto& entry : factories_) {
            factories.push_back(entry.second);
        }
    }
    name.clear();
    for (ConnectionFactory* factory : factories) {
        std::string answer;
        factory->findConnectionName(answer, first, second);
        if (!answer.empty()) {
            name = answer;
            return;
        }
    }
}
