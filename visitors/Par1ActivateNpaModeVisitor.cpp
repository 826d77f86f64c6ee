#include "visitors/Par1ActivateNpaModeVisitor.h"

#include "port/Par1Adapter.h"
#include "protocol/Data.h"
#include "protocol/Par1Protocol.h"
#include "shared/TransportLog.h"
#include "visitors/Par1VisitorManager.h"

#include <new>

const char Par1ActivateNpaModeVisitor::name[] = "startNpaModeVisitor";

Par1ActivateNpaModeVisitor::Par1ActivateNpaModeVisitor(bool registerWithManager)
    : npaWrapping_(false) {
    if (registerWithManager) {
        setName(name);
        Par1VisitorManager* manager = Par1VisitorManager::getInstance();
        if (manager != nullptr) {
            manager->registerVisitor(this);
        }
    }
}

Par1ActivateNpaModeVisitor::~Par1ActivateNpaModeVisitor() = default;

void Par1ActivateNpaModeVisitor::doAtPar1Protocol(Layer& layer, Layer* upper) {
    FunctionTrace trace = transportLog::open(
        LevelTrace, "Par1ActivateNpaModeVisitor::doAtPar1Protocol: checking npaMode");
    Par1Protocol* protocol = dynamic_cast<Par1Protocol*>(&layer);
    if (protocol != nullptr) {
        npaWrapping_ = protocol->npaMode();
    }
    transportLog::note(trace, std::string("npaWrapping=") + (npaWrapping_ ? "true" : "false"));
    travelOn(layer, upper);
}

void Par1ActivateNpaModeVisitor::doAtPar1Adapter(Layer& layer, Layer*) {
    FunctionTrace trace =
        transportLog::open(LevelTrace, "Par1ActivateNpaModeVisitor::doAtPar1Adapter: ");
    Par1Adapter* adapter = dynamic_cast<Par1Adapter*>(&layer);
    Data* data = getData();
    if (adapter == nullptr || data == nullptr || !npaWrapping_) {
        return;
    }
    // The visitor carries the outcome: a flag that could not be cleared (a
    // closed connection) stops the write, and the write's own failure (paper
    // out) is the visitor's too.
    uint32_t result = adapter->setPrintDataFlag(false);
    if (result == 0) {
        adapter->doWrite(*data);
        result = data->error();
    } else {
        data->setCount(0);
        data->setError(result);
    }
    setError(result);
    if (trace.isEnabled()) {
        trace.setReturnCode(result);
    }
}

Visitor* Par1ActivateNpaModeVisitor::clone() const {
    return new (std::nothrow) Par1ActivateNpaModeVisitor(false);
}
