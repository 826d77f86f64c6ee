// One virtual parallel port (LPTn, the kernel device \Device\Parallel(n-1)):
// the port driver's side of the link and the printer attached to it.
//
// It behaves as the port driver does:
// - reads honour the handle's COMMTIMEOUTS: the total time-out (multiplier
//   times the bytes asked for, plus the constant) bounds the read, and once a
//   byte has arrived the read ends when no further byte comes within the
//   interval time-out (the total one may end up to a millisecond late);
//   interval MAXDWORD with both totals 0 returns at once;
//   interval and multiplier MAXDWORD with a constant wait for the first byte
//   at most that long and return as soon as one is there; all zero waits for
//   the whole buffer;
// - a write of n bytes takes n divided by the link speed, when one is set;
//   a write that cannot finish within its total time-out sends what fits,
//   fails with ERROR_SEM_TIMEOUT and raises CE_PTO; a printer that goes away
//   during a write has the bytes that crossed the link before, and the
//   failed write reports them as written;
// - a read hands out at most the driver's read size, when one is set, so the
//   printer's answers can be split at any byte;
// - without a printer, reads, writes and the identification query fail with
//   ERROR_NOT_READY, and a failed write raises CE_DNS;
// - a port that is not present cannot be opened (ERROR_FILE_NOT_FOUND), and
//   handles opened before it went fail with ERROR_DEVICE_NOT_CONNECTED;
// - ClearCommError reports the error flags raised since the last call and
//   clears them.
// Handles stay valid while the printer is away: it can come back under them.
//
// Every operation may be called from any thread.
#pragma once

#include "platform/win32.h"
#include "sim/NpaFrames.h"
#include "sim/VirtualPrinter.h"
#include "sim/WaitQueue.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

namespace sim {

// One WriteFile on the port.
struct PortWrite {
    Bytes data;            // the bytes handed to WriteFile, unless records are off
    COMMTIMEOUTS timeouts; // the handle's time-outs at the call
    bool succeeded;
};

// How the reads that returned bytes or ran out of time ended.
struct ReadEnds {
    unsigned filled = 0;   // the caller's buffer was full
    unsigned interval = 0; // one interval time-out after the last byte
    unsigned total = 0;    // at the read's total time-out
};

class VirtualPort {
public:
    explicit VirtualPort(unsigned number);
    VirtualPort(const VirtualPort&) = delete;
    VirtualPort& operator=(const VirtualPort&) = delete;

    unsigned number() const { return number_; }

    // Hardware and printer. A port is present and has no printer at first.
    void setPresent(bool present);
    bool present() const;
    // The printer comes (back) with a fresh intake and an empty back channel;
    // its settings and records stay.
    VirtualPrinter& attachPrinter();
    void detachPrinter();
    bool printerAttached() const;
    VirtualPrinter& printer() { return printer_; }

    // Host-to-printer speed in bytes per second; 0 moves data at once.
    void setLinkSpeed(DWORD bytesPerSecond);
    // The time-outs a handle has when it is opened; at first interval MAXDWORD
    // and both totals 0: a read returns at once with what is there.
    void setInitialTimeouts(const COMMTIMEOUTS& timeouts);
    // The most bytes one read hands out, down to 1; 0 (at first) for no
    // limit but the caller's buffer.
    void setReadSize(std::size_t bytes);

    // Faults.
    // Raises error flags now; the next ClearCommError reports them.
    void setCommErrors(DWORD errors);
    // The next count writes fail at once with error as last error, writing
    // nothing, and raise commErrors.
    void failWrites(unsigned count, DWORD commErrors, DWORD error = ERROR_GEN_FAILURE);
    // The printer goes away once it has received bytes more bytes: the
    // write that crosses that point delivers them and fails as a write to a
    // missing printer does (ERROR_NOT_READY, CE_DNS).
    void vanishAfter(std::size_t bytes);
    // The next count reads fail at once with error.
    void failReads(unsigned count, DWORD error = ERROR_GEN_FAILURE);
    void failClearCommError(bool fail);
    // The next count opens fail with ERROR_ACCESS_DENIED.
    void denyOpens(unsigned count);

    // What happened.
    std::vector<PortWrite> writes() const;
    unsigned openCount() const;            // successful opens
    DWORD lastOpenFlags() const;           // flags and attributes of the last open attempt
    unsigned openHandles() const;          // handles not yet closed
    COMMTIMEOUTS lastCommTimeouts() const; // last SetCommTimeouts on any handle
    unsigned readCount() const;            // ReadFile calls
    ReadEnds readEnds() const;
    std::size_t backChannelPending() const; // bytes sent by the printer, not yet read
    bool waitForWrites(std::size_t count, DWORD milliseconds) const;
    // Until so many ReadFile calls have begun.
    bool waitForReads(std::size_t count, DWORD milliseconds) const;
    bool waitForBackChannelRead(DWORD milliseconds) const;

private:
    friend class VirtualPrinter;
    friend class VirtualPorts;

    using Clock = std::chrono::steady_clock;

    // The state of one open handle, guarded by the port's lock.
    struct Handle {
        DWORD access;
        COMMTIMEOUTS timeouts;
    };

    struct Chunk {
        Bytes data;
        std::size_t taken;
        Clock::time_point due;
    };

    // The seam's calls, made by VirtualPorts on a handle of this port.
    DWORD open(DWORD access, DWORD flagsAndAttributes, Handle& handle);
    void close();
    BOOL read(Handle& handle, LPVOID buffer, DWORD size, LPDWORD bytesRead);
    BOOL write(Handle& handle, LPCVOID buffer, DWORD size, LPDWORD bytesWritten);
    BOOL setTimeouts(Handle& handle, const COMMTIMEOUTS& timeouts);
    BOOL clearError(LPDWORD errors, LPCOMSTAT status);
    BOOL control(DWORD code, LPVOID out, DWORD outSize, LPDWORD bytesReturned);

    // With the lock held.
    void queueLocked(const Bytes& data, Clock::time_point due);
    // The printer goes; a pending vanishAfter with it.
    void vanishLocked();
    // Hands size bytes to the printer and reports them written.
    void deliverLocked(const unsigned char* data, std::size_t size, LPDWORD bytesWritten);
    std::size_t takeLocked(unsigned char* buffer, std::size_t size, Clock::time_point now);
    bool dueLocked(Clock::time_point now) const;
    DWORD unavailableLocked() const; // 0 when the printer can be reached
    std::size_t pendingLocked() const;

    const unsigned number_;
    mutable std::mutex mutex_;
    mutable WaitQueue changed_;
    VirtualPrinter printer_;

    bool present_ = true;
    bool attached_ = false;
    DWORD linkSpeed_ = 0;
    std::size_t readSize_ = 0;
    bool vanishing_ = false;
    std::size_t vanishBudget_ = 0;
    COMMTIMEOUTS initialTimeouts_;
    DWORD commErrors_ = 0;
    unsigned writeFailures_ = 0;
    DWORD writeFailureErrors_ = 0;
    DWORD writeFailureCode_ = 0;
    unsigned readFailures_ = 0;
    DWORD readFailureCode_ = 0;
    bool clearCommErrorFails_ = false;
    unsigned openDenials_ = 0;
    bool writing_ = false;

    std::deque<Chunk> backChannel_;
    std::vector<PortWrite> writes_;
    unsigned openCount_ = 0;
    DWORD lastOpenFlags_ = 0;
    unsigned openHandles_ = 0;
    COMMTIMEOUTS lastTimeouts_{};
    unsigned readCount_ = 0;
    ReadEnds readEnds_;
};

} // namespace sim
