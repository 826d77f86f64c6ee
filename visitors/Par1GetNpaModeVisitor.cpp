#include "visitors/Par1GetNpaModeVisitor.h"

#include "protocol/Data.h"
#include "protocol/Par1Protocol.h"
#include "shared/TransportLog.h"
#include "visitors/Par1VisitorManager.h"

#include <new>

const char Par1GetNpaModeVisitor::name[] = "getNpaModeVisitor";

Par1GetNpaModeVisitor::Par1GetNpaModeVisitor(bool registerWithManager) : npaMode_(true) {
    if (registerWithManager) {
        setName(name);
        Par1VisitorManager* manager = Par1VisitorManager::getInstance();
        if (manager != nullptr) {
            manager->registerVisitor(this);
        }
    }
}

Par1GetNpaModeVisitor::~Par1GetNpaModeVisitor() = default;

void Par1GetNpaModeVisitor::doAtPar1Protocol(Layer& layer, Layer*) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1GetNpaModeVisitor::doAtPar1Protocol");
    Data* data = getData();
    if (data == nullptr) {
        // Nowhere to put the mode: the printer is not asked.
        setError(ERROR_INVALID_PARAMETER);
        return;
    }
    Par1Protocol* protocol = dynamic_cast<Par1Protocol*>(&layer);
    if (protocol != nullptr) {
        uint32_t queryError = 0;
        bool answered = protocol->isNpaActive(&queryError);
        if (queryError != 0) {
            // The printer was never asked (a closed connection): no mode.
            setError(queryError);
            return;
        }
        // Without an answer NPA is taken to be on.
        npaMode_ = answered ? protocol->npaMode() : true;
    }
    const uint8_t mode[4] = {static_cast<uint8_t>(npaMode_ ? 1 : 0), 0, 0, 0};
    data->overwriteTail(mode, sizeof mode);
    setError(0);
}

Visitor* Par1GetNpaModeVisitor::clone() const {
    return new (std::nothrow) Par1GetNpaModeVisitor(false);
}
