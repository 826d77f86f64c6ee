#include "protocol/Par1NpaWrapProtocol.h"

#include "protocol/LayerLog.h"
#include "protocol/LayerSettings.h"
#include "visitors/Par1Visitor.h"

Par1NpaWrapProtocol::Par1NpaWrapProtocol(uint32_t maximumPacketSize, bool acknowledge)
    : NpaWrapProtocol(maximumPacketSize, acknowledge, true) {
    setMaximumTries(LayerSettings::number("MaxNpaWrapRetries", defaultRetries));
}

Par1NpaWrapProtocol::~Par1NpaWrapProtocol() = default;

void Par1NpaWrapProtocol::doAccept(Visitor& visitor) {
    FunctionTrace trace(LayerLog::logger(), LogCategories::Par1Transport,
                        LayerLog::traceName(LevelTrace, "Par1NpaWrapProtocol::doAccept(Visitor&)"),
                        LevelTrace, true);
    Par1Visitor* own = Par1Visitor::fromVisitor(visitor);
    if (own != nullptr) {
        own->doAtParNpaWrapProtocol(*this, getLayer(Upper));
    } else {
        NpaWrapProtocol::doAccept(visitor);
    }
}
