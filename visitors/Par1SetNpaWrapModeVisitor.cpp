#include "visitors/Par1SetNpaWrapModeVisitor.h"

#include "protocol/Data.h"
#include "protocol/NpaWrapProtocol.h"
#include "shared/TransportLog.h"
#include "visitors/Par1VisitorManager.h"

#include <new>

const char Par1SetNpaWrapModeVisitor::name[] = "setNpaWrapModeVisitor";

Par1SetNpaWrapModeVisitor::Par1SetNpaWrapModeVisitor(bool registerWithManager) {
    if (registerWithManager) {
        setName(name);
        Par1VisitorManager* manager = Par1VisitorManager::getInstance();
        if (manager != nullptr) {
            manager->registerVisitor(this);
        }
    }
}

Par1SetNpaWrapModeVisitor::~Par1SetNpaWrapModeVisitor() = default;

void Par1SetNpaWrapModeVisitor::doAtParNpaWrapProtocol(Layer& layer, Layer*) {
    FunctionTrace trace =
        transportLog::open(LevelTrace, "Par1SetNpaWrapModeVisitor::doAtParNpaWrapProtocol");
    Data* data = getData();
    NpaWrapProtocol* wrap = dynamic_cast<NpaWrapProtocol*>(&layer);
    if (data == nullptr || data->size() == 0) {
        // Without its byte the visitor cannot tell on from off.
        setError(ERROR_INVALID_PARAMETER);
        return;
    }
    if (wrap != nullptr) {
        bool on = data->data()[0] != 0;
        transportLog::line(LevelDetail, on ? "Par1SetNpaModeVisitor::setNpaMode on"
                                           : "Par1SetNpaModeVisitor::setNpaMode off");
        wrap->setWrapping(on);
    }
    setError(0);
}

Visitor* Par1SetNpaWrapModeVisitor::clone() const {
    return new (std::nothrow) Par1SetNpaWrapModeVisitor(false);
}
