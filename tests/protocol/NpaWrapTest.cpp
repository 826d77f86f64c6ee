#include "protocol/NpaWrapProtocol.h"
#include "protocol/Par1NpaWrapProtocol.h"

#include "NpaTestBytes.h"
#include "support/PrinterConnection.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

using npatest::Bytes;
using Clock = std::chrono::steady_clock;

// The layer below the wrap layer: records each packet, reports it written
// and answers as the test says, on the writing thread (the wrap layer resets
// its acknowledgement before each send, so an answer given inside doWrite
// counts for that packet).
class PacketSink : public Layer {
public:
    using Answer = std::function<void(Data& packet, size_t index)>;

    explicit PacketSink(Layer& wrap) : wrap_(wrap) {}

    void doWrite(Data& packet) override {
        packets.emplace_back(packet.data(), packet.data() + packet.size());
        packet.setError(0);
        packet.setCount(packet.size());
        if (answer) {
            answer(packet, packets.size() - 1);
        }
    }

    // The printer's acknowledgement, coming up.
    void acknowledge(bool accepted) {
        Data ack = npatest::buffer(npatest::packet(0x00, accepted ? 0x00 : 0x80, {}));
        wrap_.doAccept(ack);
    }

    std::vector<Bytes> packets;
    Answer answer;

private:
    Layer& wrap_;
};

class HostSink : public Layer {
public:
    using Layer::doAccept;
    void doAccept(Data& data) override {
        received.emplace_back(data.data(), data.data() + data.size());
    }
    std::vector<Bytes> received;
};

struct WrapFixture : public ::testing::Test {
    explicit WrapFixture(uint32_t packetSize = 4096, bool acknowledge = true)
        : wrap(packetSize, acknowledge, true), sink(wrap) {
        wrap.setLayer(Layer::Upper, &host);
        wrap.setLayer(Layer::Lower, &sink);
        sink.setLayer(Layer::Upper, &wrap);
    }

    // The payloads of the recorded packets, joined.
    Bytes payloads() const {
        Bytes all;
        for (const Bytes& p : sink.packets) {
            all.insert(all.end(), p.begin() + 5, p.end());
        }
        return all;
    }

    HostSink host;
    NpaWrapProtocol wrap;
    PacketSink sink;
};

uint32_t lengthField(const Bytes& packet) {
    return (static_cast<uint32_t>(packet[1]) << 8) | packet[2];
}

} // namespace

TEST_F(WrapFixture, CutsDataIntoAcknowledgedChannelZeroPackets) {
    sink.answer = [&](Data&, size_t) { sink.acknowledge(true); };
    Bytes input = par1test::pattern(10000);
    Data data = npatest::buffer(input);
    wrap.doWrite(data);

    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(10000u, data.count());
    ASSERT_EQ(3u, sink.packets.size());
    const uint32_t payload[] = {4091, 4091, 1818};
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Bytes& p = sink.packets[i];
        EXPECT_EQ(0xA5, p[0]);
        EXPECT_EQ(payload[i] + 2, lengthField(p));
        EXPECT_EQ(0x10, p[3]);
        EXPECT_EQ(0x00, p[4]);
        EXPECT_EQ(payload[i] + 5, p.size());
    }
    EXPECT_EQ(input, payloads());
}

TEST_F(WrapFixture, RefusedPacketGoesOutAgainAndIsCountedOnce) {
    sink.answer = [&](Data&, size_t index) { sink.acknowledge(index != 1); };
    Bytes input = par1test::pattern(5000);
    Data data = npatest::buffer(input);
    wrap.doWrite(data);

    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(5000u, data.count());
    ASSERT_EQ(3u, sink.packets.size());
    EXPECT_EQ(sink.packets[1], sink.packets[2]);
    EXPECT_EQ(909u + 2, lengthField(sink.packets[2]));
}

TEST_F(WrapFixture, PacketRefusedAtEveryTryEndsTheWriteWithWriteFault) {
    wrap.setMaximumTries(3);
    // The first packet is taken, the second refused for ever.
    sink.answer = [&](Data&, size_t index) { sink.acknowledge(index == 0); };
    Data data = npatest::buffer(par1test::pattern(10000));
    wrap.doWrite(data);

    EXPECT_EQ(29u, data.error());
    EXPECT_EQ(4091u, data.count());
    // One send of the first packet, three of the second, none of the third.
    ASSERT_EQ(4u, sink.packets.size());
    EXPECT_EQ(sink.packets[1], sink.packets[3]);
}

TEST_F(WrapFixture, WriteErrorEndsTheWriteWithTheCountSoFar) {
    sink.answer = [&](Data& packet, size_t index) {
        if (index == 1) {
            packet.setError(1117);
            packet.setCount(0);
        } else {
            sink.acknowledge(true);
        }
    };
    Data data = npatest::buffer(par1test::pattern(10000));
    wrap.doWrite(data);
    EXPECT_EQ(1117u, data.error());
    EXPECT_EQ(4091u, data.count());
    EXPECT_EQ(2u, sink.packets.size());
}

