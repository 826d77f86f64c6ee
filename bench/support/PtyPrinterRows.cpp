#include "bench/support/PtyPrinterRows.h"

#include "bench/support/BenchSupport.h"
#include "entry/TransportExports.h"
#include "platform/win32.h"
#include "protocol/Data.h"
#include "protocol/Layer.h"
#include "sim/linux/PtyPrinter.h"
#include "tests/support/QuietHost.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;
using platform::testing::DeviceKind;

const char* const transportString =
    "<Portname>LPT1:</Portname><Handle>4097</Handle><Device>BpdPrinter</Device>"
    "<Transport>PAR1</Transport>";

struct Row {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0;
    size_t packets = 0;
    std::string failure;
};

void visit(Layer& connection, par1test::QuietHost& host, const char* name, Data& data) {
    VisitorManager* visitors = TransportGetVisitorManager();
    Visitor* visitor = visitors->getVisitor(name);
    visitor->setData(&data);
    visitor->setLastLayer(&host);
    connection.doAccept(*visitor);
    visitors->releaseVisitor(visitor);
}

Row printOnPty(const std::string& devices, const std::vector<unsigned char>& job, DeviceKind kind,
               bool wrapped, uint32_t chunk) {
    Row row;
    sim::PtyPrinter served(devices + "/lp0", kind);
    served.printer().setKeepRecords(false);
    served.printer().reservePrintData(job.size());
    if (TransportInitialize() != 0) {
        row.failure = "TransportInitialize failed";
        return row;
    }
    par1test::QuietHost host;
    ConnectionManager* manager = TransportGetConnectionManager();
    Layer* connection = manager->doGet(&host, transportString, "bidi");
    if (connection == nullptr || connection->open() != 0) {
        row.failure = "open failed";
    } else {
        Data mode(4, 0);
        if (wrapped) {
            visit(*connection, host, "getNpaModeVisitor", mode);
        }
        Data wrap(1, wrapped ? 1 : 0);
        visit(*connection, host, "setNpaWrapModeVisitor", wrap);
        const double cpuStart = processCpuSeconds();
        const Clock::time_point start = Clock::now();
        for (size_t at = 0; at < job.size() && row.failure.empty();) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(chunk, job.size() - at));
            Data data(job.data() + at, n);
            connection->doWrite(data);
            if (data.error() != 0 || data.count() != n) {
                row.failure = "write failed, error " + std::to_string(data.error());
            }
            at += n;
        }
        // Unwrapped data is done when the printer has it all.
        if (row.failure.empty() && !served.printer().waitForPrintData(job.size(), 60000)) {
            row.failure = "the printer did not receive the whole job";
        }
        row.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        row.cpuSeconds = processCpuSeconds() - cpuStart;
        connection->close();
        if (row.failure.empty()) {
            if (served.printer().printData() != job) {
                row.failure = "the printer did not receive the job exactly once";
            } else {
                row.ok = true;
            }
        }
        row.packets = served.printer().packetCount();
    }
    if (connection != nullptr) {
        manager->doRelease(connection);
    }
    TransportUninitialize();
    return row;
}

} // namespace

void printPtyPrinterRows(const std::vector<unsigned char>& job, uint32_t chunk) {
    namespace fs = std::filesystem;
    const fs::path devices =
        fs::temp_directory_path() / ("par1-bench-pty-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(devices);
    SetEnvironmentVariableA("PAR1_PARALLEL_DEVICES", devices.c_str());
    std::printf("\nthe system's own ports, printer on a pseudo-terminal, 4096-byte packets\n");
    std::printf("%-22s %-9s %8s %11s %10s %8s\n", "descriptor", "mode", "seconds", "bytes/s",
                "CPU ms/MiB", "packets");
    for (bool wrapped : {true, false}) {
        double pollable = 0;
        for (DeviceKind kind : {DeviceKind::UsbLp, DeviceKind::Lp}) {
            const char* name =
                kind == DeviceKind::Lp ? "not pollable (as lp)" : "pollable (as usblp)";
            const char* mode = wrapped ? "wrapped" : "unwrapped";
            const Row row = printOnPty(devices.string(), job, kind, wrapped, chunk);
            if (!row.ok) {
                std::printf("%-22s %-9s failed: %s\n", name, mode, row.failure.c_str());
                continue;
            }
            std::printf("%-22s %-9s %8.3f %11.0f %10.1f %8zu\n", name, mode, row.seconds,
                        job.size() / row.seconds,
                        1000.0 * row.cpuSeconds / (job.size() / (1024.0 * 1024.0)), row.packets);
            if (kind == DeviceKind::UsbLp) {
                pollable = row.seconds;
            } else if (pollable > 0) {
                std::printf("%-22s %-9s %8.3f times the pollable descriptor's time\n", "", mode,
                            row.seconds / pollable);
            }
        }
    }
    std::fflush(stdout);
    SetEnvironmentVariableA("PAR1_PARALLEL_DEVICES", nullptr);
    std::error_code ignored;
    fs::remove_all(devices, ignored);
}

} // namespace bench
