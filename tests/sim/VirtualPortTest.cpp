// The virtual ports through the seam: opening, the IEEE 1284 identification,
// read time-outs, the link speed and the faults a test can ask for.
#include "SeamPortsFixture.h"

#include <thread>

namespace {

using namespace simtest;
using sim::bytes;

class VirtualPort : public SeamPortsFixture {};

TEST_F(VirtualPort, DosNameOfAParallelDeviceOpensThatPort) {
    ports.port(3).attachPrinter();
    HANDLE handle = open(3);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(1u, ports.port(3).openHandles());
    EXPECT_EQ(0u, ports.port(1).openHandles());
    ASSERT_TRUE(write(handle, bytes("x")));
    EXPECT_EQ("x", text(ports.port(3).printer().printData()));

    // A second handle of the same port, as discovery opens one while the
    // connection holds its own.
    HANDLE second = open(3);
    ASSERT_NE(INVALID_HANDLE_VALUE, second);
    EXPECT_EQ(2u, ports.port(3).openHandles());
    close(second);
    close(handle);
    EXPECT_EQ(0u, ports.port(3).openHandles());
    EXPECT_EQ(0u, ports.openHandles());

    SetLastError(0);
    EXPECT_FALSE(seam().closeHandle(handle));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    // What a failed open gives closes without complaint, as on Windows.
    EXPECT_TRUE(seam().closeHandle(INVALID_HANDLE_VALUE));
}

TEST_F(VirtualPort, NamesThatReachNoPresentPortDoNotOpen) {
    seam().defineDosDevice(DDD_RAW_TARGET_PATH, "PAR1_NINE", "\\Device\\Parallel9");
    seam().defineDosDevice(DDD_RAW_TARGET_PATH, "PAR1_FILE", "\\Device\\HarddiskVolume1");
    ports.port(2).setPresent(false);
    for (const char* name : {"\\\\.\\PAR1_UNDEFINED", "\\\\.\\PAR1_NINE", "\\\\.\\PAR1_FILE",
                             "PAR1_NINE", "C:\\file.txt"}) {
        SetLastError(0);
        EXPECT_EQ(INVALID_HANDLE_VALUE,
                  seam().createFile(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr))
            << name;
        EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError()) << name;
    }
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, open(2));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(VirtualPort, OpenNamesTheNewestDefinition) {
    ports.port(1).attachPrinter();
    ports.port(2).attachPrinter();
    seam().defineDosDevice(DDD_RAW_TARGET_PATH, "PAR1_STACKED", "\\Device\\Parallel0");
    seam().defineDosDevice(DDD_RAW_TARGET_PATH, "PAR1_STACKED", "\\device\\PARALLEL1");
    HANDLE handle = seam().createFile("\\\\.\\par1_stacked", GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    EXPECT_TRUE(write(handle, bytes("two")));
    EXPECT_TRUE(seam().closeHandle(handle));
    EXPECT_EQ("two", text(ports.port(2).printer().printData()));
    EXPECT_TRUE(ports.port(1).printer().printData().empty());
    EXPECT_EQ((std::vector<std::string>{"\\device\\PARALLEL1", "\\Device\\Parallel0"}),
              ports.dosDeviceTargets("Par1_Stacked"));
}

TEST_F(VirtualPort, AccessDeniedOnRequestThenOpensAgain) {
    ports.port(1).denyOpens(1);
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, open(1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), ports.port(1).lastOpenFlags());
    HANDLE handle = open(1, 130);
    EXPECT_NE(INVALID_HANDLE_VALUE, handle);
    EXPECT_EQ(0u, GetLastError()) << "a successful open clears the last error";
    EXPECT_EQ(130u, ports.port(1).lastOpenFlags());
    EXPECT_EQ(1u, ports.port(1).openCount());
}