TEST_F(WrapFixture, ShortWritesSendTheRestNextAndEmptyOnesStop) {
    // The lower layer takes 100 payload bytes of the first packet only.
    sink.answer = [&](Data& packet, size_t index) {
        if (index == 0) {
            packet.setCount(105);
        }
        sink.acknowledge(true);
    };
    Bytes input = par1test::pattern(300);
    Data data = npatest::buffer(input);
    wrap.doWrite(data);
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(300u, data.count());
    ASSERT_EQ(2u, sink.packets.size());
    EXPECT_EQ(200u + 2, lengthField(sink.packets[1]));
    EXPECT_TRUE(std::equal(input.begin() + 100, input.end(), sink.packets[1].begin() + 5));

    // Success with no payload byte taken (a count of 5 or less, or one that
    // would wrap around) ends the write instead of looping.
    for (uint32_t count : {0u, 3u, 5u}) {
        SCOPED_TRACE(count);
        sink.packets.clear();
        sink.answer = [&](Data& packet, size_t) {
            packet.setCount(count);
            sink.acknowledge(true);
        };
        Data more = npatest::buffer(par1test::pattern(50));
        wrap.doWrite(more);
        EXPECT_EQ(29u, more.error());
        EXPECT_EQ(0u, more.count());
        EXPECT_EQ(1u, sink.packets.size());
    }
}

TEST_F(WrapFixture, WrappingOffPassesDataUnchanged) {
    wrap.setWrapping(false);
    sink.answer = [&](Data& packet, size_t) { packet.setCount(7); };
    Data data(std::string("unframed print data"));
    wrap.doWrite(data);
    ASSERT_EQ(1u, sink.packets.size());
    EXPECT_EQ("unframed print data", std::string(sink.packets[0].begin(), sink.packets[0].end()));
    EXPECT_EQ(7u, data.count());
}

TEST_F(WrapFixture, EmptyWriteSendsNothing) {
    Data data(0, 255);
    data.setCount(99);
    wrap.doWrite(data);
    EXPECT_TRUE(sink.packets.empty());
    EXPECT_EQ(0u, data.count());
    EXPECT_EQ(0u, data.error());
}

TEST_F(WrapFixture, MaximumPacketSizeBoundsThePayload) {
    EXPECT_EQ(0u, wrap.setMaximumPacketSize(1024));
    EXPECT_EQ(1019u, wrap.getMaximumPayload());
    // No payload would fit, or the length field would overflow: refused,
    // the size stays.
    for (uint32_t size : {0u, 5u, 65539u}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(87u, wrap.setMaximumPacketSize(size));
        EXPECT_EQ(1019u, wrap.getMaximumPayload());
    }
    EXPECT_EQ(0u, wrap.setMaximumPacketSize(6));
    EXPECT_EQ(0u, wrap.setMaximumPacketSize(65538));
    EXPECT_EQ(65533u, wrap.getMaximumPayload());
    // Sizes a constructor cannot use give the default.
    EXPECT_EQ(4091u, NpaWrapProtocol(3, true, true).getMaximumPayload());
    EXPECT_EQ(4091u, NpaWrapProtocol(70000, true, true).getMaximumPayload());

    wrap.setMaximumPacketSize(1024);
    sink.answer = [&](Data&, size_t) { sink.acknowledge(true); };
    Data data = npatest::buffer(par1test::pattern(3000));
    wrap.doWrite(data);
    EXPECT_EQ(3000u, data.count());
    ASSERT_EQ(3u, sink.packets.size());
    EXPECT_EQ(1019u + 2, lengthField(sink.packets[0]));
    EXPECT_EQ(962u + 2, lengthField(sink.packets[2]));
}

TEST_F(WrapFixture, ChannelZeroIsTakenOtherChannelsReachTheHost) {
    Data ack = npatest::buffer("a5 00 02 00 00");
    wrap.doAccept(ack);
    EXPECT_EQ(0u, ack.size());
    Data other = npatest::buffer("a5 00 03 00 02 41");
    wrap.doAccept(other);
    Data notAPacket = npatest::buffer("00 01 02 03 00");
    wrap.doAccept(notAPacket);
    Data shortData = npatest::buffer("a5 00");
    wrap.doAccept(shortData);
    ASSERT_EQ(3u, host.received.size());
    EXPECT_EQ(npatest::hex("a5 00 03 00 02 41"), host.received[0]);
    EXPECT_EQ(npatest::hex("00 01 02 03 00"), host.received[1]);
    EXPECT_EQ(npatest::hex("a5 00"), host.received[2]);
}

struct UnacknowledgedWrap : public WrapFixture {
    UnacknowledgedWrap() : WrapFixture(4096, false) {}
};

