// A host built from the public header alone: this program links nothing of
// the module and sees no include directory but include/, so every piece a
// host derives from or builds (its layers, its observers, Data, NotifyRecord,
// and visitors sent between its own layers) must be complete in the header.
#include "par1/transport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#ifdef ERROR_INVALID_FUNCTION
#error "the public header must not include the platform header"
#endif

namespace {

std::string text(Data& data) {
    return std::string(reinterpret_cast<const char*>(data.data()), data.size());
}

// A host's bottom stand-in for a port: keeps what is written, and can send
// bytes up as a read thread would.
class Sink : public Layer {
public:
    using Layer::doAccept;
    void doWrite(Data& data) override {
        written.append(reinterpret_cast<const char*>(data.data()), data.size());
        data.setCount(data.size());
        data.setError(0);
    }
    uint32_t doOpen() override {
        ++opens;
        return failOpen ? 31u : 0u;
    }
    uint32_t doClose() override {
        ++closes;
        return 0;
    }
    void doAccept(Visitor& visitor) override { visitor.doAtAdapter(*this, getLayer(Upper)); }
    void sendUp(const std::string& bytes) {
        Data data(bytes);
        getLayer(Upper)->doAccept(data);
    }

    std::string written;
    int opens = 0;
    int closes = 0;
    bool failOpen = false;
};

// A host's pass-through layer: frames what goes down, opens what is below.
class Framer : public Layer {
public:
    using Layer::doAccept;
    void doWrite(Data& data) override {
        Data framed(std::string("["));
        framed.append(data);
        framed.append(reinterpret_cast<const uint8_t*>("]"), 1);
        getLayer(Lower)->doWrite(framed);
        data.setError(framed.error());
        data.setCount(framed.count() - 2);
    }
    void doAccept(Data& data) override { getLayer(Upper)->doAccept(data); }
    void doAccept(Visitor& visitor) override { visitor.doAtLayer(*this, getLayer(Upper)); }
    uint32_t doOpen() override { return getLayer(Lower)->open(); }
    uint32_t doClose() override { return getLayer(Lower)->close(); }
};

// The host's top layer: what the printer sends ends here.
class Top : public Layer {
public:
    using Layer::doAccept;
    void doAccept(Data& data) override { received += text(data); }
    void doAccept(Visitor& visitor) override { visitor.doAtHost(*this, getLayer(Upper)); }
    std::string received;
};

// Records where it was handed, and lets the generic travel rule move it on.
class Tracer : public Visitor {
public:
    void doAtLayer(Layer& layer, Layer* upper) override {
        path += layer.getName() + " ";
        Visitor::doAtLayer(layer, upper);
    }
    void doAtAdapter(Layer& layer, Layer*) override { path += layer.getName() + "(end)"; }
    void doAtHost(Layer& layer, Layer*) override { path += layer.getName() + "(end)"; }
    std::string path;
};

struct Stack {
    Stack() {
        top.setName("top");
        framer.setName("framer");
        sink.setName("sink");
        top.setLayer(Layer::Lower, &framer);
        framer.setLayer(Layer::Upper, &top);
        framer.setLayer(Layer::Lower, &sink);
        sink.setLayer(Layer::Upper, &framer);
    }
    Top top;
    Framer framer;
    Sink sink;
};

} // namespace

TEST(HostOnlyLayers, DataGoesDownAndComesUpThroughTheHostsOwnLayers) {
    Stack stack;
    Data job(reinterpret_cast<const uint8_t*>("print me"), 8);
    stack.framer.doWrite(job);
    EXPECT_EQ("[print me]", stack.sink.written);
    EXPECT_EQ(0u, job.error());
    EXPECT_EQ(8u, job.count());

    stack.sink.sendUp("answer");
    EXPECT_EQ("answer", stack.top.received);
}

TEST(HostOnlyLayers, CountedOpenAndCloseReachTheBottomOnce) {
    Stack stack;
    EXPECT_EQ(0u, stack.framer.open());
    EXPECT_EQ(0u, stack.framer.open());
    EXPECT_EQ(1, stack.sink.opens);
    EXPECT_EQ(0u, stack.framer.close());
    EXPECT_EQ(0, stack.sink.closes);
    EXPECT_EQ(0u, stack.framer.close());
    EXPECT_EQ(1, stack.sink.closes);
    EXPECT_EQ(1u, stack.framer.close()) << "a close without an open is refused";
    EXPECT_EQ(0u, stack.framer.openCount());

    stack.sink.failOpen = true;
    EXPECT_EQ(31u, stack.framer.open());
    EXPECT_EQ(0u, stack.framer.openCount()) << "a failed open is not counted";
    stack.sink.failOpen = false;
    EXPECT_EQ(0u, stack.framer.open()) << "the next open tries again";
    EXPECT_EQ(3, stack.sink.opens);
}

