// The transport's visitors, sent by name down a connection to the virtual
// printer, as a host sends them.
#include "support/PrinterConnection.h"
#include "support/TransportEnvironment.h"

#include "port/Par1Adapter.h"
#include "protocol/Par1NpaProtocol.h"
#include "sim/NpaFrames.h"
#include "visitors/Par1NpaDataVisitor.h"
#include "visitors/Par1SetPrintDataFlagVisitor.h"

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

std::vector<uint8_t> bytesOf(Data& data) {
    return std::vector<uint8_t>(data.data(), data.data() + data.size());
}

// The port writes that carried exactly these bytes.
std::vector<sim::PortWrite> writesOf(sim::VirtualPort& port, const sim::Bytes& bytes) {
    std::vector<sim::PortWrite> found;
    for (const sim::PortWrite& write : port.writes()) {
        if (write.data == bytes) {
            found.push_back(write);
        }
    }
    return found;
}

} // namespace

TEST(GetNpaModeVisitor, ReportsTheModeInTheLastFourBytes) {
    struct Case {
        const char* name;
        sim::NpaAnswer answer;
        std::vector<uint8_t> mode;
    };
    // Silence is waited out: the NPA time-out is short for this test.
    par1test::setStoreNumber("Par1\\Settings", "NpaTimeout", 300);
    const Case cases[] = {
        {"OFF", sim::NpaAnswer::Off, {0, 0, 0, 0}},
        {"AUTO", sim::NpaAnswer::Auto, {1, 0, 0, 0}},
        {"no answer", sim::NpaAnswer::None, {1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        par1test::PrinterConnection printer;
        printer.printer().setNpaAnswer(c.answer);
        ASSERT_TRUE(printer.connect());
        Data mode(4, 0xEE);
        Clock::time_point start = Clock::now();
        EXPECT_EQ(0u, printer.sendVisitor("getNpaModeVisitor", &mode));
        EXPECT_EQ(c.mode, bytesOf(mode));
        if (c.answer == sim::NpaAnswer::None) {
            EXPECT_GE(millisecondsSince(start), 290);
        }
    }
    par1test::setStoreNumber("Par1\\Settings", "NpaTimeout", 6000);
}

TEST(GetNpaModeVisitor, WritesOnlyTheTailOfItsBuffer) {
    par1test::PrinterConnection printer;
    printer.printer().setNpaAnswer(sim::NpaAnswer::Off);
    ASSERT_TRUE(printer.connect());
    // The mode takes the last 4 bytes; the buffer's unread bytes are then
    // those 4.
    Data eight(8, 0xEE);
    EXPECT_EQ(0u, printer.sendVisitor("getNpaModeVisitor", &eight));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0}), bytesOf(eight));
    Data small(3, 0xEE);
    EXPECT_EQ(0u, printer.sendVisitor("getNpaModeVisitor", &small));
    EXPECT_EQ((std::vector<uint8_t>{0xEE, 0xEE, 0xEE}), bytesOf(small));
}

TEST(SetNpaWrapModeVisitor, OffMakesLaterWritesReachThePrinterUnwrapped) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    Data off(1, 0x00);
    EXPECT_EQ(0u, printer.sendVisitor("setNpaWrapModeVisitor", &off));
    // A job in the printer's own language, ended by a universal exit.
    const std::string job = "plain job bytes";
    const std::string framed = job + "\x1b%-12345X";
    Data data(framed);
    printer.write(data);
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(framed.size(), data.count());
    EXPECT_TRUE(printer.printPackets().empty());
    EXPECT_EQ(sim::bytes(job), printer.printer().printData());
    EXPECT_EQ(1u, writesOf(printer.port(), sim::bytes(framed)).size());

    Data on(1, 0x01);
    EXPECT_EQ(0u, printer.sendVisitor("setNpaWrapModeVisitor", &on));
    Data wrapped(std::string("wrapped"));
    printer.write(wrapped);
    EXPECT_EQ(1u, printer.printPackets().size());
}

