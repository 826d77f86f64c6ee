#include "protocol/NpaProtocol.h"
#include "protocol/Par1NpaProtocol.h"

#include "NpaTestBytes.h"
#include "RecordingUpper.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

using npatest::buffer;
using npatest::Bytes;
using npatest::hex;
using npatest::packet;
using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Below the NPA layer: takes each write and lets the test answer it, as the
// read thread would, from a thread of its own.
class Printer : public Layer {
public:
    explicit Printer(Layer& npa) : npa_(npa) {}
    ~Printer() override {
        for (std::thread& t : answers_) {
            t.join();
        }
    }

    void doWrite(Data& data) override {
        written.emplace_back(data.data(), data.data() + data.size());
        data.setError(writeError);
        data.setCount(writeError == 0 ? data.size() - shortBy : 0);
        if (onWrite) {
            onWrite();
        }
    }

    // Sends the bytes up after the delay, on another thread.
    void answerAfter(unsigned milliseconds, const Bytes& bytes) {
        answers_.emplace_back([this, milliseconds, bytes] {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            deliver(bytes);
        });
    }

    // Sends the bytes up now, one delivery at a time as from a connection's
    // one read thread. Recursive: a write that a delivery makes may deliver.
    void deliver(const Bytes& bytes) {
        std::lock_guard<std::recursive_mutex> lock(readerMutex_);
        Data data = buffer(bytes);
        npa_.doAccept(data);
    }

    std::vector<Bytes> written;
    uint32_t writeError = 0;
    uint32_t shortBy = 0;
    std::function<void()> onWrite;

private:
    Layer& npa_;
    std::recursive_mutex readerMutex_;
    std::vector<std::thread> answers_;
};

class TestNpaProtocol : public NpaProtocol {
public:
    using NpaProtocol::setReplyTimeout;
};

struct NpaFixture : public ::testing::Test {
    NpaFixture() : printer(npa) {
        npa.setLayer(Layer::Upper, &upper);
        npa.setLayer(Layer::Lower, &printer);
    }

    void accept(const Bytes& bytes) { printer.deliver(bytes); }

    npatest::RecordingUpper upper;
    TestNpaProtocol npa;
    Printer printer;
};

const Bytes waitPacket = hex("a5 00 05 40 ff 80 00 00");
// A command on channel 0x05 that asks for a reply, and its answer.
const Bytes command = packet(0x05, 0x10, hex("61 01"));
const Bytes reply = packet(0x05, 0x00, hex("61 02 03"));
const Bytes foreignReply = packet(0x05, 0x00, hex("62 02 03"));

} // namespace

TEST_F(NpaFixture, ReassemblesMessagesAndKeepsTheLastReply) {
    accept(packet(0x02, 0x20, hex("41 42")));
    EXPECT_TRUE(upper.received().empty());
    accept(packet(0x02, 0x00, hex("43")));
    ASSERT_EQ(1u, upper.received().size());
    EXPECT_EQ(hex("a5 00 05 00 02 41 42 43"), upper.received()[0]);
    Data last = npa.lastReply();
    EXPECT_EQ(hex("a5 00 05 00 02 41 42 43"), npatest::bytesOf(last));

    // Control messages go up without becoming the reply.
    accept(packet(0xF0, 0x20, hex("01")));
    accept(packet(0xF0, 0x00, hex("02")));
    ASSERT_EQ(2u, upper.received().size());
    EXPECT_EQ(hex("a5 00 04 00 f0 01 02"), upper.received()[1]);
    last = npa.lastReply();
    EXPECT_EQ(hex("a5 00 05 00 02 41 42 43"), npatest::bytesOf(last));
}

