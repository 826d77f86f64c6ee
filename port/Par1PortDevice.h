// Turns a port name ("LPT1:" to "LPT9:") into something CreateFileA opens.
// On the NT family the raw kernel device of port n, "\Device\Parallel" n-1,
// gets a DOS device name of the module's own, "VANTREL_LPT" n, and is opened
// as "\\.\VANTREL_LPT" n; on the Windows 95 family the port name is opened as
// it is. Every call goes through the port seam.
//
// A small value object: make one on the stack where needed. It never removes
// a definition by itself.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <string>

class Par1PortDevice {
public:
    // Takes the platform id of the running system.
    Par1PortDevice();
    // For a given platform id: 1 (VER_PLATFORM_WIN32_WINDOWS) is the Windows
    // 95 family, any other value the NT family.
    explicit Par1PortDevice(DWORD platformId);

    // With define, makes sure the port's DOS device name exists (a name that
    // is already defined gets no second definition); without, removes the
    // name's latest definition, whoever made it. Results are not reported: a
    // failed definition shows as a failure of the next createFile.
    void defineDevice(bool define, const std::string& portName);
    // CreateFileA on the port's path with the six further arguments as given;
    // answers its handle (INVALID_HANDLE_VALUE included) and leaves its last
    // error. A port name without a port number of 1 or more fails with
    // ERROR_INVALID_NAME and opens nothing.
    HANDLE createFile(const std::string& portName, DWORD desiredAccess, DWORD shareMode,
                      LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                      DWORD flagsAndAttributes, HANDLE templateFile);

    DWORD getPlatformId() const { return platformId_; }

    // The decimal number that starts at the fourth character of the port
    // name, up to the first non-digit ("LPT1:" is 1); 0 when there is none or
    // it does not fit 32 bits.
    static uint32_t portNumber(const std::string& portName);
    // "VANTREL_LPT" n; empty without a port number.
    static std::string dosDeviceName(const std::string& portName);
    // "\Device\Parallel" n-1; empty without a port number.
    static std::string targetPath(const std::string& portName);
    // What createFile opens: "\\.\VANTREL_LPT" n on the NT family (empty
    // without a port number), the port name itself on the Windows 95 family.
    std::string devicePath(const std::string& portName) const;

private:
    bool isWindows95Family() const { return platformId_ == VER_PLATFORM_WIN32_WINDOWS; }

    DWORD platformId_;
};