TEST(HostOnlyLayers, TheBaseLayerRefusesWhatItCannotDo) {
    Layer plain;
    Data data(3, 7);
    plain.doWrite(data);
    EXPECT_EQ(1u, data.error());
    data.setError(0);
    plain.doAccept(data);
    EXPECT_EQ(1u, data.error());
    Tracer visitor;
    plain.doAccept(visitor);
    EXPECT_EQ(1u, visitor.error());
    EXPECT_FALSE(plain.setLayer(2, &plain));
    EXPECT_EQ(nullptr, plain.getLayer(5));
    EXPECT_EQ(1u, plain.addRef());
    EXPECT_EQ(0u, plain.release());
    EXPECT_EQ(0u, plain.release());
}

TEST(HostOnlyLayers, VisitorsTravelInTheDirectionTheyCameFrom) {
    struct Case {
        const char* name;
        bool fromAbove;
        const char* path;
    } cases[] = {
        {"sent down by the host layer", true, "framer sink(end)"},
        {"fresh, last layer null", false, "framer top(end)"},
    };
    for (const Case& c : cases) {
        Stack stack;
        Tracer visitor;
        visitor.setLastLayer(c.fromAbove ? &stack.top : nullptr);
        stack.framer.doAccept(visitor);
        EXPECT_EQ(c.path, visitor.path) << c.name;
        EXPECT_EQ(0u, visitor.error()) << c.name;
    }
}

TEST(HostOnlyData, RoundTripThroughAppendConsumeCopyAndOverwrite) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5};
    Data data(bytes, 5);
    data.append(data.data() + 3, 2); // its own bytes
    ASSERT_EQ(7u, data.size());
    data.consume(2, false);
    data.consume(100, false); // past the end: nothing
    EXPECT_EQ(5u, data.size());
    EXPECT_EQ(3, data.data()[0]);

    data.setError(29);
    data.setCount(9);
    Data copy(data);
    EXPECT_EQ(copy, data);
    EXPECT_EQ(29u, copy.error());
    EXPECT_EQ(9u, copy.count());
    copy.consume(0, true);
    EXPECT_EQ(3, copy.data()[0]) << "a copy reads from its first byte";

    const uint8_t tail[] = {9, 8, 7, 6, 5, 4};
    EXPECT_FALSE(copy.overwriteTail(tail, 6)) << "longer than the unread bytes";
    EXPECT_EQ(5u, copy.size());
    EXPECT_TRUE(copy.overwriteTail(tail, 2));
    EXPECT_EQ(2u, copy.size());
    EXPECT_EQ(Data(tail, 2), copy);

    copy.append(nullptr, 1);
    EXPECT_EQ(87u, copy.error());
    copy.clear();
    EXPECT_EQ(0u, copy.size());
    EXPECT_EQ(0u, copy.error());
    EXPECT_NE(nullptr, copy.data());

    Data empty(0, 255);
    EXPECT_EQ(Data(static_cast<const uint8_t*>(nullptr), 4), empty);
    EXPECT_EQ(Data(std::string()), empty);
}

TEST(HostOnlyObserver, EveryUpdateFormReachesTheHostsOverride) {
    class Recorder : public Observer {
    public:
        void update(uint32_t id, const std::string& t) override {
            log += std::to_string(id) + ":" + t + " ";
        }
        void update(uint32_t id, const Data& d) override {
            log += std::to_string(id) + ":" + text(const_cast<Data&>(d)) + " ";
        }
        void update(const NotifyRecord& r) override {
            log += std::to_string(r.value1 + r.value2 + r.value3) + ":" +
                   text(const_cast<Data&>(r.data)) + " ";
        }
        void update(const std::string& t) override { log += t + " "; }
        void update(const Data& d) override { log += text(const_cast<Data&>(d)) + " "; }
        std::string log;
    };
    Recorder recorder;
    Observer& observer = recorder;
    Data bytes(std::string("d"));
    NotifyRecord record(1, 2, 3, bytes);
    bytes.clear(); // the record holds its own copy
    observer.update(7, std::string("t"));
    observer.update(8, Data(std::string("b")));
    observer.update(record);
    observer.update(std::string("<Handle>4097</Handle>"));
    observer.update(Data(std::string("raw")));
    EXPECT_EQ("7:t 8:b 6:d <Handle>4097</Handle> raw ", recorder.log);

    NotifyRecord none;
    EXPECT_EQ(0u, none.value1 + none.value2 + none.value3);
    EXPECT_EQ(0u, none.data.size());
    // Without subjects there is nothing to detach from.
    recorder.attachTo(nullptr);
    recorder.detachFromAll();
}
