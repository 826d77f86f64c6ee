// Writes one Data buffer at a time to an open parallel port, synchronously,
// under communication time-outs that it sets on the port handle before every
// write. The adapter makes one each time it is opened and, for every buffer,
// opens it, writes and closes it again. It does not own the port handle.
//
// No lock of its own: the adapter serialises its use.
#pragma once

#include "platform/win32.h"

#include <cstdint>

class Data;
class Par1WriteEndPointState;
class Par1WriteEndPointOpen;

class Par1WriteEndPoint {
public:
    // Reads "ReadTimeout" (default 50 ms; a stored 0, which would let reads
    // wait for ever, counts as 1) from the settings; starts Closed, with the
    // standard time-outs and the print-data flag set.
    explicit Par1WriteEndPoint(HANDLE port);
    ~Par1WriteEndPoint();
    Par1WriteEndPoint(const Par1WriteEndPoint&) = delete;
    Par1WriteEndPoint& operator=(const Par1WriteEndPoint&) = delete;

    // Forward to the current state.
    uint32_t doOpen();
    uint32_t doClose();
    uint32_t doWrite(Data& data);

    HANDLE getHandle() const { return handle_; }
    // The time-outs of the next print-data write; the flag is set again.
    void setCommTimeouts(const COMMTIMEOUTS& timeouts);
    // Cleared: the next write is not print data and gets a write time-out of
    // 1000 ms.
    void setPrintDataFlag(bool printData);
    // Sets the standard time-outs (1, 0, "ReadTimeout", 0, 60000) on the
    // handle now, without writing, so that reads are bounded from the start.
    void applyStandardTimeouts();
    // The time-outs with their read part made the standard one. The read
    // thread's reads share the handle: whatever a write asks for, they stay
    // bounded by "ReadTimeout", so that a close never waits for a long read.
    COMMTIMEOUTS withStandardReads(COMMTIMEOUTS timeouts) const;

    void changeState(Par1WriteEndPointState& state);

    const Par1WriteEndPointState& getState() const { return *state_; }
    uint32_t getReadTimeout() const { return readTimeout_; }
    const COMMTIMEOUTS& getCommTimeouts() const { return timeouts_; }
    bool getPrintDataFlag() const { return printData_; }

private:
    friend class Par1WriteEndPointOpen;

    // After every write: standard time-outs, print data.
    void resetWriteSettings();
    COMMTIMEOUTS standardTimeouts() const;

    HANDLE handle_;
    Par1WriteEndPointState* state_;
    uint32_t readTimeout_;
    COMMTIMEOUTS timeouts_;
    bool printData_;
};
