#include "protocol/Par1NpaWrapProtocol.h"

#include "protocol/LayerSettings.h"
#include "shared/TransportLog.h"
#include "visitors/Par1Visitor.h"

Par1NpaWrapProtocol::Par1NpaWrapProtocol(uint32_t maximumPacketSize, bool acknowledge)
    : NpaWrapProtocol(maximumPacketSize, acknowledge, true) {
    setMaximumTries(LayerSettings::number("MaxNpaWrapRetries", defaultRetries));
}

Par1NpaWrapProtocol::~Par1NpaWrapProtocol() = default;

void Par1NpaWrapProtocol::doAccept(Visitor& visitor) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1NpaWrapProtocol::doAccept(Visitor&)");
    Par1Visitor* own = Par1Visitor::fromVisitor(visitor);
    if (own != nullptr) {
        own->doAtParNpaWrapProtocol(*this, getLayer(Upper));
    } else {
        NpaWrapProtocol::doAccept(visitor);
    }
}
