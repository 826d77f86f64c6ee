// The NPA protocol layer of a parallel-port connection: NpaProtocol with the
// transport's visitor dispatch.
#pragma once

#include "protocol/NpaProtocol.h"

class Par1NpaProtocol : public NpaProtocol {
public:
    Par1NpaProtocol();
    ~Par1NpaProtocol() override;

    using NpaProtocol::doAccept;
    // The visitor's doAtPar1NpaProtocol; a visitor of another kind gets the
    // generic protocol operation.
    void doAccept(Visitor& visitor) override;
};
