// The adapter with its endpoints and a running read thread: it writes; closing
// stops reading and deletes the endpoints; opening again does nothing.
#pragma once

#include "port/Par1AdapterState.h"

class Par1AdapterOpen : public Par1AdapterState {
public:
    // The one shared object, made when the library is loaded.
    static Par1AdapterOpen& instance();

    // One write through the write endpoint, opened and closed around it. The
    // data's error is the write's code, its count the bytes that went out.
    void doWrite(Par1Adapter& adapter, Data& data) override;
    // 0.
    uint32_t doOpen(Par1Adapter& adapter) override;
    // Goes to Closed first (which gives up the adapter's lock), then stops
    // reading and deletes the endpoints; 0. The port handle stays open.
    uint32_t doClose(Par1Adapter& adapter) override;

private:
    Par1AdapterOpen();
};
