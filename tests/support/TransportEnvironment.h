// What the tests of the port and device classes need before the first of
// them runs: a private registry and drive C: (Linux), the Localize instance
// of the test program, the shortest read time-out the settings allow, and an
// installed logger with every level on, writing to the program's own log
// file (C:\port.log for port_tests), emptied at the start.
//
//     static const bool environment = par1test::useTransportEnvironment();
//
// LogWatch reads what the log file received after a given point.
#pragma once

#include <cstdint>
#include <string>

namespace par1test {

// "ReadTimeout" as the tests store it, in milliseconds.
constexpr uint32_t kReadTimeoutMs = 1;

// Call from a static initializer of the test program.
bool useTransportEnvironment();

// The registry key below the test program's local store, for instance
// "Par1\\Settings"; created when missing.
void setStoreNumber(const std::string& key, const std::string& name, uint32_t value);

class LogWatch {
public:
    // Watches from the log file's current end.
    LogWatch();

    // The text written since then.
    std::string text() const;
    bool contains(const std::string& line) const;

private:
    uint32_t start_;
};

} // namespace par1test
