#include "port/Par1AdapterClosed.h"

#include "platform/win32.h"
#include "port/Par1Adapter.h"
#include "port/Par1AdapterOpen.h"
#include "port/Par1ReadEndPoint.h"
#include "port/Par1WriteEndPoint.h"
#include "shared/TransportLog.h"

#include <memory>
#include <new>

namespace {

// What a failed allocation answers: the last error, which must not be 0.
uint32_t allocationError() {
    DWORD error = GetLastError();
    return error != 0 ? error : ERROR_NOT_ENOUGH_MEMORY;
}

} // namespace

Par1AdapterClosed::Par1AdapterClosed() : Par1AdapterState("Par1AdapterClosed") {}

Par1AdapterClosed& Par1AdapterClosed::instance() {
    static Par1AdapterClosed state;
    return state;
}

uint32_t Par1AdapterClosed::doOpen(Par1Adapter& adapter) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1AdapterClosed::doOpen: ");
    std::unique_ptr<Par1WriteEndPoint> writeEndpoint(new (std::nothrow)
                                                         Par1WriteEndPoint(adapter.getHandle()));
    if (!writeEndpoint) {
        uint32_t error = allocationError();
        transportLog::line(LevelError, "Error getting memory for Par1WriteEndPoint.");
        return error;
    }
    uint32_t result = writeEndpoint->doOpen();
    if (result != 0) {
        if (trace.isEnabled()) {
            transportLog::note(trace, "Error opening writeEndPoint.");
        }
        return result;
    }
    // Between writes the write endpoint stays closed.
    writeEndpoint->doClose();
    // Reads are bounded by these time-outs; without them a port whose
    // handle came with none would keep the read thread in ReadFile for ever.
    writeEndpoint->applyStandardTimeouts();

    std::unique_ptr<Par1ReadEndPoint> readEndpoint(new (std::nothrow)
                                                       Par1ReadEndPoint(adapter.getHandle()));
    if (!readEndpoint) {
        uint32_t error = allocationError();
        transportLog::line(LevelError, "Error getting memory for Par1ReadEndPoint.");
        return error;
    }
    result = readEndpoint->doOpen();
    if (result != 0) {
        if (trace.isEnabled()) {
            transportLog::note(trace, "Error opening Par1ReadEndPoint.");
        }
        return result;
    }

    adapter.setWriteEndpoint(writeEndpoint.release());
    adapter.setReadEndpoint(readEndpoint.release());
    result = adapter.startReading();
    if (result != 0) {
        delete adapter.getWriteEndpoint();
        adapter.setWriteEndpoint(nullptr);
        delete adapter.getReadEndpoint();
        adapter.setReadEndpoint(nullptr);
        if (trace.isEnabled()) {
            trace.setReturnCode(result);
        }
        return result;
    }
    adapter.changeState(Par1AdapterOpen::instance());
    if (trace.isEnabled()) {
        trace.setReturnCode(0u);
    }
    return 0;
}

uint32_t Par1AdapterClosed::doClose(Par1Adapter&) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1AdapterClosed::doClose: ");
    if (trace.isEnabled()) {
        trace.setReturnCode(0u);
    }
    return 0;
}

namespace {

[[maybe_unused]] Par1AdapterClosed& madeAtLoad = Par1AdapterClosed::instance();

} // namespace
