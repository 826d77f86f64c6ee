#include "port/Par1WriteEndPointClosed.h"

#include "port/Par1WriteEndPoint.h"
#include "port/Par1WriteEndPointOpen.h"

Par1WriteEndPointClosed::Par1WriteEndPointClosed()
    : Par1WriteEndPointState("Par1WriteEndPointClosed") {}

Par1WriteEndPointClosed& Par1WriteEndPointClosed::instance() {
    static Par1WriteEndPointClosed state;
    return state;
}

uint32_t Par1WriteEndPointClosed::doOpen(Par1WriteEndPoint& endpoint) {
    endpoint.changeState(Par1WriteEndPointOpen::instance());
    return 0;
}

uint32_t Par1WriteEndPointClosed::doClose(Par1WriteEndPoint&) {
    return 0;
}

namespace {

[[maybe_unused]] Par1WriteEndPointClosed& madeAtLoad = Par1WriteEndPointClosed::instance();

} // namespace
