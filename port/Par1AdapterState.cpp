#include "port/Par1AdapterState.h"

#include "platform/win32.h"
#include "port/Par1Adapter.h"
#include "protocol/Data.h"
#include "shared/TransportLog.h"
#include "visitors/Par1Visitor.h"

#include <utility>

namespace {

// The adapter's states name the refusal's result rather than number it.
const char refusedName[] = "VNT_ERROR_INVALID_FUNCTION";

} // namespace

Par1AdapterState::Par1AdapterState(std::string name) : name_(std::move(name)) {}

Par1AdapterState::~Par1AdapterState() = default;

void Par1AdapterState::doWrite(Par1Adapter&, Data& data) {
    data.setError(transportLog::refuse("Par1AdapterState::doWrite(Visitor, Data): ", refusedName));
}

void Par1AdapterState::doAccept(Par1Adapter& adapter, Visitor& visitor) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1AdapterState::doAccept(Visitor): ");
    Layer* upper = adapter.getLayer(Layer::Upper);
    if (Par1Visitor* ours = Par1Visitor::fromVisitor(visitor)) {
        ours->doAtPar1Adapter(adapter, upper);
    } else {
        visitor.doAtAdapter(adapter, upper);
    }
}

void Par1AdapterState::doAccept(Par1Adapter&, Data& data) {
    data.setError(transportLog::refuse("Par1AdapterState::doAccept(Visitor, Data): ", refusedName));
}

uint32_t Par1AdapterState::doOpen(Par1Adapter&) {
    return transportLog::refuse("Par1AdapterState::doOpen(Par1Adapter&): ", refusedName);
}

uint32_t Par1AdapterState::doClose(Par1Adapter&) {
    return transportLog::refuse("Par1AdapterState::doClose(par1Adapter&): ", refusedName);
}
