#include "port/Par1ReadEndPoint.h"

#include "port/Par1ReadEndPointClosed.h"
#include "port/Par1ReadEndPointState.h"
#include "shared/OsVersion.h"
#include "shared/TransportLog.h"

Par1ReadEndPoint::Par1ReadEndPoint(HANDLE port)
    : Par1ReadEndPoint(port, OsVersion::getPlatformId()) {}

Par1ReadEndPoint::Par1ReadEndPoint(HANDLE port, DWORD platformId)
    : handle_(port), platformId_(platformId), state_(&Par1ReadEndPointClosed::instance()) {
    changeState(Par1ReadEndPointClosed::instance());
}

Par1ReadEndPoint::~Par1ReadEndPoint() = default;

uint32_t Par1ReadEndPoint::doOpen() {
    return state_.load()->doOpen(*this);
}

uint32_t Par1ReadEndPoint::doClose() {
    return state_.load()->doClose(*this);
}

uint32_t Par1ReadEndPoint::doRead(Data& data, uint32_t most) {
    return state_.load()->doRead(*this, data, most);
}

void Par1ReadEndPoint::changeState(Par1ReadEndPointState& state) {
    FunctionTrace trace = transportLog::open(
        LevelTrace, [&] { return "Par1ReadEndPoint::changeState(" + state.getName() + "): "; });
    state_.store(&state);
    state.onEnter(*this);
}
