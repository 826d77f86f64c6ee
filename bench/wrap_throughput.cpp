// Prints a job through the whole stack (connection manager, wrap layer, NPA
// and PJL layers, adapter, port seam) to the virtual printer, wrapped into
// acknowledged NPA packets and unwrapped, at several link speeds, and reports
// the throughput.
//
//     wrap_throughput [job bytes, default 1048576]
//
// On Linux the registry and drive C: are a private directory below the
// temporary directory (or PAR1_REGISTRY / PAR1_DRIVE_C when set); logging is
// off.
#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "entry/TransportExports.h"
#include "platform/win32.h"
#include "port/PortSystem.h"
#include "protocol/Data.h"
#include "protocol/Layer.h"
#include "sim/VirtualPorts.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// What the printer sends back (acknowledgements are taken below) is dropped.
class Host : public Layer {
public:
    using Layer::doAccept;
    void doAccept(Data&) override {}
    void doAccept(Visitor&) override {}
};

struct Result {
    bool ok = false;
    double seconds = 0;
    size_t packets = 0;
    std::string failure;
};

std::string transportString() {
    std::string text;
    TransportProperties properties;
    properties.setString(text, PropertyRecords::Portname, "LPT1:");
    properties.setLong(text, PropertyRecords::Handle, 0x1001);
    return text;
}

Result printJob(const std::vector<unsigned char>& job, DWORD linkSpeed, bool wrapped,
                uint32_t chunk) {
    Result result;
    sim::VirtualPorts ports;
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    ports.port(1).setLinkSpeed(linkSpeed);
    ScopedPortSystem installed(ports);
    if (TransportInitialize() != 0) {
        result.failure = "TransportInitialize failed";
        return result;
    }
    Host host;
    ConnectionManager* manager = TransportGetConnectionManager();
    Layer* connection = manager->doGet(&host, transportString(), "bidi");
    if (connection->open() != 0) {
        result.failure = "open failed";
    } else {
        if (!wrapped) {
            VisitorManager* visitors = TransportGetVisitorManager();
            Visitor* off = visitors->getVisitor("setNpaWrapModeVisitor");
            Data zero(1, 0x00);
            off->setData(&zero);
            off->setLastLayer(&host);
            connection->doAccept(*off);
            visitors->releaseVisitor(off);
        }
        Clock::time_point start = Clock::now();
        size_t at = 0;
        while (at < job.size() && result.failure.empty()) {
            uint32_t n = static_cast<uint32_t>(std::min<size_t>(chunk, job.size() - at));
            Data data(job.data() + at, n);
            connection->doWrite(data);
            if (data.error() != 0 || data.count() != n) {
                result.failure = "write failed, error " + std::to_string(data.error());
            }
            at += n;
        }
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        connection->close();
        if (result.failure.empty()) {
            if (printer.printData() != job) {
                result.failure = "the printer did not receive the job exactly once";
            } else {
                result.ok = true;
            }
        }
        result.packets = printer.packets().size();
    }
    manager->doRelease(connection);
    TransportUninitialize();
    return result;
}

void usePrivateStore() {
#ifndef _WIN32
    if (std::getenv("PAR1_REGISTRY") != nullptr) {
        return;
    }
    const char* temporary = std::getenv("TMPDIR");
    std::string directory = std::string(temporary != nullptr ? temporary : "/tmp") +
                            "/par1-bench-" + std::to_string(GetCurrentProcessId());
    SetEnvironmentVariableA("PAR1_REGISTRY", (directory + "/registry.db").c_str());
    SetEnvironmentVariableA("PAR1_DRIVE_C", (directory + "/drive_c").c_str());
#endif
}

std::string speedText(DWORD bytesPerSecond) {
    return bytesPerSecond == 0 ? std::string("unlimited")
                               : std::to_string(bytesPerSecond / 1000) + " KB/s";
}

} // namespace

int main(int argc, char** argv) {
    usePrivateStore();
    size_t jobSize = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024 * 1024;
    std::vector<unsigned char> job(jobSize);
    for (size_t i = 0; i < job.size(); ++i) {
        job[i] = static_cast<unsigned char>((i * 7) % 251);
    }
    // A spooler hands the job over in pieces of this size.
    const uint32_t chunk = 64 * 1024;
    const DWORD speeds[] = {150000, 2000000, 0};

    std::printf("job %zu bytes, written in %u-byte pieces, packet payload 4091 bytes\n", job.size(),
                chunk);
    std::printf("%-10s %-9s %10s %14s %9s %12s %12s\n", "link", "mode", "seconds", "bytes/s",
                "packets", "ms/packet", "of link");
    for (DWORD speed : speeds) {
        double unwrappedRate = 0;
        for (bool wrapped : {false, true}) {
            Result r = printJob(job, speed, wrapped, chunk);
            if (!r.ok) {
                std::printf("%-10s %-9s failed: %s\n", speedText(speed).c_str(),
                            wrapped ? "wrapped" : "unwrapped", r.failure.c_str());
                continue;
            }
            double rate = r.seconds > 0 ? job.size() / r.seconds : 0;
            char ofLink[32] = "-";
            if (speed != 0) {
                std::snprintf(ofLink, sizeof ofLink, "%.1f %%", 100.0 * rate / speed);
            }
            char perPacket[32] = "-";
            if (wrapped && r.packets != 0) {
                std::snprintf(perPacket, sizeof perPacket, "%.1f", 1000.0 * r.seconds / r.packets);
            }
            std::printf("%-10s %-9s %10.3f %14.0f %9zu %12s %12s\n", speedText(speed).c_str(),
                        wrapped ? "wrapped" : "unwrapped", r.seconds, rate, r.packets, perPacket,
                        ofLink);
            if (!wrapped) {
                unwrappedRate = rate;
            } else if (unwrappedRate > 0) {
                std::printf("%-10s wrapped/unwrapped: %.4f\n", speedText(speed).c_str(),
                            rate / unwrappedRate);
            }
        }
    }
    return 0;
}
