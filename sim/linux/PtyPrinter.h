// The virtual printer served on a pseudo-terminal, so that the Linux build's
// own port code (platform/linux/ports.cpp) reaches it through a real
// descriptor: the kernel's poll, read and write, and hang-ups. Test programs
// and benchmarks only (library par1_sim_pty).
//
//     sim::PtyPrinter served(directory + "/lp2", DeviceKind::UsbLp);
//     served.printer().setAckMode(sim::AckMode::Refuse);
//     // with PAR1_PARALLEL_DEVICES=directory, LPT3: (\Device\Parallel2)
//     // reaches the printer through the platform's own ports
//     served.kill(); // the line hangs up
//
// The platform treats the line as a printer device of the kind given (a
// stand-in, platform/linux/testing/PortStandIns.h): UsbLp answers the
// identification query with the printer's identification (none when it is
// empty), Lp cannot be polled and reads of 0 are no data, Other has no
// identification and a read of 0 is a hang-up.
#pragma once

#include "platform/linux/testing/PortStandIns.h"
#include "sim/VirtualPorts.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace sim {

class PtyPrinter {
public:
    // A printer on a new pseudo-terminal; link (a symbolic link, replaced
    // when it exists) points at the terminal. minor is the lp number that an
    // Lp stand-in shows (the N of lpN).
    PtyPrinter(const std::string& link, platform::testing::DeviceKind kind, unsigned minor = 0);
    // kill().
    ~PtyPrinter();
    PtyPrinter(const PtyPrinter&) = delete;
    PtyPrinter& operator=(const PtyPrinter&) = delete;

    VirtualPrinter& printer() { return ports_.port(1).printer(); }
    // The printer's side of the line; its link speed and faults apply.
    VirtualPort& port() { return ports_.port(1); }
    const std::string& terminal() const { return line_.devicePath(); }

    // The printer stops taking bytes from the line (the host's writes fill it
    // and then wait), or takes them again.
    void stall(bool stalled);
    // The printer goes: its line hangs up and the link is removed. Whatever
    // the printer received stays readable.
    void kill();

private:
    struct Identity;

    void toPrinter();
    void fromPrinter();

    VirtualPorts ports_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    platform::testing::PseudoTerminal line_;
    std::string link_;
    std::shared_ptr<Identity> identity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stalled_ = false;
    std::atomic<bool> stop_{false};
    bool killed_ = false;
    std::thread toPrinter_;
    std::thread fromPrinter_;
};

} // namespace sim
