// Fault soak: print jobs of random sizes from several host threads through
// connections they share, to virtual printers that refuse packets, delay
// their acknowledgements, send wait packets and unsolicited data, run out of
// paper and go away and come back, all at random.
//
// Afterwards every job must have arrived whole, once and in order, or have
// reported an error whose count is what arrived; no thread of the module may
// be left running and no port handle open; and the run must end within its
// bound. Exit code 0 when all of that holds, 1 when not, 2 for bad
// arguments; a watchdog ends a run that hangs with 3.
//
//     fault_soak [--seed N] [--seconds S] [--threads T] [--connections C]
//                [--max-job BYTES] [--bound S]
//
// Each job is made of 8-byte records (job, record index, port, check bytes)
// and the packet sizes hold whole records, so the printer's record of what it
// received tells which job every byte belongs to.
#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "entry/TransportExports.h"
#include "port/PortSystem.h"
#include "protocol/Data.h"
#include "protocol/Layer.h"
#include "shared/Localize.h"
#include "shared/RegistryKey.h"
#include "sim/NpaFrames.h"
#include "sim/VirtualPorts.h"
#include "sim/VirtualPrinter.h"
#include "tests/support/PrivateStore.h"

#include "platform/win32.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using sim::Bytes;
using Clock = std::chrono::steady_clock;

struct Options {
    uint64_t seed = 0;
    unsigned seconds = 30;
    unsigned threads = 4;
    unsigned connections = 3;
    unsigned maxJob = 16384;
    unsigned bound = 0; // seconds; 0: seconds + 60
};

// Packet sizes whose payload (size - 5) is a whole number of records.
const uint32_t packetSizes[] = {1029, 2053, 4101};
const uint32_t recordSize = 8;
const uint8_t unsolicitedChannel = 0xE0;
const uint8_t unsolicitedMark = 0x55;

bool parse(int argc, char** argv, Options& options) {
    options.seed = static_cast<uint64_t>(Clock::now().time_since_epoch().count()) & 0xFFFFFFFFu;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        char* end = nullptr;
        unsigned long long value = std::strtoull(argv[++i], &end, 10);
        if (end == nullptr || *end != '\0') {
            return false;
        }
        if (name == "--seed") {
            options.seed = value;
        } else if (name == "--seconds") {
            options.seconds = static_cast<unsigned>(value);
        } else if (name == "--threads" && value >= 1 && value <= 64) {
            options.threads = static_cast<unsigned>(value);
        } else if (name == "--connections" && value >= 1 && value <= 9) {
            options.connections = static_cast<unsigned>(value);
        } else if (name == "--max-job" && value >= recordSize && value <= 8u * 0xFFFFFF) {
            options.maxJob = static_cast<unsigned>(value);
        } else if (name == "--bound") {
            options.bound = static_cast<unsigned>(value);
        } else {
            return false;
        }
    }
    if (options.bound == 0) {
        options.bound = options.seconds + 60;
    }
    return true;
}

uint8_t checkByte(const uint8_t* record) {
    unsigned sum = 0x3D;
    for (int i = 0; i < 6; ++i) {
        sum = (sum * 31 + record[i]) & 0xFF;
    }
    return static_cast<uint8_t>(sum);
}

Bytes jobBytes(uint32_t job, uint32_t records, unsigned port) {
    Bytes bytes(static_cast<size_t>(records) * recordSize);
    for (uint32_t index = 0; index < records; ++index) {
        uint8_t* record = bytes.data() + static_cast<size_t>(index) * recordSize;
        record[0] = static_cast<uint8_t>(job >> 8);
        record[1] = static_cast<uint8_t>(job);
        record[2] = static_cast<uint8_t>(index >> 16);
        record[3] = static_cast<uint8_t>(index >> 8);
        record[4] = static_cast<uint8_t>(index);
        record[5] = static_cast<uint8_t>(port);
        record[6] = checkByte(record);
        record[7] = static_cast<uint8_t>(~record[6]);
    }
    return bytes;
}

struct JobResult {
    uint32_t job;
    unsigned thread;
    unsigned port;
    uint32_t size;
    uint32_t error;
    uint32_t count;
    // The printer went away while the job was written.
    bool duringOutage;
};