TEST_F(VirtualPort, HandleOpenedForOneDirectionRefusesTheOther) {
    ports.port(1).attachPrinter();
    seam().defineDosDevice(DDD_RAW_TARGET_PATH, "PAR1_RO", "\\Device\\Parallel0");
    HANDLE handle =
        seam().createFile("\\\\.\\PAR1_RO", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    DWORD written = 7;
    SetLastError(0);
    EXPECT_FALSE(seam().writeFile(handle, "x", 1, &written, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(0u, written);
    EXPECT_TRUE(seam().closeHandle(handle));
}

TEST_F(VirtualPort, DeviceIdIsTheTextTheDriverDelivers) {
    const std::string id = "MFG:ACME;MDL:Laser 9;CMD:PJL,XNPAP;CLS:PRINTER;";
    ports.port(1).attachPrinter().setDeviceId(id);
    HANDLE handle = open(1);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);

    std::vector<char> buffer(4096, 'x');
    DWORD returned = 0;
    ASSERT_TRUE(seam().deviceIoControl(handle, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, buffer.data(),
                                       DWORD(buffer.size()), &returned, nullptr));
    EXPECT_EQ(id, std::string(buffer.data()));
    EXPECT_EQ(id.size() + 1, returned);
    EXPECT_EQ(0x16000Cu, static_cast<DWORD>(IOCTL_PAR_QUERY_DEVICE_ID));

    // Exactly as long as the buffer: no room for a zero, none written.
    std::vector<char> exact(id.size(), 'x');
    ASSERT_TRUE(seam().deviceIoControl(handle, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, exact.data(),
                                       DWORD(exact.size()), &returned, nullptr));
    EXPECT_EQ(id, std::string(exact.begin(), exact.end()));
    EXPECT_EQ(id.size(), returned);

    SetLastError(0);
    EXPECT_FALSE(seam().deviceIoControl(handle, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0,
                                        buffer.data(), DWORD(id.size() - 1), &returned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

    SetLastError(0);
    EXPECT_FALSE(seam().deviceIoControl(handle, 17, nullptr, 0, buffer.data(), DWORD(buffer.size()),
                                        &returned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
}

TEST_F(VirtualPort, DeviceIdThatFillsTheBufferHasNoZero) {
    const std::string id(4096, 'A');
    ports.port(1).attachPrinter().setDeviceId(id);
    HANDLE handle = open(1);
    std::vector<char> buffer(4096, 0);
    DWORD returned = 0;
    ASSERT_TRUE(seam().deviceIoControl(handle, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, buffer.data(),
                                       4096, &returned, nullptr));
    EXPECT_EQ(4096u, returned);
    EXPECT_EQ(id, std::string(buffer.begin(), buffer.end()));
}

TEST_F(VirtualPort, WithoutAPrinterThePortOpensButCannotReachIt) {
    HANDLE handle = open(1);
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    char buffer[64];
    DWORD count = 0;
    SetLastError(0);
    EXPECT_FALSE(seam().deviceIoControl(handle, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, buffer,
                                        sizeof buffer, &count, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(write(handle, bytes("lost")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(CE_DNS), commErrors(handle));
    EXPECT_EQ(0u, commErrors(handle)) << "ClearCommError clears what it reported";
    SetLastError(0);
    EXPECT_FALSE(seam().readFile(handle, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), GetLastError());
}

// Read time-outs, each with short settings.

TEST_F(VirtualPort, ReadWithIntervalMaxAndNoTotalsReturnsAtOnce) {
    ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    Stopwatch watch;
    EXPECT_TRUE(read(handle, atOnce).empty());
    EXPECT_LT(watch.ms(), 40);

    ports.port(1).printer().sendBytes(bytes("ready"));
    EXPECT_EQ("ready", text(read(handle, atOnce)));
}

TEST_F(VirtualPort, ReadWithoutDataEndsAtTheTotalTimeout) {
    ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    Stopwatch watch;
    EXPECT_TRUE(read(handle, COMMTIMEOUTS{1, 0, 50, 0, 0}).empty());
    EXPECT_GE(watch.ms(), 45);

    // The multiplier counts per byte asked for: 4 bytes times 10 ms, plus 10.
    Stopwatch second;
    EXPECT_TRUE(read(handle, COMMTIMEOUTS{0, 10, 10, 0, 0}, 4).empty());
    EXPECT_GE(second.ms(), 45);
}

TEST_F(VirtualPort, ReadEndsAtTheIntervalAfterTheLastByte) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    // Data now and more 20 ms later: an interval of 400 ms takes both and
    // then ends long before the total time-out.
    printer.sendBytes(bytes("abc"));
    printer.sendBytes(bytes("def"), 20);
    Stopwatch watch;
    EXPECT_EQ("abcdef", text(read(handle, COMMTIMEOUTS{400, 0, 30000, 0, 0})));
    EXPECT_GE(watch.ms(), 400);
    EXPECT_LT(watch.ms(), 10000);

    // An interval of 5 ms does not wait for data 500 ms later.
    printer.sendBytes(bytes("ghi"));
    printer.sendBytes(bytes("jkl"), 500);
    EXPECT_EQ("ghi", text(read(handle, COMMTIMEOUTS{5, 0, 30000, 0, 0})));
    EXPECT_EQ("jkl", text(read(handle, COMMTIMEOUTS{5, 0, 30000, 0, 0})));
}

TEST_F(VirtualPort, ReadWithIntervalAndMultiplierMaxReturnsWithTheFirstData) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    const COMMTIMEOUTS firstByte{MAXDWORD, MAXDWORD, 5000, 0, 0};
    printer.sendBytes(bytes("soon"), 30);
    Stopwatch watch;
    EXPECT_EQ("soon", text(read(handle, firstByte)));
    EXPECT_LT(watch.ms(), 4000);

    Stopwatch empty;
    EXPECT_TRUE(read(handle, COMMTIMEOUTS{MAXDWORD, MAXDWORD, 50, 0, 0}).empty());
    EXPECT_GE(empty.ms(), 45);
}

TEST_F(VirtualPort, ReadThatFillsTheBufferEndsAtOnceAndLeavesTheRest) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    printer.sendBytes(bytes("0123456789"));
    Stopwatch watch;
    EXPECT_EQ("0123", text(read(handle, COMMTIMEOUTS{0, 0, 30000, 0, 0}, 4)));
    EXPECT_LT(watch.ms(), 10000);
    EXPECT_EQ(6u, ports.port(1).backChannelPending());
    // All time-outs zero: the read waits for the whole buffer.
    printer.sendBytes(bytes("ab"), 20);
    EXPECT_EQ("456789ab", text(read(handle, COMMTIMEOUTS{0, 0, 0, 0, 0}, 8)));
}

TEST_F(VirtualPort, ImpossibleReadTimeoutsAreRefused) {
    HANDLE handle = open(1);
    COMMTIMEOUTS t{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    SetLastError(0);
    EXPECT_FALSE(seam().setCommTimeouts(handle, &t));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    COMMTIMEOUTS good{1, 0, 50, 0, 60000};
    EXPECT_TRUE(seam().setCommTimeouts(handle, &good));
    EXPECT_EQ(60000u, ports.port(1).lastCommTimeouts().WriteTotalTimeoutConstant);
}

TEST_F(VirtualPort, WritesRecordTheTimeoutsInForce) {
    ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    COMMTIMEOUTS first{1, 0, 50, 0, 60000};
    ASSERT_TRUE(seam().setCommTimeouts(handle, &first));
    ASSERT_TRUE(write(handle, bytes("one")));
    COMMTIMEOUTS second{1, 0, 50, 0, 1000};
    ASSERT_TRUE(seam().setCommTimeouts(handle, &second));
    ASSERT_TRUE(write(handle, bytes("two")));
    const std::vector<sim::PortWrite> writes = ports.port(1).writes();
    ASSERT_EQ(2u, writes.size());
    EXPECT_EQ("one", text(writes[0].data));
    EXPECT_EQ(60000u, writes[0].timeouts.WriteTotalTimeoutConstant);
    EXPECT_EQ(1000u, writes[1].timeouts.WriteTotalTimeoutConstant);
    EXPECT_TRUE(writes[1].succeeded);
}

TEST_F(VirtualPort, WriteTakesItsTimeAtTheLinkSpeed) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    ports.port(1).setLinkSpeed(10000);
    HANDLE handle = open(1);
    const Bytes data(600, 'p');
    Stopwatch watch;
    ASSERT_TRUE(write(handle, data));
    EXPECT_GE(watch.ms(), 55);
    EXPECT_EQ(data, printer.printData());
}

TEST_F(VirtualPort, WriteBeyondItsTimeoutSendsWhatFitsAndFails) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    ports.port(1).setLinkSpeed(10000);
    HANDLE handle = open(1);
    COMMTIMEOUTS t{1, 0, 50, 0, 30};
    ASSERT_TRUE(seam().setCommTimeouts(handle, &t));
    const Bytes data(1000, 'q');
    DWORD written = 0;
    SetLastError(0);
    EXPECT_FALSE(seam().writeFile(handle, data.data(), DWORD(data.size()), &written, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SEM_TIMEOUT), GetLastError());
    EXPECT_EQ(300u, written);
    EXPECT_EQ(Bytes(300, 'q'), printer.printData());
    EXPECT_EQ(static_cast<DWORD>(CE_PTO), commErrors(handle));
}

// Faults.

TEST_F(VirtualPort, EachPortErrorFlagIsReportedOnceAfterAFailedWrite) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    const DWORD flags[] = {CE_OOP, CE_IOE, CE_BREAK, CE_DNS, CE_PTO, CE_OOP | CE_IOE | CE_PTO};
    for (DWORD flag : flags) {
        ports.port(1).failWrites(1, flag, ERROR_GEN_FAILURE);
        DWORD written = 5;
        SetLastError(0);
        EXPECT_FALSE(seam().writeFile(handle, "job", 3, &written, nullptr)) << flag;
        EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), GetLastError()) << flag;
        EXPECT_EQ(0u, written) << flag;
        EXPECT_EQ(flag, commErrors(handle));
        EXPECT_EQ(0u, commErrors(handle)) << flag;
        EXPECT_TRUE(write(handle, bytes("ok"))) << "only the asked-for writes fail";
    }
    EXPECT_EQ(6u * 2, printer.printData().size());

    ports.port(1).setCommErrors(CE_OOP);
    EXPECT_EQ(static_cast<DWORD>(CE_OOP), commErrors(handle));
}

TEST_F(VirtualPort, FailedClearCommErrorAndFailedReads) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    ports.port(1).failClearCommError(true);
    DWORD errors = 0;
    EXPECT_FALSE(seam().clearCommError(handle, &errors, nullptr));
    ports.port(1).failClearCommError(false);
    EXPECT_TRUE(seam().clearCommError(handle, &errors, nullptr));

    printer.sendBytes(bytes("kept"));
    ports.port(1).failReads(2, ERROR_IO_DEVICE);
    char buffer[16];
    DWORD got = 9;
    for (int i = 0; i < 2; ++i) {
        SetLastError(0);
        EXPECT_FALSE(seam().readFile(handle, buffer, sizeof buffer, &got, nullptr));
        EXPECT_EQ(static_cast<DWORD>(ERROR_IO_DEVICE), GetLastError());
        EXPECT_EQ(0u, got);
    }
    EXPECT_EQ("kept", text(read(handle, atOnce))) << "a failed read loses no data";
    EXPECT_EQ(3u, ports.port(1).readCount());
}

TEST_F(VirtualPort, PrinterGoesAwayUnderABlockedReadAndComesBack) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    COMMTIMEOUTS slow{0, 0, 20000, 0, 0};
    ASSERT_TRUE(seam().setCommTimeouts(handle, &slow));
    BOOL result = TRUE;
    DWORD error = 0;
    std::thread reader([&] {
        char buffer[16];
        DWORD got = 0;
        result = seam().readFile(handle, buffer, sizeof buffer, &got, nullptr);
        error = GetLastError();
    });
    EXPECT_TRUE(write(handle, bytes("before")));
    EXPECT_TRUE(ports.port(1).waitForReads(1, 10000));
    Stopwatch watch;
    ports.port(1).detachPrinter();
    reader.join();
    EXPECT_LT(watch.ms(), 10000) << "the read ends when the printer goes, not at its time-out";
    EXPECT_FALSE(result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), error);
    EXPECT_FALSE(write(handle, bytes("while away")));

    // Back under the same handle, with a fresh intake and its record kept.
    ports.port(1).attachPrinter();
    EXPECT_FALSE(ports.port(1).printer().printData().empty());
    ASSERT_TRUE(write(handle, bytes("after")));
    EXPECT_EQ("beforeafter", text(printer.printData()));
    printer.sendBytes(bytes("hello"));
    EXPECT_EQ("hello", text(read(handle, atOnce)));
}

