// The wrap layer of a parallel-port connection, named "bidi" by the
// connection factory: NpaWrapProtocol with wrapping on, the retry limit from
// the setting "MaxNpaWrapRetries" (default 10) and the transport's visitor
// dispatch.
#pragma once

#include "protocol/NpaWrapProtocol.h"

class Par1NpaWrapProtocol : public NpaWrapProtocol {
public:
    static const uint32_t defaultRetries = 10;

    Par1NpaWrapProtocol(uint32_t maximumPacketSize, bool acknowledge);
    ~Par1NpaWrapProtocol() override;

    using NpaWrapProtocol::doAccept;
    // The visitor's doAtParNpaWrapProtocol; a visitor of another kind gets
    // the generic protocol operation.
    void doAccept(Visitor& visitor) override;
};
