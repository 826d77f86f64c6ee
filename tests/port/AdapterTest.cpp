#include "RecordingPorts.h"
#include "devices/Par1Devices.h"
#include "port/Par1Adapter.h"
#include "port/Par1AdapterClosed.h"
#include "port/Par1AdapterOpen.h"
#include "port/PortSystem.h"
#include "protocol/Data.h"
#include "shared/Event.h"
#include "sim/ForwardingPorts.h"
#include "sim/VirtualPorts.h"
#include "support/TransportEnvironment.h"
#include "visitors/Par1Visitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

using Clock = std::chrono::steady_clock;

// Generous bounds for waits on the read thread: each pass is a read of at
// most "ReadTimeout" and a pause of up to 250 ms, a recovery 2000 ms and a
// discovery.
const DWORD kDeliveryMs = 10000;
const DWORD kRecoveryMs = 15000;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string describe(const COMMTIMEOUTS& t) {
    return std::to_string(t.ReadIntervalTimeout) + "," +
           std::to_string(t.ReadTotalTimeoutMultiplier) + "," +
           std::to_string(t.ReadTotalTimeoutConstant) + "," +
           std::to_string(t.WriteTotalTimeoutMultiplier) + "," +
           std::to_string(t.WriteTotalTimeoutConstant);
}

// The host's layer above the adapter: keeps every chunk that comes up.
class HostLayer : public Layer {
public:
    struct Chunk {
        std::string bytes;
        uint32_t error;
    };

    void doAccept(Data& data) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            chunks_.push_back({std::string(reinterpret_cast<const char*>(data.data()), data.size()),
                               data.error()});
        }
        changed_.notify_all();
        if (block_ != nullptr) {
            // Holds the read thread here, in a wait that TerminateThread ends.
            block_->wait(INFINITE);
        }
    }

    // The bytes received so far reach the text within the time-out.
    bool waitForText(const std::string& text, DWORD milliseconds) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [&] { return receivedLocked() == text; });
    }

    std::vector<Chunk> chunks() {
        std::lock_guard<std::mutex> lock(mutex_);
        return chunks_;
    }

    void blockOn(Event* event) { block_ = event; }

private:
    std::string receivedLocked() const {
        std::string text;
        for (const Chunk& chunk : chunks_) {
            text += chunk.bytes;
        }
        return text;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Chunk> chunks_;
    Event* block_ = nullptr;
};

// Notes where a visitor was handed to.
class ProbeVisitor : public Par1Visitor {
public:
    void doAtPar1Adapter(Layer& layer, Layer* upper) override {
        layer_ = &layer;
        upper_ = upper;
        if (block_ != nullptr) {
            inside_.set();
            block_->wait(INFINITE);
        }
    }

    Layer* layer_ = nullptr;
    Layer* upper_ = nullptr;
    Event* block_ = nullptr;
    Event inside_{true, false, "", false};
};

class GenericVisitor : public Visitor {
public:
    void doAtAdapter(Layer& layer, Layer*) override { layer_ = &layer; }
    Layer* layer_ = nullptr;
};

class AdapterTest : public ::testing::Test {
protected:
    AdapterTest()
        : printer_(ports_.port(1).attachPrinter()), recording_(ports_), installed_(recording_) {}

    ~AdapterTest() override {
        if (adapter_) {
            adapter_->doClose();
            adapter_.reset();
        }
    }

    Par1Adapter& makeAdapter(const std::string& portName = "LPT1:") {
        adapter_.reset(new Par1Adapter(portName));
        adapter_->setLayer(Layer::Upper, &host_);
        host_.setLayer(Layer::Lower, adapter_.get());
        return *adapter_;
    }

    sim::VirtualPort& port() { return ports_.port(1); }

    uint32_t write(const std::string& text) {
        Data data(text);
        adapter_->doWrite(data);
        return data.error();
    }

    sim::VirtualPorts ports_;
    sim::VirtualPrinter& printer_;
    RecordingPorts recording_;
    ScopedPortSystem installed_;
    HostLayer host_;
    std::unique_ptr<Par1Adapter> adapter_;
};

} // namespace

