// The read endpoint after a failed read: only closing leads out; reads and
// opens are refused until then.
#pragma once

#include "port/Par1ReadEndPointState.h"

class Par1ReadEndPointError : public Par1ReadEndPointState {
public:
    // The one shared object, made when the library is loaded.
    static Par1ReadEndPointError& instance();

    // To Closed; 0.
    uint32_t doClose(Par1ReadEndPoint& endpoint) override;

private:
    Par1ReadEndPointError();
};