TEST(SetMaxPacketSizeVisitor, LimitsThePayloadOrRefusesASizeWithoutOne) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    std::string small = par1test::transportString(1, true, 1024);
    Data text(small);
    EXPECT_EQ(0u, printer.sendVisitor("setMaxPacketSizeVisitor", &text));
    sim::Bytes input = par1test::pattern(3000);
    Data data(input.data(), static_cast<uint32_t>(input.size()));
    printer.write(data);
    EXPECT_EQ(3000u, data.count());
    std::vector<sim::Bytes> packets = printer.printPackets();
    ASSERT_EQ(3u, packets.size());
    for (const sim::Bytes& packet : packets) {
        EXPECT_LE(sim::npa::payload(packet).size(), 1019u);
    }
    EXPECT_EQ(input, printer.printer().printData());

    // 5 or less leaves no room for payload; no size at all reads as 0.
    for (const std::string& transport :
         {par1test::transportString(1, true, 5), par1test::transportString(1)}) {
        Data refused(transport);
        EXPECT_EQ(87u, printer.sendVisitor("setMaxPacketSizeVisitor", &refused));
    }
    printer.printer().clearRecords();
    Data again(input.data(), static_cast<uint32_t>(input.size()));
    printer.write(again);
    EXPECT_EQ(3000u, again.count());
    EXPECT_EQ(3u, printer.printPackets().size());
}

TEST(NpaDataVisitor, WaitsForTheMatchingReplyWhichReachesTheHost) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    printer.printer().setCommandReply(0xE0, 'q', sim::bytes("q status"));
    sim::Bytes command = sim::npa::packet(0xE0, sim::npa::replyExpected, sim::bytes("q?"));
    Data packet(command.data(), static_cast<uint32_t>(command.size()));
    EXPECT_EQ(0u, printer.sendVisitor("npaDataVisitor", &packet));
    ASSERT_TRUE(printer.host().waitForMessages(1, 5000));
    EXPECT_EQ(sim::npa::packet(0xE0, 0x00, sim::bytes("q status")), printer.host().messages()[0]);
    // A command is no print data: it went out with the short write time-out.
    std::vector<sim::PortWrite> writes = writesOf(printer.port(), command);
    ASSERT_EQ(1u, writes.size());
    EXPECT_EQ(1000u, writes[0].timeouts.WriteTotalTimeoutConstant);
}

TEST(NpaDataVisitor, ReturnsAtOnceForAPacketWithoutTheReplyBit) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    printer.printer().setCommandsAnswered(false);
    sim::Bytes command = sim::npa::packet(0xE0, 0x00, sim::bytes("x"));
    Data packet(command.data(), static_cast<uint32_t>(command.size()));
    Clock::time_point start = Clock::now();
    EXPECT_EQ(0u, printer.sendVisitor("npaDataVisitor", &packet));
    EXPECT_LT(millisecondsSince(start), 2000);
    EXPECT_EQ(1u, writesOf(printer.port(), command).size());
}

TEST(NpaDataVisitor, EachWaitPacketRestartsTheTenSecondWait) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    // The reply comes after 10.5 s: only the wait packet at 3 s keeps the
    // command waiting that long.
    printer.printer().setReplyDelay(10500);
    printer.printer().sendBytes(sim::npa::waitPacket(), 3000);
    sim::Bytes command = sim::npa::packet(0x05, sim::npa::replyExpected, sim::bytes("a1"));
    Data packet(command.data(), static_cast<uint32_t>(command.size()));
    Clock::time_point start = Clock::now();
    EXPECT_EQ(0u, printer.sendVisitor("npaDataVisitor", &packet));
    EXPECT_GE(millisecondsSince(start), 10400);
    // The wait packet never reaches the host; the reply does.
    ASSERT_TRUE(printer.host().waitForMessages(1, 5000));
    EXPECT_EQ(1u, printer.host().messages().size());
    EXPECT_EQ(sim::npa::packet(0x05, 0x00, sim::bytes("a1")), printer.host().messages()[0]);
}