// The host's object at the top of a connection: keeps the unsolicited
// messages that came up.
class Host : public Layer {
public:
    using Layer::doAccept;
    void doAccept(Data& data) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (data.size() >= 8 && data.data()[5] == unsolicitedMark) {
            marks_.push_back(data.data()[6] | (data.data()[7] << 8));
        } else {
            ++others_;
        }
    }
    void doAccept(Visitor&) override {}
    std::vector<unsigned> marks() {
        std::lock_guard<std::mutex> lock(mutex_);
        return marks_;
    }
    unsigned others() {
        std::lock_guard<std::mutex> lock(mutex_);
        return others_;
    }

private:
    std::mutex mutex_;
    std::vector<unsigned> marks_;
    unsigned others_ = 0;
};

std::string transportString(unsigned port, uint32_t packetSize) {
    std::string text;
    TransportProperties properties;
    properties.setString(text, PropertyRecords::Transport, "PAR1");
    properties.setString(text, PropertyRecords::Portname, "LPT" + std::to_string(port) + ":");
    properties.setLong(text, PropertyRecords::Handle, (port & 0x7FF) | 0x1000);
    properties.setLong(text, PropertyRecords::MaxWritePacketSize, packetSize);
    return text;
}

// Threads of this process; -1 where that cannot be told.
long threadCount() {
#ifdef _WIN32
    return -1;
#else
    std::error_code error;
    long count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return error ? -1 : count;
#endif
}

std::string storeDirectory;

void usePrivateStore() {
#ifndef _WIN32
    storeDirectory = par1test::makePrivateStore("par1-soak-");
#endif
}

void removePrivateStore() {
    if (!storeDirectory.empty()) {
        par1test::removeStore(storeDirectory);
    }
}

void setSetting(const std::string& name, uint32_t value) {
    RegistryKey store(Localize::getInstance()->getStorePath(0) + "Par1\\Settings", true);
    store.setValue(name, value);
}

// Counts of what the fault thread did.
struct Faults {
    unsigned refusals = 0;    // single refused sends, later accepted
    unsigned refusedJobs = 0; // every try of a packet refused
    unsigned ackDelays = 0;
    unsigned waitPackets = 0;
    unsigned unsolicited = 0;
    unsigned unsolicitedInPieces = 0;
    unsigned paperOut = 0;
    unsigned goneAndBack = 0;
    unsigned total() const {
        return refusals + refusedJobs + ackDelays + waitPackets + unsolicited +
               unsolicitedInPieces + paperOut + goneAndBack;
    }
};

class Soak {
public:
    explicit Soak(const Options& options) : options_(options) {}

    int run();

private:
    struct Connection {
        unsigned port;
        uint32_t packetSize;
        Host host;
        std::string transport;
        // The printer away: in progress, and how often it went or came.
        std::atomic<int> outages{0};
        std::atomic<unsigned> outageEpoch{0};
    };

    void hostThread(unsigned index, std::vector<Layer*> layers);
    void faultThread();
    bool verify();
    bool fail(const std::string& what) {
        std::printf("FAIL: %s\n", what.c_str());
        ok_ = false;
        return false;
    }

    const Options options_;
    sim::VirtualPorts ports_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::atomic<bool> stop_{false};
    std::atomic<uint32_t> nextJob_{0};
    std::mutex resultsLock_;
    std::vector<JobResult> results_;
    Faults faults_;
    // Jobs whose last packet arrived but whose acknowledgement went with the
    // printer.
    unsigned lostAcknowledgements_ = 0;
    std::mutex stopLock_;
    std::condition_variable stopped_;
    bool ok_ = true;
};

void Soak::hostThread(unsigned index, std::vector<Layer*> layers) {
    std::mt19937_64 random(options_.seed * 1000003u + index);
    std::uniform_int_distribution<uint32_t> records(1, options_.maxJob / recordSize);
    std::uniform_int_distribution<size_t> which(0, layers.size() - 1);
    while (!stop_.load()) {
        uint32_t job = nextJob_.fetch_add(1);
        if (job > 0xFFFF) {
            break;
        }
        size_t at = which(random);
        Connection& connection = *connections_[at];
        Bytes bytes = jobBytes(job, records(random), connection.port);
        Data data(bytes.data(), static_cast<uint32_t>(bytes.size()));
        unsigned epoch = connection.outageEpoch.load();
        bool outage = connection.outages.load() != 0;
        layers[at]->doWrite(data);
        outage = outage || connection.outages.load() != 0 || epoch != connection.outageEpoch.load();
        std::lock_guard<std::mutex> lock(resultsLock_);
        results_.push_back({job, index, connection.port, static_cast<uint32_t>(bytes.size()),
                            data.error(), data.count(), outage});
    }
}