TEST_F(AdapterTest, OwnsThePortFromConstructionToDestruction) {
    makeAdapter();
    EXPECT_EQ(&Par1AdapterClosed::instance(), &adapter_->getState());
    EXPECT_EQ(std::vector<std::string>{"\\Device\\Parallel0"},
              ports_.dosDeviceTargets("VANTREL_LPT1"));
    EXPECT_EQ(1u, port().openHandles());
    adapter_.reset();
    EXPECT_EQ(0u, port().openHandles());
    EXPECT_TRUE(ports_.dosDeviceTargets("VANTREL_LPT1").empty());
}

TEST_F(AdapterTest, ClosedRefusesWritesAndEveryStateRefusesDataFromBelow) {
    makeAdapter();
    par1test::LogWatch log;
    EXPECT_EQ(1u, write("abc"));
    Data fromBelow(std::string("x"));
    adapter_->doAccept(fromBelow);
    EXPECT_EQ(1u, fromBelow.error());
    EXPECT_EQ(0u, adapter_->doClose());
    EXPECT_TRUE(port().writes().empty());
    EXPECT_TRUE(log.contains("Par1AdapterState::doWrite(Visitor, Data): Are you sure you should "
                             "be calling this function?"))
        << log.text();

    ASSERT_EQ(0u, adapter_->doOpen());
    Data again(std::string("y"));
    adapter_->doAccept(again);
    EXPECT_EQ(1u, again.error());
}

TEST_F(AdapterTest, AnEmptyWriteWritesNothingInEitherState) {
    makeAdapter();
    for (bool open : {false, true}) {
        SCOPED_TRACE(open ? "open" : "closed");
        if (open) {
            ASSERT_EQ(0u, adapter_->doOpen());
        }
        Data empty(0, 255);
        empty.setCount(9);
        adapter_->doWrite(empty);
        EXPECT_EQ(0u, empty.count());
        EXPECT_EQ(0u, empty.error());
    }
    EXPECT_TRUE(port().writes().empty());
}

TEST_F(AdapterTest, OpensWritesPassesEveryReadUpClosesAndOpensAgain) {
    makeAdapter();
    ASSERT_EQ(0u, adapter_->doOpen());
    EXPECT_EQ(&Par1AdapterOpen::instance(), &adapter_->getState());
    EXPECT_EQ(0u, adapter_->doOpen()); // already open: nothing changes

    Data data(std::string("print job"));
    adapter_->doWrite(data);
    EXPECT_EQ(0u, data.error());
    EXPECT_EQ(9u, data.count());
    const sim::Bytes printed = printer_.printData();
    EXPECT_EQ("print job", std::string(printed.begin(), printed.end()));

    std::string expected;
    for (const char* piece : {"first", "second", "third"}) {
        printer_.sendBytes(sim::Bytes(piece, piece + std::strlen(piece)));
        expected += piece;
        ASSERT_TRUE(host_.waitForText(expected, kDeliveryMs)) << piece;
    }
    for (const HostLayer::Chunk& chunk : host_.chunks()) {
        EXPECT_FALSE(chunk.bytes.empty());
        EXPECT_EQ(0u, chunk.error);
    }

    EXPECT_EQ(0u, adapter_->doClose());
    EXPECT_EQ(&Par1AdapterClosed::instance(), &adapter_->getState());
    EXPECT_EQ(0u, adapter_->doClose()); // already closed
    EXPECT_EQ(1u, write("after close"));
    EXPECT_EQ(1u, port().openHandles()); // the handle stays for the next open

    ASSERT_EQ(0u, adapter_->doOpen());
    EXPECT_EQ(0u, write("again"));
    printer_.sendBytes(sim::Bytes{'!'});
    EXPECT_TRUE(host_.waitForText(expected + "!", kDeliveryMs));
    // The same handle throughout: the port was opened once.
    EXPECT_EQ(1u, port().openCount());
}

