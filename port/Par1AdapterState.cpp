#include "port/Par1AdapterState.h"

#include "platform/win32.h"
#include "port/Par1Adapter.h"
#include "port/TransportTrace.h"
#include "protocol/Data.h"
#include "visitors/Par1Visitor.h"

#include <utility>

namespace {

uint32_t refuse(const char* text) {
    FunctionTrace trace = transportTrace::open(LevelTrace, text);
    if (trace.isEnabled()) {
        trace.log(transportTrace::refusal);
        trace.setReturnCode("VNT_ERROR_INVALID_FUNCTION");
    }
    return ERROR_INVALID_FUNCTION;
}

} // namespace

Par1AdapterState::Par1AdapterState(std::string name) : name_(std::move(name)) {}

Par1AdapterState::~Par1AdapterState() = default;

void Par1AdapterState::doWrite(Par1Adapter&, Data& data) {
    data.setError(refuse("Par1AdapterState::doWrite(Visitor, Data): "));
}

void Par1AdapterState::doAccept(Par1Adapter& adapter, Visitor& visitor) {
    FunctionTrace trace = transportTrace::open(LevelTrace, "Par1AdapterState::doAccept(Visitor): ");
    Layer* upper = adapter.getLayer(Layer::Upper);
    if (Par1Visitor* ours = Par1Visitor::fromVisitor(visitor)) {
        ours->doAtPar1Adapter(adapter, upper);
    } else {
        visitor.doAtAdapter(adapter, upper);
    }
}

void Par1AdapterState::doAccept(Par1Adapter&, Data& data) {
    data.setError(refuse("Par1AdapterState::doAccept(Visitor, Data): "));
}

uint32_t Par1AdapterState::doOpen(Par1Adapter&) {
    return refuse("Par1AdapterState::doOpen(Par1Adapter&): ");
}

uint32_t Par1AdapterState::doClose(Par1Adapter&) {
    return refuse("Par1AdapterState::doClose(par1Adapter&): ");
}
