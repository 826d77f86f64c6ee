#include "port/Par1Adapter.h"

#include "devices/Discoverer.h"
#include "devices/Par1Devices.h"
#include "devices/Par1DiscovererManager.h"
#include "port/Par1AdapterClosed.h"
#include "port/Par1AdapterOpen.h"
#include "port/Par1AdapterReadRunnable.h"
#include "port/Par1AdapterState.h"
#include "port/Par1ReadEndPoint.h"
#include "port/Par1WriteEndPoint.h"
#include "port/PortSystem.h"
#include "protocol/Data.h"
#include "shared/Event.h"
#include "shared/Mutex.h"
#include "shared/TextBuilder.h"
#include "shared/Thread.h"
#include "shared/TransportLog.h"
#include "shared/Win32Exception.h"
#include "visitors/Visitor.h"

#include <algorithm>
#include <exception>

namespace {

const uint32_t mutexTimeout = 4000;
// The read thread's pause after an empty read doubles from the first to the
// longest.
const DWORD firstPause = 25;
const DWORD longestPause = 250;
const DWORD recoveryPause = 2000;
const DWORD stopTimeout = 3000;
// How often a read thread waiting for another adapter's recovery looks
// whether it is asked to stop.
const DWORD recoveryWaitSlice = 100;

// One recovery at a time, process-wide: a recovery empties the shared device
// table, which would make another adapter's recovery, between its discovery
// and its look-up, find its printer gone. A Mutex, so that a read thread
// ended by TerminateThread leaves it abandoned rather than held.
Mutex& recoveryLock() {
    static Mutex* lock = new Mutex(false, "", false);
    return *lock;
}

class RecoveryHold {
public:
    RecoveryHold() = default;
    ~RecoveryHold() {
        if (!held) {
            return;
        }
        try {
            recoveryLock().release();
        } catch (const Exception&) {
            // Only the owner releases; a failure leaves nothing to undo.
        }
    }
    RecoveryHold(const RecoveryHold&) = delete;
    RecoveryHold& operator=(const RecoveryHold&) = delete;

    bool held = false;
};

std::atomic<unsigned> terminations{0};

} // namespace

