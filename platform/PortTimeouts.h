// When a read or a write of a port ends under its COMMTIMEOUTS, as the
// Windows port driver applies them. The Linux platform's ports and the
// virtual printer's ports follow the same rules from here. Times are in
// milliseconds from the call, and capped so that time arithmetic stays in
// range (a longer time-out never ends in practice).
#pragma once

#include "platform/win32.h"

namespace platform {

constexpr unsigned long long longestTimeoutMs = 1000000000ull;

struct ReadTimeouts {
    // Interval MAXDWORD, both totals 0: the read returns at once with what is
    // there.
    bool atOnce = false;
    // Interval and multiplier MAXDWORD, a constant between: the read returns
    // as soon as a byte is there, or at its total time-out.
    bool firstByte = false;
    // Whether totalMs bounds the read.
    bool total = false;
    unsigned long long totalMs = 0;
    // The read ends so long after the last byte that came; 0 for no such end.
    unsigned long long intervalMs = 0;
};

// The rules of a read of size bytes.
ReadTimeouts readTimeouts(const COMMTIMEOUTS& timeouts, DWORD size);
// The total time-out of a write of size bytes; false when the write has none.
bool writeTimeout(const COMMTIMEOUTS& timeouts, DWORD size, unsigned long long& milliseconds);
// False for what SetCommTimeouts refuses with ERROR_INVALID_PARAMETER:
// interval, multiplier and constant of the read all MAXDWORD.
bool acceptedTimeouts(const COMMTIMEOUTS& timeouts);

} // namespace platform
