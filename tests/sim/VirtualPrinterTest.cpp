// The virtual printer through the seam: the PJL query, NPA acknowledgements
// and command replies, unsolicited packets, and the record of print data.
#include "SeamPortsFixture.h"

#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

namespace {

using namespace simtest;
using sim::AckMode;
using sim::bytes;
using sim::NpaAnswer;
namespace npa = sim::npa;

const std::string uel = "\x1B%-12345X";
const Bytes pjlQuery = bytes(uel + "@PJL DINQUIRE XNPAP\r\n" + uel);

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Cuts a byte stream into whole packets.
std::vector<Bytes> packetsIn(const Bytes& stream) {
    std::vector<Bytes> packets;
    std::size_t at = 0;
    while (at + npa::headerSize <= stream.size() && stream[at] == npa::start) {
        const std::size_t size = ((std::size_t(stream[at + 1]) << 8) | stream[at + 2]) + 3;
        if (at + size > stream.size()) {
            break;
        }
        packets.emplace_back(stream.begin() + long(at), stream.begin() + long(at + size));
        at += size;
    }
    EXPECT_EQ(stream.size(), at) << "the stream holds whole packets only";
    return packets;
}

class Printer : public SeamPortsFixture {
protected:
    void SetUp() override {
        printer = &ports.port(1).attachPrinter();
        handle = open(1);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    }