class Par1Adapter::Hold {
public:
    explicit Hold(Par1Adapter& adapter, bool reentrant = false) : adapter_(adapter) {
        if (reentrant && adapter_.holdsMutex()) {
            // The caller's own hold covers this scope.
            held_ = true;
            return;
        }
        held_ = taken_ = adapter_.acquireMutex(error_);
    }
    ~Hold() {
        if (taken_) {
            adapter_.releaseMutex();
        }
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

    bool held() const { return held_; }
    // Why mutex_ was not had.
    uint32_t error() const { return error_; }

private:
    Par1Adapter& adapter_;
    bool taken_ = false;
    bool held_ = false;
    uint32_t error_ = 0;
};

Par1Adapter::Par1Adapter(const std::string& portName)
    : state_(&Par1AdapterClosed::instance()), readEndpoint_(nullptr), writeEndpoint_(nullptr),
      handle_(INVALID_HANDLE_VALUE), continueReading_(false), mutexTimeout_(0), pausing_(false),
      wrote_(false), pause_(firstPause), replyLength_(0), lockOwner_(0) {
    try {
        init();
        portName_ = portName;
        Par1PortDevice device;
        device.defineDevice(true, portName_);
        handle_ = device.createFile(portName_, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    } catch (const Win32Exception& e) {
        transportLog::line(LevelError, TextBuilder("File error").append(e.getErrorCode()).str());
        throw Win32Exception("failure", e.getErrorCode(), "", 0);
    }
}

Par1Adapter::~Par1Adapter() {
    try {
        if (state_.load() == &Par1AdapterOpen::instance() || thread_) {
            // A read thread must not outlive the adapter it reads for.
            Par1AdapterOpen::instance().doClose(*this);
        }
    } catch (const Exception&) {
    }
    stopEvent_.reset();
    readWake_.reset();
    mutex_.reset();
    if (handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr) {
        PortSystem::current().closeHandle(handle_);
    }
    Par1PortDevice device;
    device.defineDevice(false, portName_);
}

void Par1Adapter::init() {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Adapter::init(): ");
    mutexTimeout_ = mutexTimeout;
    mutex_.reset(new Mutex(false, "", false));
    stopEvent_.reset(new Event(true, false, "", false));
    readWake_.reset(new Event(false, false, "", false));
    changeState(Par1AdapterClosed::instance());
}

bool Par1Adapter::acquireMutex(uint32_t& error) {
    try {
        if (!mutex_->acquire(mutexTimeout_)) {
            error = ERROR_TIMEOUT;
            return false;
        }
    } catch (const Exception& e) {
        error = e.getErrorCode() != 0 ? e.getErrorCode() : ERROR_INTERNAL_ERROR;
        return false;
    }
    lockOwner_.store(GetCurrentThreadId());
    return true;
}

void Par1Adapter::releaseMutex() {
    if (holdsMutex()) {
        lockOwner_.store(0);
    }
    try {
        mutex_->release();
    } catch (const Exception&) {
        // Nothing is held that could be given back.
    }
}

bool Par1Adapter::holdsMutex() const {
    return lockOwner_.load() == GetCurrentThreadId();
}

void Par1Adapter::changeState(Par1AdapterState& state) {
    FunctionTrace trace = transportLog::open(
        LevelTrace, [&] { return "Par1Adapter::changeState(" + state.getName() + "): "; });
    Hold hold(*this);
    if (!hold.held()) {
        if (trace.isEnabled()) {
            transportLog::note(trace, "Unable to acquire mutex_, state unchanged.");
            trace.setReturnCode(hold.error());
        }
        return;
    }
    // The hold's release is a full one: an operation that holds mutex_ and
    // changes the state gives the lock up here.
    state_.store(&state);
}

uint32_t Par1Adapter::doOpen() {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Adapter::doOpen: ");
    Hold hold(*this);
    if (!hold.held()) {
        if (trace.isEnabled()) {
            transportLog::note(trace, "Unable to acquire mutex_.");
            trace.setReturnCode(hold.error());
        }
        return hold.error();
    }
    uint32_t result = 0;
    try {
        result = state_.load()->doOpen(*this);
    } catch (const Exception& e) {
        result = e.getErrorCode() != 0 ? e.getErrorCode() : ERROR_INTERNAL_ERROR;
    }
    if (trace.isEnabled()) {
        trace.setReturnCode(result);
    }
    return result;
}

uint32_t Par1Adapter::doClose() {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Adapter::doClose: ");
    Hold hold(*this);
    if (!hold.held()) {
        if (trace.isEnabled()) {
            transportLog::note(trace, "Unable to acquire mutex_.");
            trace.setReturnCode(hold.error());
        }
        return hold.error();
    }
    uint32_t result = 0;
    try {
        result = state_.load()->doClose(*this);
    } catch (const Exception& e) {
        result = e.getErrorCode() != 0 ? e.getErrorCode() : ERROR_INTERNAL_ERROR;
    }
    if (trace.isEnabled()) {
        trace.setReturnCode(result);
    }
    return result;
}

void Par1Adapter::doAccept(Data& data) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Adapter::doAccept(Data): ");
    Hold hold(*this);
    if (!hold.held()) {
        if (trace.isEnabled()) {
            transportLog::note(trace, "Unable to acquire mutex_.");
            trace.setReturnCode(hold.error());
        }
        data.setError(hold.error());
        return;
    }
    state_.load()->doAccept(*this, data);
}

void Par1Adapter::doAccept(Visitor& visitor) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Adapter::doAccept(Visitor): ");
    Hold hold(*this);
    if (!hold.held()) {
        if (trace.isEnabled()) {
            transportLog::note(trace, "Unable to acquire mutex_.");
            trace.setReturnCode(hold.error());
        }
        visitor.setError(hold.error());
        return;
    }
    try {
        state_.load()->doAccept(*this, visitor);
    } catch (const Exception& e) {
        visitor.setError(e.getErrorCode() != 0 ? e.getErrorCode() : ERROR_INTERNAL_ERROR);
    }
}