TEST_F(UnacknowledgedWrap, PacketsGoOutWithoutWaiting) {
    Data data = npatest::buffer(par1test::pattern(5000));
    Clock::time_point start = Clock::now();
    wrap.doWrite(data);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(5000u, data.count());
    ASSERT_EQ(2u, sink.packets.size());
    EXPECT_EQ(0x00, sink.packets[0][3]);
}

TEST(Par1NpaWrapProtocol, TakesItsRetriesFromTheSettings) {
    par1test::setStoreNumber("Par1\\Settings", "MaxNpaWrapRetries", 4);
    EXPECT_EQ(4u, Par1NpaWrapProtocol(4096, true).getMaximumTries());
    par1test::setStoreNumber("Par1\\Settings", "MaxNpaWrapRetries", 10);
    Par1NpaWrapProtocol wrap(4096, true);
    EXPECT_EQ(10u, wrap.getMaximumTries());
    EXPECT_TRUE(wrap.isWrapping());
}

// Through the whole stack to the virtual printer.

TEST(WrappedPrinting, TenThousandBytesArriveOnceInThreePackets) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    sim::Bytes input = par1test::pattern(10000);
    Data data(input.data(), static_cast<uint32_t>(input.size()));
    printer.write(data);
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(10000u, data.count());

    std::vector<sim::Bytes> packets = printer.printPackets();
    ASSERT_EQ(3u, packets.size());
    EXPECT_EQ(4091u + 2, sim::npa::length(packets[0]));
    EXPECT_EQ(4091u + 2, sim::npa::length(packets[1]));
    EXPECT_EQ(1818u + 2, sim::npa::length(packets[2]));
    EXPECT_EQ(input, printer.printer().printData());
    // The acknowledgements were taken by the wrap layer.
    EXPECT_TRUE(printer.host().messages().empty());
}

TEST(WrappedPrinting, EachAcknowledgementIsReadTheMomentItIsComplete) {
    // Reads sized for an acknowledgement end when it is there; a read of the
    // standard size would wait one read interval after it.
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect(64));
    const sim::ReadEnds before = printer.port().readEnds();
    sim::Bytes input = par1test::pattern(40 * 59);
    Data data(input.data(), static_cast<uint32_t>(input.size()));
    printer.write(data);
    ASSERT_EQ(0u, data.error());
    ASSERT_EQ(input, printer.printer().printData());
    ASSERT_EQ(40u, printer.printPackets().size());

    const sim::ReadEnds after = printer.port().readEnds();
    // Only a read of the standard size that was under way when the first
    // packet went out may still end one interval after its acknowledgement.
    EXPECT_LE(after.interval - before.interval, 1u);
    EXPECT_GE(after.filled - before.filled, 39u);
}

TEST(WrappedPrinting, RefusedPacketIsSentAgainAndArrivesOnce) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    printer.printer().refuseNext(2);
    sim::Bytes input = par1test::pattern(6000);
    Data data(input.data(), static_cast<uint32_t>(input.size()));
    printer.write(data);
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(6000u, data.count());
    EXPECT_EQ(4u, printer.printPackets().size());
    EXPECT_EQ(input, printer.printer().printData());
}

TEST(WrappedPrinting, PacketRefusedAtEveryTryEndsWithWriteFault) {
    par1test::setStoreNumber("Par1\\Settings", "MaxNpaWrapRetries", 3);
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect(1024));
    par1test::setStoreNumber("Par1\\Settings", "MaxNpaWrapRetries", 10);
    sim::Bytes input = par1test::pattern(3000);

    // The printer takes the first packet and, before its late
    // acknowledgement leaves, turns to refusing everything.
    printer.printer().setAckDelay(300);
    std::thread turn([&] {
        if (printer.printer().waitForPrintData(1019, 10000)) {
            printer.printer().setAckMode(sim::AckMode::Refuse);
            printer.printer().setAckDelay(0);
        }
    });
    Data data(input.data(), static_cast<uint32_t>(input.size()));
    printer.write(data);
    turn.join();
    EXPECT_EQ(29u, data.error());
    EXPECT_EQ(1019u, data.count());
    // One send of the first packet, three of the second, none of the third.
    std::vector<sim::Bytes> packets = printer.printPackets();
    ASSERT_EQ(1u + 3u, packets.size());
    EXPECT_EQ(packets[1], packets[3]);
    EXPECT_EQ(sim::Bytes(input.begin(), input.begin() + 1019), printer.printer().printData());
}

TEST(WrappedPrinting, SilentPrinterTimesOutTheFirstPacketAfterEightSeconds) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    printer.printer().setAckMode(sim::AckMode::Silent);
    Data data = npatest::buffer(par1test::pattern(10000));
    Clock::time_point start = Clock::now();
    printer.write(data);
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_EQ(1460u, data.error());
    EXPECT_EQ(0u, data.count());
    EXPECT_GE(elapsed.count(), 8000);
    EXPECT_LT(elapsed.count(), 12000);
    EXPECT_EQ(1u, printer.printPackets().size());
}
