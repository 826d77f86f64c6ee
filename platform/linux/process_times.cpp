// The CPU time of the calling process, as GetProcessTimes reports it.
#include "platform/win32.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Seconds from 1 January 1601 to 1 January 1970.
const uint64_t epochDifference = 11644473600ull;
const uint64_t intervalsPerSecond = 10000000ull;

void store(LPFILETIME time, uint64_t intervals) {
    time->dwLowDateTime = DWORD(intervals & 0xFFFFFFFFu);
    time->dwHighDateTime = DWORD(intervals >> 32);
}

uint64_t intervals(const timeval& value) {
    return uint64_t(value.tv_sec) * intervalsPerSecond + uint64_t(value.tv_usec) * 10u;
}

uint64_t intervals(const timespec& value) {
    return uint64_t(value.tv_sec) * intervalsPerSecond + uint64_t(value.tv_nsec) / 100u;
}

// When the process started, in FILETIME intervals since 1601; 0 when the
// kernel does not say.
uint64_t creationTime() {
    FILE* file = std::fopen("/proc/self/stat", "r");
    if (file == nullptr) {
        return 0;
    }
    char text[1024] = {};
    size_t length = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[length] = '\0';
    // The command name may hold blanks and parentheses: fields are counted
    // from the last ')'. The start time, in clock ticks since boot, is the
    // 20th field after it.
    const char* at = std::strrchr(text, ')');
    unsigned long long startTicks = 0;
    for (int field = 0; at != nullptr && field < 20; ++field) {
        at = std::strchr(at + 1, ' ');
    }
    if (at == nullptr || std::sscanf(at + 1, "%llu", &startTicks) != 1) {
        return 0;
    }
    long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (ticksPerSecond <= 0) {
        return 0;
    }
    timespec sinceBoot{};
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &sinceBoot);
    clock_gettime(CLOCK_REALTIME, &now);
    const uint64_t started = startTicks * intervalsPerSecond / uint64_t(ticksPerSecond);
    const uint64_t age = intervals(sinceBoot) > started ? intervals(sinceBoot) - started : 0;
    return epochDifference * intervalsPerSecond + intervals(now) - age;
}

} // namespace

HANDLE GetCurrentProcess() {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

BOOL GetProcessTimes(HANDLE process, LPFILETIME creation, LPFILETIME exit, LPFILETIME kernel,
                     LPFILETIME user) {
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (creation == nullptr || exit == nullptr || kernel == nullptr || user == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    store(creation, creationTime());
    store(exit, 0);
    store(kernel, intervals(usage.ru_stime));
    store(user, intervals(usage.ru_utime));
    return TRUE;
}
