#include "protocol/Layer.h"
#include "protocol/Adapter.h"
#include "protocol/Data.h"
#include "protocol/NullLayer.h"
#include "protocol/Protocol.h"
#include "protocol/RefCounted.h"
#include "visitors/Visitor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace {

// The bottom of a test stack: counts its doOpen and doClose calls and answers
// what the test tells it to.
class CountingAdapter : public Adapter {
public:
    uint32_t doOpen() override {
        ++opens;
        return openResults.empty() ? 0 : takeFirst(openResults);
    }
    uint32_t doClose() override {
        ++closes;
        return closeResult;
    }

    int opens = 0;
    int closes = 0;
    std::vector<uint32_t> openResults;
    uint32_t closeResult = 0;

private:
    static uint32_t takeFirst(std::vector<uint32_t>& results) {
        const uint32_t result = results.front();
        results.erase(results.begin());
        return result;
    }
};

// A protocol layer as the transport's are: open and close go to the lower
// neighbour.
class ForwardingProtocol : public Protocol {
public:
    uint32_t doOpen() override { return getLayer(Lower)->open(); }
    uint32_t doClose() override { return getLayer(Lower)->close(); }
};

struct TwoLayerStack {
    TwoLayerStack() {
        top.setLayer(Layer::Lower, &bottom);
        bottom.setLayer(Layer::Upper, &top);
    }
    ForwardingProtocol top;
    CountingAdapter bottom;
};

class RecordingVisitor : public Visitor {
public:
    void doAtAdapter(Layer& layer, Layer* upper) override {
        atAdapter = &layer;
        upperSeen = upper;
    }
    Layer* atAdapter = nullptr;
    Layer* upperSeen = nullptr;
};

} // namespace

TEST(LayerOpen, CountedOpenAndCloseReachThePortOnce) {
    TwoLayerStack stack;
    EXPECT_EQ(0u, stack.top.open());
    EXPECT_EQ(0u, stack.top.open());
    EXPECT_EQ(1, stack.bottom.opens);
    EXPECT_EQ(2u, stack.top.openCount());
    EXPECT_EQ(1u, stack.bottom.openCount());

    EXPECT_EQ(0u, stack.top.close());
    EXPECT_EQ(0, stack.bottom.closes);
    EXPECT_EQ(1u, stack.top.openCount());

    stack.bottom.closeResult = 29;
    EXPECT_EQ(29u, stack.top.close()) << "the last close answers what the port's close answered";
    EXPECT_EQ(1, stack.bottom.closes);
    EXPECT_EQ(0u, stack.top.openCount());
    EXPECT_EQ(0u, stack.bottom.openCount());

    EXPECT_EQ(0u, stack.top.open());
    EXPECT_EQ(2, stack.bottom.opens) << "a closed stack opens the port again";
}

TEST(LayerOpen, FailingDoOpenLeavesCountAtZeroAndIsRetried) {
    TwoLayerStack stack;
    stack.bottom.openResults = {1460, 0};
    EXPECT_EQ(1460u, stack.top.open());
    EXPECT_EQ(0u, stack.top.openCount());
    EXPECT_EQ(0u, stack.bottom.openCount());

    EXPECT_EQ(0u, stack.top.open());
    EXPECT_EQ(2, stack.bottom.opens);
    EXPECT_EQ(1u, stack.top.openCount());
    EXPECT_EQ(1u, stack.bottom.openCount());
}

TEST(LayerOpen, CloseOfALayerThatIsNotOpenIsRefusedAndCannotWrapTheCount) {
    TwoLayerStack stack;
    EXPECT_EQ(1u, stack.top.close());
    EXPECT_EQ(0u, stack.top.openCount());
    EXPECT_EQ(0, stack.bottom.closes);

    // Had the count wrapped round, this open would only count.
    EXPECT_EQ(0u, stack.top.open());
    EXPECT_EQ(1, stack.bottom.opens);
    EXPECT_EQ(0u, stack.top.close());
    EXPECT_EQ(1u, stack.top.close());
    EXPECT_EQ(1, stack.bottom.closes);
}