TEST(StartNpaModeVisitor, WritesItsBytesOnlyWhenNpaModeIsOn) {
    const sim::Bytes activation = sim::bytes("\x1b%-12345X@PJL ENTER LANGUAGE=NPAP\r\n");
    for (bool on : {false, true}) {
        SCOPED_TRACE(on);
        par1test::PrinterConnection printer;
        printer.printer().setNpaAnswer(on ? sim::NpaAnswer::Auto : sim::NpaAnswer::Off);
        ASSERT_TRUE(printer.connect());
        Data mode(4, 0);
        ASSERT_EQ(0u, printer.sendVisitor("getNpaModeVisitor", &mode));
        Data bytes(activation.data(), static_cast<uint32_t>(activation.size()));
        EXPECT_EQ(0u, printer.sendVisitor("startNpaModeVisitor", &bytes));
        std::vector<sim::PortWrite> writes = writesOf(printer.port(), activation);
        if (on) {
            ASSERT_EQ(1u, writes.size());
            EXPECT_EQ(1000u, writes[0].timeouts.WriteTotalTimeoutConstant);
            EXPECT_EQ(activation.size(), bytes.count());
        } else {
            EXPECT_TRUE(writes.empty());
        }
    }
}

TEST(StartNpaModeVisitor, WithoutDataWritesNothing) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    size_t before = printer.port().writes().size();
    EXPECT_EQ(0u, printer.sendVisitor("startNpaModeVisitor", nullptr));
    EXPECT_EQ(before, printer.port().writes().size());
}

TEST(ParallelVisitors, UnknownNameStopsWithError1) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    size_t before = printer.port().writes().size();
    EXPECT_EQ(1u, printer.sendVisitor("escDataVisitor", nullptr));
    EXPECT_EQ(before, printer.port().writes().size());
}