    sim::VirtualPrinter* printer = nullptr;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

TEST_F(Printer, QueryIsThe39BytesTheModuleSends) {
    EXPECT_EQ(39u, pjlQuery.size());
}

TEST_F(Printer, AnswersTheNpaModeQueryAsAsked) {
    struct Case {
        NpaAnswer answer;
        std::string expected;
    };
    const Case cases[] = {
        {NpaAnswer::Auto, "@PJL DINQUIRE XNPAP\r\nAUTO\r\n\f"},
        {NpaAnswer::Off, "@PJL DINQUIRE XNPAP\r\nOFF\r\n\f"},
        {NpaAnswer::ShortPacket, std::string("\xA5\x00\x02\x80\x00", 5)},
        {NpaAnswer::None, ""},
    };
    for (const Case& c : cases) {
        printer->setNpaAnswer(c.answer);
        printer->clearRecords();
        ASSERT_TRUE(write(handle, pjlQuery));
        const Bytes answer =
            c.expected.empty() ? read(handle, readWithin(100)) : readAll(handle, c.expected.size());
        EXPECT_EQ(c.expected, text(answer));
        EXPECT_EQ(std::vector<std::string>{"@PJL DINQUIRE XNPAP"}, printer->pjlCommands());
        EXPECT_TRUE(printer->printData().empty()) << "PJL is not print data";
    }
}

TEST_F(Printer, QueryArrivingByteByByteIsAnsweredAfterItsDelay) {
    printer->setReplyDelay(300);
    for (unsigned char b : pjlQuery) {
        ASSERT_TRUE(write(handle, Bytes{b}));
    }
    Stopwatch watch;
    EXPECT_TRUE(read(handle, atOnce).empty()) << "not before the delay";
    const Bytes answer = readAll(handle, 28);
    EXPECT_GE(watch.ms(), 250);
    EXPECT_EQ("@PJL DINQUIRE XNPAP\r\nAUTO\r\n\f", text(answer));
}

TEST_F(Printer, QueryWithoutUniversalExitIsPrintData) {
    ASSERT_TRUE(write(handle, bytes("@PJL DINQUIRE XNPAP\r\n")));
    EXPECT_TRUE(read(handle, readWithin(100)).empty());
    EXPECT_EQ("@PJL DINQUIRE XNPAP\r\n", text(printer->printData()));
    EXPECT_TRUE(printer->pjlCommands().empty());
}

TEST_F(Printer, PrintPacketsAreAcknowledgedRefusedOrMetWithSilence) {
    struct Case {
        AckMode mode;
        std::string reply; // empty for none
        bool recorded;
    };
    const Case cases[] = {
        {AckMode::Accept, std::string("\xA5\x00\x02\x00\x00", 5), true},
        {AckMode::Refuse, std::string("\xA5\x00\x02\x80\x00", 5), false},
        {AckMode::Silent, "", false},
    };
    const Bytes payload = bytes("page one");
    for (const Case& c : cases) {
        printer->setAckMode(c.mode);
        printer->clearRecords();
        ASSERT_TRUE(write(handle, npa::packet(0, npa::replyExpected, payload)));
        const Bytes reply = c.reply.empty() ? read(handle, readWithin(100)) : readAll(handle, 5);
        EXPECT_EQ(c.reply, text(reply)) << int(c.mode);
        EXPECT_EQ(c.recorded ? payload : Bytes(), printer->printData()) << int(c.mode);
        EXPECT_EQ(1u, printer->packets().size());
    }
}

TEST_F(Printer, AcknowledgementComesAfterItsDelay) {
    printer->setAckDelay(300);
    Stopwatch watch;
    ASSERT_TRUE(write(handle, npa::packet(0, npa::replyExpected, bytes("late"))));
    EXPECT_TRUE(read(handle, atOnce).empty());
    EXPECT_EQ(npa::acknowledgement(true), readAll(handle, 5));
    EXPECT_GE(watch.ms(), 250);
}

TEST_F(Printer, RefusalsOnRequestThenTheSamePacketIsTakenOnce) {
    printer->refuseNext(2);
    const Bytes packet = npa::packet(0, npa::replyExpected, bytes("again"));
    std::vector<Bytes> acks;
    for (int send = 0; send < 3; ++send) {
        ASSERT_TRUE(write(handle, packet));
        acks.push_back(readAll(handle, 5));
    }
    EXPECT_EQ(npa::acknowledgement(false), acks[0]);
    EXPECT_EQ(npa::acknowledgement(false), acks[1]);
    EXPECT_EQ(npa::acknowledgement(true), acks[2]);
    EXPECT_EQ("again", text(printer->printData()));
}

TEST_F(Printer, PacketThatAsksNothingIsTakenWithoutAnswer) {
    printer->setAckMode(AckMode::Refuse);
    ASSERT_TRUE(write(handle, npa::packet(0, 0x00, bytes("quiet"))));
    EXPECT_TRUE(read(handle, readWithin(100)).empty());
    EXPECT_EQ("quiet", text(printer->printData()));
}

TEST_F(Printer, CommandPacketsAreAnsweredOnTheirChannel) {
    // By default the reply carries the command's own payload, so it matches
    // the command byte for byte.
    const Bytes command = npa::packet(0xE0, npa::replyExpected, Bytes{0x81, 0x02, 0x07});
    ASSERT_TRUE(write(handle, command));
    EXPECT_EQ(npa::packet(0xE0, 0x00, Bytes{0x81, 0x02, 0x07}), readAll(handle, 8));

    printer->setCommandReply(0xE0, 'q', bytes("qSTATUS=READY"));
    ASSERT_TRUE(write(handle, npa::packet(0xE0, npa::replyExpected, bytes("q?"))));
    EXPECT_EQ(npa::packet(0xE0, 0x00, bytes("qSTATUS=READY")), readAll(handle, 18));

    // No reply unless one is asked for, or when the printer keeps quiet.
    ASSERT_TRUE(write(handle, npa::packet(0xE0, 0x00, bytes("q?"))));
    printer->setCommandsAnswered(false);
    ASSERT_TRUE(write(handle, npa::packet(0xE0, npa::replyExpected, bytes("q?"))));
    EXPECT_TRUE(read(handle, readWithin(100)).empty());
    EXPECT_TRUE(printer->printData().empty());
    EXPECT_EQ(4u, printer->packets().size());
}

TEST_F(Printer, LongRepliesGoOutInPiecesThatAskForMore) {
    printer->setCommandReply(0x02, 'r', bytes("r123456"));
    printer->setReplyPieceSize(3);
    printer->setReplyDelay(50);
    ASSERT_TRUE(write(handle, npa::packet(0x02, npa::replyExpected, bytes("r"))));
    const std::vector<Bytes> pieces = packetsIn(readAll(handle, 3 * 5 + 7));
    ASSERT_EQ(3u, pieces.size());
    EXPECT_EQ(npa::packet(0x02, npa::moreFollows, bytes("r12")), pieces[0]);
    EXPECT_EQ(npa::packet(0x02, npa::moreFollows, bytes("345")), pieces[1]);
    EXPECT_EQ(npa::packet(0x02, 0x00, bytes("6")), pieces[2]);
}

TEST_F(Printer, SendsWaitBreakAndUnsolicitedPackets) {
    printer->sendWaitPacket();
    EXPECT_EQ((Bytes{0xA5, 0x00, 0x05, 0x40, 0xFF, 0x80, 0x00, 0x00}), read(handle, atOnce));
    printer->sendBreakPacket();
    EXPECT_EQ(join({Bytes{0xA5, 0x00, 0x0C, 0x50, 0x03, 0x04}, bytes("ReadBreak")}),
              read(handle, atOnce));
    printer->sendPacket(0x02, 0x00, bytes("hi"));
    EXPECT_EQ((Bytes{0xA5, 0x00, 0x04, 0x00, 0x02, 'h', 'i'}), read(handle, atOnce));
    EXPECT_EQ(0u, ports.port(1).backChannelPending());
}

TEST_F(Printer, UnsolicitedOutputOvertakesADelayedAnswer) {
    printer->setAckDelay(300);
    ASSERT_TRUE(write(handle, npa::packet(0, npa::replyExpected, bytes("x"))));
    printer->sendWaitPacket();
    EXPECT_EQ(npa::waitPacket(), read(handle, atOnce));
    EXPECT_EQ(npa::acknowledgement(true), readAll(handle, 5));
}

TEST_F(Printer, WithNpaDisabledPacketsArePrintData) {
    printer->setNpaEnabled(false);
    const Bytes packet = npa::packet(0, npa::replyExpected, bytes("raw"));
    ASSERT_TRUE(write(handle, packet));
    EXPECT_TRUE(read(handle, readWithin(100)).empty());
    EXPECT_EQ(packet, printer->printData());
    EXPECT_TRUE(printer->packets().empty());
}

TEST_F(Printer, JobAfterPjlLinesRunsToTheNextUniversalExit) {
    ASSERT_TRUE(write(handle, bytes(uel + "@PJL JOB NAME=\"t\"\r\n@PJL ENTER LANGUAGE=PCL\r\n" +
                                    "\xA5 is data here " + uel + "@PJL EOJ\r\n" + uel)));
    EXPECT_EQ("\xA5 is data here ", text(printer->printData()));
    EXPECT_EQ(
        (std::vector<std::string>{"@PJL JOB NAME=\"t\"", "@PJL ENTER LANGUAGE=PCL", "@PJL EOJ"}),
        printer->pjlCommands());
}

// Print data comes out unframed, once and in order, however the stream is cut
// into writes: PJL, packets whose payloads hold start bytes and universal exit
// commands, a refused packet sent again, commands, and an unframed job.
TEST_F(Printer, RecordsEveryPrintByteOnceAndInOrder) {
    std::mt19937 random(1284);
    auto payload = [&](std::size_t size) {
        Bytes data(size);
        for (unsigned char& b : data) {
            b = static_cast<unsigned char>(random());
        }
        return data;
    };
    Bytes expected;
    Bytes stream = pjlQuery;
    auto addPacket = [&](const Bytes& data, bool accepted) {
        const Bytes p = npa::packet(0, npa::replyExpected, data);
        stream.insert(stream.end(), p.begin(), p.end());
        if (accepted) {
            expected.insert(expected.end(), data.begin(), data.end());
        }
    };
    addPacket(join({bytes(uel), Bytes{0xA5, 0x00, 0x02}, payload(100)}), true);
    const Bytes refusedThenSent = payload(4091);
    addPacket(refusedThenSent, false);
    addPacket(refusedThenSent, true);
    const Bytes command = npa::packet(0xE0, npa::replyExpected, bytes("q"));
    stream.insert(stream.end(), command.begin(), command.end());
    for (int i = 0; i < 20; ++i) {
        addPacket(payload(1 + random() % 600), true);
    }
    const Bytes job = join({bytes("\x1B\x1B%-1234 partial exit is data"), Bytes{0xA5, 0x00}});
    stream.insert(stream.end(), uel.begin(), uel.end());
    stream.insert(stream.end(), job.begin(), job.end());
    expected.insert(expected.end(), job.begin(), job.end());
    stream.insert(stream.end(), uel.begin(), uel.end());

    std::size_t at = 0;
    bool refusalAsked = false;
    while (at < stream.size()) {
        const std::size_t n = std::min<std::size_t>(1 + random() % 17, stream.size() - at);
        ASSERT_TRUE(write(handle, Bytes(stream.begin() + long(at), stream.begin() + long(at + n))));
        at += n;
        // Refuse exactly the first send of the big packet.
        if (!refusalAsked && printer->packets().size() == 1) {
            printer->refuseNext(1);
            refusalAsked = true;
        }
    }
    EXPECT_EQ(expected, printer->printData());
    EXPECT_EQ(stream, printer->received());
    EXPECT_EQ(24u, printer->packets().size());
}

// The module writes on a host thread while its read thread polls the port:
// every packet waits for its acknowledgement, which the reader collects.
TEST_F(Printer, WriterAndPollingReaderWorkAtOnce) {
    ports.port(1).setLinkSpeed(2000000);
    printer->setAckDelay(1);
    constexpr int packets = 200;
    std::mutex lock;
    std::condition_variable acked;
    int acks = 0;
    bool stop = false;
    std::thread reader([&] {
        Bytes stream;
        for (;;) {
            {
                std::lock_guard<std::mutex> guard(lock);
                if (stop) {
                    break;
                }
            }
            Bytes piece = read(handle, COMMTIMEOUTS{1, 0, 50, 0, 60000});
            stream.insert(stream.end(), piece.begin(), piece.end());
            std::size_t whole = stream.size() / 5;
            if (whole > 0) {
                std::lock_guard<std::mutex> guard(lock);
                acks += int(whole);
                stream.erase(stream.begin(), stream.begin() + long(whole * 5));
                acked.notify_all();
            }
        }
    });
    Bytes expected;
    auto writeAll = [&] {
        for (int i = 0; i < packets; ++i) {
            const Bytes data(1 + i % 50, static_cast<unsigned char>(i));
            expected.insert(expected.end(), data.begin(), data.end());
            if (!write(handle, npa::packet(0, npa::replyExpected, data))) {
                return false;
            }
            std::unique_lock<std::mutex> guard(lock);
            if (!acked.wait_for(guard, std::chrono::seconds(10), [&] { return acks > i; })) {
                return false;
            }
        }
        return true;
    };
    const bool written = writeAll();
    {
        std::lock_guard<std::mutex> guard(lock);
        stop = true;
    }
    reader.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(packets, acks);
    EXPECT_EQ(expected, printer->printData());
}

TEST_F(Printer, WaitsForPrintDataAndPacketsWithoutPolling) {
    std::thread writer([&] {
        write(handle, npa::packet(0, 0x00, bytes("abc")));
        write(handle, npa::packet(0, 0x00, bytes("def")));
    });
    EXPECT_TRUE(printer->waitForPrintData(6, 10000));
    EXPECT_TRUE(printer->waitForPackets(2, 10000));
    writer.join();
    EXPECT_FALSE(printer->waitForPackets(3, 20));
    EXPECT_TRUE(ports.port(1).waitForWrites(2, 10000));
}

} // namespace

TEST_F(Printer, OnlyTheExactQueryIsAnswered) {
    for (const std::string& line :
         {std::string("@PJL dinquire xnpap"), std::string("@PJL DINQUIRE  XNPAP"),
          std::string("@PJL DINQUIRE XNPAPX"), std::string("@PJL INQUIRE XNPAP")}) {
        SCOPED_TRACE(line);
        ASSERT_TRUE(write(handle, bytes(uel + line + "\r\n" + uel)));
        EXPECT_TRUE(read(handle, readWithin(100)).empty());
    }
    ASSERT_TRUE(write(handle, pjlQuery));
    EXPECT_EQ("@PJL DINQUIRE XNPAP\r\nAUTO\r\n\f", text(readAll(handle, 27)));
}

TEST_F(Printer, InNpaModeBytesOutsidePacketsAreDiscardedNotPrinted) {
    const Bytes first = npa::packet(0, 0x00, bytes("one"));
    const Bytes second = npa::packet(0, 0x00, bytes("two"));
    // Garbage between packets, even a start byte's worth of it, is skipped
    // to the next packet; a universal exit command leaves NPA mode, and what
    // follows a job's PJL is printed again.
    ASSERT_TRUE(write(handle, join({first, bytes("junk"), second})));
    EXPECT_EQ("onetwo", text(printer->printData()));
    EXPECT_EQ(4u, printer->discardedBytes());
    ASSERT_TRUE(write(handle, bytes("\x1B%-12345X@PJL ENTER LANGUAGE=PCL\r\nplain")));
    EXPECT_EQ("onetwoplain", text(printer->printData()));
    EXPECT_EQ(4u, printer->discardedBytes());
}

TEST_F(Printer, PacketsWithUndefinedFlagsAreRefusedUnread) {
    for (unsigned char channel : {0x00, 0xE0}) {
        SCOPED_TRACE(int(channel));
        printer->clearRecords();
        ASSERT_TRUE(write(handle, npa::packet(channel, npa::replyExpected | 0x01, bytes("odd"))));
        EXPECT_EQ(npa::packet(channel, npa::refused, Bytes()), readAll(handle, 5));
        EXPECT_TRUE(printer->printData().empty());
    }
}

TEST_F(Printer, RepliesBeyondOnePacketGoOutLinked) {
    // A printer's packet carries at most 510 payload bytes.
    Bytes payload(600, 'r');
    printer->setCommandReply(0xE0, 'r', payload);
    ASSERT_TRUE(write(handle, npa::packet(0xE0, npa::replyExpected, bytes("r"))));
    const std::vector<Bytes> pieces = packetsIn(readAll(handle, 2 * 5 + 600));
    ASSERT_EQ(2u, pieces.size());
    EXPECT_EQ(npa::packet(0xE0, npa::moreFollows, Bytes(510, 'r')), pieces[0]);
    EXPECT_EQ(npa::packet(0xE0, 0x00, Bytes(90, 'r')), pieces[1]);
}