void Soak::faultThread() {
    std::mt19937_64 random(options_.seed ^ 0x9E3779B97F4A7C15ull);
    std::uniform_int_distribution<unsigned> kind(0, 99);
    std::uniform_int_distribution<unsigned> pause(20, 80);
    unsigned mark = 0;
    Clock::time_point lastGone = Clock::now();
    // A printer finishes one message on a channel before it starts the
    // next: the virtual printer sends its output in the order it is due, so
    // each message on the unsolicited channel is due after the last one
    // queued on that port. Answers the delay for a message wanted after
    // wanted milliseconds.
    std::map<unsigned, Clock::time_point> lastDue;
    auto afterUnsolicited = [&](unsigned port, DWORD wanted) {
        Clock::time_point now = Clock::now();
        Clock::time_point due = now + std::chrono::milliseconds(wanted);
        auto last = lastDue.find(port);
        if (last != lastDue.end() && last->second >= due) {
            due = last->second + std::chrono::milliseconds(1);
        }
        lastDue[port] = due;
        return static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(due - now).count());
    };
    std::unique_lock<std::mutex> lock(stopLock_);
    while (!stopped_.wait_for(lock, std::chrono::milliseconds(pause(random)),
                              [&] { return stop_.load(); })) {
        Connection& connection = *connections_[random() % connections_.size()];
        sim::VirtualPort& port = ports_.port(connection.port);
        sim::VirtualPrinter& printer = port.printer();
        unsigned choice = kind(random);
        if (choice < 30) {
            printer.refuseNext(1 + static_cast<unsigned>(random() % 3));
            ++faults_.refusals;
        } else if (choice < 33) {
            // More refusals than tries: the job ends with what was taken.
            printer.refuseNext(50);
            ++faults_.refusedJobs;
        } else if (choice < 50) {
            printer.setAckDelay(static_cast<DWORD>(random() % 40));
            ++faults_.ackDelays;
        } else if (choice < 65) {
            printer.sendWaitPacket();
            ++faults_.waitPackets;
        } else if (choice < 75) {
            ++mark;
            printer.sendBytes(sim::npa::packet(unsolicitedChannel, 0x00,
                                               {unsolicitedMark, static_cast<uint8_t>(mark),
                                                static_cast<uint8_t>(mark >> 8)}),
                              afterUnsolicited(connection.port, 0));
            ++faults_.unsolicited;
        } else if (choice < 85) {
            // A message in two pieces, the second a little later, so that
            // acknowledgements come between them.
            ++mark;
            const DWORD first = afterUnsolicited(connection.port, 0);
            printer.sendBytes(sim::npa::packet(unsolicitedChannel, sim::npa::moreFollows,
                                               {unsolicitedMark, static_cast<uint8_t>(mark),
                                                static_cast<uint8_t>(mark >> 8)}),
                              first);
            printer.sendBytes(
                sim::npa::packet(unsolicitedChannel, 0x00, {0x56}),
                afterUnsolicited(connection.port, first + 10 + static_cast<DWORD>(random() % 40)));
            ++faults_.unsolicitedInPieces;
        } else if (choice < 95) {
            // Out of paper: the next writes fail and take nothing.
            port.failWrites(1 + static_cast<unsigned>(random() % 2), CE_OOP, ERROR_NOT_READY);
            ++faults_.paperOut;
        } else if (Clock::now() - lastGone > std::chrono::seconds(6)) {
            // Away for less than the read thread's recovery pause, so that
            // its discovery finds the printer back.
            connection.outages.fetch_add(1);
            connection.outageEpoch.fetch_add(1);
            port.detachPrinter();
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(100 + random() % 400));
            lock.lock();
            port.attachPrinter();
            connection.outageEpoch.fetch_add(1);
            connection.outages.fetch_sub(1);
            ++faults_.goneAndBack;
            lastGone = Clock::now();
        }
    }
}