TEST(ParallelVisitors, WithoutTheirDataTheyReportABadArgumentAndChangeNothing) {
    struct Case {
        const char* name;
        const char* visitor;
        int size; // of the zero-filled buffer; -1 for none
        uint32_t error;
    };
    const Case cases[] = {
        {"mode without a buffer", "getNpaModeVisitor", -1, 87},
        {"wrap mode without a buffer", "setNpaWrapModeVisitor", -1, 87},
        {"wrap mode without its byte", "setNpaWrapModeVisitor", 0, 87},
        {"packet size without a buffer", "setMaxPacketSizeVisitor", -1, 87},
        {"packet size from an empty string", "setMaxPacketSizeVisitor", 0, 87},
        {"command without a packet", "npaDataVisitor", -1, 87},
        {"command with an empty packet", "npaDataVisitor", 0, 87},
        {"command shorter than a header", "npaDataVisitor", 4, 87},
        {"activation without bytes", "startNpaModeVisitor", -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        par1test::PrinterConnection printer;
        ASSERT_TRUE(printer.connect());
        size_t before = printer.port().writes().size();
        Data buffer(c.size < 0 ? 0 : static_cast<uint32_t>(c.size), 0);
        Clock::time_point start = Clock::now();
        EXPECT_EQ(c.error, printer.sendVisitor(c.visitor, c.size < 0 ? nullptr : &buffer));
        EXPECT_LT(millisecondsSince(start), 1000) << "it waited for the printer";
        EXPECT_EQ(before, printer.port().writes().size()) << "it wrote to the port";
        // Print data still goes through, wrapped as before.
        Data data(std::string("after"));
        printer.write(data);
        EXPECT_EQ(0u, data.error());
        EXPECT_EQ(sim::bytes("after"), printer.printer().printData());
    }
}

TEST(ParallelVisitors, AClosedConnectionRefusesVisitorsAndWrites) {
    par1test::PrinterConnection printer;
    ASSERT_TRUE(printer.connect());
    printer.connection()->close();
    Data mode(4, 0xEE);
    Data off(1, 0);
    // The wrap layer still answers for itself; nothing reaches the port.
    EXPECT_EQ(0u, printer.sendVisitor("setNpaWrapModeVisitor", &off));
    // The query cannot go out: refused at once, the buffer untouched.
    Clock::time_point start = Clock::now();
    EXPECT_EQ(1u, printer.sendVisitor("getNpaModeVisitor", &mode));
    EXPECT_LT(millisecondsSince(start), 1000) << "it waited for an answer";
    EXPECT_EQ((std::vector<uint8_t>{0xEE, 0xEE, 0xEE, 0xEE}), bytesOf(mode));
    Data packet = Data(std::string("\xa5\x00\x02\x80\x00"));
    EXPECT_NE(0u, printer.sendVisitor("npaDataVisitor", &packet));
    Data data(std::string("closed"));
    printer.write(data);
    EXPECT_EQ(1u, data.error());
    EXPECT_TRUE(printer.printer().printData().empty());
    // Opened again, it works.
    ASSERT_EQ(0u, printer.connection()->open());
    Data again(std::string("open"));
    printer.write(again);
    EXPECT_EQ(0u, again.error());
}

TEST(ParallelVisitors, AnEmptyWriteSucceedsWithoutSendingAnything) {
    for (bool wrapped : {true, false}) {
        SCOPED_TRACE(wrapped);
        par1test::PrinterConnection printer;
        ASSERT_TRUE(printer.connect());
        Data mode(1, wrapped ? 1 : 0);
        ASSERT_EQ(0u, printer.sendVisitor("setNpaWrapModeVisitor", &mode));
        size_t before = printer.port().writes().size();
        Data empty(0, 255);
        empty.setCount(9);
        printer.write(empty);
        EXPECT_EQ(0u, empty.error());
        EXPECT_EQ(0u, empty.count());
        EXPECT_TRUE(printer.printer().printData().empty());
        if (wrapped) {
            EXPECT_EQ(before, printer.port().writes().size()) << "an empty packet was sent";
        }
    }
}

TEST(StartNpaModeVisitor, CarriesTheFailureOfItsWrite) {
    const sim::Bytes activation = sim::bytes("\x1b%-12345X@PJL ENTER LANGUAGE=NPAP\r\n");
    struct Case {
        const char* name;
        bool close;     // the connection is closed first
        bool paperOut;  // the write fails: out of paper
        uint32_t error; // the visitor's and the data's error
    };
    const Case cases[] = {
        {"closed connection", true, false, 1},
        {"paper out", false, true, CE_OOP},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        par1test::PrinterConnection printer;
        ASSERT_TRUE(printer.connect());
        Data mode(4, 0);
        ASSERT_EQ(0u, printer.sendVisitor("getNpaModeVisitor", &mode));
        if (c.close) {
            ASSERT_EQ(0u, printer.connection()->close());
        }
        if (c.paperOut) {
            printer.port().failWrites(1, CE_OOP, ERROR_OUT_OF_PAPER);
        }
        Data bytes(activation.data(), static_cast<uint32_t>(activation.size()));
        EXPECT_EQ(c.error, printer.sendVisitor("startNpaModeVisitor", &bytes));
        EXPECT_EQ(c.error, bytes.error());
        if (c.close) {
            ASSERT_EQ(0u, printer.connection()->open());
        }
    }
}

namespace {

// The NPA layer, counting the commands it is asked to send.
class CountingNpa : public Par1NpaProtocol {
public:
    void transact(Data& packet) override {
        ++transactions;
        Par1NpaProtocol::transact(packet);
    }
    int transactions = 0;
};

} // namespace

TEST(NpaDataVisitor, ACommandWhoseFlagCannotBeSetIsNotSent) {
    // The print-data flag is set at the adapter, which refuses it while
    // closed: the visitor reports that, and the command is not sent under
    // print data's time-outs.
    sim::VirtualPorts ports;
    ports.port(1).attachPrinter();
    ScopedPortSystem installed(ports);
    Par1Adapter adapter("LPT1:");
    CountingNpa npa;
    npa.setLayer(Layer::Lower, &adapter);
    adapter.setLayer(Layer::Upper, &npa);

    Par1SetPrintDataFlagVisitor flag;
    flag.setPrintDataFlag(false);
    npa.doAccept(flag);
    EXPECT_EQ(1u, flag.error());

    const sim::Bytes command = sim::npa::packet(0xE0, sim::npa::replyExpected, sim::bytes("q?"));
    Data packet(command.data(), static_cast<uint32_t>(command.size()));
    Par1NpaDataVisitor visitor(false);
    visitor.setData(&packet);
    npa.doAccept(visitor);
    EXPECT_EQ(1u, visitor.error());
    EXPECT_EQ(0, npa.transactions);
    EXPECT_TRUE(ports.port(1).writes().empty());
}