TEST_F(AdapterTest, OpeningBoundsReadsByTheReadTimeoutBeforeAnyWrite) {
    // A handle whose reads would wait for a full buffer.
    port().setInitialTimeouts(COMMTIMEOUTS{0, 0, 0, 0, 0});
    makeAdapter();
    ASSERT_EQ(0u, adapter_->doOpen());
    EXPECT_EQ(describe({1, 0, par1test::kReadTimeoutMs, 0, 60000}),
              describe(port().lastCommTimeouts()));
    printer_.sendBytes(sim::Bytes{'u', 'p'});
    EXPECT_TRUE(host_.waitForText("up", kDeliveryMs));
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(0u, adapter_->doClose());
    EXPECT_LT(millisecondsSince(start), 2000);
}

TEST_F(AdapterTest, WriteTimeoutsAndPrintDataFlagNeedAnOpenAdapter) {
    makeAdapter();
    const COMMTIMEOUTS custom{3, 0, 7, 0, 500};
    EXPECT_EQ(1u, adapter_->setCommTimeouts(custom));
    EXPECT_EQ(1u, adapter_->setPrintDataFlag(false));

    ASSERT_EQ(0u, adapter_->doOpen());
    EXPECT_EQ(0u, adapter_->setCommTimeouts(custom));
    EXPECT_EQ(0u, write("a"));
    EXPECT_EQ(0u, adapter_->setPrintDataFlag(false));
    EXPECT_EQ(0u, write("b"));
    EXPECT_EQ(0u, write("c"));
    const std::vector<sim::PortWrite> writes = port().writes();
    ASSERT_EQ(3u, writes.size());
    // Reads stay bounded by "ReadTimeout": only the write part is taken.
    EXPECT_EQ(describe({1, 0, par1test::kReadTimeoutMs, 0, 500}), describe(writes[0].timeouts));
    EXPECT_EQ(describe({1, 0, par1test::kReadTimeoutMs, 0, 1000}), describe(writes[1].timeouts));
    EXPECT_EQ(describe({1, 0, par1test::kReadTimeoutMs, 0, 60000}), describe(writes[2].timeouts));
}

TEST_F(AdapterTest, AWriteFailureIsTheWriteEndpointsCode) {
    makeAdapter();
    ASSERT_EQ(0u, adapter_->doOpen());
    port().failWrites(1, CE_OOP | CE_DNS);
    EXPECT_EQ(4096u, write("no paper"));
    EXPECT_EQ(0u, write("paper"));
}

TEST_F(AdapterTest, VisitorsReachTheAdapterInBothStates) {
    makeAdapter();
    for (bool open : {false, true}) {
        SCOPED_TRACE(open ? "open" : "closed");
        if (open) {
            ASSERT_EQ(0u, adapter_->doOpen());
        }
        ProbeVisitor ours;
        adapter_->doAccept(ours);
        EXPECT_EQ(adapter_.get(), ours.layer_);
        EXPECT_EQ(&host_, ours.upper_);
        EXPECT_EQ(0u, ours.error());

        GenericVisitor generic;
        adapter_->doAccept(generic);
        EXPECT_EQ(adapter_.get(), generic.layer_);
    }
}

TEST_F(AdapterTest, AnOperationWaitsAtMost4000MsForTheLock) {
    makeAdapter();
    ASSERT_EQ(0u, adapter_->doOpen());
    Event release(true, false, "", false);
    ProbeVisitor holder;
    holder.block_ = &release;
    std::thread visiting([&] { adapter_->doAccept(holder); });
    ASSERT_TRUE(holder.inside_.wait(kDeliveryMs));

    const Clock::time_point start = Clock::now();
    Data data(std::string("late"));
    adapter_->doWrite(data);
    const long long elapsed = millisecondsSince(start);
    release.set();
    visiting.join();
    EXPECT_EQ(static_cast<uint32_t>(ERROR_TIMEOUT), data.error());
    EXPECT_GE(elapsed, 3900);
    EXPECT_LT(elapsed, 8000);
    EXPECT_EQ(0u, write("in time"));
}

