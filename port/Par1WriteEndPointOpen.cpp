#include "port/Par1WriteEndPointOpen.h"

#include "platform/win32.h"
#include "port/Par1WriteEndPoint.h"
#include "port/Par1WriteEndPointClosed.h"
#include "port/PortSystem.h"
#include "protocol/Data.h"
#include "shared/TransportLog.h"

namespace {

// The write time-out of a write that is not print data.
const DWORD shortWriteTimeout = 1000;

} // namespace

Par1WriteEndPointOpen::Par1WriteEndPointOpen() : Par1WriteEndPointState("Par1WriteEndPointOpen") {}

Par1WriteEndPointOpen& Par1WriteEndPointOpen::instance() {
    static Par1WriteEndPointOpen state;
    return state;
}

uint32_t Par1WriteEndPointOpen::doClose(Par1WriteEndPoint& endpoint) {
    endpoint.changeState(Par1WriteEndPointClosed::instance());
    return 0;
}

uint32_t Par1WriteEndPointOpen::writeError(bool clearCommErrorSucceeded, uint32_t errors) {
    if (!clearCommErrorSucceeded) {
        return ERROR_WRITE_FAULT;
    }
    // The first flag that is set decides; the result is the flag itself.
    for (uint32_t flag : {CE_OOP, CE_IOE, CE_BREAK, CE_DNS, CE_PTO}) {
        if ((errors & flag) != 0) {
            return flag;
        }
    }
    return ERROR_WRITE_FAULT;
}

uint32_t Par1WriteEndPointOpen::doWrite(Par1WriteEndPoint& endpoint, Data& data) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1WriteEndPointOpen::doWrite: ");
    PortSystem& ports = PortSystem::current();
    if (!endpoint.getPrintDataFlag()) {
        endpoint.timeouts_ = {1, 0, endpoint.getReadTimeout(), 0, shortWriteTimeout};
    }
    COMMTIMEOUTS timeouts = endpoint.withStandardReads(endpoint.timeouts_);
    ports.setCommTimeouts(endpoint.getHandle(), &timeouts);

    uint32_t result = 0;
    DWORD written = 0;
    if (!ports.writeFile(endpoint.getHandle(), data.data(), data.size(), &written, nullptr)) {
        DWORD errors = 0;
        bool cleared = ports.clearCommError(endpoint.getHandle(), &errors, nullptr) != FALSE;
        result = writeError(cleared, errors);
    }
    // A write that failed part-way still moved what the port took: a host
    // that resumes from the count must not send those bytes twice.
    data.setCount(written < data.size() ? written : data.size());
    endpoint.resetWriteSettings();
    data.setError(result);
    if (trace.isEnabled()) {
        trace.setReturnCode(result);
    }
    return result;
}

namespace {

[[maybe_unused]] Par1WriteEndPointOpen& madeAtLoad = Par1WriteEndPointOpen::instance();

} // namespace
