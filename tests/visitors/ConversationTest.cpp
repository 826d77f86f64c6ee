// Conversations that printers hold and that are awkward for a host: answers
// split at any byte, silence mixed with refusals, replies on the control
// channel, a printer that goes part-way through a job. Each runs through a
// connection to the virtual printer, as a host drives it.
#include "support/PrinterConnection.h"
#include "support/TransportEnvironment.h"

#include "sim/NpaFrames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void setNpaTimeout(uint32_t milliseconds) {
    par1test::setStoreNumber("Par1\\Settings", "NpaTimeout", milliseconds);
}

// Asks the printer for its NPA mode: the visitor's error, and the mode in
// mode.
uint32_t askNpaMode(par1test::PrinterConnection& printer, bool& mode) {
    Data buffer(4, 0xEE);
    uint32_t error = printer.sendVisitor("getNpaModeVisitor", &buffer);
    mode = buffer.data()[0] == 1;
    return error;
}

// Prints the bytes through the connection; the data's error and count tell.
Data print(par1test::PrinterConnection& printer, const sim::Bytes& bytes) {
    Data data(bytes.data(), static_cast<uint32_t>(bytes.size()));
    printer.write(data);
    return data;
}

} // namespace

TEST(Conversation, TheShortNpaAnswerIsRecognisedHoweverTheReadsSplitIt) {
    // The printer answers in NPA already: A5 00 02 80 00, the same five bytes
    // as a refusal. Neither the answer nor the job after it may depend on
    // how the port hands the bytes over.
    setNpaTimeout(6000);
    for (unsigned readSize : {1u, 2u, 3u, 4u, 0u}) {
        SCOPED_TRACE("read size " + std::to_string(readSize));
        par1test::PrinterConnection printer;
        printer.printer().setNpaAnswer(sim::NpaAnswer::ShortPacket);
        printer.port().setReadSize(readSize);
        ASSERT_TRUE(printer.connect());
        bool mode = false;
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(0u, askNpaMode(printer, mode));
        EXPECT_TRUE(mode);
        EXPECT_LT(millisecondsSince(start), 3000) << "the answer was not recognised";

        const sim::Bytes job = par1test::pattern(10000);
        Data data = print(printer, job);
        EXPECT_EQ(0u, data.error());
        EXPECT_EQ(job.size(), data.count());
        EXPECT_EQ(job, printer.printer().printData());
    }
}

TEST(Conversation, ARefusalAfterAnUnansweredQueryIsFlowControl) {
    // A printer that ignores the query but speaks NPA: its first refusal
    // while printing is the same five bytes as the short answer, and must
    // reach the wrap layer as a refusal.
    setNpaTimeout(200);
    par1test::PrinterConnection printer;
    printer.printer().setNpaAnswer(sim::NpaAnswer::None);
    ASSERT_TRUE(printer.connect());
    bool mode = false;
    EXPECT_EQ(0u, askNpaMode(printer, mode));
    EXPECT_TRUE(mode) << "without an answer NPA is taken to be on";

    printer.printer().refuseNext(1);
    const sim::Bytes job = par1test::pattern(6000);
    const Clock::time_point start = Clock::now();
    Data data = print(printer, job);
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(job.size(), data.count());
    EXPECT_EQ(job, printer.printer().printData());
    // The refused first packet went again: three packets for two.
    EXPECT_EQ(3u, printer.printPackets().size());
    EXPECT_LT(millisecondsSince(start), 4000) << "a refusal was waited out as silence";
}

TEST(Conversation, PiecesOfAPacketAreNeverTakenForAnswerText) {
    // While the query waits, the printer sends a message of its own, which
    // the port hands over cut in the middle of the packet; the text answer
    // follows. The message goes up whole, the answer counts, and the job
    // after it is acknowledged as usual.
    setNpaTimeout(6000);
    par1test::PrinterConnection printer;
    printer.printer().setReplyDelay(100);
    printer.port().setReadSize(5);
    ASSERT_TRUE(printer.connect());
    const sim::Bytes message = sim::npa::packet(0xE0, 0x00, sim::bytes("status"));
    // Due once the query is out, before its answer.
    printer.printer().sendBytes(message, 30);
    bool mode = false;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(0u, askNpaMode(printer, mode));
    EXPECT_TRUE(mode);
    EXPECT_LT(millisecondsSince(start), 3000) << "the answer was not recognised";
    ASSERT_TRUE(printer.host().waitForMessages(1, 5000));

    const sim::Bytes job = par1test::pattern(5000);
    Data data = print(printer, job);
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(job, printer.printer().printData());
    EXPECT_EQ(std::vector<sim::Bytes>{message}, printer.host().messages());
}

TEST(Conversation, CloseIsPromptAfterTheQueryWhateverThePrinterAnswers) {
    // Reads stay bounded by "ReadTimeout" after the query, so closing waits
    // for one read at most and never has to end the read thread.
    struct Case {
        const char* name;
        sim::NpaAnswer answer;
    };
    const Case cases[] = {
        {"AUTO", sim::NpaAnswer::Auto},
        {"OFF", sim::NpaAnswer::Off},
        {"short packet", sim::NpaAnswer::ShortPacket},
        {"silent", sim::NpaAnswer::None},
    };
    setNpaTimeout(200);
    // A read time-out that dwarfs the thread switches of a loaded machine,
    // so that the bound is the reads' and not the scheduler's.
    const uint32_t readTimeout = 100;
    par1test::setStoreNumber("Par1\\Settings", "ReadTimeout", readTimeout);
    struct Restore {
        ~Restore() {
            par1test::setStoreNumber("Par1\\Settings", "ReadTimeout", par1test::kReadTimeoutMs);
        }
    } restore;
    const long long bound = 2 * readTimeout + 50;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        par1test::PrinterConnection printer;
        printer.printer().setNpaAnswer(c.answer);
        ASSERT_TRUE(printer.connect());
        bool mode = false;
        EXPECT_EQ(0u, askNpaMode(printer, mode));
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(0u, printer.connection()->close());
        EXPECT_LE(millisecondsSince(start), bound);
        // The connection's destructor checks that no read thread was killed.
    }
}

TEST(Conversation, ACommandOnTheControlChannelCompletesWithItsReply) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    const sim::Bytes command =
        sim::npa::packet(0xF0, sim::npa::control | sim::npa::replyExpected, sim::bytes("status?"));
    Data packet(command.data(), static_cast<uint32_t>(command.size()));
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(0u, printer.sendVisitor("npaDataVisitor", &packet));
    EXPECT_LT(millisecondsSince(start), 5000) << "the reply did not end the wait";
    ASSERT_TRUE(printer.host().waitForMessages(1, 5000));
    EXPECT_EQ(sim::npa::packet(0xF0, 0x00, sim::bytes("status?")), printer.host().messages()[0]);
}

TEST(Conversation, ARawJobCutShortCountsWhatThePrinterTook) {
    // The printer goes away part-way through one write: the count is what
    // the port took, so a host that resumes from it sends nothing twice.
    par1test::PrinterConnection printer;
    printer.printer().setNpaEnabled(false);
    ASSERT_TRUE(printer.connect());
    Data off(1, 0x00);
    ASSERT_EQ(0u, printer.sendVisitor("setNpaWrapModeVisitor", &off));
    printer.port().vanishAfter(300000);
    const sim::Bytes job = par1test::pattern(500000);
    Data data = print(printer, job);
    EXPECT_NE(0u, data.error());
    EXPECT_EQ(300000u, data.count());
    EXPECT_EQ(sim::Bytes(job.begin(), job.begin() + 300000), printer.printer().printData());
}