TEST_F(AdapterTest, AFailedReadWithThePrinterStillThereReadsOn) {
    makeAdapter();
    Par1Devices* devices = Par1Devices::getInstance();
    devices->emptyList();
    // A stale entry: the recovery empties the table before it discovers.
    devices->doUpdate("<Portname>LPT7:</Portname>");
    ASSERT_EQ(0u, adapter_->doOpen());

    par1test::LogWatch log;
    port().failReads(1, ERROR_GEN_FAILURE);
    ASSERT_TRUE(recording_.waitForFailedRead(kDeliveryMs));
    printer_.sendBytes(sim::Bytes{'o', 'n'});
    EXPECT_TRUE(host_.waitForText("on", kRecoveryMs));

    DWORD exitCode = 0;
    EXPECT_FALSE(adapter_->waitForReadThread(0, exitCode));
    EXPECT_EQ(0u, devices->get("LPT1:"));
    EXPECT_EQ(1u, devices->get("LPT7:"));
    EXPECT_TRUE(log.contains("Error (close,sleep,enumerate,open) rc=31")) << log.text();
    EXPECT_EQ(&Par1AdapterOpen::instance(), &adapter_->getState());
}

TEST_F(AdapterTest, APrinterThatHasGoneEndsTheReadThreadWith1117AfterOneRecovery) {
    makeAdapter();
    ASSERT_EQ(0u, adapter_->doOpen());
    const Clock::time_point start = Clock::now();
    port().detachPrinter();

    DWORD exitCode = 0;
    ASSERT_TRUE(adapter_->waitForReadThread(kRecoveryMs, exitCode));
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_DEVICE), exitCode);
    EXPECT_GE(millisecondsSince(start), 1900);
    // The adapter's own open and one discovery probe.
    EXPECT_EQ(2u, port().openCount());
    // The adapter stays open without reading.
    EXPECT_EQ(&Par1AdapterOpen::instance(), &adapter_->getState());
    const Clock::time_point closing = Clock::now();
    EXPECT_EQ(0u, adapter_->doClose());
    EXPECT_LT(millisecondsSince(closing), 1000);
}

TEST_F(AdapterTest, APortThatCannotBeOpenedFailsItsWritesAndEndsReading) {
    ports_.port(5).setPresent(false);
    makeAdapter("LPT5:");
    EXPECT_EQ(INVALID_HANDLE_VALUE, adapter_->getHandle());
    ASSERT_EQ(0u, adapter_->doOpen());
    EXPECT_EQ(static_cast<uint32_t>(ERROR_WRITE_FAULT), write("nowhere"));
    DWORD exitCode = 0;
    ASSERT_TRUE(adapter_->waitForReadThread(kRecoveryMs, exitCode));
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_DEVICE), exitCode);
}

TEST_F(AdapterTest, ClosingDuringRecoveryReturnsWithinAboutThreeSeconds) {
    makeAdapter();
    ASSERT_EQ(0u, adapter_->doOpen());
    par1test::LogWatch log;
    port().failReads(1, ERROR_GEN_FAILURE);
    ASSERT_TRUE(recording_.waitForFailedRead(kDeliveryMs));

    const Clock::time_point start = Clock::now();
    EXPECT_EQ(0u, adapter_->doClose());
    EXPECT_LT(millisecondsSince(start), 3500);
    // The pause ends when the adapter closes: no thread had to be ended.
    EXPECT_FALSE(log.contains("Terminating Thread")) << log.text();
    EXPECT_EQ(&Par1AdapterClosed::instance(), &adapter_->getState());
}

