// The record form of a notification: three 32-bit values and a buffer.
#pragma once

#include "par1/transport.h"
#include "protocol/Data.h"

#include <cstdint>

struct NotifyRecord {
    // The values 0 and an empty buffer.
    NotifyRecord();
    NotifyRecord(uint32_t value1, uint32_t value2, uint32_t value3, const Data& data);

    uint32_t value1;
    uint32_t value2;
    uint32_t value3;
    Data data;
};
