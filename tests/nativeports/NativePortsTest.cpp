// The Linux build's own ports (platform/linux/ports.cpp) on real descriptors:
// the virtual printer served on pseudo-terminals (sim/linux/PtyPrinter.h)
// behind PAR1_PARALLEL_DEVICES, reached through the seam's system default by
// the port calls and by the whole module (discovery, connections, printing).
#include "devices/Discoverer.h"
#include "devices/Observer.h"
#include "devices/Par1Devices.h"
#include "entry/TransportExports.h"
#include "port/Par1Adapter.h"
#include "port/PortSystem.h"
#include "shared/BasicLogger.h"
#include "sim/linux/PtyPrinter.h"
#include "support/PrinterConnection.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

namespace fs = std::filesystem;
using platform::testing::DeviceKind;
using Clock = std::chrono::steady_clock;

// The payload of a print packet of the default size, 4096 bytes.
const size_t payload = 4096 - 5;

std::string kindName(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::Lp:
        return "lp";
    case DeviceKind::UsbLp:
        return "usblp";
    default:
        return "other";
    }
}

// A host's observer of discovery.
class Reports : public Observer {
public:
    using Observer::update;
    void update(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        texts_.push_back(text);
    }
    std::vector<std::string> texts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> texts_;
};

class NativePorts : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string name = "par1-native-" + std::to_string(GetCurrentProcessId()) + "-" + test;
        std::replace(name.begin(), name.end(), '/', '-');
        directory_ = fs::temp_directory_path() / name;
        fs::remove_all(directory_);
        fs::create_directories(directory_);
        ASSERT_TRUE(SetEnvironmentVariableA("PAR1_PARALLEL_DEVICES", directory_.c_str()));
        terminations_ = Par1Adapter::terminatedReadThreads();
    }

    void TearDown() override {
        for (HANDLE handle : handles_) {
            ports().closeHandle(handle);
        }
        for (const std::string& name : names_) {
            while (ports().defineDosDevice(DDD_REMOVE_DEFINITION, name.c_str(), nullptr)) {
            }
        }
        if (initialised_) {
            TransportUninitialize();
            // The module's shut-down releases the logger; the program's other
            // tests keep logging.
            BasicLogger::createInstance();
        }
        printers_.clear();
        platform::testing::setSystemRoot("");
        SetEnvironmentVariableA("PAR1_PARALLEL_DEVICES", nullptr);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
        // Every read of a port ends by itself, a hung-up one too.
        EXPECT_EQ(terminations_, Par1Adapter::terminatedReadThreads())
            << "a read thread was ended with TerminateThread";
    }

    static PortSystem& ports() { return PortSystem::native(); }

    // A printer on LPTn: the device lp(n-1) links to its line.
    sim::PtyPrinter& serve(unsigned lpt, DeviceKind kind, unsigned minor = 0) {
        printers_.push_back(std::make_unique<sim::PtyPrinter>(
            (directory_ / ("lp" + std::to_string(lpt - 1))).string(), kind, minor));
        return *printers_.back();
    }

    // Names LPTn as the module does and opens it.
    HANDLE open(unsigned lpt) {
        const std::string name = "VANTREL_LPT" + std::to_string(lpt);
        const std::string target = "\\Device\\Parallel" + std::to_string(lpt - 1);
        ports().defineDosDevice(DDD_RAW_TARGET_PATH, name.c_str(), target.c_str());
        names_.push_back(name);
        HANDLE handle = ports().createFile(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            handles_.push_back(handle);
        }
        return handle;
    }

    static std::string deviceId(HANDLE handle, DWORD& error) {
        std::vector<char> buffer(4096, '\0');
        DWORD returned = 0;
        SetLastError(0);
        if (!ports().deviceIoControl(handle, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, buffer.data(),
                                     DWORD(buffer.size()), &returned, nullptr)) {
            error = GetLastError();
            return "";
        }
        error = 0;
        return std::string(buffer.data());
    }

    static bool writeAll(HANDLE handle, const std::string& bytes) {
        DWORD written = 0;
        return ports().writeFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }

    void initialise() {
        ASSERT_EQ(0u, TransportInitialize());
        initialised_ = true;
        Par1Devices::getInstance()->emptyList();
    }

    static std::vector<std::string> discover() {
        Reports reports;
        Discoverer* discoverer = TransportGetDiscoverer();
        reports.attachTo(discoverer);
        EXPECT_EQ(0u, discoverer->discover(""));
        reports.detachFromAll();
        return reports.texts();
    }

    fs::path directory_;
    std::vector<std::unique_ptr<sim::PtyPrinter>> printers_;
    std::vector<HANDLE> handles_;
    std::vector<std::string> names_;
    bool initialised_ = false;
    unsigned terminations_ = 0;
};