void Par1Adapter::doWrite(Data& data) {
    FunctionTrace trace = transportLog::open(LevelData, "Par1Adapter::doWrite: ");
    if (data.size() == 0) {
        transportLog::line(LevelData, "No data to write.");
        data.setCount(0);
        return;
    }
    {
        Hold hold(*this);
        if (!hold.held()) {
            if (trace.isEnabled()) {
                trace.setReturnCode(hold.error());
            }
            data.setError(hold.error());
            transportLog::line(LevelData, "Unable to acquire mutex_.");
            return;
        }
        Par1AdapterState* state = state_.load();
        if (transportLog::isEnabled(LevelData)) {
            transportLog::line(LevelData, "Calling " + state->getName());
        }
        state->doWrite(*this, data);
    }
    wrote_.store(true);
    if (pausing_.load()) {
        try {
            readWake_->set();
        } catch (const Exception&) {
            // The pause then runs to its end.
        }
    }
}

template <typename Change> uint32_t Par1Adapter::changeWriteEndpoint(Change change) {
    Hold hold(*this, true);
    if (!hold.held()) {
        return hold.error();
    }
    if (state_.load() != &Par1AdapterOpen::instance() || writeEndpoint_ == nullptr) {
        return ERROR_INVALID_FUNCTION;
    }
    change(*writeEndpoint_);
    return 0;
}

uint32_t Par1Adapter::setCommTimeouts(const COMMTIMEOUTS& timeouts) {
    return changeWriteEndpoint(
        [&](Par1WriteEndPoint& endpoint) { endpoint.setCommTimeouts(timeouts); });
}

uint32_t Par1Adapter::setPrintDataFlag(bool printData) {
    return changeWriteEndpoint(
        [&](Par1WriteEndPoint& endpoint) { endpoint.setPrintDataFlag(printData); });
}

void Par1Adapter::expectReplies(uint32_t length) {
    replyLength_.store(length);
}

uint32_t Par1Adapter::startReading() {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Adapter::startReading: ");
    continueReading_.store(true);
    pause_ = firstPause;
    replyLength_.store(0);
    try {
        stopEvent_->reset();
        readWake_->reset();
        runnable_.reset(new Par1AdapterReadRunnable(*this));
        thread_.reset(new Thread(*runnable_));
        thread_->start();
    } catch (const Exception& e) {
        continueReading_.store(false);
        thread_.reset();
        runnable_.reset();
        uint32_t error = e.getErrorCode() != 0 ? e.getErrorCode() : ERROR_INTERNAL_ERROR;
        transportLog::line(
            LevelError,
            TextBuilder("Par1Adapter::startReading: no read thread, rc=").append(error).str());
        return error;
    }
    return 0;
}

void Par1Adapter::setContinueReadingOff() {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Adapter::setContinueReadingOff(): ");
    continueReading_.store(false);
    try {
        stopEvent_->set();
        readWake_->set();
    } catch (const Exception&) {
        // The pause then runs to its end; the flag alone stops the loop.
    }
}

void Par1Adapter::stopReading() {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Adapter::stopReading: ");
    setContinueReadingOff();
    if (thread_ && !thread_->waitForTermination(stopTimeout)) {
        if (trace.isEnabled()) {
            transportLog::note(trace, "waitForTermination(3000) rc=false, Terminating Thread.");
        }
        HANDLE handle = nullptr;
        if (thread_->getHandle(handle)) {
            ++terminations;
            if (!TerminateThread(handle, 0)) {
                transportLog::line(LevelError, TextBuilder("Error in TerminateThread API lastErr=")
                                                   .append(static_cast<uint32_t>(GetLastError()))
                                                   .str());
            } else if (trace.isEnabled()) {
                transportLog::note(trace, "Success TerminateThread API");
            }
        }
    }
    if (readEndpoint_ != nullptr) {
        readEndpoint_->doClose();
    }
    // The thread's destructor waits for the thread's end.
    thread_.reset();
    runnable_.reset();
}

bool Par1Adapter::waitForReadThread(DWORD timeout, DWORD& exitCode) {
    HANDLE handle = nullptr;
    if (!thread_ || !thread_->getHandle(handle) || !thread_->waitForTermination(timeout)) {
        return false;
    }
    return GetExitCodeThread(handle, &exitCode) != FALSE;
}

