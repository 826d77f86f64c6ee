#include "port/Par1WriteEndPointState.h"

#include "platform/win32.h"
#include "protocol/Data.h"
#include "shared/TransportLog.h"

#include <utility>

Par1WriteEndPointState::Par1WriteEndPointState(std::string name) : name_(std::move(name)) {}

Par1WriteEndPointState::~Par1WriteEndPointState() = default;

void Par1WriteEndPointState::onEnter(Par1WriteEndPoint&) {}

uint32_t Par1WriteEndPointState::doOpen(Par1WriteEndPoint&) {
    return transportLog::refuse("Par1WriteEndPointState::doOpen: ");
}

uint32_t Par1WriteEndPointState::doClose(Par1WriteEndPoint&) {
    return transportLog::refuse("Par1WriteEndPointState::doClose: ");
}

uint32_t Par1WriteEndPointState::doWrite(Par1WriteEndPoint&, Data& data) {
    uint32_t result = transportLog::refuse("Par1WriteEndPointState::doWrite: ");
    data.setError(result);
    return result;
}
