#include "protocol/Par1Protocol.h"

#include "NpaTestBytes.h"
#include "RecordingUpper.h"
#include "support/PrinterConnection.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

using npatest::buffer;
using npatest::Bytes;
using npatest::hex;
using Clock = std::chrono::steady_clock;

const std::string query = "\x1b%-12345X@PJL DINQUIRE XNPAP\r\n\x1b%-12345X";

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes answer(const std::string& mode) {
    return text("@PJL DINQUIRE XNPAP\r\n" + mode + "\r\n\f");
}

// The port below the PJL layer: records writes and sends answers up from a
// thread of its own, as the adapter's read thread does. Like that one thread,
// the answers to successive writes arrive one after the other, never at once.
class Port : public Layer {
public:
    explicit Port(Layer& pjl) : pjl_(pjl) {}
    ~Port() override { settle(); }

    // Waits until every answer has been sent up, so that the caller can take
    // the read thread's part.
    void settle() {
        for (std::thread& t : answers_) {
            if (t.joinable()) {
                t.join();
            }
        }
    }

    using Layer::doAccept;
    void doWrite(Data& data) override {
        written.emplace_back(data.data(), data.data() + data.size());
        data.setError(0);
        data.setCount(data.size());
        if (!chunks.empty()) {
            std::vector<Bytes> send = chunks;
            chunks.clear();
            const size_t turn = answers_.size();
            answers_.emplace_back([this, send, turn] {
                {
                    std::unique_lock<std::mutex> lock(turnMutex_);
                    turnChanged_.wait(lock, [&] { return answered_ == turn; });
                }
                for (const Bytes& chunk : send) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    Data data = buffer(chunk);
                    pjl_.doAccept(data);
                }
                {
                    std::lock_guard<std::mutex> lock(turnMutex_);
                    ++answered_;
                }
                turnChanged_.notify_all();
            });
        }
    }

    // What the printer sends after the next write, chunk by chunk.
    std::vector<Bytes> chunks;
    std::vector<Bytes> written;

private:
    Layer& pjl_;
    std::vector<std::thread> answers_;
    std::mutex turnMutex_;
    std::condition_variable turnChanged_;
    size_t answered_ = 0;
};

// A layer whose NPA time-out is short: answers here come within
// milliseconds, silence costs a second.
Par1Protocol* quickLayer() {
    par1test::setStoreNumber("Par1\\Settings", "NpaTimeout", 1000);
    Par1Protocol* layer = new Par1Protocol;
    par1test::setStoreNumber("Par1\\Settings", "NpaTimeout", 6000);
    return layer;
}

struct PjlFixture : public ::testing::Test {
    PjlFixture() : pjlLayer(quickLayer()), pjl(*pjlLayer), port(pjl) {
        pjl.setLayer(Layer::Upper, &upper);
        pjl.setLayer(Layer::Lower, &port);
    }

    void accept(const Bytes& bytes) {
        port.settle();
        Data data = buffer(bytes);
        pjl.doAccept(data);
    }

    npatest::RecordingUpper upper;
    std::unique_ptr<Par1Protocol> pjlLayer;
    Par1Protocol& pjl;
    Port port;
};

} // namespace

TEST_F(PjlFixture, QueryIsSentInAUniversalExitEnvelope) {
    port.chunks = {answer("AUTO")};
    EXPECT_TRUE(pjl.isNpaActive());
    ASSERT_EQ(1u, port.written.size());
    EXPECT_EQ(39u, port.written[0].size());
    EXPECT_EQ(text(query), port.written[0]);
}

