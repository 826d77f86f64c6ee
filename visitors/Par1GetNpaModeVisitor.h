// "getNpaModeVisitor": asks the printer, at the PJL layer, whether its NPA
// mode is on, and writes the answer into the last 4 bytes of its data buffer:
// 01 00 00 00 for on (also when the printer does not answer), 00 00 00 00 for
// off. A buffer shorter than 4 bytes is left as it is. The error is 0.
#pragma once

#include "visitors/Par1Visitor.h"

class Par1GetNpaModeVisitor : public Par1Visitor {
public:
    static const char name[];

    explicit Par1GetNpaModeVisitor(bool registerWithManager);
    ~Par1GetNpaModeVisitor() override;

    // Sends the query and waits for the answer; ends the travel.
    void doAtPar1Protocol(Layer& layer, Layer* upper) override;
    Visitor* clone() const override;

    bool getNpaMode() const { return npaMode_; }

private:
    bool npaMode_;
};
