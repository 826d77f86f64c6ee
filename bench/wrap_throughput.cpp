// Prints one job through the whole stack (connection manager, wrap layer, NPA
// and PJL layers, adapter, port seam) to the virtual printer, unwrapped and
// wrapped into acknowledged NPA packets, at several link speeds and packet
// sizes, and reports for each row the throughput, how it compares with the
// unwrapped print, the link and the bound of the link, and the CPU time the
// process spent per MiB.
//
//     wrap_throughput [--quick] [--job BYTES] [--links LIST] [--packets LIST]
//
// Defaults: a 4 MiB job; links 150000,1000000,2000000,0 bytes per second (0:
// unlimited); packet sizes 4096 (the default),16384,65535. --quick prints a
// 1 MiB job with the default packet size only. The packet size does not
// apply to unwrapped printing, which runs once per link.
//
// Bound of a wrapped row: the transfer time of every packet, payload and
// header, at the link speed; what stop-and-wait adds on top (the
// acknowledgement's way up and the writer's wake-up) is the row's distance
// from it. No bound on an unlimited link. The job goes down in 64 KiB
// pieces, as a spooler hands it over, and the wrap layer cuts each piece on
// its own: 17 packets of the default size per piece, 2 of 65535.
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
#include "sim/VirtualPorts.h"
#include "tests/support/QuietHost.h"
#ifndef _WIN32
#include "bench/support/PtyPrinterRows.h"
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const uint32_t headerSize = 5;
const uint32_t defaultPacketSize = 4096;
const double mebibyte = 1024.0 * 1024.0;

struct Result {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
    size_t packets = 0;
    std::string failure;
};

std::string transportString(uint32_t packetSize) {
    std::string text;
    TransportProperties properties;
    properties.setString(text, PropertyRecords::Portname, "LPT1:");
    properties.setLong(text, PropertyRecords::Handle, 0x1001);
    properties.setLong(text, PropertyRecords::MaxWritePacketSize, packetSize);
    return text;
}

Result printJob(const std::vector<unsigned char>& job, DWORD linkSpeed, bool wrapped,
                uint32_t packetSize, uint32_t chunk) {
    Result result;
    sim::VirtualPorts ports;
    sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
    // The printer keeps the print data only, in room taken beforehand: the
    // figures are the transport's, not those of the printer's records.
    printer.setKeepRecords(false);
    printer.reservePrintData(job.size());
    ports.port(1).setLinkSpeed(linkSpeed);
    ScopedPortSystem installed(ports);
    if (TransportInitialize() != 0) {
        result.failure = "TransportInitialize failed";
        return result;
    }
    par1test::QuietHost host;
    ConnectionManager* manager = TransportGetConnectionManager();
    Layer* connection = manager->doGet(&host, transportString(packetSize), "bidi");
    if (connection == nullptr) {
        result.failure = "no connection";
    } else if (connection->open() != 0) {
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
        const double cpuStart = bench::processCpuSeconds();
        const Clock::time_point start = Clock::now();
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
        result.cpuSeconds = bench::processCpuSeconds() - cpuStart;
        connection->close();
        if (result.failure.empty()) {
            if (printer.printData() != job) {
                result.failure = "the printer did not receive the job exactly once";
            } else {
                result.ok = true;
            }
        }
        result.packets = printer.packetCount();
    }
    if (connection != nullptr) {
        manager->doRelease(connection);
    }
    TransportUninitialize();
    return result;
}

std::string speedText(DWORD bytesPerSecond) {
    if (bytesPerSecond == 0) {
        return "unlimited";
    }
    if (bytesPerSecond >= 1000000 && bytesPerSecond % 1000000 == 0) {
        return std::to_string(bytesPerSecond / 1000000) + " MB/s";
    }
    return std::to_string(bytesPerSecond / 1000) + " KB/s";
}

std::vector<unsigned long> numberList(const char* text) {
    std::vector<unsigned long> numbers;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        char* end = nullptr;
        unsigned long value = std::strtoul(item.c_str(), &end, 10);
        if (item.empty() || *end != '\0') {
            std::fprintf(stderr, "not a number: %s\n", item.c_str());
            std::exit(2);
        }
        numbers.push_back(value);
    }
    return numbers;
}

// Transfer time of every packet. The wrap layer cuts each piece it is handed
// on its own, so the count comes from the printer.
double transferSeconds(size_t jobSize, size_t packets, DWORD linkSpeed) {
    return static_cast<double>(jobSize + packets * headerSize) / linkSpeed;
}

