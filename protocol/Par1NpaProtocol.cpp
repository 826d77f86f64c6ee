#include "protocol/Par1NpaProtocol.h"

#include "shared/TransportLog.h"
#include "visitors/Par1Visitor.h"

Par1NpaProtocol::Par1NpaProtocol() = default;

Par1NpaProtocol::~Par1NpaProtocol() = default;

void Par1NpaProtocol::doAccept(Visitor& visitor) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1NpaProtocol::doAccept(Visitor&)");
    Par1Visitor* own = Par1Visitor::fromVisitor(visitor);
    if (own != nullptr) {
        own->doAtPar1NpaProtocol(*this, getLayer(Upper));
    } else {
        NpaProtocol::doAccept(visitor);
    }
}
