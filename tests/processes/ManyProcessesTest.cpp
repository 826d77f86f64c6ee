// Four hosts at once, each a process with the module in it and a virtual
// printer of its own, sharing one registry and one log file: each
// initialises, logs, discovers and prints while the others do the same.
//
// The log file's lock is held for the writing of one line (the line's time
// is taken under it), so the file's times never go backwards, and a host
// waits on the lock at most while the others write a line each: each child
// measures its longest log call and reports it in the log.
#include "devices/Discoverer.h"
#include "devices/Observer.h"
#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "entry/TransportExports.h"
#include "port/PortSystem.h"
#include "protocol/Data.h"
#include "protocol/Layer.h"
#include "shared/BasicLogger.h"
#include "shared/Localize.h"
#include "shared/LogCategory.h"
#include "shared/RegistryKey.h"
#include "sim/VirtualPorts.h"
#include "sim/VirtualPrinter.h"
#include "support/PrivateHostStore.h"
#include "support/TestChild.h"

#include "platform/win32.h"
#include "support/QuietHost.h"
#include "support/TextReports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

const bool privateStore = par1test::usePrivateHostStore();

using par1test::TestChild;
using Clock = std::chrono::steady_clock;

const int kProcesses = 4;
const int kLinesPerPhase = 300;
// Longer than any number of single lines from four processes takes, far
// shorter than a lock held across a discovery or a print job would cost.
const long long kLongestLogCallMs = 2000;
const size_t kJobBytes = 8000;

// The defaults the module writes under "Par1\Settings" when a connection is
// made and opened.
const std::map<std::string, uint32_t> kSettingDefaults = {
    {"ReadTimeout", 50},       {"NpaTimeout", 6000},      {"PJLReadTimeout", 2500},
    {"PJLWriteTimeout", 2500}, {"MaxNpaWrapRetries", 10},
};

std::string storeKey(const std::string& key) {
    return Localize::getInstance()->getStorePath(0) + key;
}

std::string logPath() {
    char windows[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    std::string root = length >= 3 ? std::string(windows, 3) : std::string("C:\\");
    return root + Localize::getInstance()->getLocalId() + ".log";
}

std::string readFile(const std::string& path) {
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    std::vector<char> buffer(65536);
    DWORD count = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr) &&
           count != 0) {
        text.append(buffer.data(), count);
    }
    CloseHandle(file);
    return text;
}

std::string transportString(unsigned port) {
    std::string text;
    TransportProperties properties;
    properties.setString(text, PropertyRecords::Transport, "PAR1");
    properties.setString(text, PropertyRecords::Portname, "LPT" + std::to_string(port) + ":");
    properties.setLong(text, PropertyRecords::Handle, (port & 0x7FF) | 0x1000);
    return text;
}

long long firstUs = 0;

// Logs a phase's lines, keeping the longest call.
void logLines(unsigned port, const char* phase, long long& longestUs, long long& totalUs) {
    BasicLogger* logger = BasicLogger::getInstance();
    static bool first = true;
    for (int i = 0; i < kLinesPerPhase; ++i) {
        std::string text =
            "process " + std::to_string(port) + " " + phase + " line " + std::to_string(i);
        Clock::time_point start = Clock::now();
        logger->log(LogCategories::Par1Transport, LevelError, text);
        long long us =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
        if (first) {
            // The first line also reads the logger's options from the
            // registry, which the other hosts are writing: not the log's lock.
            first = false;
            firstUs = us;
        } else {
            longestUs = std::max(longestUs, us);
        }
        totalUs += us;
    }
}

