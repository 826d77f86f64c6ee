// The read thread's rhythm, seen through the port seam: which reads are
// followed by a pause before the next, and how long the thread asks each
// pause to be. Counted, not timed.
#include "port/Par1Adapter.h"
#include "protocol/Data.h"
#include "protocol/Layer.h"
#include "sim/ForwardingPorts.h"
#include "sim/VirtualPorts.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

const DWORD kWaitMs = 10000;

// The virtual ports behind a seam that notes each read (with the bytes it
// brought) and each pause of the read thread (with the length asked), in
// order. It can also stand
// for a port without a back channel, whose reads return at once with
// nothing, or for a printer that never stops sending.
class PacingPorts : public sim::ForwardingPorts {
public:
    enum class Reads { Printer, NothingAtOnce, EndlessStream };

    explicit PacingPorts(sim::VirtualPorts& ports) : ForwardingPorts(ports) {}

    void setReads(Reads reads) {
        std::lock_guard<std::mutex> lock(mutex_);
        reads_ = reads;
    }

    // "R<bytes>" for a read, "P<milliseconds>" for a pause.
    std::vector<std::string> events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    bool waitForReads(size_t count, DWORD milliseconds) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [&] { return readsSeen_ >= count; });
    }

    BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) override {
        Reads reads;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reads = reads_;
        }
        BOOL result = TRUE;
        if (reads == Reads::Printer) {
            result = ForwardingPorts::readFile(file, buffer, bytesToRead, bytesRead, overlapped);
        } else if (reads == Reads::NothingAtOnce) {
            *bytesRead = 0;
        } else {
            std::memset(buffer, 'x', bytesToRead);
            *bytesRead = bytesToRead;
        }
        const DWORD error = GetLastError();
        note("R" + std::to_string(result ? *bytesRead : 0), true);
        SetLastError(error);
        return result;
    }
    void pause(HANDLE wake, DWORD milliseconds) override {
        DWORD length = milliseconds;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (pauseLength_ != 0) {
                length = pauseLength_;
            }
        }
        note("P" + std::to_string(milliseconds), false, length);
        const DWORD start = GetTickCount();
        ForwardingPorts::pause(wake, length);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            resting_ = 0;
        }
        // Ended before its time: by the wake.
        if (GetTickCount() - start < length) {
            std::lock_guard<std::mutex> lock(mutex_);
            ++pausesCut_;
        }
    }

    // Pauses last so long instead of the length asked.
    void setPauseLength(DWORD milliseconds) {
        std::lock_guard<std::mutex> lock(mutex_);
        pauseLength_ = milliseconds;
    }
    size_t pausesCut() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return pausesCut_;
    }
    bool waitForPauses(size_t count, DWORD milliseconds) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [&] { return pausesLocked() >= count; });
    }

    // Until the event is seen; at is its index.
    bool waitForEvent(const std::string& event, size_t& at, DWORD milliseconds) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] {
            auto found = std::find(events_.begin(), events_.end(), event);
            at = static_cast<size_t>(found - events_.begin());
            return found != events_.end();
        });
    }
    // Until a pause that lasts so long has begun.
    bool waitForRest(DWORD length, DWORD milliseconds) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [&] { return resting_ == length; });
    }
    size_t pauses() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return pausesLocked();
    }

private:
    size_t pausesLocked() const {
        return static_cast<size_t>(std::count_if(events_.begin(), events_.end(),
                                                 [](const std::string& e) { return e[0] == 'P'; }));
    }
    void note(const std::string& event, bool read, DWORD pause = 0) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(event);
            resting_ = pause;
            if (read) {
                ++readsSeen_;
            }
        }
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Reads reads_ = Reads::Printer;
    DWORD pauseLength_ = 0;
    size_t pausesCut_ = 0;
    size_t readsSeen_ = 0;
    // The length of the pause under way, or 0.
    DWORD resting_ = 0;
    std::vector<std::string> events_;
};

