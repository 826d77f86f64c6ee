#include "port/PortSystem.h"

#include <atomic>

namespace {

// The Win32 functions themselves.
class NativePortSystem : public PortSystem {
public:
    BOOL defineDosDevice(DWORD flags, LPCSTR deviceName, LPCSTR targetPath) override {
        return ::DefineDosDeviceA(flags, deviceName, targetPath);
    }
    DWORD queryDosDevice(LPCSTR deviceName, LPSTR targetPath, DWORD max) override {
        return ::QueryDosDeviceA(deviceName, targetPath, max);
    }
    HANDLE createFile(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                      LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                      DWORD flagsAndAttributes, HANDLE templateFile) override {
        return ::CreateFileA(fileName, desiredAccess, shareMode, attributes, creationDisposition,
                             flagsAndAttributes, templateFile);
    }
    BOOL closeHandle(HANDLE handle) override { return ::CloseHandle(handle); }
    BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) override {
        return ::ReadFile(file, buffer, bytesToRead, bytesRead, overlapped);
    }
    BOOL writeFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                   LPOVERLAPPED overlapped) override {
        return ::WriteFile(file, buffer, bytesToWrite, bytesWritten, overlapped);
    }
    BOOL setCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) override {
        return ::SetCommTimeouts(file, timeouts);
    }
    BOOL clearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) override {
        return ::ClearCommError(file, errors, status);
    }
    BOOL deviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                         LPOVERLAPPED overlapped) override {
        return ::DeviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                                 bytesReturned, overlapped);
    }
};

std::atomic<PortSystem*>& installed() {
    static std::atomic<PortSystem*> system{nullptr};
    return system;
}

} // namespace

void PortSystem::pause(HANDLE wake, DWORD milliseconds) {
    ::WaitForSingleObject(wake, milliseconds);
}

PortSystem& PortSystem::native() {
    // Never destroyed: threads may still close ports while the process exits.
    static PortSystem* system = new NativePortSystem;
    return *system;
}

PortSystem& PortSystem::current() {
    PortSystem* system = installed().load(std::memory_order_acquire);
    return system != nullptr ? *system : native();
}

PortSystem* PortSystem::install(PortSystem* system) {
    PortSystem* previous = installed().exchange(system, std::memory_order_acq_rel);
    return previous != nullptr ? previous : &native();
}
