// Test support of the Linux parallel ports (library par1_platform_testing,
// linked by test programs and benchmarks only): a pseudo-terminal to serve a
// printer on, and the stand-ins that make the port code treat such a device
// as a printer device of a given kind, with an identification to answer.
//
//     platform::testing::PseudoTerminal line;          // line.devicePath(): /dev/pts/N
//     platform::testing::addStandIn(line.devicePath(), {DeviceKind::UsbLp, 0, answerId});
//     ... lpN -> line.devicePath() in PAR1_PARALLEL_DEVICES, CreateFileA, ...
//     platform::testing::removeStandIn(line.devicePath());
#pragma once

#include "platform/linux/port_stand_ins.h"

#include <cstddef>
#include <string>

namespace platform {
namespace testing {

using standin::DeviceKind;
using standin::StandIn;

// A pseudo-terminal in raw mode (bytes pass unchanged, no echo). The test's
// printer holds the master side; the port opens devicePath(), the slave side.
// Closing the master is a hang-up for the slave's holders.
class PseudoTerminal {
public:
    // Throws std::system_error when no pseudo-terminal can be had.
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& devicePath() const { return path_; }

    // Waits up to milliseconds for what the port wrote: the bytes read, 0
    // when nothing came, -1 after hangUp.
    long read(void* buffer, std::size_t size, int milliseconds);
    // Hands data to the port's reader, waiting up to milliseconds for room:
    // the bytes taken, -1 after hangUp.
    long write(const void* data, std::size_t size, int milliseconds);
    // Closes the master side: the port's descriptor is hung up.
    void hangUp();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

// Makes the platform treat the device at devicePath (by its device number,
// so a link to it counts too) as standIn says, until removeStandIn with the
// same path (which works after the device has gone too).
void addStandIn(const std::string& devicePath, const StandIn& standIn);
void removeStandIn(const std::string& devicePath);

// A directory that the ports take for / when they read /sys and /proc; empty
// for the real ones.
void setSystemRoot(const std::string& root);

} // namespace testing
} // namespace platform
