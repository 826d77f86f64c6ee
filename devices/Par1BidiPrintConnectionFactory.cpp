#include "devices/Par1BidiPrintConnectionFactory.h"

#include "devices/Par1ConnectionFactoryManager.h"
#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "port/Par1Adapter.h"
#include "protocol/Par1NpaProtocol.h"
#include "protocol/Par1NpaWrapProtocol.h"
#include "protocol/Par1Protocol.h"
#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"
#include "shared/Exception.h"
#include "shared/TransportLog.h"

#include <atomic>
#include <exception>
#include <memory>
#include <new>

const char Par1BidiPrintConnectionFactory::connectionName[] = "bidi";

namespace {

std::atomic<Par1BidiPrintConnectionFactory*> instance{nullptr};

CriticalSection& instanceLock() {
    static CriticalSection lock;
    return lock;
}

} // namespace

void Par1BidiPrintConnectionFactory::createInstance() {
    CriticalSectionLock lock(instanceLock());
    if (instance.load() == nullptr) {
        instance.store(new (std::nothrow) Par1BidiPrintConnectionFactory);
    }
}

void Par1BidiPrintConnectionFactory::releaseInstance() {
    CriticalSectionLock lock(instanceLock());
    delete instance.exchange(nullptr);
}

Par1BidiPrintConnectionFactory* Par1BidiPrintConnectionFactory::getInstance() {
    return instance.load();
}

Par1BidiPrintConnectionFactory::Par1BidiPrintConnectionFactory() {
    Par1ConnectionFactoryManager* manager = Par1ConnectionFactoryManager::getInstance();
    if (manager != nullptr) {
        manager->addFactory(this);
    }
}

Par1BidiPrintConnectionFactory::~Par1BidiPrintConnectionFactory() {
    Par1ConnectionFactoryManager* manager = Par1ConnectionFactoryManager::getInstance();
    if (manager != nullptr) {
        manager->removeFactory(this);
    }
}

void Par1BidiPrintConnectionFactory::findConnectionName(std::string& name, const std::string&,
                                                        const std::string&) {
    name = connectionName;
}

void Par1BidiPrintConnectionFactory::getName(std::string& name) {
    name = connectionName;
}

Layer* Par1BidiPrintConnectionFactory::doMake(Layer* host, const std::string&,
                                              const std::string& transportString) {
    FunctionTrace trace =
        transportLog::open(LevelTrace, "Par1BidiPrintConnectionFactory::doMake() ");
    TransportProperties properties;
    std::string portName;
    properties.getString(transportString, PropertyRecords::Portname, portName);
    uint32_t packetSize = 4096;
    properties.getLong(transportString, PropertyRecords::MaxWritePacketSize, packetSize);
    transportLog::line(LevelDetail, "PacketSize=" + std::to_string(packetSize));

    std::unique_ptr<Par1NpaWrapProtocol> wrapper;
    std::unique_ptr<Par1NpaProtocol> npa;
    std::unique_ptr<Par1Protocol> pjl;
    std::unique_ptr<Par1Adapter> adapter;
    try {
        wrapper.reset(new Par1NpaWrapProtocol(packetSize, true));
        npa.reset(new Par1NpaProtocol);
        pjl.reset(new Par1Protocol);
        adapter.reset(new Par1Adapter(portName));
    } catch (const Exception& e) {
        transportLog::error("Par1BidiPrintConnectionFactory::doMake() failed, rc=" +
                            std::to_string(e.getErrorCode()));
        return nullptr;
    } catch (const std::exception&) {
        transportLog::error("Par1BidiPrintConnectionFactory::doMake() failed");
        return nullptr;
    }
    wrapper->setName(connectionName);
    wrapper->setLayer(Layer::Upper, host);
    wrapper->setLayer(Layer::Lower, npa.get());
    npa->setLayer(Layer::Upper, wrapper.get());
    npa->setLayer(Layer::Lower, pjl.get());
    pjl->setLayer(Layer::Upper, npa.get());
    pjl->setLayer(Layer::Lower, adapter.get());
    adapter->setLayer(Layer::Upper, pjl.get());
    wrapper->setReplyExpectation(adapter.get());
    if (host != nullptr) {
        host->setLayer(Layer::Upper, wrapper.get());
    }
    if (trace.isEnabled()) {
        trace.setReturnCode(wrapper->getName());
    }
    adapter.release();
    pjl.release();
    npa.release();
    return wrapper.release();
}

void Par1BidiPrintConnectionFactory::doUnMake(Layer* connection) {
    std::string name = connection != nullptr ? connection->getName() : std::string();
    FunctionTrace trace = transportLog::open(
        LevelTrace, [&] { return "Par1BidiPrintConnectionFactory::doUnMake() " + name; });
    if (connection == nullptr) {
        return;
    }
    Layer* second = connection->getLayer(Layer::Lower);
    Layer* third = second != nullptr ? second->getLayer(Layer::Lower) : nullptr;
    Layer* bottom = third != nullptr ? third->getLayer(Layer::Lower) : nullptr;
    delete bottom;
    delete third;
    delete second;
    delete connection;
}
