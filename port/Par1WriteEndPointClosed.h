// The write endpoint between writes: it can be opened (and closing it again
// does nothing); writes are refused.
#pragma once

#include "port/Par1WriteEndPointState.h"

class Par1WriteEndPointClosed : public Par1WriteEndPointState {
public:
    // The one shared object, made when the library is loaded.
    static Par1WriteEndPointClosed& instance();

    // To Open; 0.
    uint32_t doOpen(Par1WriteEndPoint& endpoint) override;
    // 0, nothing changes.
    uint32_t doClose(Par1WriteEndPoint& endpoint) override;

private:
    Par1WriteEndPointClosed();
};