TEST_F(NpaFixture, WaitPacketIsTakenAndOtherDataPassesUnchanged) {
    accept(waitPacket);
    EXPECT_TRUE(upper.received().empty());
    // Not a sequence of whole packets: up as it came.
    for (const char* text :
         {"41 42 43", "a5 00 05 00 02 41", "a5 00 02 00 02 ff", "a5 00 01 00 02"}) {
        SCOPED_TRACE(text);
        accept(hex(text));
        EXPECT_EQ(hex(text), upper.received().back());
    }
    // Two whole packets in one buffer go up one by one.
    Bytes two = packet(0x02, 0x00, hex("01"));
    Bytes second = packet(0x03, 0x00, hex("02"));
    two.insert(two.end(), second.begin(), second.end());
    size_t before = upper.received().size();
    accept(two);
    ASSERT_EQ(before + 2, upper.received().size());
    EXPECT_EQ(second, upper.received().back());
}

TEST_F(NpaFixture, MessagesOnTwoChannelsAreReassembledApart) {
    accept(packet(0x02, 0x20, hex("41")));
    accept(packet(0x03, 0x20, hex("61")));
    // An acknowledgement of print data between the pieces goes up whole.
    accept(packet(0x00, 0x00, hex("")));
    ASSERT_EQ(1u, upper.received().size());
    EXPECT_EQ(packet(0x00, 0x00, hex("")), upper.received()[0]);
    accept(packet(0x02, 0x00, hex("42")));
    accept(packet(0x03, 0x00, hex("62")));
    ASSERT_EQ(3u, upper.received().size());
    EXPECT_EQ(packet(0x02, 0x00, hex("41 42")), upper.received()[1]);
    EXPECT_EQ(packet(0x03, 0x00, hex("61 62")), upper.received()[2]);
    // So do the control channels: each its own.
    accept(packet(0xF0, 0x20, hex("01")));
    accept(packet(0xFF, 0x00, hex("02")));
    accept(packet(0xF0, 0x00, hex("03")));
    ASSERT_EQ(5u, upper.received().size());
    EXPECT_EQ(packet(0xFF, 0x00, hex("02")), upper.received()[3]);
    EXPECT_EQ(packet(0xF0, 0x00, hex("01 03")), upper.received()[4]);
}

TEST_F(NpaFixture, MessageBeyondSixteenBitsIsDroppedWhole) {
    par1test::LogWatch log;
    Bytes piece(500, 0x41);
    // 132 pieces of 500 bytes: 66000 bytes, more than a length can say.
    for (int i = 0; i < 131; ++i) {
        accept(packet(0x02, 0x20, piece));
    }
    accept(packet(0x02, 0x20, piece));
    accept(packet(0x02, 0x00, piece));
    EXPECT_TRUE(upper.received().empty());
    EXPECT_TRUE(log.contains("message longer than 65535 bytes dropped"));
    // The next message is whole again.
    accept(packet(0x02, 0x00, hex("01 02")));
    ASSERT_EQ(1u, upper.received().size());
    EXPECT_EQ(packet(0x02, 0x00, hex("01 02")), upper.received()[0]);
}

TEST_F(NpaFixture, TransactWithoutReplyBitReturnsAfterTheWrite) {
    Data noReply = buffer(packet(0x05, 0x00, hex("61")));
    Clock::time_point start = Clock::now();
    npa.transact(noReply);
    EXPECT_LT(millisecondsSince(start), 1000);
    EXPECT_EQ(0u, noReply.error());
    EXPECT_EQ(1u, printer.written.size());

    printer.writeError = 1117;
    Data failing = buffer(packet(0x05, 0x00, hex("61")));
    npa.transact(failing);
    EXPECT_EQ(1117u, failing.error());
}

TEST_F(NpaFixture, TransactWaitsForTheMatchingReply) {
    printer.onWrite = [&] {
        printer.answerAfter(50, foreignReply);
        printer.answerAfter(150, reply);
    };
    Data request = buffer(command);
    Clock::time_point start = Clock::now();
    npa.transact(request);
    EXPECT_EQ(0u, request.error());
    EXPECT_GE(millisecondsSince(start), 140);
    // Both replies reached the host as messages do.
    EXPECT_EQ(2u, upper.received().size());
}

