#include "port/Par1ReadEndPointClosed.h"

#include "port/Par1ReadEndPoint.h"
#include "port/Par1ReadEndPointOpen.h"
#include "shared/TransportLog.h"

Par1ReadEndPointClosed::Par1ReadEndPointClosed()
    : Par1ReadEndPointState("Par1ReadEndPointClosed") {}

Par1ReadEndPointClosed& Par1ReadEndPointClosed::instance() {
    static Par1ReadEndPointClosed state;
    return state;
}

uint32_t Par1ReadEndPointClosed::doOpen(Par1ReadEndPoint& endpoint) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1ReadEndPointClosed::doOpen: ");
    endpoint.changeState(Par1ReadEndPointOpen::instance());
    if (trace.isEnabled()) {
        trace.setReturnCode(0u);
    }
    return 0;
}

uint32_t Par1ReadEndPointClosed::doClose(Par1ReadEndPoint&) {
    return 0;
}

namespace {

[[maybe_unused]] Par1ReadEndPointClosed& madeAtLoad = Par1ReadEndPointClosed::instance();

} // namespace
