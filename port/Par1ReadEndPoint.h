// Reads what the printer sends back on the port's reverse channel, one
// ReadFile per doRead, appended to a Data buffer. Only the adapter's read
// thread reads; opening and closing happen on the thread that opens or closes
// the adapter, or on the read thread while it recovers from a failed read. It
// does not own the port handle and sets no time-outs: the write endpoint's
// time-outs on the same handle bound its reads.
#pragma once

#include "platform/win32.h"

#include <atomic>
#include <cstdint>

class Data;
class Par1ReadEndPointState;

class Par1ReadEndPoint {
public:
    // Starts Closed; takes the platform id of the running system.
    explicit Par1ReadEndPoint(HANDLE port);
    // For a given platform id (1 is the Windows 95 family).
    Par1ReadEndPoint(HANDLE port, DWORD platformId);
    ~Par1ReadEndPoint();
    Par1ReadEndPoint(const Par1ReadEndPoint&) = delete;
    Par1ReadEndPoint& operator=(const Par1ReadEndPoint&) = delete;

    // Forward to the current state.
    uint32_t doOpen();
    uint32_t doClose();
    // most: the largest read wanted, 0 for the standard size.
    uint32_t doRead(Data& data, uint32_t most = 0);

    HANDLE getHandle() const { return handle_; }
    DWORD getPlatformId() const { return platformId_; }
    const Par1ReadEndPointState& getState() const { return *state_; }

    void changeState(Par1ReadEndPointState& state);

private:
    HANDLE handle_;
    DWORD platformId_;
    // Changed by the read thread while it recovers, read by the adapter's
    // closing thread.
    std::atomic<Par1ReadEndPointState*> state_;
};