TEST_F(NpaFixture, ReplyRightAfterAWaitPacketIsNotLost) {
    Bytes both = waitPacket;
    both.insert(both.end(), reply.begin(), reply.end());
    printer.onWrite = [&] { printer.answerAfter(20, both); };
    Data request = buffer(command);
    Clock::time_point start = Clock::now();
    npa.transact(request);
    EXPECT_EQ(0u, request.error());
    EXPECT_LT(millisecondsSince(start), 2000);
}

TEST_F(NpaFixture, EachWaitPacketRestartsTheWait) {
    npa.setReplyTimeout(400);
    // Wait packets every 250 ms carry the wait past 400 ms three times over.
    printer.onWrite = [&] {
        for (unsigned at : {250u, 500u, 750u, 1000u}) {
            printer.answerAfter(at, waitPacket);
        }
        printer.answerAfter(1250, reply);
    };
    Data request = buffer(command);
    npa.transact(request);
    EXPECT_EQ(0u, request.error());
    EXPECT_TRUE(upper.received().size() == 1u);
}

TEST_F(NpaFixture, SilenceEndsTheTransactionWithTimeout) {
    npa.setReplyTimeout(300);
    printer.onWrite = [&] { printer.answerAfter(50, foreignReply); };
    Data request = buffer(command);
    Clock::time_point start = Clock::now();
    npa.transact(request);
    EXPECT_EQ(1460u, request.error());
    EXPECT_GE(millisecondsSince(start), 290);
}

TEST_F(NpaFixture, TrafficThatAnswersNothingDoesNotProlongTheWait) {
    // Print acknowledgements and replies to something else keep coming for
    // two seconds; the command's own wait still ends after its 300 ms.
    npa.setReplyTimeout(300);
    printer.onWrite = [&] {
        for (unsigned at = 20; at < 2000; at += 50) {
            printer.answerAfter(at,
                                (at / 50) % 2 == 0 ? packet(0x00, 0x00, Bytes()) : foreignReply);
        }
    };
    Data request = buffer(command);
    Clock::time_point start = Clock::now();
    npa.transact(request);
    EXPECT_EQ(1460u, request.error());
    EXPECT_LT(millisecondsSince(start), 1500);
}

TEST_F(NpaFixture, AReplyOnTheControlChannelEndsItsCommand) {
    const Bytes controlCommand = packet(0xF0, 0x50, hex("73"));
    printer.onWrite = [&] { printer.answerAfter(20, packet(0xF0, 0x00, hex("73 01"))); };
    Data request = buffer(controlCommand);
    Clock::time_point start = Clock::now();
    npa.transact(request);
    EXPECT_EQ(0u, request.error());
    EXPECT_LT(millisecondsSince(start), 5000);
    EXPECT_EQ(1u, upper.received().size());
}

TEST_F(NpaFixture, TransactReportsAFailedOrShortWrite) {
    printer.writeError = 29;
    Data failed = buffer(command);
    npa.transact(failed);
    EXPECT_EQ(29u, failed.error());

    printer.writeError = 0;
    printer.shortBy = 2;
    Data partial = buffer(command);
    Clock::time_point start = Clock::now();
    npa.transact(partial);
    EXPECT_EQ(29u, partial.error());
    EXPECT_LT(millisecondsSince(start), 1000);
}

TEST(NpaProtocol, WholePacketTest) {
    struct Case {
        const char* bytes;
        bool whole;
    };
    const Case cases[] = {
        {"", false},
        {"a5 00 02 00 00", true},
        {"a5 00 02 00 00 a5 00 03 00 01 41", true},
        {"a5 00 02 00 00 a5", false},
        {"a5 00 03 00 00", false},
        {"a4 00 02 00 00", false},
        {"a5 00 02 00", false},
        {"a5 00 00 a5 00", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        Data data = buffer(c.bytes);
        EXPECT_EQ(c.whole, NpaProtocol::holdsWholePackets(data));
    }
}
