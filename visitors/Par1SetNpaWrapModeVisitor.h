// "setNpaWrapModeVisitor": switches the wrap layer's NPA wrapping by the first
// byte of its data buffer: 0 off, anything else on. Without a byte nothing
// changes. The error is 0.
#pragma once

#include "visitors/Par1Visitor.h"

class Par1SetNpaWrapModeVisitor : public Par1Visitor {
public:
    static const char name[];

    explicit Par1SetNpaWrapModeVisitor(bool registerWithManager);
    ~Par1SetNpaWrapModeVisitor() override;

    // Ends the travel.
    void doAtParNpaWrapProtocol(Layer& layer, Layer* upper) override;
    Visitor* clone() const override;
};
