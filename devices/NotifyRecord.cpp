#include "devices/NotifyRecord.h"

NotifyRecord::NotifyRecord() : value1(0), value2(0), value3(0), data(0, 255) {}

NotifyRecord::NotifyRecord(uint32_t value1, uint32_t value2, uint32_t value3, const Data& data)
    : value1(value1), value2(value2), value3(value3), data(data) {}
