// Holds a connection to the virtual printer open while nothing is printed and
// the printer sends nothing, and reports the CPU time the process used: what
// an idle connection costs its host. Two ports: a printer that stays silent
// (each read waits for "ReadTimeout" before it returns empty), and a port
// without a back channel, whose reads return at once with nothing. A third
// row polls in the rhythm of an idle connection at rest without the
// transport (an event wait of 50 ms, then 250 ms of Sleep): the platform's
// own floor.
//
//     idle_connection [--seconds N]    (default 10)
//
// On Linux the registry and drive C: are a private directory below the
// temporary directory (or PAR1_REGISTRY / PAR1_DRIVE_C when set); logging is
// off.
#include "bench/support/BenchSupport.h"
#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "entry/TransportExports.h"
#include "platform/win32.h"
#include "port/PortSystem.h"
#include "protocol/Data.h"
#include "protocol/Layer.h"
#include "sim/ForwardingPorts.h"
#include "sim/VirtualPorts.h"
#include "tests/support/QuietHost.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The virtual ports, counting reads; with nothingAtOnce, every read returns
// at once without a byte, as a port without a back channel does.
class CountingPorts : public sim::ForwardingPorts {
public:
    CountingPorts(sim::VirtualPorts& ports, bool nothingAtOnce)
        : ForwardingPorts(ports), nothingAtOnce_(nothingAtOnce) {}

    unsigned long reads() const { return reads_.load(); }

    BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) override {
        ++reads_;
        if (nothingAtOnce_) {
            *bytesRead = 0;
            return TRUE;
        }
        return ForwardingPorts::readFile(file, buffer, bytesToRead, bytesRead, overlapped);
    }

private:
    const bool nothingAtOnce_;
    std::atomic<unsigned long> reads_{0};
};

void idle(const char* name, bool nothingAtOnce, DWORD seconds) {
    sim::VirtualPorts ports;
    ports.port(1).attachPrinter();
    CountingPorts counting(ports, nothingAtOnce);
    ScopedPortSystem installed(counting);
    if (TransportInitialize() != 0) {
        std::printf("%-28s failed: TransportInitialize\n", name);
        return;
    }
    std::string text;
    TransportProperties properties;
    properties.setString(text, PropertyRecords::Portname, "LPT1:");
    properties.setLong(text, PropertyRecords::Handle, 0x1001);
    par1test::QuietHost host;
    ConnectionManager* manager = TransportGetConnectionManager();
    Layer* connection = manager->doGet(&host, text, "bidi");
    if (connection == nullptr || connection->open() != 0) {
        std::printf("%-28s failed: no open connection\n", name);
    } else {
        const unsigned long readsBefore = counting.reads();
        const double cpuBefore = bench::processCpuSeconds();
        Sleep(seconds * 1000);
        const double cpu = bench::processCpuSeconds() - cpuBefore;
        const unsigned long reads = counting.reads() - readsBefore;
        connection->close();
        std::printf("%-28s %8u %10.1f %12.4f%% %8lu %10.1f\n", name, static_cast<unsigned>(seconds),
                    cpu * 1000.0, 100.0 * cpu / seconds, reads,
                    static_cast<double>(reads) / seconds);
    }
    if (connection != nullptr) {
        manager->doRelease(connection);
    }
    TransportUninitialize();
}

// The rhythm at rest without the transport: a wait of "ReadTimeout" on an
// event nobody sets, then the longest pause. What the platform itself costs
// per poll.
void floor(DWORD seconds) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        std::printf("%-28s failed: no event\n", "floor: wait 50 + sleep 250");
        return;
    }
    const double cpuBefore = bench::processCpuSeconds();
    const DWORD start = GetTickCount();
    unsigned long polls = 0;
    while (GetTickCount() - start < seconds * 1000) {
        WaitForSingleObject(event, 50);
        Sleep(250);
        ++polls;
    }
    const double cpu = bench::processCpuSeconds() - cpuBefore;
    CloseHandle(event);
    std::printf("%-28s %8u %10.1f %12.4f%% %8lu %10.1f\n", "floor: wait 50 + sleep 250",
                static_cast<unsigned>(seconds), cpu * 1000.0, 100.0 * cpu / seconds, polls,
                static_cast<double>(polls) / seconds);
}

} // namespace

int main(int argc, char** argv) {
    bench::usePrivateStore("par1-bench-");
    DWORD seconds = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            std::fprintf(stderr, "usage: idle_connection [--seconds N]\n");
            return 2;
        }
    }
    if (seconds == 0) {
        std::fprintf(stderr, "at least one second\n");
        return 2;
    }
    std::printf("load average %s\n", bench::loadAverage().c_str());
    std::printf("%-28s %8s %10s %13s %8s %10s\n", "port", "seconds", "CPU ms", "of one core",
                "reads", "reads/s");
    idle("silent printer", false, seconds);
    idle("reads return at once, empty", true, seconds);
    floor(seconds);
    return 0;
}
