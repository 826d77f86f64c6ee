// The read endpoint before reading starts and after it stopped: it can be
// opened (closing it again does nothing); reads are refused.
#pragma once

#include "port/Par1ReadEndPointState.h"

class Par1ReadEndPointClosed : public Par1ReadEndPointState {
public:
    // The one shared object, made when the library is loaded.
    static Par1ReadEndPointClosed& instance();

    // To Open; 0.
    uint32_t doOpen(Par1ReadEndPoint& endpoint) override;
    // 0, nothing changes.
    uint32_t doClose(Par1ReadEndPoint& endpoint) override;

private:
    Par1ReadEndPointClosed();
};
