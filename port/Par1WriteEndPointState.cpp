#include "port/Par1WriteEndPointState.h"

#include "platform/win32.h"
#include "port/TransportTrace.h"
#include "protocol/Data.h"

#include <utility>

namespace {

uint32_t refuse(const char* text) {
    FunctionTrace trace = transportTrace::open(LevelTrace, text);
    if (trace.isEnabled()) {
        trace.log(transportTrace::refusal);
        trace.setReturnCode(ERROR_INVALID_FUNCTION);
    }
    return ERROR_INVALID_FUNCTION;
}

} // namespace

Par1WriteEndPointState::Par1WriteEndPointState(std::string name) : name_(std::move(name)) {}

Par1WriteEndPointState::~Par1WriteEndPointState() = default;

void Par1WriteEndPointState::onEnter(Par1WriteEndPoint&) {}

uint32_t Par1WriteEndPointState::doOpen(Par1WriteEndPoint&) {
    return refuse("Par1WriteEndPointState::doOpen: ");
}

uint32_t Par1WriteEndPointState::doClose(Par1WriteEndPoint&) {
    return refuse("Par1WriteEndPointState::doClose: ");
}

uint32_t Par1WriteEndPointState::doWrite(Par1WriteEndPoint&, Data& data) {
    uint32_t result = refuse("Par1WriteEndPointState::doWrite: ");
    data.setError(result);
    return result;
}
