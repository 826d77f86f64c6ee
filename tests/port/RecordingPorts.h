// A port seam that records every call before handing it to the virtual
// ports, for tests that must see which path was opened or how much a read
// asked for.
#pragma once

#include "port/PortSystem.h"
#include "sim/VirtualPorts.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

class RecordingPorts : public PortSystem {
public:
    explicit RecordingPorts(sim::VirtualPorts& ports) : ports_(ports) {}

    // One line per call: the call's name and its telling argument.
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    std::vector<DWORD> readSizes() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return readSizes_;
    }
    // True once a ReadFile has failed (since the start) within the time-out.
    bool waitForFailedRead(DWORD milliseconds) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [this] { return failedReads_ != 0; });
    }

    BOOL defineDosDevice(DWORD flags, LPCSTR deviceName, LPCSTR targetPath) override {
        note("DefineDosDevice " + std::to_string(flags) + " " + deviceName + " " +
             (targetPath != nullptr ? targetPath : "(null)"));
        return ports_.defineDosDevice(flags, deviceName, targetPath);
    }
    DWORD queryDosDevice(LPCSTR deviceName, LPSTR targetPath, DWORD max) override {
        note(std::string("QueryDosDevice ") + deviceName + " " + std::to_string(max));
        return ports_.queryDosDevice(deviceName, targetPath, max);
    }
    HANDLE createFile(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                      LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                      DWORD flagsAndAttributes, HANDLE templateFile) override {
        note(std::string("CreateFile ") + fileName);
        return ports_.createFile(fileName, desiredAccess, shareMode, attributes,
                                 creationDisposition, flagsAndAttributes, templateFile);
    }
    BOOL closeHandle(HANDLE handle) override {
        note("CloseHandle");
        return ports_.closeHandle(handle);
    }
    BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            readSizes_.push_back(bytesToRead);
        }
        BOOL result = ports_.readFile(file, buffer, bytesToRead, bytesRead, overlapped);
        if (!result) {
            DWORD error = GetLastError();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++failedReads_;
            }
            changed_.notify_all();
            SetLastError(error);
        }
        return result;
    }
    BOOL writeFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                   LPOVERLAPPED overlapped) override {
        return ports_.writeFile(file, buffer, bytesToWrite, bytesWritten, overlapped);
    }
    BOOL setCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) override {
        return ports_.setCommTimeouts(file, timeouts);
    }
    BOOL clearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) override {
        return ports_.clearCommError(file, errors, status);
    }
    BOOL deviceIoControl(HANDLE device, DWORD controlCode, LPVOID inBuffer, DWORD inSize,
                         LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                         LPOVERLAPPED overlapped) override {
        return ports_.deviceIoControl(device, controlCode, inBuffer, inSize, outBuffer, outSize,
                                      bytesReturned, overlapped);
    }

private:
    void note(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
    }

    sim::VirtualPorts& ports_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    unsigned failedReads_ = 0;
    std::vector<std::string> calls_;
    std::vector<DWORD> readSizes_;
};
