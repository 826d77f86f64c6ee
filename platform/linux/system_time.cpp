// Local time and the tick count.
#include "platform/win32.h"

#include <ctime>

void GetLocalTime(LPSYSTEMTIME time) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    time->wYear = WORD(local.tm_year + 1900);
    time->wMonth = WORD(local.tm_mon + 1);
    time->wDayOfWeek = WORD(local.tm_wday); // 0 is Sunday on both systems
    time->wDay = WORD(local.tm_mday);
    time->wHour = WORD(local.tm_hour);
    time->wMinute = WORD(local.tm_min);
    // A leap second shows as second 59 of its minute; Windows has no 60.
    time->wSecond = WORD(local.tm_sec > 59 ? 59 : local.tm_sec);
    time->wMilliseconds = WORD(now.tv_nsec / 1000000);
}

DWORD GetTickCount() {
    // Milliseconds since boot, time spent suspended included, as Windows
    // counts them; the DWORD wraps after 49.7 days.
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return DWORD(uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u);
}
