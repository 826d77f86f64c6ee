#include "port/Par1AdapterOpen.h"

#include "platform/win32.h"
#include "port/Par1Adapter.h"
#include "port/Par1AdapterClosed.h"
#include "port/Par1ReadEndPoint.h"
#include "port/Par1WriteEndPoint.h"
#include "protocol/Data.h"
#include "shared/TextBuilder.h"
#include "shared/TransportLog.h"

Par1AdapterOpen::Par1AdapterOpen() : Par1AdapterState("Par1AdapterOpen") {}

Par1AdapterOpen& Par1AdapterOpen::instance() {
    static Par1AdapterOpen state;
    return state;
}

void Par1AdapterOpen::doWrite(Par1Adapter& adapter, Data& data) {
    FunctionTrace trace = transportLog::open(LevelData, [&] {
        return TextBuilder("Par1AdapterOpen::doWrite(").append(data.size()).append("): ").str();
    });
    Par1WriteEndPoint* writeEndpoint = adapter.getWriteEndpoint();
    if (writeEndpoint == nullptr) {
        transportLog::line(LevelError, "WriteEndPoint pointer is NULL.");
        data.setCount(0);
        data.setError(ERROR_INTERNAL_ERROR);
        return;
    }
    uint32_t result = writeEndpoint->doOpen();
    if (result != 0) {
        data.setError(result);
        if (trace.isEnabled()) {
            transportLog::note(trace,
                               TextBuilder("Error opening Write handle.").append(result).str());
        }
        return;
    }
    result = writeEndpoint->doWrite(data);
    data.setError(result);
    if (result != 0 && trace.isEnabled()) {
        transportLog::note(trace, TextBuilder("Error writing, rc=").append(result).str());
    }
    uint32_t closed = writeEndpoint->doClose();
    if (closed != 0 && trace.isEnabled()) {
        transportLog::note(
            trace, TextBuilder("Error closing Write handle, rc=").append(closed).append(".").str());
    }
}

uint32_t Par1AdapterOpen::doOpen(Par1Adapter&) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1AdapterOpen::doOpen: ");
    if (trace.isEnabled()) {
        trace.setReturnCode(0u);
    }
    return 0;
}

uint32_t Par1AdapterOpen::doClose(Par1Adapter& adapter) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1AdapterOpen::doClose: ");
    adapter.changeState(Par1AdapterClosed::instance());
    adapter.setContinueReadingOff();
    delete adapter.getWriteEndpoint();
    adapter.setWriteEndpoint(nullptr);
    adapter.stopReading();
    delete adapter.getReadEndpoint();
    adapter.setReadEndpoint(nullptr);
    if (trace.isEnabled()) {
        trace.setReturnCode(0u);
    }
    return 0;
}

namespace {

[[maybe_unused]] Par1AdapterOpen& madeAtLoad = Par1AdapterOpen::instance();

} // namespace
