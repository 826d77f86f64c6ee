// "setMaxPacketSizeVisitor": sets the wrap layer's maximum packet size from
// the property MaxWritePacketSize of the transport string in its data
// buffer. Error 0, or 87 (ERROR_INVALID_PARAMETER) when the size is missing,
// 5 or less (no payload would fit) or too large for a packet's length field;
// the wrap layer then keeps its size.
#pragma once

#include "visitors/Par1Visitor.h"

class Par1SetMaxPacketSizeVisitor : public Par1Visitor {
public:
    static const char name[];

    explicit Par1SetMaxPacketSizeVisitor(bool registerWithManager);
    ~Par1SetMaxPacketSizeVisitor() override;

    // Ends the travel.
    void doAtParNpaWrapProtocol(Layer& layer, Layer* upper) override;
    Visitor* clone() const override;
};