int Soak::run() {
    Clock::time_point start = Clock::now();
    std::printf("fault_soak: seed %llu, %u s, %u host threads, %u connections, jobs up to %u "
                "bytes\n",
                static_cast<unsigned long long>(options_.seed), options_.seconds, options_.threads,
                options_.connections, options_.maxJob);
    std::fflush(stdout);
    std::mt19937_64 random(options_.seed);
    for (unsigned port = 1; port <= options_.connections; ++port) {
        auto connection = std::make_unique<Connection>();
        connection->port = port;
        connection->packetSize = packetSizes[random() % 3];
        connection->transport = transportString(port, connection->packetSize);
        sim::VirtualPrinter& printer = ports_.port(port).attachPrinter();
        printer.setDeviceId("MFG:Vantrel;CMD:PJL,XNPAP;MDL:Soak " + std::to_string(port) +
                            ";CLS:PRINTER;");
        connections_.push_back(std::move(connection));
    }
    ScopedPortSystem installed(ports_);

    long threadsBefore = threadCount();
    if (TransportInitialize() != 0) {
        return fail("TransportInitialize"), 1;
    }
    ConnectionManager* manager = TransportGetConnectionManager();
    // Every host thread takes every connection: the stacks are shared.
    std::vector<std::vector<Layer*>> layers(options_.threads);
    for (unsigned thread = 0; thread < options_.threads; ++thread) {
        for (auto& connection : connections_) {
            Layer* layer = manager->doGet(&connection->host, connection->transport, "bidi");
            if (layer == nullptr || layer->open() != 0) {
                return fail("connection to LPT" + std::to_string(connection->port)), 1;
            }
            layers[thread].push_back(layer);
        }
    }

    std::thread faults(&Soak::faultThread, this);
    std::vector<std::thread> hosts;
    for (unsigned thread = 0; thread < options_.threads; ++thread) {
        hosts.emplace_back(&Soak::hostThread, this, thread, layers[thread]);
    }
    std::this_thread::sleep_until(start + std::chrono::seconds(options_.seconds));
    {
        std::lock_guard<std::mutex> lock(stopLock_);
        stop_.store(true);
    }
    stopped_.notify_all();
    for (std::thread& host : hosts) {
        host.join();
    }
    faults.join();

    for (unsigned thread = 0; thread < options_.threads; ++thread) {
        for (Layer* layer : layers[thread]) {
            layer->close();
            manager->doRelease(layer);
        }
    }
    unsigned handles = ports_.openHandles();
    if (handles != 0) {
        fail(std::to_string(handles) + " port handles open after the last release");
    }
    // A thread whose handle is signalled may still be leaving the kernel:
    // allow it a moment, and say how long it took.
    long threadsAfter = threadCount();
    Clock::time_point released = Clock::now();
    while (threadsAfter != threadsBefore && Clock::now() - released < std::chrono::seconds(5)) {
        std::this_thread::yield();
        threadsAfter = threadCount();
    }
    long long lingered =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - released).count();
    if (threadsBefore >= 0 && threadsAfter != threadsBefore) {
        fail("threads before " + std::to_string(threadsBefore) + ", 5 s after the last release " +
             std::to_string(threadsAfter));
    } else if (lingered > 0) {
        std::printf("threads ended %lld ms after the last release\n", lingered);
    }
    if (TransportUninitialize() != 0) {
        fail("TransportUninitialize");
    }
    verify();

    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::map<uint32_t, unsigned> outcomes;
    uint64_t bytes = 0;
    for (const JobResult& result : results_) {
        ++outcomes[result.error];
        bytes += result.count;
    }
    std::printf("jobs %zu, bytes printed %llu, faults %u (refused sends %u, refused jobs %u, ack "
                "delays %u, wait packets %u, unsolicited packets %u, unsolicited messages in two "
                "pieces %u, paper out %u, gone and back "
                "%u), %.1f s\n",
                results_.size(), static_cast<unsigned long long>(bytes), faults_.total(),
                faults_.refusals, faults_.refusedJobs, faults_.ackDelays, faults_.waitPackets,
                faults_.unsolicited, faults_.unsolicitedInPieces, faults_.paperOut,
                faults_.goneAndBack, elapsed);
    std::printf("packets taken by a printer that went away before acknowledging them: %u\n",
                lostAcknowledgements_);
    std::printf("job results (error: jobs):");
    for (const auto& outcome : outcomes) {
        std::printf(" %u: %u", outcome.first, outcome.second);
    }
    std::printf("\n");
    if (elapsed > options_.bound) {
        fail("took longer than the bound of " + std::to_string(options_.bound) + " s");
    }
    std::printf("%s\n", ok_ ? "PASSED" : "FAILED");
    return ok_ ? 0 : 1;
}