TEST_F(VirtualPort, PortThatVanishesFailsItsHandles) {
    ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    ports.port(1).setPresent(false);
    SetLastError(0);
    EXPECT_FALSE(write(handle, bytes("x")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED), GetLastError());
    DWORD errors = 0;
    EXPECT_FALSE(seam().clearCommError(handle, &errors, nullptr));
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, open(1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    ports.port(1).setPresent(true);
    EXPECT_TRUE(write(handle, bytes("x")));
}

} // namespace

namespace {

struct BlockedRead {
    HANDLE port;
    BOOL result = FALSE;
};

unsigned WINAPI readForever(void* argument) {
    auto* read = static_cast<BlockedRead*>(argument);
    char buffer[64];
    DWORD got = 0;
    read->result = PortSystem::current().readFile(read->port, buffer, sizeof buffer, &got, nullptr);
    return 0;
}

// The adapter terminates a read thread that does not stop in time; the port
// must stay usable for the threads that remain.
TEST_F(VirtualPort, ThreadTerminatedInsideAReadLeavesThePortUsable) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    for (COMMTIMEOUTS t : {COMMTIMEOUTS{0, 0, 0, 0, 0}, COMMTIMEOUTS{50, 5, 2500, 10, 2500}}) {
        ASSERT_TRUE(seam().setCommTimeouts(handle, &t));
        const unsigned before = ports.port(1).readCount();
        BlockedRead blocked{handle};
        HANDLE thread =
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, readForever, &blocked, 0, nullptr));
        ASSERT_NE(nullptr, thread);
        EXPECT_TRUE(ports.port(1).waitForReads(before + 1, 10000));
        EXPECT_TRUE(TerminateThread(thread, 0));
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
        EXPECT_TRUE(CloseHandle(thread));

        printer.sendBytes(bytes("still here"));
        EXPECT_EQ("still here", text(read(handle, atOnce)));
        EXPECT_TRUE(write(handle, bytes("and writing")));
    }
    EXPECT_EQ("and writingand writing", text(printer.printData()));
}

} // namespace

