#include "port/Par1ReadEndPointError.h"

Par1ReadEndPointError::Par1ReadEndPointError() : Par1ReadEndPointState("Par1ReadEndPointError") {}

Par1ReadEndPointError& Par1ReadEndPointError::instance() {
    static Par1ReadEndPointError state;
    return state;
}

uint32_t Par1ReadEndPointError::doClose(Par1ReadEndPoint& endpoint) {
    return closeEndpoint(endpoint, "Par1ReadEndPointError::doClose: ");
}

namespace {

[[maybe_unused]] Par1ReadEndPointError& madeAtLoad = Par1ReadEndPointError::instance();

} // namespace
