#include "sim/VirtualPort.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// Longer waits than this count as endless; it keeps time arithmetic in range.
constexpr unsigned long long longestWait = 1000000000ull;

std::chrono::milliseconds limited(unsigned long long milliseconds) {
    return std::chrono::milliseconds(std::min(milliseconds, longestWait));
}

bool readable(DWORD access) {
    return (access & (GENERIC_READ | GENERIC_ALL)) != 0;
}

bool writable(DWORD access) {
    return (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
}

} // namespace

VirtualPort::VirtualPort(unsigned number) : number_(number), printer_(*this) {
    initialTimeouts_ = COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 0};
}

void VirtualPort::setPresent(bool present) {
    std::lock_guard<std::mutex> lock(mutex_);
    present_ = present;
    changed_.notifyAll();
}

bool VirtualPort::present() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return present_;
}

VirtualPrinter& VirtualPort::attachPrinter() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!attached_) {
        attached_ = true;
        printer_.resetIntakeLocked();
        backChannel_.clear();
        changed_.notifyAll();
    }
    return printer_;
}

void VirtualPort::detachPrinter() {
    std::lock_guard<std::mutex> lock(mutex_);
    vanishLocked();
}

bool VirtualPort::printerAttached() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return attached_;
}

void VirtualPort::setLinkSpeed(DWORD bytesPerSecond) {
    std::lock_guard<std::mutex> lock(mutex_);
    linkSpeed_ = bytesPerSecond;
}

void VirtualPort::setInitialTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard<std::mutex> lock(mutex_);
    initialTimeouts_ = timeouts;
}

void VirtualPort::setReadSize(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    readSize_ = bytes;
}

void VirtualPort::vanishAfter(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    vanishing_ = true;
    vanishBudget_ = bytes;
}

void VirtualPort::setCommErrors(DWORD errors) {
    std::lock_guard<std::mutex> lock(mutex_);
    commErrors_ |= errors;
}

void VirtualPort::failWrites(unsigned count, DWORD commErrors, DWORD error) {
    std::lock_guard<std::mutex> lock(mutex_);
    writeFailures_ = count;
    writeFailureErrors_ = commErrors;
    writeFailureCode_ = error;
}

void VirtualPort::failReads(unsigned count, DWORD error) {
    std::lock_guard<std::mutex> lock(mutex_);
    readFailures_ = count;
    readFailureCode_ = error;
}

void VirtualPort::failClearCommError(bool fail) {
    std::lock_guard<std::mutex> lock(mutex_);
    clearCommErrorFails_ = fail;
}

void VirtualPort::denyOpens(unsigned count) {
    std::lock_guard<std::mutex> lock(mutex_);
    openDenials_ = count;
}

std::vector<PortWrite> VirtualPort::writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

unsigned VirtualPort::openCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return openCount_;
}

DWORD VirtualPort::lastOpenFlags() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastOpenFlags_;
}

unsigned VirtualPort::openHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return openHandles_;
}

COMMTIMEOUTS VirtualPort::lastCommTimeouts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastTimeouts_;
}

unsigned VirtualPort::readCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return readCount_;
}

ReadEnds VirtualPort::readEnds() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return readEnds_;
}

std::size_t VirtualPort::backChannelPending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pendingLocked();
}

bool VirtualPort::waitForWrites(std::size_t count, DWORD milliseconds) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.waitFor(lock, milliseconds,
                            [&] { return writes_.size() >= count && !writing_; });
}

bool VirtualPort::waitForReads(std::size_t count, DWORD milliseconds) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.waitFor(lock, milliseconds, [&] { return readCount_ >= count; });
}

bool VirtualPort::waitForBackChannelRead(DWORD milliseconds) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.waitFor(lock, milliseconds, [&] { return backChannel_.empty(); });
}

DWORD VirtualPort::open(DWORD access, DWORD flagsAndAttributes, Handle& handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastOpenFlags_ = flagsAndAttributes;
    if (!present_) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (openDenials_ > 0) {
        --openDenials_;
        return ERROR_ACCESS_DENIED;
    }
    handle.access = access;
    handle.timeouts = initialTimeouts_;
    ++openCount_;
    ++openHandles_;
    return 0;
}

void VirtualPort::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    --openHandles_;
    changed_.notifyAll();
}

DWORD VirtualPort::unavailableLocked() const {
    if (!present_) {
        return ERROR_DEVICE_NOT_CONNECTED;
    }
    return attached_ ? 0 : ERROR_NOT_READY;
}

void VirtualPort::queueLocked(const Bytes& data, Clock::time_point due) {
    // The printer's output leaves in the order it is due; equal times keep
    // the order in which they were sent.
    auto later = std::find_if(backChannel_.begin(), backChannel_.end(),
                              [&](const Chunk& chunk) { return chunk.due > due; });
    backChannel_.insert(later, Chunk{data, 0, due});
    changed_.notifyAll();
}