// One host: started together with the others by the parent's "go" mutex.
[[noreturn]] void runHost() {
    const std::vector<std::string> arguments = TestChild::arguments();
    if (arguments.size() != 3) {
        TestChild::exit(10);
    }
    const unsigned port = static_cast<unsigned>(std::stoul(arguments[0]));
    HANDLE ready = CreateMutexA(nullptr, FALSE, arguments[1].c_str());
    HANDLE go = CreateMutexA(nullptr, FALSE, arguments[2].c_str());
    if (ready == nullptr || go == nullptr || WaitForSingleObject(ready, 10000) != WAIT_OBJECT_0) {
        TestChild::exit(11);
    }
    sim::VirtualPorts ports;
    sim::VirtualPrinter& printer = ports.port(port).attachPrinter();
    printer.setDeviceId("MFG:Vantrel;CMD:PJL,XNPAP;MDL:Host " + std::to_string(port) +
                        ";CLS:PRINTER;");
    ScopedPortSystem installed(ports);
    // Holding "ready", wait for the parent to let every host go at once.
    if (WaitForSingleObject(go, TestChild::kTimeoutMs) != WAIT_OBJECT_0) {
        TestChild::exit(12);
    }
    ReleaseMutex(go);

    if (TransportInitialize() != 0) {
        TestChild::exit(13);
    }
    long long longestUs = 0;
    long long totalUs = 0;
    logLines(port, "start", longestUs, totalUs);

    Discoverer* discoverer = TransportGetDiscoverer();
    if (discoverer == nullptr) {
        TestChild::exit(14);
    }
    std::vector<std::string> found;
    {
        par1test::TextReports reports(discoverer);
        if (discoverer->discover("") != 0) {
            TestChild::exit(15);
        }
        found = reports.texts();
    }
    TransportProperties properties;
    std::string portName;
    if (found.size() != 1 ||
        properties.getString(found[0], PropertyRecords::Portname, portName) != 0 ||
        portName != "LPT" + std::to_string(port) + ":") {
        TestChild::exit(16);
    }
    logLines(port, "discovered", longestUs, totalUs);

    par1test::QuietHost host;
    ConnectionManager* manager = TransportGetConnectionManager();
    Layer* connection = manager->doGet(&host, transportString(port), "bidi");
    if (connection == nullptr || connection->open() != 0) {
        TestChild::exit(17);
    }
    std::vector<uint8_t> job(kJobBytes);
    for (size_t i = 0; i < job.size(); ++i) {
        job[i] = static_cast<uint8_t>((i * 7 + port) % 251);
    }
    Data data(job.data(), static_cast<uint32_t>(job.size()));
    connection->doWrite(data);
    connection->close();
    manager->doRelease(connection);
    if (data.error() != 0 || data.count() != job.size() || printer.printData() != job) {
        TestChild::exit(18);
    }
    logLines(port, "printed", longestUs, totalUs);
    BasicLogger::getInstance()->log(LogCategories::Par1Transport, LevelError,
                                    "process " + std::to_string(port) + " longest log call " +
                                        std::to_string(longestUs) + " us, average " +
                                        std::to_string(totalUs / (3 * kLinesPerPhase)) +
                                        " us, first line " + std::to_string(firstUs) + " us");
    if (TransportUninitialize() != 0) {
        TestChild::exit(19);
    }
    ReleaseMutex(ready);
    CloseHandle(ready);
    CloseHandle(go);
    TestChild::exit(0);
}

// "dddd/dd/dd-dd:dd:dd.ddd ": the line's time in milliseconds of the day, or
// -1 when the line does not start with one.
long long lineTime(const std::string& line) {
    const std::string shape = "dddd/dd/dd-dd:dd:dd.ddd ";
    if (line.size() < shape.size()) {
        return -1;
    }
    for (size_t i = 0; i < shape.size(); ++i) {
        bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == 'd' ? !digit : line[i] != shape[i]) {
            return -1;
        }
    }
    return std::stoll(line.substr(11, 2)) * 3600000 + std::stoll(line.substr(14, 2)) * 60000 +
           std::stoll(line.substr(17, 2)) * 1000 + std::stoll(line.substr(20, 3));
}

} // namespace

