// The test hook of the parallel ports: a device that stands in for a printer
// device in the tests (a pseudo-terminal served by the virtual printer).
//
// The shipped module has no stand-ins: the hooks below are weak and defined
// only in par1_platform_testing (platform/linux/testing/), which test programs
// and benchmarks link, never the module or par1. Without that library the
// hooks are null and the ports look only at the system; they are hidden, so
// nothing loaded beside the module can supply them either.
#pragma once

#include <functional>
#include <string>

namespace platform {
namespace standin {

// How the platform treats a port's device (platform/README.md, "Printer
// devices").
enum class DeviceKind {
    Lp,    // the parallel port printer driver: not pollable, 0 read is no data
    UsbLp, // the USB printer class driver: pollable, 0 read is no data
    Other, // any other character device: pollable, 0 read is a hang-up
};

struct StandIn {
    DeviceKind kind = DeviceKind::Other;
    // The device's minor number as the platform should see it (the N of lpN).
    unsigned minor = 0;
    // Answers the printer's IEEE 1284 identification as the usblp driver's
    // query would (the text alone); false when the driver gives none.
    std::function<bool(std::string&)> deviceId;
};

// The stand-in for the device with this number (st_rdev); false for none.
bool find(unsigned long long device, StandIn& standIn) __attribute__((weak, visibility("hidden")));
// A directory that takes the place of / for the /sys and /proc files the
// ports read; empty for the system's own.
std::string systemRoot() __attribute__((weak, visibility("hidden")));

} // namespace standin
} // namespace platform
