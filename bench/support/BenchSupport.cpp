#include "bench/support/BenchSupport.h"
#include "tests/support/PrivateStore.h"

#include "platform/win32.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace bench {

namespace {

#ifndef _WIN32
std::string& privateStore() {
    static std::string* directory = new std::string;
    return *directory;
}

void removePrivateStore() {
    par1test::removeStore(privateStore());
}
#endif

} // namespace

std::string usePrivateStore(const std::string& prefix) {
#ifndef _WIN32
    if (std::getenv("PAR1_REGISTRY") != nullptr) {
        return std::string();
    }
    const std::string directory = par1test::makePrivateStore(prefix);
    if (privateStore().empty()) {
        std::atexit(removePrivateStore);
    }
    privateStore() = directory;
    return directory;
#else
    (void)prefix;
    return std::string();
#endif
}

double processCpuSeconds() {
    FILETIME creation, exit, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user)) {
        return 0;
    }
    auto value = [](const FILETIME& t) {
        return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

std::string loadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    if (!(file >> one >> five >> fifteen)) {
        return "n/a";
    }
    return one + " " + five + " " + fifteen;
}

} // namespace bench
