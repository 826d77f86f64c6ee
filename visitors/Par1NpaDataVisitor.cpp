#include "visitors/Par1NpaDataVisitor.h"

#include "protocol/NpaPacket.h"
#include "protocol/NpaProtocol.h"
#include "shared/TransportLog.h"
#include "visitors/Par1SetPrintDataFlagVisitor.h"
#include "visitors/Par1VisitorManager.h"

#include "platform/win32.h"

#include <new>

const char Par1NpaDataVisitor::name[] = "npaDataVisitor";

Par1NpaDataVisitor::Par1NpaDataVisitor(bool registerWithManager) {
    if (registerWithManager) {
        setName(name);
        Par1VisitorManager* manager = Par1VisitorManager::getInstance();
        if (manager != nullptr) {
            manager->registerVisitor(this);
        }
    }
}

Par1NpaDataVisitor::~Par1NpaDataVisitor() = default;

void Par1NpaDataVisitor::doAtPar1NpaProtocol(Layer& layer, Layer* upper) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1NpaDataVisitor::doAtPar1NpaProtocol");
    NpaProtocol* protocol = dynamic_cast<NpaProtocol*>(&layer);
    Data* data = getData();
    if (data == nullptr || data->size() < NpaPacket::headerSize) {
        // Not even a packet's header: nothing that could be sent.
        setError(ERROR_INVALID_PARAMETER);
    } else if (protocol == nullptr) {
        setError(ERROR_INVALID_FUNCTION);
    } else {
        // Down through this layer to the adapter: a command is no print data.
        Par1SetPrintDataFlagVisitor noPrintData;
        noPrintData.setPrintDataFlag(false);
        noPrintData.setLastLayer(upper);
        layer.doAccept(noPrintData);
        if (noPrintData.error() != 0) {
            // The command would go out under print data's time-outs, or not
            // at all: it is not sent.
            setError(noPrintData.error());
        } else {
            NpaPacket packet(*data);
            protocol->transact(packet);
            setError(packet.error());
        }
    }
    if (trace.isEnabled()) {
        trace.setReturnCode(error());
    }
}

Visitor* Par1NpaDataVisitor::clone() const {
    return new (std::nothrow) Par1NpaDataVisitor(false);
}
