#include "visitors/Par1SetMaxPacketSizeVisitor.h"

#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "protocol/Data.h"
#include "protocol/NpaWrapProtocol.h"
#include "shared/TransportLog.h"
#include "visitors/Par1VisitorManager.h"

#include "platform/win32.h"

#include <new>
#include <string>

const char Par1SetMaxPacketSizeVisitor::name[] = "setMaxPacketSizeVisitor";

Par1SetMaxPacketSizeVisitor::Par1SetMaxPacketSizeVisitor(bool registerWithManager) {
    if (registerWithManager) {
        setName(name);
        Par1VisitorManager* manager = Par1VisitorManager::getInstance();
        if (manager != nullptr) {
            manager->registerVisitor(this);
        }
    }
}

Par1SetMaxPacketSizeVisitor::~Par1SetMaxPacketSizeVisitor() = default;

void Par1SetMaxPacketSizeVisitor::doAtParNpaWrapProtocol(Layer& layer, Layer*) {
    FunctionTrace trace =
        transportLog::open(LevelTrace, "Par1SetMaxPacketSizeVisitor::doAtParNpaWrapProtocol");
    uint32_t size = 0;
    Data* data = getData();
    if (data != nullptr) {
        std::string transportString(reinterpret_cast<const char*>(data->data()), data->size());
        TransportProperties().getLong(transportString, PropertyRecords::MaxWritePacketSize, size);
    }
    NpaWrapProtocol* wrap = dynamic_cast<NpaWrapProtocol*>(&layer);
    uint32_t result = wrap != nullptr ? wrap->setMaximumPacketSize(size) : ERROR_INVALID_FUNCTION;
    setError(result);
    if (trace.isEnabled()) {
        trace.setReturnCode(result);
    }
}

Visitor* Par1SetMaxPacketSizeVisitor::clone() const {
    return new (std::nothrow) Par1SetMaxPacketSizeVisitor(false);
}
