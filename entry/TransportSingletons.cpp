#include "entry/TransportSingletons.h"

#include "devices/Par1Authorizer.h"
#include "devices/Par1BidiPrintConnectionFactory.h"
#include "devices/Par1ConnectionFactoryManager.h"
#include "devices/Par1ConnectionManager.h"
#include "devices/Par1DeviceHandles.h"
#include "devices/Par1Devices.h"
#include "devices/Par1DiscovererManager.h"
#include "entry/ModuleHandle.h"
#include "shared/BasicLogger.h"
#include "shared/Localize.h"
#include "visitors/Par1VisitorManager.h"
#include "visitors/Par1VisitorPrototypes.h"

// The order matters: the logger exists before anything traces, the factory
// registers itself with the factory manager, the prototypes with the visitor
// manager, and the device table attaches itself to the discoverer.
TransportSingletons::TransportSingletons() {
    Localize::createInstance(getModuleHandle());
    BasicLogger::createInstance();
    Par1ConnectionManager::getInstance();
    Par1ConnectionFactoryManager::getInstance();
    Par1BidiPrintConnectionFactory::createInstance();
    Par1VisitorManager::getInstance();
    Par1VisitorPrototypes::create();
    Par1Authorizer::getInstance();
    Par1DiscovererManager::getInstance();
    Par1DeviceHandles::getInstance();
    Par1Devices::getInstance();
}

// Localize and the device table stay until the library is unloaded; the
// logger goes last, so every release can still trace.
TransportSingletons::~TransportSingletons() {
    Par1BidiPrintConnectionFactory::releaseInstance();
    Par1ConnectionFactoryManager::destroyInstance();
    Par1ConnectionManager::destroyInstance();
    Par1VisitorPrototypes::release();
    Par1VisitorManager::destroyInstance();
    Par1Authorizer::destroyInstance();
    Par1DeviceHandles::destroyInstance();
    Par1DiscovererManager::destroyInstance();
    BasicLogger::releaseInstance();
}
