// A host's top layer that drops whatever comes up: for connections whose
// answers do not matter (benchmarks, load).
#pragma once

#include "protocol/Data.h"
#include "protocol/Layer.h"

namespace par1test {

class QuietHost : public Layer {
public:
    using Layer::doAccept;
    void doAccept(Data&) override {}
    void doAccept(Visitor&) override {}
};

} // namespace par1test