void printRow(const char* link, uint32_t packetSize, const char* mode, size_t jobSize,
              const Result& r, double unwrappedRate, DWORD linkSpeed, double boundRate) {
    const double rate = r.seconds > 0 ? jobSize / r.seconds : 0;
    char packet[16] = "-";
    char ratio[16] = "-";
    char ofLink[16] = "-";
    char bound[16] = "-";
    char ofBound[16] = "-";
    if (packetSize != 0) {
        std::snprintf(packet, sizeof packet, "%u", packetSize);
    }
    if (packetSize != 0 && unwrappedRate > 0) {
        std::snprintf(ratio, sizeof ratio, "%.3f", rate / unwrappedRate);
    }
    if (linkSpeed != 0) {
        std::snprintf(ofLink, sizeof ofLink, "%.1f%%", 100.0 * rate / linkSpeed);
    }
    if (boundRate > 0) {
        std::snprintf(bound, sizeof bound, "%.0f", boundRate);
        std::snprintf(ofBound, sizeof ofBound, "%.1f%%", 100.0 * rate / boundRate);
    }
    const double cpuPerMiB = 1000.0 * r.cpuSeconds / (jobSize / mebibyte);
    std::printf("%-10s %-7s %-9s %8.3f %11.0f %8s %8s %11s %8s %10.1f %8zu\n", link, packet, mode,
                r.seconds, rate, ratio, ofLink, bound, ofBound, cpuPerMiB, r.packets);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    bench::usePrivateStore("par1-bench-");
    size_t jobSize = 4 * 1024 * 1024;
    std::vector<unsigned long> links = {150000, 1000000, 2000000, 0};
    std::vector<unsigned long> packets = {defaultPacketSize, 16384, 65535};
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--quick") == 0) {
            jobSize = 1024 * 1024;
            packets = {defaultPacketSize};
        } else if (std::strcmp(argv[i], "--job") == 0 && hasValue) {
            jobSize = std::strtoul(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--links") == 0 && hasValue) {
            links = numberList(argv[++i]);
        } else if (std::strcmp(argv[i], "--packets") == 0 && hasValue) {
            packets = numberList(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: wrap_throughput [--quick] [--job BYTES] [--links LIST] "
                                 "[--packets LIST]\n");
            return 2;
        }
    }
    for (unsigned long size : packets) {
        if (size <= headerSize || size > 65535) {
            std::fprintf(stderr, "packet size %lu: from 6 to 65535 bytes\n", size);
            return 2;
        }
    }
    if (jobSize == 0) {
        std::fprintf(stderr, "the job needs at least one byte\n");
        return 2;
    }
    std::vector<unsigned char> job(jobSize);
    for (size_t i = 0; i < job.size(); ++i) {
        job[i] = static_cast<unsigned char>((i * 7) % 251);
    }
    // A spooler hands the job over in pieces of this size.
    const uint32_t chunk = 64 * 1024;

    std::printf("job %zu bytes, written in %u-byte pieces; load average %s\n", job.size(), chunk,
                bench::loadAverage().c_str());
    std::printf("%-10s %-7s %-9s %8s %11s %8s %8s %11s %8s %10s %8s\n", "link", "packet", "mode",
                "seconds", "bytes/s", "wrap/raw", "of link", "bound B/s", "of bound", "CPU ms/MiB",
                "packets");
    for (unsigned long speedValue : links) {
        const DWORD speed = static_cast<DWORD>(speedValue);
        const std::string link = speedText(speed);
        Result raw = printJob(job, speed, false, defaultPacketSize, chunk);
        double rawRate = 0;
        if (!raw.ok) {
            std::printf("%-10s %-7s %-9s failed: %s\n", link.c_str(), "-", "unwrapped",
                        raw.failure.c_str());
        } else {
            rawRate = raw.seconds > 0 ? job.size() / raw.seconds : 0;
            printRow(link.c_str(), 0, "unwrapped", job.size(), raw, 0, speed, 0);
        }
        for (unsigned long size : packets) {
            const uint32_t packetSize = static_cast<uint32_t>(size);
            Result r = printJob(job, speed, true, packetSize, chunk);
            if (!r.ok) {
                std::printf("%-10s %-7u %-9s failed: %s\n", link.c_str(), packetSize, "wrapped",
                            r.failure.c_str());
                continue;
            }
            const double bound =
                speed != 0 ? job.size() / transferSeconds(job.size(), r.packets, speed) : 0;
            printRow(link.c_str(), packetSize, "wrapped", job.size(), r, rawRate, speed, bound);
        }
    }
#ifndef _WIN32
    bench::printPtyPrinterRows(job, chunk);
#endif
    std::printf("load average %s\n", bench::loadAverage().c_str());
    return 0;
}