TEST(Layer, RefusalsOfTheDefaultAndOfTheNullLayerGoThroughWhatIsPassedIn) {
    Layer plain;
    NullLayer null;
    struct Case {
        const char* what;
        Layer& layer;
        uint32_t dataError;
    };
    for (const Case& c : {Case{"default", plain, 1}, Case{"null", null, 6}}) {
        Data written(4, 0x41);
        c.layer.doWrite(written);
        EXPECT_EQ(c.dataError, written.error()) << c.what;
        Data arrived(4, 0x41);
        c.layer.doAccept(arrived);
        EXPECT_EQ(c.dataError, arrived.error()) << c.what;
        RecordingVisitor visitor;
        c.layer.doAccept(visitor);
        EXPECT_EQ(1u, visitor.error()) << c.what;
    }
}

TEST(NullLayer, IsNamedNullAndNeverOpens) {
    NullLayer null;
    EXPECT_EQ("null", null.getName());
    EXPECT_EQ(6u, null.open());
    EXPECT_EQ(6u, null.open());
    EXPECT_EQ(0u, null.openCount());
    EXPECT_EQ(6u, null.doClose());
    EXPECT_EQ(1u, null.close()) << "never opened";
    EXPECT_EQ(6u, null.open()) << "a stray close must not make the null layer look open";
}

TEST(Layer, DirectionsOfGetLayerAndSetLayer) {
    Layer layer, upper, lower, other;
    EXPECT_EQ(nullptr, layer.getLayer(Layer::Upper));
    EXPECT_EQ(nullptr, layer.getLayer(Layer::Lower));
    EXPECT_TRUE(layer.setLayer(0, &upper));
    EXPECT_TRUE(layer.setLayer(1, &lower));
    EXPECT_FALSE(layer.setLayer(2, &other));
    EXPECT_FALSE(layer.setLayer(-1, &other));

    struct Case {
        int direction;
        Layer* expected;
    };
    for (const Case& c : {Case{0, &upper}, Case{1, &lower}, Case{2, &lower}, Case{-1, &lower},
                          Case{1000, &lower}}) {
        EXPECT_EQ(c.expected, layer.getLayer(c.direction)) << "direction " << c.direction;
    }
}

TEST(Layer, WithoutNeighboursPassingOnGoesNowhere) {
    Layer layer;
    RecordingVisitor unmoved;
    layer.passUp(unmoved);
    layer.passDown(unmoved);
    EXPECT_EQ(0u, unmoved.error());
    EXPECT_EQ(nullptr, unmoved.atAdapter);
}

TEST(Adapter, HandsItselfAndItsUpperNeighbourToTheVisitor) {
    TwoLayerStack stack;
    RecordingVisitor visitor;
    stack.top.passDown(visitor);
    EXPECT_EQ(&stack.bottom, visitor.atAdapter);
    EXPECT_EQ(&stack.top, visitor.upperSeen);
    EXPECT_EQ(0u, visitor.error());
}

TEST(RefCounted, CountsHoldersAndNeverGoesBelowZero) {
    Layer layer;
    EXPECT_EQ(1u, layer.addRef());
    EXPECT_EQ(2u, layer.addRef());
    EXPECT_EQ(1u, layer.release());
    EXPECT_EQ(0u, layer.release());
    EXPECT_EQ(0u, layer.release());
    EXPECT_EQ(1u, layer.addRef());
}

TEST(RefCounted, ConcurrentHoldersLoseNoCount) {
    Layer layer;
    const int threads = 4;
    const int rounds = 5000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&layer] {
            for (int i = 0; i < rounds; ++i) {
                layer.addRef();
                layer.addRef();
                layer.release();
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(static_cast<uint32_t>(threads * rounds) + 1, layer.addRef());
}
