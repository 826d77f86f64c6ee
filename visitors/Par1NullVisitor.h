// What the transport's visitor manager makes for a name it does not know: it
// reports 1 (ERROR_INVALID_FUNCTION) and stops at the first of the
// transport's layers that it reaches below the wrap layer.
#pragma once

#include "visitors/Par1Visitor.h"

class Par1NullVisitor : public Par1Visitor {
public:
    // Error 1, no name.
    Par1NullVisitor();
    ~Par1NullVisitor() override;

    // Each writes its detail line, sets the error to 1 and ends the travel.
    void doAtPar1Protocol(Layer& layer, Layer* upper) override;
    void doAtPar1Adapter(Layer& layer, Layer* upper) override;
    void doAtPar1NpaProtocol(Layer& layer, Layer* upper) override;
    // A new null visitor.
    Visitor* clone() const override;
};
