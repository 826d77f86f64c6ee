#include "port/Par1ReadEndPointState.h"

#include "platform/win32.h"
#include "port/Par1ReadEndPoint.h"
#include "port/Par1ReadEndPointClosed.h"
#include "shared/TransportLog.h"

#include <utility>

Par1ReadEndPointState::Par1ReadEndPointState(std::string name) : name_(std::move(name)) {}

Par1ReadEndPointState::~Par1ReadEndPointState() = default;

void Par1ReadEndPointState::onEnter(Par1ReadEndPoint&) {}

uint32_t Par1ReadEndPointState::doOpen(Par1ReadEndPoint&) {
    return transportLog::refuse("Par1ReadEndPointState::doOpen: ");
}

uint32_t Par1ReadEndPointState::doClose(Par1ReadEndPoint&) {
    return transportLog::refuse("Par1ReadEndPointState::doClose: ");
}

uint32_t Par1ReadEndPointState::doRead(Par1ReadEndPoint&, Data&, uint32_t) {
    return transportLog::refuse("Par1ReadEndPointState::doRead: ");
}

uint32_t Par1ReadEndPointState::closeEndpoint(Par1ReadEndPoint& endpoint, const char* text) {
    FunctionTrace trace = transportLog::open(LevelTrace, text);
    endpoint.changeState(Par1ReadEndPointClosed::instance());
    if (trace.isEnabled()) {
        trace.setReturnCode(0u);
    }
    return 0;
}