TEST_F(VirtualPort, ReadsHandOutAtMostTheDriversReadSize) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    ports.port(1).setReadSize(2);
    printer.sendBytes(bytes("abcde"));
    std::vector<std::string> reads;
    for (int i = 0; i < 3; ++i) {
        reads.push_back(text(read(handle, atOnce)));
    }
    EXPECT_EQ((std::vector<std::string>{"ab", "cd", "e"}), reads);
}

TEST_F(VirtualPort, APrinterThatVanishesMidWriteHasWhatCameBefore) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    ports.port(1).vanishAfter(7);
    ASSERT_TRUE(write(handle, bytes("12345")));
    const Bytes rest = bytes("67890");
    DWORD written = 99;
    EXPECT_FALSE(seam().writeFile(handle, rest.data(), DWORD(rest.size()), &written, nullptr));
    EXPECT_EQ(DWORD(ERROR_NOT_READY), GetLastError());
    EXPECT_EQ(2u, written);
    EXPECT_EQ("1234567", text(printer.printData()));
    EXPECT_FALSE(ports.port(1).printerAttached());
    EXPECT_EQ(DWORD(CE_DNS), commErrors(handle));
}

TEST_F(VirtualPort, APrinterThatGoesDuringASlowWriteHasTheBytesThatCrossed) {
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    HANDLE handle = open(1);
    ports.port(1).setLinkSpeed(1000);
    const Bytes job(2000, 'x');
    DWORD written = 0;
    BOOL ok = TRUE;
    std::thread writer(
        [&] { ok = seam().writeFile(handle, job.data(), DWORD(job.size()), &written, nullptr); });
    // Time at the link speed, not a hand-over: some bytes cross meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ports.port(1).detachPrinter();
    writer.join();
    EXPECT_FALSE(ok);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, 2000u);
    EXPECT_EQ(std::size_t(written), printer.printData().size());
}