TEST_F(AdapterTest, AReadThreadThatDoesNotEndIsTerminatedAfter3000Ms) {
    Event never(true, false, "", false);
    host_.blockOn(&never);
    makeAdapter();
    ASSERT_EQ(0u, adapter_->doOpen());
    printer_.sendBytes(sim::Bytes{'s'});
    ASSERT_TRUE(host_.waitForText("s", kDeliveryMs));

    par1test::LogWatch log;
    const unsigned terminated = Par1Adapter::terminatedReadThreads();
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(0u, adapter_->doClose());
    const long long elapsed = millisecondsSince(start);
    EXPECT_GE(elapsed, 2900);
    EXPECT_LT(elapsed, 8000);
    EXPECT_EQ(terminated + 1, Par1Adapter::terminatedReadThreads());
    EXPECT_TRUE(log.contains("waitForTermination(3000) rc=false, Terminating Thread."))
        << log.text();
    EXPECT_TRUE(log.contains("Success TerminateThread API")) << log.text();
    host_.blockOn(nullptr);

    // The adapter opens again with a new read thread.
    ASSERT_EQ(0u, adapter_->doOpen());
    printer_.sendBytes(sim::Bytes{'t'});
    EXPECT_TRUE(host_.waitForText("st", kDeliveryMs));
}

TEST_F(AdapterTest, DeletingAnOpenAdapterStopsItsReadThread) {
    makeAdapter();
    ASSERT_EQ(0u, adapter_->doOpen());
    printer_.sendBytes(sim::Bytes{'z'});
    ASSERT_TRUE(host_.waitForText("z", kDeliveryMs));
    adapter_.reset();
    EXPECT_EQ(0u, port().openHandles());
    const unsigned reads = port().readCount();
    // Nothing reads for the deleted adapter any more.
    EXPECT_FALSE(port().waitForReads(reads + 1, 200));
}

namespace {

// A port whose reads, once armed, never return on their own: the driver of
// a port that hangs. Only TerminateThread ends such a read.
class HangingReads : public sim::ForwardingPorts {
public:
    explicit HangingReads(sim::VirtualPorts& ports) : ForwardingPorts(ports) {}

    BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) override {
        if (armed_.load()) {
            inside_.set();
            never_.wait(INFINITE);
        }
        return ForwardingPorts::readFile(file, buffer, bytesToRead, bytesRead, overlapped);
    }

    std::atomic<bool> armed_{false};
    Event inside_{true, false, "", false};
    Event never_{true, false, "", false};
};

// A visitor that fails at the adapter with an exception no layer knows.
class ThrowingVisitor : public Par1Visitor {
public:
    void doAtPar1Adapter(Layer&, Layer*) override { throw std::runtime_error("visitor failed"); }
};

} // namespace

TEST(AdapterLastResort, OnlyAPortReadThatNeverReturnsEndsInTerminateThread) {
    sim::VirtualPorts ports;
    ports.port(1).attachPrinter();
    HangingReads hanging(ports);
    ScopedPortSystem installed(hanging);
    Par1Adapter adapter("LPT1:");
    ASSERT_EQ(0u, adapter.doOpen());
    hanging.armed_.store(true);
    ASSERT_TRUE(hanging.inside_.wait(kDeliveryMs));

    const unsigned terminated = Par1Adapter::terminatedReadThreads();
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(0u, adapter.doClose());
    EXPECT_GE(millisecondsSince(start), 2900);
    EXPECT_EQ(terminated + 1, Par1Adapter::terminatedReadThreads());
    EXPECT_EQ(&Par1AdapterClosed::instance(), &adapter.getState());
}

TEST_F(AdapterTest, AnExceptionThatLeavesAnOperationLeavesTheLockFree) {
    makeAdapter();
    ASSERT_EQ(0u, adapter_->doOpen());
    // The thread that threw stays alive, so a lock it kept would still be
    // its own, not abandoned.
    Event thrown(true, false, "", false);
    Event done(true, false, "", false);
    std::thread thrower([&] {
        ThrowingVisitor visitor;
        EXPECT_THROW(adapter_->doAccept(visitor), std::runtime_error);
        thrown.set();
        done.wait(INFINITE);
    });
    ASSERT_TRUE(thrown.wait(kDeliveryMs));
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(0u, write("after"));
    EXPECT_LT(millisecondsSince(start), 2000);
    done.set();
    thrower.join();
    EXPECT_TRUE(printer_.waitForPrintData(5, kDeliveryMs));
}
