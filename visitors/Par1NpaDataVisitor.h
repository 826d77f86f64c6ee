// "npaDataVisitor": sends the NPA packet in its data buffer (header
// included) as a command. When the packet asks for a reply (flag 0x10) it
// waits, at the NPA layer, until the matching reply has come (which reaches
// the host through the connection's upward path): each wait packet or
// foreign reply restarts the 10-second wait. The error afterwards is 0, the
// write's error, or 1460 (ERROR_TIMEOUT) when no reply came; 87
// (ERROR_INVALID_PARAMETER) without a data buffer.
#pragma once

#include "visitors/Par1Visitor.h"

class Par1NpaDataVisitor : public Par1Visitor {
public:
    static const char name[];

    explicit Par1NpaDataVisitor(bool registerWithManager);
    ~Par1NpaDataVisitor() override;

    // Clears the adapter's print-data flag, then transacts the packet; ends
    // the travel.
    void doAtPar1NpaProtocol(Layer& layer, Layer* upper) override;
    Visitor* clone() const override;
};
