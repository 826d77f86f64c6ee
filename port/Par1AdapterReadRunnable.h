// What the adapter's read thread runs: the adapter's read loop.
#pragma once

#include "shared/Runnable.h"

class Par1Adapter;

class Par1AdapterReadRunnable : public Runnable {
public:
    explicit Par1AdapterReadRunnable(Par1Adapter& adapter);
    ~Par1AdapterReadRunnable() override;

    // Par1Adapter::read(); its result is the thread's exit code.
    uint32_t run() override;

private:
    Par1Adapter& adapter_;
};