// A connection as a host makes it, over the system's own ports.
class Connection {
public:
    explicit Connection(unsigned lpt) {
        ConnectionManager* manager = TransportGetConnectionManager();
        layer_ = manager->doGet(&host_, par1test::transportString(lpt), "bidi");
        opened_ = layer_ != nullptr && layer_->open() == 0;
    }
    ~Connection() {
        if (layer_ == nullptr) {
            return;
        }
        if (opened_) {
            layer_->close();
        }
        TransportGetConnectionManager()->doRelease(layer_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool opened() const { return opened_; }

    uint32_t visit(const std::string& name, Data* data) {
        VisitorManager* visitors = TransportGetVisitorManager();
        Visitor* visitor = visitors->getVisitor(name);
        visitor->setData(data);
        visitor->setLastLayer(&host_);
        layer_->doAccept(*visitor);
        const uint32_t error = visitor->error();
        visitors->releaseVisitor(visitor);
        return error;
    }
    // The NPA mode asked as a host asks it, then wrapping on or off.
    void wrap(bool on) {
        if (on) {
            Data mode(4, 0);
            EXPECT_EQ(0u, visit("getNpaModeVisitor", &mode));
        }
        Data wrap(1, on ? 1 : 0);
        EXPECT_EQ(0u, visit("setNpaWrapModeVisitor", &wrap));
    }
    // Writes through the top layer: the error, and the count in written.
    uint32_t write(const sim::Bytes& job, uint32_t& written) {
        Data data(std::string(job.begin(), job.end()));
        layer_->doWrite(data);
        written = data.count();
        return data.error();
    }

private:
    par1test::RecordingHost host_;
    Layer* layer_ = nullptr;
    bool opened_ = false;
};

// The autoprobe files of a parport, and sysfs leading from lp2 to it, in a
// directory that the ports take for the root.
void fakeParport(const fs::path& root, const std::string& parport, const std::string& probe) {
    const fs::path proc = root / "proc/sys/dev/parport" / parport;
    fs::create_directories(proc);
    std::ofstream(proc / "autoprobe") << probe;
}

TEST_F(NativePorts, DiscoveryReportsThePrintersThatIdentifyThemselves) {
    // LPT1: usblp answers the identification; LPT2: usblp, a printer without
    // one; LPT3: lp, whose parport read it at probe time (lp2 on parport0);
    // LPT4: a serial adapter, no printer driver.
    serve(1, DeviceKind::UsbLp);
    serve(2, DeviceKind::UsbLp).printer().setDeviceId("");
    serve(3, DeviceKind::Lp, 2);
    serve(4, DeviceKind::Other);
    const fs::path root = directory_ / "root";
    fakeParport(root, "parport0", "CLASS:PRINTER;\nMODEL:Model 2;\nMANUFACTURER:Maker;\n");
    fs::create_directories(root / "sys/devices/pnp0/00:07/parport0/lp.2");
    fs::create_directories(root / "sys/bus/parport/devices");
    fs::create_directory_symlink("../../../devices/pnp0/00:07/parport0/lp.2",
                                 root / "sys/bus/parport/devices/lp.2");
    platform::testing::setSystemRoot(root.string());

    initialise();
    const std::vector<std::string> found = discover();
    ASSERT_EQ(2u, found.size());
    EXPECT_NE(std::string::npos, found[0].find("<Portname>LPT1:</Portname>")) << found[0];
    EXPECT_NE(std::string::npos, found[1].find("<Portname>LPT3:</Portname>")) << found[1];
}

// The lp driver has no identification query: the parport layer's probe of
// the lp device's own port stands for it, found through sysfs whatever
// PAR1_PARALLEL_DEVICES says, and lpN need not print on parportN.
TEST_F(NativePorts, LpIdentificationComesFromItsOwnParport) {
    struct Layout {
        const char* name;
        const char* device; // below sys/devices
        const char* link;   // below sys, leading to it
        const char* target;
    };
    const Layout layouts[] = {
        {"parport bus", "pnp0/00:07/parport1/lp.2", "bus/parport/devices/lp.2",
         "../../../devices/pnp0/00:07/parport1/lp.2"},
        {"character device", "parport1/printer/lp2", "dev/char/6:2",
         "../../devices/parport1/printer/lp2"},
    };
    serve(3, DeviceKind::Lp, 2);
    HANDLE port = open(3);
    ASSERT_NE(INVALID_HANDLE_VALUE, port);
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const fs::path root = directory_ / layout.name;
        fakeParport(root, "parport1",
                    "CLASS:PRINTER;\nMODEL:Model 7;\nMANUFACTURER:Maker;\nCOMMAND SET:PJL;\n");
        // What the port with lp's own number holds is another printer's.
        fakeParport(root, "parport2", "MODEL:Not this one;\n");
        fs::create_directories(root / "sys/devices" / layout.device);
        fs::create_directories((root / "sys" / layout.link).parent_path());
        fs::create_directory_symlink(layout.target, root / "sys" / layout.link);
        platform::testing::setSystemRoot(root.string());

        DWORD error = 0;
        EXPECT_EQ("CLS:PRINTER;MDL:Model 7;MFG:Maker;CMD:PJL;", deviceId(port, error));
        EXPECT_EQ(0u, error);
    }
    // Without sysfs' word there is no identification.
    platform::testing::setSystemRoot((directory_ / "empty").string());
    DWORD error = 0;
    EXPECT_EQ("", deviceId(port, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), error);
}

struct PrintCase {
    DeviceKind kind;
    bool wrapped;
};

class NativePrint : public NativePorts, public ::testing::WithParamInterface<PrintCase> {};

// Wrapped and unwrapped, on a device that can be polled (usblp) and one that
// cannot (lp): every byte arrives once and in order.
TEST_P(NativePrint, JobArrivesByteForByte) {
    sim::PtyPrinter& served = serve(1, GetParam().kind);
    initialise();
    Connection connection(1);
    ASSERT_TRUE(connection.opened());
    connection.wrap(GetParam().wrapped);
    const sim::Bytes job = par1test::pattern(200 * 1000);
    uint32_t written = 0;
    EXPECT_EQ(0u, connection.write(job, written));
    EXPECT_EQ(job.size(), written);
    ASSERT_TRUE(served.printer().waitForPrintData(job.size(), 10000));
    EXPECT_TRUE(served.printer().printData() == job);
    if (GetParam().wrapped) {
        EXPECT_EQ((job.size() + payload - 1) / payload, served.printer().packetCount());
    } else {
        EXPECT_EQ(0u, served.printer().packetCount());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Devices, NativePrint,
    ::testing::Values(PrintCase{DeviceKind::UsbLp, true}, PrintCase{DeviceKind::UsbLp, false},
                      PrintCase{DeviceKind::Lp, true}, PrintCase{DeviceKind::Lp, false}),
    [](const ::testing::TestParamInfo<PrintCase>& info) {
        return kindName(info.param.kind) + (info.param.wrapped ? "_wrapped" : "_unwrapped");
    });

TEST_F(NativePorts, RefusedPacketsAreSentAgain) {
    sim::PtyPrinter& served = serve(1, DeviceKind::UsbLp);
    served.printer().refuseNext(3);
    initialise();
    Connection connection(1);
    ASSERT_TRUE(connection.opened());
    connection.wrap(true);
    const sim::Bytes job = par1test::pattern(5 * 4096);
    uint32_t written = 0;
    EXPECT_EQ(0u, connection.write(job, written));
    EXPECT_EQ(job.size(), written);
    EXPECT_TRUE(served.printer().printData() == job);
    // Six print packets, the first one three times more.
    const std::vector<sim::Bytes> packets = served.printer().packets();
    EXPECT_EQ(6 + 3, std::count_if(packets.begin(), packets.end(), [](const sim::Bytes& packet) {
                  return packet.size() >= 5 && packet[4] == 0x00;
              }));
}

// A printer that stops taking data: the write ends with its time-out, having
// sent what the line took; once the printer goes on, the rest follows.
TEST_F(NativePorts, StalledPrinterTimesTheWriteOut) {
    sim::PtyPrinter& served = serve(1, DeviceKind::UsbLp);
    HANDLE port = open(1);
    ASSERT_NE(INVALID_HANDLE_VALUE, port);
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 100};
    ASSERT_TRUE(ports().setCommTimeouts(port, &timeouts));
    served.stall(true);
    const sim::Bytes job = par1test::pattern(1 << 20);
    DWORD written = 0;
    SetLastError(0);
    EXPECT_FALSE(ports().writeFile(port, job.data(), DWORD(job.size()), &written, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SEM_TIMEOUT), GetLastError());
    EXPECT_LT(written, job.size());
    DWORD errors = 0;
    EXPECT_TRUE(ports().clearCommError(port, &errors, nullptr));
    EXPECT_EQ(static_cast<DWORD>(CE_PTO), errors & CE_PTO);

    served.stall(false);
    timeouts.WriteTotalTimeoutConstant = 0;
    ASSERT_TRUE(ports().setCommTimeouts(port, &timeouts));
    DWORD rest = 0;
    EXPECT_TRUE(
        ports().writeFile(port, job.data() + written, DWORD(job.size() - written), &rest, nullptr));
    EXPECT_EQ(job.size() - written, rest);
    ASSERT_TRUE(served.printer().waitForPrintData(job.size(), 10000));
    EXPECT_TRUE(served.printer().printData() == job);
}

// A printer that dies mid-job: the job fails with what got through counted,
// and the connection closes at once (its read thread sees the hang-up and
// ends by itself; TearDown checks that none was killed).
TEST_F(NativePorts, PrinterKilledMidJobFailsTheJob) {
    sim::PtyPrinter& served = serve(1, DeviceKind::UsbLp);
    served.port().setLinkSpeed(2000000);
    initialise();
    auto connection = std::make_unique<Connection>(1);
    ASSERT_TRUE(connection->opened());
    connection->wrap(false);
    const sim::Bytes job = par1test::pattern(8 << 20);
    uint32_t error = 0;
    uint32_t written = 0;
    std::thread writer([&] { error = connection->write(job, written); });
    ASSERT_TRUE(served.printer().waitForPrintData(256 * 1024, 10000));
    served.kill();
    writer.join();
    EXPECT_NE(0u, error);
    EXPECT_LT(written, job.size());
    EXPECT_LE(served.printer().printData().size(), job.size());
    const auto start = Clock::now();
    connection.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

// A hung-up line: on a device that is not lp's or usblp's, a read of
// nothing is the device gone, reported at once; lp answers nothing when the
// printer has nothing to say.
TEST_F(NativePorts, HungUpLineIsTheDeviceGone) {
    struct Case {
        DeviceKind kind;
        bool gone;
    };
    for (const Case& c : {Case{DeviceKind::Other, true}, Case{DeviceKind::Lp, false}}) {
        SCOPED_TRACE(kindName(c.kind));
        sim::PtyPrinter& served = serve(1, c.kind);
        HANDLE port = open(1);
        ASSERT_NE(INVALID_HANDLE_VALUE, port);
        COMMTIMEOUTS timeouts{1, 0, 50, 0, 0};
        ASSERT_TRUE(ports().setCommTimeouts(port, &timeouts));
        served.kill();
        char buffer[255];
        DWORD got = 9;
        SetLastError(0);
        const BOOL read = ports().readFile(port, buffer, sizeof buffer, &got, nullptr);
        EXPECT_EQ(0u, got);
        DWORD errors = 0;
        EXPECT_TRUE(ports().clearCommError(port, &errors, nullptr));
        if (c.gone) {
            EXPECT_FALSE(read);
            EXPECT_EQ(static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED), GetLastError());
            EXPECT_EQ(static_cast<DWORD>(CE_DNS), errors & CE_DNS);
        } else {
            EXPECT_TRUE(read);
        }
        printers_.clear();
    }
}

// A printer replaced (unplugged and plugged in again) while a handle of the
// old one is held: a new open reaches the new printer, not the old
// descriptor; so does discovery while a connection is held.
TEST_F(NativePorts, ReplacedPrinterIsReachedWhileTheOldOneIsHeld) {
    sim::PtyPrinter& first = serve(1, DeviceKind::UsbLp);
    first.printer().setDeviceId("MFG:First;MDL:One;");
    HANDLE old = open(1);
    ASSERT_NE(INVALID_HANDLE_VALUE, old);
    first.kill();
    sim::PtyPrinter& second = serve(1, DeviceKind::UsbLp);
    second.printer().setDeviceId("MFG:Second;MDL:Two;");

    HANDLE fresh = open(1);
    ASSERT_NE(INVALID_HANDLE_VALUE, fresh);
    DWORD error = 0;
    EXPECT_EQ("MFG:Second;MDL:Two;", deviceId(fresh, error));
    EXPECT_EQ(0u, error);
    EXPECT_TRUE(writeAll(fresh, "to the second"));
    ASSERT_TRUE(second.printer().waitForPrintData(13, 5000));
    EXPECT_EQ(sim::bytes("to the second"), second.printer().printData());
    // The old handle stays with the old printer, which is gone.
    EXPECT_EQ("", deviceId(old, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED), error);
    EXPECT_FALSE(writeAll(old, "x"));

    initialise();
    Connection held(1);
    ASSERT_TRUE(held.opened());
    second.kill();
    serve(1, DeviceKind::UsbLp).printer().setDeviceId("MFG:Third;MDL:Three;");
    const std::vector<std::string> found = discover();
    ASSERT_EQ(1u, found.size());
    EXPECT_NE(std::string::npos, found[0].find("<Portname>LPT1:</Portname>"));
}

// On lp, which cannot be polled, a reply is seen about as soon as on a
// device that can be: the median of many round trips (a PJL query and its
// answer) is within a millisecond of the pollable device's.
TEST_F(NativePorts, LpSeesRepliesAboutAsSoonAsAPolledDevice) {
    const std::string query = "\x1b%-12345X@PJL DINQUIRE XNPAP\r\n";
    auto medianRoundTrip = [&](DeviceKind kind) {
        serve(1, kind);
        HANDLE port = open(1);
        EXPECT_NE(INVALID_HANDLE_VALUE, port);
        COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, 2000, 0, 0};
        ports().setCommTimeouts(port, &timeouts);
        std::vector<double> trips;
        for (int i = 0; i < 40; ++i) {
            const auto start = Clock::now();
            EXPECT_TRUE(writeAll(port, query));
            std::string answer;
            while (answer.find('\f') == std::string::npos) {
                char buffer[255];
                DWORD got = 0;
                if (!ports().readFile(port, buffer, sizeof buffer, &got, nullptr) || got == 0) {
                    ADD_FAILURE() << "no answer";
                    return 0.0;
                }
                answer.append(buffer, got);
            }
            trips.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::sort(trips.begin(), trips.end());
        ports().closeHandle(port);
        handles_.clear();
        printers_.clear();
        return trips[trips.size() / 2];
    };
    const double polled = medianRoundTrip(DeviceKind::UsbLp);
    const double sliced = medianRoundTrip(DeviceKind::Lp);
    EXPECT_LT(sliced, polled + 1.0) << "usblp " << polled << " ms, lp " << sliced << " ms";
}

} // namespace
