// The adapter with its port handle but without endpoints or read thread:
// opening makes the endpoints and starts reading; closing does nothing.
#pragma once

#include "port/Par1AdapterState.h"

class Par1AdapterClosed : public Par1AdapterState {
public:
    // The one shared object, made when the library is loaded.
    static Par1AdapterClosed& instance();

    // Makes the write endpoint (tried once: opened and closed again) and the
    // read endpoint (opened), sets the handle's time-outs, starts the read
    // thread and goes to Open; 0. On a failure nothing stays allocated and
    // the failure's code is the answer.
    uint32_t doOpen(Par1Adapter& adapter) override;
    // 0.
    uint32_t doClose(Par1Adapter& adapter) override;

private:
    Par1AdapterClosed();
};
