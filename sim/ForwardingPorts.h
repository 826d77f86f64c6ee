// A port system that hands every call to another one. Tests and benchmarks
// derive from it to watch or change a few calls of the virtual printer and
// leave the rest as they are.
#pragma once

#include "port/PortSystem.h"

namespace sim {

class ForwardingPorts : public PortSystem {
public:
    explicit ForwardingPorts(PortSystem& inner) : inner_(inner) {}

    BOOL defineDosDevice(DWORD flags, LPCSTR deviceName, LPCSTR targetPath) override {
        return inner_.defineDosDevice(flags, deviceName, targetPath);
    }
    DWORD queryDosDevice(LPCSTR deviceName, LPSTR targetPath, DWORD max) override {
        return inner_.queryDosDevice(deviceName, targetPath, max);
    }
    HANDLE createFile(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                      LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                      DWORD flagsAndAttributes, HANDLE templateFile) override {
        return inner_.createFile(fileName, desiredAccess, shareMode, attributes,
                                 creationDisposition, flagsAndAttributes, templateFile);
    }
    BOOL closeHandle(HANDLE handle) override { return inner_.closeHandle(handle); }
    BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) override {
        return inner_.readFile(file, buffer, bytesToRead, bytesRead, overlapped);
    }
    BOOL writeFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                   LPOVERLAPPED overlapped) override {
        return inner_.writeFile(file, buffer, bytesToWrite, bytesWritten, overlapped);
    }
    BOOL setCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) override {
        return inner_.setCommTimeouts(file, timeouts);
    }
    BOOL clearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) override {
        return inner_.clearCommError(file, errors, status);
    }
    BOOL deviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                         LPOVERLAPPED overlapped) override {
        return inner_.deviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                                      bytesReturned, overlapped);
    }
    void pause(HANDLE wake, DWORD milliseconds) override { inner_.pause(wake, milliseconds); }

private:
    PortSystem& inner_;
};

} // namespace sim