std::size_t VirtualPort::takeLocked(unsigned char* buffer, std::size_t size,
                                    Clock::time_point now) {
    std::size_t got = 0;
    while (got < size && !backChannel_.empty() && backChannel_.front().due <= now) {
        Chunk& chunk = backChannel_.front();
        const std::size_t n = std::min(size - got, chunk.data.size() - chunk.taken);
        std::memcpy(buffer + got, chunk.data.data() + chunk.taken, n);
        got += n;
        chunk.taken += n;
        if (chunk.taken == chunk.data.size()) {
            backChannel_.pop_front();
        }
    }
    if (got > 0) {
        changed_.notifyAll();
    }
    return got;
}

std::size_t VirtualPort::pendingLocked() const {
    std::size_t pending = 0;
    for (const Chunk& chunk : backChannel_) {
        pending += chunk.data.size() - chunk.taken;
    }
    return pending;
}

BOOL VirtualPort::read(Handle& handle, LPVOID buffer, DWORD size, LPDWORD bytesRead) {
    WaitQueue::DeferredWakeups wakeups;
    std::unique_lock<std::mutex> lock(mutex_);
    ++readCount_;
    changed_.notifyAll();
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (!readable(handle.access)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (readFailures_ > 0) {
        --readFailures_;
        SetLastError(readFailureCode_);
        return FALSE;
    }
    if (DWORD error = unavailableLocked()) {
        SetLastError(error);
        return FALSE;
    }
    if (size == 0) {
        return TRUE;
    }
    if (buffer == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    if (readSize_ != 0 && size > readSize_) {
        size = static_cast<DWORD>(readSize_);
    }

    const COMMTIMEOUTS t = handle.timeouts;
    const bool atOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                        t.ReadTotalTimeoutConstant == 0;
    const bool firstByte =
        t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
    const Clock::time_point start = Clock::now();
    bool total = false;
    Clock::time_point totalDeadline;
    if (firstByte) {
        total = true;
        totalDeadline = start + limited(t.ReadTotalTimeoutConstant);
    } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
        total = true;
        totalDeadline =
            start + limited(static_cast<unsigned long long>(t.ReadTotalTimeoutMultiplier) * size +
                            t.ReadTotalTimeoutConstant);
    }
    const bool interval = !atOnce && !firstByte && t.ReadIntervalTimeout != 0;

    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t got = 0;
    Clock::time_point lastByte = start;
    for (;;) {
        const Clock::time_point now = Clock::now();
        const std::size_t n = takeLocked(out + got, size - got, now);
        if (n > 0) {
            got += n;
            lastByte = now;
        }
        if (got == size) {
            ++readEnds_.filled;
            break;
        }
        if (atOnce || (firstByte && got > 0)) {
            break;
        }
        bool timed = total;
        Clock::time_point wake = totalDeadline;
        bool intervalFirst = false;
        if (interval && got > 0) {
            const Clock::time_point intervalEnd = lastByte + limited(t.ReadIntervalTimeout);
            intervalFirst = !timed || intervalEnd < wake;
            wake = intervalFirst ? intervalEnd : wake;
            timed = true;
        }
        if (timed && now >= wake) {
            ++(intervalFirst ? readEnds_.interval : readEnds_.total);
            break;
        }
        // Sleep until the read's time-out, or until the printer's next answer
        // falls due; anything else that changes wakes the wait.
        if (!backChannel_.empty() && backChannel_.front().due > now &&
            (!timed || backChannel_.front().due < wake)) {
            wake = backChannel_.front().due;
            timed = true;
        }
        if (timed) {
            // The read's total time-out ends within a millisecond, in one
            // wake-up: an idle read thread is woken once per read, not twice.
            // Bytes and the interval time-out keep their microseconds.
            changed_.waitUntil(lock, wake, total && wake == totalDeadline);
        } else {
            changed_.wait(lock);
        }
        if (DWORD error = unavailableLocked()) {
            if (got > 0) {
                break; // what arrived is handed out; the next read fails
            }
            SetLastError(error);
            return FALSE;
        }
    }
    if (bytesRead != nullptr) {
        *bytesRead = static_cast<DWORD>(got);
    }
    return TRUE;
}

BOOL VirtualPort::write(Handle& handle, LPCVOID buffer, DWORD size, LPDWORD bytesWritten) {
    WaitQueue::DeferredWakeups wakeups;
    std::unique_lock<std::mutex> lock(mutex_);
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    if (!writable(handle.access)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (buffer == nullptr && size != 0) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    // One transfer at a time, as on the wire.
    while (writing_) {
        changed_.wait(lock);
    }
    const auto* data = static_cast<const unsigned char*>(buffer);
    const COMMTIMEOUTS t = handle.timeouts;
    const std::size_t index = writes_.size();
    writes_.push_back(
        PortWrite{printer_.keepRecords_ ? Bytes(data, data + size) : Bytes(), t, false});
    changed_.notifyAll();

    auto fail = [&](DWORD error, DWORD flags) {
        commErrors_ |= flags;
        SetLastError(error);
        return FALSE;
    };
    if (writeFailures_ > 0) {
        --writeFailures_;
        return fail(writeFailureCode_, writeFailureErrors_);
    }
    if (!present_) {
        return fail(ERROR_DEVICE_NOT_CONNECTED, 0);
    }
    if (!attached_) {
        return fail(ERROR_NOT_READY, CE_DNS);
    }

    std::size_t sendable = size;
    bool timedOut = false;
    if (linkSpeed_ != 0 && size != 0) {
        const DWORD speed = linkSpeed_;
        auto transfer =
            std::chrono::microseconds(static_cast<unsigned long long>(size) * 1000000ull / speed);
        if (t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0) {
            const auto limit =
                limited(static_cast<unsigned long long>(t.WriteTotalTimeoutMultiplier) * size +
                        t.WriteTotalTimeoutConstant);
            if (transfer > limit) {
                transfer = limit;
                sendable = std::min<std::size_t>(
                    size, static_cast<unsigned long long>(limit.count()) * speed / 1000ull);
                timedOut = true;
            }
        }
        // Cleared also while the stack of a terminated writer unwinds.
        struct Transfer {
            VirtualPort& port;
            explicit Transfer(VirtualPort& p) : port(p) { port.writing_ = true; }
            ~Transfer() {
                port.writing_ = false;
                port.changed_.notifyAll();
            }
        };
        bool gone = false;
        {
            Transfer busy(*this);
            const Clock::time_point begin = Clock::now();
            const Clock::time_point done = begin + transfer;
            while (!(gone = unavailableLocked() != 0) && Clock::now() < done) {
                changed_.waitUntil(lock, done);
            }
            if (gone) {
                // What crossed the link before the printer went is its.
                const auto elapsed =
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - begin);
                sendable = std::min<std::size_t>(sendable,
                                                 static_cast<unsigned long long>(elapsed.count()) *
                                                     speed / 1000000ull);
            }
        }
        if (gone) {
            deliverLocked(data, sendable, bytesWritten);
            return fail(unavailableLocked(), present_ ? CE_DNS : 0);
        }
    }
    if (vanishing_ && sendable > vanishBudget_) {
        // The printer goes part-way through this write.
        deliverLocked(data, vanishBudget_, bytesWritten);
        vanishLocked();
        return fail(ERROR_NOT_READY, CE_DNS);
    }
    deliverLocked(data, sendable, bytesWritten);
    if (vanishing_ && (vanishBudget_ -= sendable) == 0) {
        vanishLocked();
    }
    if (timedOut) {
        return fail(ERROR_SEM_TIMEOUT, CE_PTO);
    }
    writes_[index].succeeded = true;
    changed_.notifyAll();
    return TRUE;
}

void VirtualPort::vanishLocked() {
    vanishing_ = false;
    attached_ = false;
    backChannel_.clear();
    changed_.notifyAll();
}

void VirtualPort::deliverLocked(const unsigned char* data, std::size_t size, LPDWORD bytesWritten) {
    if (size > 0) {
        printer_.receiveLocked(data, size);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = static_cast<DWORD>(size);
    }
}

BOOL VirtualPort::setTimeouts(Handle& handle, const COMMTIMEOUTS& timeouts) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (timeouts.ReadIntervalTimeout == MAXDWORD &&
        timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
        timeouts.ReadTotalTimeoutConstant == MAXDWORD) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!present_) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    handle.timeouts = timeouts;
    lastTimeouts_ = timeouts;
    return TRUE;
}

BOOL VirtualPort::clearError(LPDWORD errors, LPCOMSTAT status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (clearCommErrorFails_) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    if (!present_) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    if (errors != nullptr) {
        *errors = commErrors_;
    }
    commErrors_ = 0;
    if (status != nullptr) {
        *status = COMSTAT{};
        status->cbInQue = static_cast<DWORD>(pendingLocked());
    }
    return TRUE;
}

BOOL VirtualPort::control(DWORD code, LPVOID out, DWORD outSize, LPDWORD bytesReturned) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (bytesReturned != nullptr) {
        *bytesReturned = 0;
    }
    if (code != IOCTL_PAR_QUERY_DEVICE_ID) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (DWORD error = unavailableLocked()) {
        SetLastError(error);
        return FALSE;
    }
    const std::string& id = printer_.deviceId_;
    if (out == nullptr || outSize < id.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(out, id.data(), id.size());
    DWORD returned = static_cast<DWORD>(id.size());
    if (outSize > id.size()) {
        static_cast<char*>(out)[id.size()] = '\0';
        ++returned;
    }
    if (bytesReturned != nullptr) {
        *bytesReturned = returned;
    }
    return TRUE;
}

} // namespace sim
