// The layer above the one under test: keeps every buffer that comes up, for
// tests that deliver from threads of their own.
#pragma once

#include "protocol/Data.h"
#include "protocol/Layer.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace npatest {

class RecordingUpper : public Layer {
public:
    using Layer::doAccept;
    void doAccept(Data& data) override {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.emplace_back(data.data(), data.data() + data.size());
    }
    std::vector<std::vector<uint8_t>> received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

private:
    std::mutex mutex_;
    std::vector<std::vector<uint8_t>> received_;
};

} // namespace npatest