TEST_F(PjlFixture, AnswerSetsTheMode) {
    struct Case {
        const char* name;
        std::vector<Bytes> chunks;
        bool mode;
    };
    const Case cases[] = {
        {"OFF clears it", {answer("OFF")}, false},
        {"AUTO sets it", {answer("AUTO")}, true},
        {"both words end with it set", {answer("OFF AUTO")}, true},
        {"split over several reads",
         {text("@PJL DINQ"), text("UIRE XNPAP\r\nOF"), text("F\r\n\f")},
         false},
        {"the short channel-0 packet means NPA", {hex("a5 00 02 80 00")}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Par1Protocol> owned(quickLayer());
        Par1Protocol& layer = *owned;
        Port lower(layer);
        layer.setLayer(Layer::Upper, &upper);
        layer.setLayer(Layer::Lower, &lower);
        // Start from the other mode, so that the answer must change it.
        if (c.mode) {
            lower.chunks = {answer("OFF")};
            ASSERT_TRUE(layer.isNpaActive());
            ASSERT_FALSE(layer.npaMode());
        }
        lower.chunks = c.chunks;
        EXPECT_TRUE(layer.isNpaActive());
        EXPECT_EQ(c.mode, layer.npaMode());
    }
    // None of it was a packet for the layers above.
    EXPECT_TRUE(upper.received().empty());
}

TEST_F(PjlFixture, AnswerWithoutPjlIsKeptInFrontOfTheNext) {
    // "OFF" and a form feed, but no "@PJL": not the answer.
    port.chunks = {text("OFF\r\n\f")};
    EXPECT_FALSE(pjl.isNpaActive());
    EXPECT_TRUE(pjl.npaMode());
    // The text stays, so once "@PJL" arrives for the next query the kept
    // "OFF" counts with it.
    port.chunks = {text("@PJL INFO\r\n\f")};
    EXPECT_TRUE(pjl.isNpaActive());
    EXPECT_FALSE(pjl.npaMode());
}

TEST_F(PjlFixture, PacketInPlaceOfTheAnswerSetsTheModeAndStillGoesUp) {
    port.chunks = {answer("OFF")};
    ASSERT_TRUE(pjl.isNpaActive());
    ASSERT_FALSE(pjl.npaMode());
    Bytes packet = npatest::packet(0x02, 0x00, hex("41"));
    port.chunks = {packet};
    EXPECT_FALSE(pjl.isNpaActive());
    EXPECT_TRUE(pjl.npaMode());
    ASSERT_EQ(1u, upper.received().size());
    EXPECT_EQ(packet, upper.received()[0]);
}

TEST_F(PjlFixture, BreakPacketIsDroppedOthersGoUp) {
    Bytes breakPacket = hex("a5 00 0c 50 03 04");
    for (char c : std::string("ReadBreak")) {
        breakPacket.push_back(static_cast<uint8_t>(c));
    }
    accept(breakPacket);
    EXPECT_TRUE(upper.received().empty());
    Bytes almost = breakPacket;
    almost.back() = 'K';
    accept(almost);
    // Junk and the form feed of an answer nobody waits for are dropped.
    accept(text("stray text\f"));
    ASSERT_EQ(1u, upper.received().size());
    EXPECT_EQ(almost, upper.received()[0]);
}

TEST_F(PjlFixture, OverlongAnswerTextIsDroppedNotCollected) {
    par1test::LogWatch log;
    port.chunks = {Bytes(3000, 'x'), Bytes(3000, 'y'), text("@PJL DINQUIRE XNPAP\r\nOFF\r\n\f")};
    EXPECT_TRUE(pjl.isNpaActive());
    EXPECT_FALSE(pjl.npaMode());
    EXPECT_TRUE(log.contains("answer text beyond 4096 bytes dropped"));
}

TEST(PjlQuery, SilentPrinterTimesOutAfterTheNpaTimeoutAndTheQueryIsOver) {
    par1test::setStoreNumber("Par1\\Settings", "NpaTimeout", 300);
    Par1Protocol pjl;
    par1test::setStoreNumber("Par1\\Settings", "NpaTimeout", 6000);
    EXPECT_EQ(300u, pjl.getNpaTimeout());
    Port port(pjl);
    npatest::RecordingUpper upper;
    pjl.setLayer(Layer::Lower, &port);
    pjl.setLayer(Layer::Upper, &upper);
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(pjl.isNpaActive());
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
              290);
    EXPECT_TRUE(pjl.npaMode());
    // Nothing is awaited any more: a late answer changes nothing, and the
    // printer's refusal, the same five bytes as the short answer, goes up
    // as the flow control it is.
    Data late = buffer(answer("OFF"));
    pjl.doAccept(late);
    EXPECT_TRUE(pjl.npaMode());
    Data refusal = buffer(hex("a5 00 02 80 00"));
    pjl.doAccept(refusal);
    EXPECT_EQ(std::vector<Bytes>{hex("a5 00 02 80 00")}, upper.received());
}

TEST(PjlQuery, SettingsGiveTheTimeouts) {
    Par1Protocol defaults;
    EXPECT_EQ(6000u, defaults.getNpaTimeout());
    EXPECT_EQ(2500u, defaults.getPjlReadTimeout());
    EXPECT_EQ(2500u, defaults.getPjlWriteTimeout());
}

TEST(PjlQuery, PortTimeoutsOfTheQueryReachThePort) {
    par1test::setStoreNumber("Par1\\Settings", "PJLWriteTimeout", 1234);
    par1test::setStoreNumber("Par1\\Settings", "PJLReadTimeout", 1500);
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    par1test::setStoreNumber("Par1\\Settings", "PJLWriteTimeout", 2500);
    par1test::setStoreNumber("Par1\\Settings", "PJLReadTimeout", 2500);
    Data mode(4, 0xEE);
    EXPECT_EQ(0u, printer.sendVisitor("getNpaModeVisitor", &mode));
    bool found = false;
    for (const sim::PortWrite& write : printer.port().writes()) {
        if (std::string(write.data.begin(), write.data.end()) == query) {
            found = true;
            EXPECT_EQ(1234u, write.timeouts.WriteTotalTimeoutConstant);
            EXPECT_EQ(10u, write.timeouts.WriteTotalTimeoutMultiplier);
            // The read thread's reads share the handle: they stay bounded by
            // "ReadTimeout", so that the query never holds up a close.
            EXPECT_EQ(1u, write.timeouts.ReadIntervalTimeout);
            EXPECT_EQ(0u, write.timeouts.ReadTotalTimeoutMultiplier);
            EXPECT_EQ(par1test::kReadTimeoutMs, write.timeouts.ReadTotalTimeoutConstant);
        }
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(std::vector<std::string>{"@PJL DINQUIRE XNPAP"}, printer.printer().pjlCommands());
}