unsigned Par1Adapter::terminatedReadThreads() {
    return terminations.load();
}

Par1Adapter::Recovery Par1Adapter::findPrinterAgain() {
    RecoveryHold hold;
    while (!(hold.held = recoveryLock().acquire(recoveryWaitSlice))) {
        if (!continueReading_.load()) {
            return Recovery::Stopping;
        }
    }
    Par1Devices* devices = Par1Devices::getInstance();
    devices->emptyList();
    try {
        if (Par1DiscovererManager* manager = Par1DiscovererManager::getInstance()) {
            manager->getDiscoverer()->discover("");
        }
    } catch (const Exception& e) {
        transportLog::line(
            LevelError,
            TextBuilder("Par1Adapter::read: discovery failed, rc=").append(e.getErrorCode()).str());
    }
    return devices->get(portName_) == 0 ? Recovery::PrinterPresent : Recovery::PrinterGone;
}

void Par1Adapter::pauseReading() {
    if (wrote_.exchange(false)) {
        // The answer to a write may still be on its way.
        pause_ = firstPause;
    }
    pausing_.store(true);
    // A stop that came before the flag was set has signalled the event
    // already; the flag is tested again after the pause.
    PortSystem::current().pause(readWake_->getHandle(), pause_);
    pausing_.store(false);
    pause_ = std::min(2 * pause_, longestPause);
}

uint32_t Par1Adapter::read() {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Adapter::read: ");
    Data buffer(0, 255);
    Par1ReadEndPoint* endpoint = readEndpoint_;
    if (endpoint == nullptr) {
        if (trace.isEnabled()) {
            transportLog::note(trace, "readEndpoint_ = NULL");
            trace.setReturnCode(0u);
        }
        return 0;
    }
    try {
        while (continueReading_.load()) {
            uint32_t result = endpoint->doRead(buffer, replyLength_.load());
            // What came may have more behind it (the acknowledgement a writer
            // waits for, the rest of an answer): read again at once. Only a
            // read without data pauses, so a silent port is never polled in
            // a busy loop.
            if (result != 0 || buffer.size() == 0) {
                pauseReading();
            } else {
                pause_ = firstPause;
            }
            if (result != 0) {
                if (trace.isEnabled()) {
                    transportLog::note(
                        trace,
                        TextBuilder("Error (close,sleep,enumerate,open) rc=").append(result).str());
                }
                endpoint->doClose();
                // Closing the adapter ends the pause at once: nothing to
                // recover for.
                if (stopEvent_->wait(recoveryPause) || !continueReading_.load()) {
                    break;
                }
                Recovery recovery = findPrinterAgain();
                if (recovery == Recovery::Stopping || !continueReading_.load()) {
                    break;
                }
                if (recovery == Recovery::PrinterGone) {
                    if (trace.isEnabled()) {
                        trace.setReturnCode(static_cast<uint32_t>(ERROR_IO_DEVICE));
                    }
                    return ERROR_IO_DEVICE;
                }
                endpoint->doOpen();
            }
            if (buffer.size() != 0) {
                buffer.setError(result);
                if (Layer* upper = getLayer(Upper)) {
                    upper->doAccept(buffer);
                }
                buffer.clear();
            }
        }
    } catch (const Exception& e) {
        uint32_t error = e.getErrorCode() != 0 ? e.getErrorCode() : ERROR_INTERNAL_ERROR;
        transportLog::line(LevelError,
                           TextBuilder("Par1Adapter::read: stopped, rc=").append(error).str());
        return error;
    } catch (const std::exception&) {
        transportLog::line(LevelError, "Par1Adapter::read: stopped, rc=1359");
        return ERROR_INTERNAL_ERROR;
    } catch (...) {
        // TerminateThread unwinds this thread on Linux; that must go on.
        if (platform::isThreadTerminating()) {
            throw;
        }
        transportLog::line(LevelError, "Par1Adapter::read: stopped, rc=1359");
        return ERROR_INTERNAL_ERROR;
    }
    if (trace.isEnabled()) {
        trace.setReturnCode(0u);
    }
    return 0;
}
