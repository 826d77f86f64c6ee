// The process's DOS device names, as Windows keeps them per session.
#include "platform/DosDeviceTable.h"
#include "platform/linux/ports.h"

#include <mutex>

namespace {

struct DosDevices {
    std::mutex lock;
    platform::DosDeviceTable table;
};

DosDevices& dosDevices() {
    // Never destroyed: ports may be opened while the process exits.
    static DosDevices* instance = new DosDevices;
    return *instance;
}

// Registered when the program starts. It sits with the DOS device names so
// that a program which can name a port can open it too.
[[maybe_unused]] const int parallelOpener = platform::addDeviceOpener(platform::openParallelPort);

} // namespace

namespace platform {

bool dosDeviceTarget(const std::string& name, std::string& target) {
    DosDevices& all = dosDevices();
    std::lock_guard<std::mutex> guard(all.lock);
    std::vector<std::string> targets = all.table.targets(name);
    if (targets.empty()) {
        return false;
    }
    target = targets.front();
    return true;
}

} // namespace platform

BOOL DefineDosDeviceA(DWORD flags, LPCSTR deviceName, LPCSTR targetPath) {
    DosDevices& all = dosDevices();
    std::lock_guard<std::mutex> guard(all.lock);
    return all.table.define(flags, deviceName, targetPath);
}

DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD max) {
    DosDevices& all = dosDevices();
    std::lock_guard<std::mutex> guard(all.lock);
    return all.table.query(deviceName, targetPath, max);
}