// Counts what comes up from the adapter.
class CountingHost : public Layer {
public:
    using Layer::doAccept;
    void doAccept(Data& data) override {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.append(reinterpret_cast<const char*>(data.data()), data.size());
    }
    void doAccept(Visitor&) override {}

    std::string received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

private:
    std::mutex mutex_;
    std::string received_;
};

class ReadLoopTest : public ::testing::Test {
protected:
    ReadLoopTest()
        : printer_(ports_.port(1).attachPrinter()), pacing_(ports_), installed_(pacing_) {}

    ~ReadLoopTest() override {
        if (adapter_) {
            adapter_->doClose();
        }
    }

    void open() {
        adapter_.reset(new Par1Adapter("LPT1:"));
        adapter_->setLayer(Layer::Upper, &host_);
        host_.setLayer(Layer::Lower, adapter_.get());
        ASSERT_EQ(0u, adapter_->doOpen());
    }

    sim::VirtualPorts ports_;
    sim::VirtualPrinter& printer_;
    PacingPorts pacing_;
    ScopedPortSystem installed_;
    CountingHost host_;
    std::unique_ptr<Par1Adapter> adapter_;
};

} // namespace

TEST_F(ReadLoopTest, ReadsThatBringDataFollowEachOtherWithoutAPause) {
    // Five reads' worth waits on the back channel before the thread starts.
    const size_t chunk = 4096;
    std::string answer;
    for (size_t i = 0; i < 5 * chunk; ++i) {
        answer.push_back(static_cast<char>('a' + i % 26));
    }
    printer_.sendBytes(sim::Bytes(answer.begin(), answer.end()));
    open();
    ASSERT_TRUE(pacing_.waitForReads(7, kWaitMs));
    ASSERT_EQ(0u, adapter_->doClose());

    const std::vector<std::string> events = pacing_.events();
    ASSERT_GE(events.size(), 7u);
    const std::vector<std::string> expected = {"R4096", "R4096", "R4096", "R4096",
                                               "R4096", "R0",    "P25"};
    EXPECT_EQ(expected, std::vector<std::string>(events.begin(), events.begin() + 7));
    EXPECT_EQ(answer, host_.received());
}

TEST_F(ReadLoopTest, APortWhoseReadsReturnNothingAtOncePausesAfterEveryRead) {
    pacing_.setReads(PacingPorts::Reads::NothingAtOnce);
    open();
    ASSERT_TRUE(pacing_.waitForReads(6, kWaitMs));
    ASSERT_EQ(0u, adapter_->doClose());

    const std::vector<std::string> events = pacing_.events();
    // Every read but possibly the last, which the close may follow at once,
    // is followed by a pause before the next read.
    ASSERT_GE(events.size(), 11u);
    for (size_t i = 0; i + 1 < events.size(); ++i) {
        if (events[i] == "R0") {
            EXPECT_EQ('P', events[i + 1][0]) << "after read " << i;
        } else {
            EXPECT_EQ("R0", events[i + 1]) << "after pause " << i;
        }
    }
    EXPECT_EQ("R0", events.front());
    EXPECT_TRUE(host_.received().empty());
}

TEST_F(ReadLoopTest, APrinterThatNeverStopsSendingStillLetsTheThreadStop) {
    pacing_.setReads(PacingPorts::Reads::EndlessStream);
    open();
    ASSERT_TRUE(pacing_.waitForReads(50, kWaitMs));
    par1test::LogWatch log;
    ASSERT_EQ(0u, adapter_->doClose());

    // It was never told to rest, and it ended on its own: no pause, no
    // termination.
    const std::vector<std::string> events = pacing_.events();
    for (const std::string& event : events) {
        ASSERT_EQ("R4096", event);
    }
    EXPECT_FALSE(log.contains("Terminating Thread")) << log.text();
    EXPECT_EQ(events.size() * 4096, host_.received().size());
}

// A pause of a minute, far beyond the waits below: only its wake can end it.
const DWORD kLongPause = 60000;

