// The write endpoint around one write: it writes one buffer with WriteFile
// under the time-outs it sets first, and turns a failure into a code from the
// port's error flags.
#pragma once

#include "port/Par1WriteEndPointState.h"

class Par1WriteEndPointOpen : public Par1WriteEndPointState {
public:
    // The one shared object, made when the library is loaded.
    static Par1WriteEndPointOpen& instance();

    // To Closed; 0.
    uint32_t doClose(Par1WriteEndPoint& endpoint) override;
    // 0 and the data's count set to the bytes written; on failure the code
    // from the port's error flags (the data's count is left). Either way the
    // data's error is the result, and the next write is print data under the
    // standard time-outs again.
    uint32_t doWrite(Par1WriteEndPoint& endpoint, Data& data) override;

    // The code of a failed write from what ClearCommError reported: out of
    // paper first, then I/O error, break, device not selected, time-out; 29
    // (ERROR_WRITE_FAULT) when ClearCommError failed or none of these is set.
    static uint32_t writeError(bool clearCommErrorSucceeded, uint32_t errors);

private:
    Par1WriteEndPointOpen();
};
