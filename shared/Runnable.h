// What a Thread runs: run() returns the thread's exit code.
#pragma once

#include <cstdint>

class Runnable {
public:
    virtual ~Runnable();
    virtual uint32_t run() = 0;
};