TEST_F(ReadLoopTest, AFinishedWriteEndsThePauseAfterAnEmptyRead) {
    // The answer to a write may be on its way: the thread reads again at once
    // rather than at the end of its pause.
    pacing_.setReads(PacingPorts::Reads::NothingAtOnce);
    pacing_.setPauseLength(kLongPause);
    open();
    ASSERT_TRUE(pacing_.waitForPauses(1, kWaitMs));
    Data data(reinterpret_cast<const uint8_t*>("job"), 3);
    adapter_->doWrite(data);
    ASSERT_EQ(0u, data.error());
    EXPECT_TRUE(pacing_.waitForReads(2, kWaitMs));
    EXPECT_EQ(1u, pacing_.pausesCut());
}

TEST_F(ReadLoopTest, StoppingEndsThePauseAtOnce) {
    pacing_.setReads(PacingPorts::Reads::NothingAtOnce);
    pacing_.setPauseLength(kLongPause);
    open();
    ASSERT_TRUE(pacing_.waitForPauses(1, kWaitMs));
    par1test::LogWatch log;
    ASSERT_EQ(0u, adapter_->doClose());
    EXPECT_FALSE(log.contains("Terminating Thread")) << log.text();
    EXPECT_EQ(1u, pacing_.pausesCut());
    EXPECT_EQ((std::vector<std::string>{"R0", "P25"}), pacing_.events());
}

// The pauses asked for after the event at index from, in order.
std::vector<std::string> pausesAfter(const std::vector<std::string>& events, size_t from) {
    std::vector<std::string> pauses;
    for (size_t i = from; i < events.size(); ++i) {
        if (events[i][0] == 'P') {
            pauses.push_back(events[i]);
        }
    }
    return pauses;
}

TEST_F(ReadLoopTest, ThePauseGrowsWhileIdleAndStartsAgainAfterDataOrAWrite) {
    pacing_.setReads(PacingPorts::Reads::NothingAtOnce);
    // The lengths asked are what counts; the waits themselves are kept short.
    pacing_.setPauseLength(1);
    open();
    ASSERT_TRUE(pacing_.waitForPauses(7, kWaitMs));
    const std::vector<std::string> idle = pausesAfter(pacing_.events(), 0);
    EXPECT_EQ((std::vector<std::string>{"P25", "P50", "P100", "P200", "P250", "P250", "P250"}),
              std::vector<std::string>(idle.begin(), idle.begin() + 7));

    // Data: the first pause after it is the shortest again.
    printer_.sendBytes(sim::Bytes{'h', 'i'});
    pacing_.setReads(PacingPorts::Reads::Printer);
    size_t read = 0;
    ASSERT_TRUE(pacing_.waitForEvent("R2", read, kWaitMs));
    ASSERT_TRUE(pacing_.waitForPauses(pacing_.pauses() + 2, kWaitMs));
    EXPECT_EQ("hi", host_.received());
    std::vector<std::string> afterData = pausesAfter(pacing_.events(), read);
    EXPECT_EQ("P25", afterData[0]);
    EXPECT_EQ("P50", afterData[1]);

    // A write, made while the thread rests in a pause that only a wake can
    // end: the pause after it is the shortest again.
    pacing_.setReads(PacingPorts::Reads::NothingAtOnce);
    pacing_.setPauseLength(kLongPause);
    ASSERT_TRUE(pacing_.waitForRest(kLongPause, kWaitMs));
    const size_t resting = pacing_.events().size();
    const size_t pauses = pacing_.pauses();
    EXPECT_NE("P25", pacing_.events().back());
    Data data(reinterpret_cast<const uint8_t*>("job"), 3);
    adapter_->doWrite(data);
    ASSERT_EQ(0u, data.error());
    ASSERT_TRUE(pacing_.waitForPauses(pauses + 1, kWaitMs));
    const std::vector<std::string> events = pacing_.events();
    EXPECT_EQ((std::vector<std::string>{"R0", "P25"}),
              std::vector<std::string>(events.begin() + resting, events.end()));
}
