#include "platform/PortTimeouts.h"

#include <algorithm>

namespace platform {

namespace {

unsigned long long capped(unsigned long long milliseconds) {
    return std::min(milliseconds, longestTimeoutMs);
}

} // namespace

ReadTimeouts readTimeouts(const COMMTIMEOUTS& t, DWORD size) {
    ReadTimeouts rules;
    rules.atOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                   t.ReadTotalTimeoutConstant == 0;
    rules.firstByte = t.ReadIntervalTimeout == MAXDWORD &&
                      t.ReadTotalTimeoutMultiplier == MAXDWORD && t.ReadTotalTimeoutConstant != 0 &&
                      t.ReadTotalTimeoutConstant != MAXDWORD;
    if (rules.firstByte) {
        rules.total = true;
        rules.totalMs = capped(t.ReadTotalTimeoutConstant);
    } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
        rules.total = true;
        rules.totalMs =
            capped(static_cast<unsigned long long>(t.ReadTotalTimeoutMultiplier) * size +
                   t.ReadTotalTimeoutConstant);
    }
    if (!rules.atOnce && !rules.firstByte) {
        rules.intervalMs = capped(t.ReadIntervalTimeout);
    }
    return rules;
}

bool writeTimeout(const COMMTIMEOUTS& t, DWORD size, unsigned long long& milliseconds) {
    if (t.WriteTotalTimeoutMultiplier == 0 && t.WriteTotalTimeoutConstant == 0) {
        return false;
    }
    milliseconds = capped(static_cast<unsigned long long>(t.WriteTotalTimeoutMultiplier) * size +
                          t.WriteTotalTimeoutConstant);
    return true;
}

bool acceptedTimeouts(const COMMTIMEOUTS& t) {
    return !(t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
             t.ReadTotalTimeoutConstant == MAXDWORD);
}

} // namespace platform
