// The reading read endpoint: each doRead is one ReadFile, bounded by the
// handle's read time-outs, whose bytes are appended to the caller's buffer. A
// failed read leads to Error.
#pragma once

#include "port/Par1ReadEndPointState.h"

class Par1ReadEndPointOpen : public Par1ReadEndPointState {
public:
    // The one shared object, made when the library is loaded.
    static Par1ReadEndPointOpen& instance();

    // To Closed; 0.
    uint32_t doClose(Par1ReadEndPoint& endpoint) override;
    // Reads up to 4096 bytes (20 on the Windows 95 family), or up to most
    // when that is fewer and not 0, and appends what came, possibly nothing:
    // 0, and the data's error 0. A failed read answers its error (also as the
    // data's error) and goes to Error.
    uint32_t doRead(Par1ReadEndPoint& endpoint, Data& data, uint32_t most) override;

private:
    Par1ReadEndPointOpen();
};