bool Soak::verify() {
    std::map<uint32_t, const JobResult*> byJob;
    for (const JobResult& result : results_) {
        byJob[result.job] = &result;
    }
    for (auto& connection : connections_) {
        const std::string where = "LPT" + std::to_string(connection->port) + ": ";
        Bytes printed = ports_.port(connection->port).printer().printData();
        if (printed.size() % recordSize != 0) {
            fail(where + "print data of " + std::to_string(printed.size()) +
                 " bytes is no whole number of records");
            continue;
        }
        // Runs of records of one job, in the order they arrived.
        struct Run {
            uint32_t job;
            uint32_t records;
        };
        std::vector<Run> runs;
        for (size_t at = 0; at < printed.size(); at += recordSize) {
            const uint8_t* record = printed.data() + at;
            uint32_t job = (record[0] << 8) | record[1];
            uint32_t index =
                (static_cast<uint32_t>(record[2]) << 16) | (record[3] << 8) | record[4];
            if (record[6] != checkByte(record) || record[7] != static_cast<uint8_t>(~record[6]) ||
                record[5] != connection->port) {
                fail(where + "corrupt record at byte " + std::to_string(at));
                break;
            }
            if (runs.empty() || runs.back().job != job) {
                if (index != 0) {
                    fail(where + "job " + std::to_string(job) + " starts at record " +
                         std::to_string(index));
                    break;
                }
                runs.push_back({job, 0});
            }
            if (index != runs.back().records) {
                fail(where + "job " + std::to_string(job) + ": record " + std::to_string(index) +
                     " after " + std::to_string(runs.back().records));
                break;
            }
            ++runs.back().records;
        }
        std::map<uint32_t, uint32_t> arrived;
        std::map<unsigned, uint32_t> lastOfThread;
        for (const Run& run : runs) {
            if (!arrived.emplace(run.job, run.records * recordSize).second) {
                fail(where + "job " + std::to_string(run.job) + " arrived twice");
            }
            auto found = byJob.find(run.job);
            if (found == byJob.end() || found->second->port != connection->port) {
                fail(where + "job " + std::to_string(run.job) + " was not sent here");
                continue;
            }
            // One thread's jobs arrive in the order it wrote them.
            unsigned thread = found->second->thread;
            auto last = lastOfThread.find(thread);
            if (last != lastOfThread.end() && last->second > run.job) {
                fail(where + "job " + std::to_string(run.job) + " of thread " +
                     std::to_string(thread) + " after its job " + std::to_string(last->second));
            }
            lastOfThread[thread] = run.job;
        }
        for (const JobResult& result : results_) {
            if (result.port != connection->port) {
                continue;
            }
            uint32_t got = arrived.count(result.job) != 0 ? arrived[result.job] : 0;
            const std::string job = where + "job " + std::to_string(result.job) + " (" +
                                    std::to_string(result.size) + " bytes, error " +
                                    std::to_string(result.error) + ", count " +
                                    std::to_string(result.count) + ")";
            if (result.error == 0 && (result.count != result.size || got != result.size)) {
                fail(job + ": reported whole, " + std::to_string(got) + " bytes arrived");
            } else if (result.error == ERROR_TIMEOUT && result.duringOutage && got > result.count &&
                       got - result.count <= connection->packetSize - 5) {
                // The printer took the packet and went away before its
                // acknowledgement left: no transport can count that packet.
                ++lostAcknowledgements_;
            } else if (result.error != 0 && got != result.count) {
                fail(job + ": " + std::to_string(got) + " bytes arrived" +
                     (result.duringOutage ? " (during an outage)" : ""));
            }
        }
        // Unsolicited messages reach the host once each.
        std::vector<unsigned> marks = connection->host.marks();
        std::set<unsigned> seen(marks.begin(), marks.end());
        if (seen.size() != marks.size()) {
            fail(where + "an unsolicited message reached the host twice");
        }
        if (connection->host.others() != 0) {
            fail(where + std::to_string(connection->host.others()) +
                 " messages reached the host that the printer did not send");
        }
    }
    return ok_;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: fault_soak [--seed N] [--seconds S] [--threads T] "
                             "[--connections C (1-9)] [--max-job BYTES] [--bound S]\n");
        return 2;
    }
    // A hang shows as a failure, not as a CI run that never ends.
    std::thread watchdog([bound = options.bound] {
        std::this_thread::sleep_for(std::chrono::seconds(bound + 30));
        std::printf("FAIL: no end after %u s\n", bound + 30);
        std::fflush(stdout);
        std::_Exit(3);
    });
    watchdog.detach();

    usePrivateStore();
    Localize::createInstance(nullptr);
    // The quickest reads the settings allow, and fewer tries of a refused
    // packet, so that a soak minute holds many jobs.
    setSetting("ReadTimeout", 1);
    setSetting("MaxNpaWrapRetries", 5);
    int result = 1;
    {
        Soak soak(options);
        result = soak.run();
    }
    std::fflush(stdout);
    removePrivateStore();
    std::_Exit(result);
}
