// The virtual parallel ports LPT1 to LPT9 behind the port seam: the DOS device
// names, the handles, and each port with its printer. Install it with a
// ScopedPortSystem (port/PortSystem.h); the module then reaches these ports
// instead of the system's.
//
//     sim::VirtualPorts ports;
//     sim::VirtualPrinter& printer = ports.port(1).attachPrinter();
//     ScopedPortSystem installed(ports);
//
// \\.\NAME opens the port that the newest target of the DOS device name NAME
// names: \Device\Parallel0 is LPT1, \Device\Parallel8 is LPT9. Every
// operation may be called from any thread.
#pragma once

#include "platform/DosDeviceTable.h"
#include "port/PortSystem.h"
#include "sim/VirtualPort.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

class VirtualPorts : public PortSystem {
public:
    static constexpr unsigned portCount = 9;

    VirtualPorts();
    ~VirtualPorts() override;
    VirtualPorts(const VirtualPorts&) = delete;
    VirtualPorts& operator=(const VirtualPorts&) = delete;

    // Port 1 (LPT1) to 9; std::out_of_range for others.
    VirtualPort& port(unsigned number);
    // The targets of a DOS device name, newest first.
    std::vector<std::string> dosDeviceTargets(const std::string& name) const;
    // Handles open on all ports.
    unsigned openHandles() const;

    BOOL defineDosDevice(DWORD flags, LPCSTR deviceName, LPCSTR targetPath) override;
    DWORD queryDosDevice(LPCSTR deviceName, LPSTR targetPath, DWORD max) override;
    HANDLE createFile(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                      LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                      DWORD flagsAndAttributes, HANDLE templateFile) override;
    BOOL closeHandle(HANDLE handle) override;
    BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) override;
    BOOL writeFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                   LPOVERLAPPED overlapped) override;
    BOOL setCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) override;
    BOOL clearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) override;
    BOOL deviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                         LPOVERLAPPED overlapped) override;

private:
    struct Open {
        VirtualPort* port;
        std::shared_ptr<VirtualPort::Handle> handle;
    };

    // The port and state of a handle; false with ERROR_INVALID_HANDLE.
    bool find(HANDLE handle, Open& open) const;

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<VirtualPort>> ports_;
    platform::DosDeviceTable dosDevices_;
    std::map<std::uintptr_t, Open> handles_;
    std::uintptr_t lastHandle_;
};

} // namespace sim
