#include "port/Par1WriteEndPoint.h"

#include "port/Par1WriteEndPointClosed.h"
#include "port/Par1WriteEndPointState.h"
#include "port/PortSystem.h"
#include "shared/Exception.h"
#include "shared/RuntimeSettings.h"
#include "shared/TransportLog.h"

namespace {

const uint32_t defaultReadTimeout = 50;
const DWORD printDataWriteTimeout = 60000;

uint32_t readTimeoutSetting() {
    uint32_t value = defaultReadTimeout;
    try {
        RuntimeSettings settings;
        settings.getNumber("Par1\\Settings\\", "ReadTimeout", value, defaultReadTimeout,
                           SettingsStore::LocalStore);
    } catch (const Exception&) {
        value = defaultReadTimeout;
    } catch (const char*) {
        // No Localize instance yet: the settings cannot be found.
        value = defaultReadTimeout;
    }
    // Interval 1 with both totals 0 would make a read wait for its first byte
    // for ever, and the read thread could not be stopped.
    return value == 0 ? 1 : value;
}

} // namespace

Par1WriteEndPoint::Par1WriteEndPoint(HANDLE port)
    : handle_(port), state_(&Par1WriteEndPointClosed::instance()),
      readTimeout_(readTimeoutSetting()), timeouts_(standardTimeouts()), printData_(true) {
    changeState(Par1WriteEndPointClosed::instance());
}

Par1WriteEndPoint::~Par1WriteEndPoint() = default;

uint32_t Par1WriteEndPoint::doOpen() {
    return state_->doOpen(*this);
}

uint32_t Par1WriteEndPoint::doClose() {
    return state_->doClose(*this);
}

uint32_t Par1WriteEndPoint::doWrite(Data& data) {
    return state_->doWrite(*this, data);
}

void Par1WriteEndPoint::setCommTimeouts(const COMMTIMEOUTS& timeouts) {
    timeouts_ = timeouts;
    printData_ = true;
}

void Par1WriteEndPoint::setPrintDataFlag(bool printData) {
    printData_ = printData;
}

COMMTIMEOUTS Par1WriteEndPoint::standardTimeouts() const {
    return {1, 0, readTimeout_, 0, printDataWriteTimeout};
}

COMMTIMEOUTS Par1WriteEndPoint::withStandardReads(COMMTIMEOUTS timeouts) const {
    const COMMTIMEOUTS standard = standardTimeouts();
    timeouts.ReadIntervalTimeout = standard.ReadIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = standard.ReadTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = standard.ReadTotalTimeoutConstant;
    return timeouts;
}

void Par1WriteEndPoint::applyStandardTimeouts() {
    COMMTIMEOUTS timeouts = standardTimeouts();
    PortSystem::current().setCommTimeouts(handle_, &timeouts);
}

void Par1WriteEndPoint::resetWriteSettings() {
    timeouts_ = standardTimeouts();
    printData_ = true;
}

void Par1WriteEndPoint::changeState(Par1WriteEndPointState& state) {
    FunctionTrace trace = transportLog::open(
        LevelTrace, [&] { return "Par1WriteEndPoint::changeState(" + state.getName() + "): "; });
    state_ = &state;
    state_->onEnter(*this);
}