TEST(ManyProcesses, ShareOneRegistryAndOneLogFileLineByLine) {
    Localize::createInstance(nullptr);
    if (TestChild::role() == "host") {
        runHost();
    }
    // A store without the module's defaults, every trace on, no old log.
    for (const char* key : {"Par1\\Settings", "Logger"}) {
        RegistryKey store(storeKey(key), true);
        std::list<std::string> names;
        store.getValueNames(names);
        for (const std::string& name : names) {
            store.deleteValue(name);
        }
    }
    {
        RegistryKey logger(storeKey("Logger"), true);
        logger.setValue("startLog", 1);
        logger.setValue("All", 0xFFFFFFFFu);
    }
    const std::string log = logPath();
    DeleteFileA(log.c_str());

    const std::string suffix = std::to_string(GetCurrentProcessId());
    const std::string goName = "par1-processes-go-" + suffix;
    HANDLE go = CreateMutexA(nullptr, TRUE, goName.c_str());
    ASSERT_NE(nullptr, go);
    std::vector<std::unique_ptr<TestChild>> children;
    std::vector<HANDLE> readies;
    for (int i = 1; i <= kProcesses; ++i) {
        const std::string readyName = "par1-processes-ready-" + suffix + "-" + std::to_string(i);
        readies.push_back(CreateMutexA(nullptr, FALSE, readyName.c_str()));
        ASSERT_NE(nullptr, readies.back());
        children.push_back(std::make_unique<TestChild>(
            "host", std::vector<std::string>{std::to_string(i), readyName, goName}));
        ASSERT_TRUE(children.back()->started());
    }
    // Each child holds its "ready" mutex once it waits for "go"; until then a
    // look takes it for a moment and gives it back.
    const DWORD startedAt = GetTickCount();
    for (int i = 0; i < kProcesses; ++i) {
        bool childReady = false;
        while (!childReady && GetTickCount() - startedAt < TestChild::kTimeoutMs) {
            DWORD look = WaitForSingleObject(readies[i], 0);
            if (look == WAIT_TIMEOUT) {
                childReady = true;
            } else {
                ASSERT_TRUE(look == WAIT_OBJECT_0 || look == WAIT_ABANDONED);
                ReleaseMutex(readies[i]);
                ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(children[i]->process(), 1))
                    << "host " << i + 1 << " ended before it was ready, exit code "
                    << children[i]->exitCode();
            }
        }
        ASSERT_TRUE(childReady) << "host " << i + 1;
    }
    ReleaseMutex(go);
    for (int i = 0; i < kProcesses; ++i) {
        ASSERT_TRUE(children[i]->wait()) << "host " << i + 1;
        EXPECT_EQ(0u, children[i]->exitCode()) << "host " << i + 1;
    }
    for (HANDLE ready : readies) {
        CloseHandle(ready);
    }
    CloseHandle(go);

    // Every default once, with its value.
    {
        RegistryKey settings(storeKey("Par1\\Settings"), false);
        std::list<std::string> names;
        settings.getValueNames(names);
        std::multiset<std::string> counted(names.begin(), names.end());
        for (const auto& setting : kSettingDefaults) {
            EXPECT_EQ(1u, counted.count(setting.first)) << setting.first;
            uint32_t value = 0;
            EXPECT_TRUE(settings.getValue(setting.first, value)) << setting.first;
            EXPECT_EQ(setting.second, value) << setting.first;
        }
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
        RegistryKey logger(storeKey("Logger"), false);
        std::list<std::string> loggerNames;
        logger.getValueNames(loggerNames);
        EXPECT_EQ(std::set<std::string>(loggerNames.begin(), loggerNames.end()).size(),
                  loggerNames.size());
        EXPECT_GT(loggerNames.size(), 1u) << "the logger wrote none of its defaults";
    }

    // Every line whole, times in the file's order, each host's lines once
    // and in its order.
    const std::string text = readFile(log);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ("\r\n", text.substr(text.size() - 2)) << "the last line is cut";
    std::map<std::string, int> next;
    long long previous = -1;
    size_t lines = 0;
    int broken = 0;
    std::vector<std::string> figures;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        ++lines;
        long long time = lineTime(line);
        if (time < 0 || line.find('\n') != std::string::npos ||
            line.find('\r') != std::string::npos) {
            if (++broken <= 5) {
                ADD_FAILURE() << "not a whole line: " << line.substr(0, 200);
            }
            continue;
        }
        // Within one day; a run across midnight would only skip this check.
        if (time < previous && previous - time < 3600000) {
            ADD_FAILURE() << "time goes back " << previous - time << " ms at line " << lines;
        }
        previous = time;
        size_t at = line.find("process ");
        if (at == std::string::npos) {
            continue;
        }
        const std::string own = line.substr(at);
        if (own.find(" longest log call ") != std::string::npos) {
            figures.push_back(own);
            size_t from = own.find(" call ") + 6;
            EXPECT_LT(std::stoll(own.substr(from)), kLongestLogCallMs * 1000) << own;
            continue;
        }
        size_t lineWord = own.rfind(" line ");
        ASSERT_NE(std::string::npos, lineWord) << own;
        const std::string phase = own.substr(0, lineWord);
        EXPECT_EQ(std::to_string(next[phase]), own.substr(lineWord + 6)) << own;
        ++next[phase];
    }
    EXPECT_EQ(0, broken);
    EXPECT_EQ(static_cast<size_t>(3 * kProcesses), next.size());
    for (const auto& phase : next) {
        EXPECT_EQ(kLinesPerPhase, phase.second) << phase.first;
    }
    ASSERT_EQ(static_cast<size_t>(kProcesses), figures.size());
    for (const std::string& figure : figures) {
        std::printf("%s\n", figure.c_str());
    }
    std::printf("%zu log lines from %d processes\n", lines, kProcesses);
    DeleteFileA(log.c_str());
}
