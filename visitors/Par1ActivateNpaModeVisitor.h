// "startNpaModeVisitor": writes the bytes of its data buffer to the port,
// as a command, only when the printer's NPA mode is on. On its way down it
// reads the mode at the PJL layer (no query is sent); at the adapter it
// writes.
#pragma once

#include "visitors/Par1Visitor.h"

#include <atomic>

class Par1ActivateNpaModeVisitor : public Par1Visitor {
public:
    static const char name[];

    // With registerWithManager: named and registered as the prototype.
    explicit Par1ActivateNpaModeVisitor(bool registerWithManager);
    ~Par1ActivateNpaModeVisitor() override;

    // Notes the protocol's npaMode(); travels on.
    void doAtPar1Protocol(Layer& layer, Layer* upper) override;
    // With a data buffer and NPA mode on: clears the adapter's print-data
    // flag and writes the buffer (its error and count tell how). Ends the
    // travel.
    void doAtPar1Adapter(Layer& layer, Layer* upper) override;
    Visitor* clone() const override;

    bool isNpaWrapping() const { return npaWrapping_; }

private:
    bool npaWrapping_;
};
