// A port seam that records every call before handing it to the virtual
// ports, for tests that must see which path was opened or how much a read
// asked for.
#pragma once

#include "sim/ForwardingPorts.h"
#include "sim/VirtualPorts.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

class RecordingPorts : public sim::ForwardingPorts {
public:
    explicit RecordingPorts(sim::VirtualPorts& ports) : ForwardingPorts(ports) {}

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
        return ForwardingPorts::defineDosDevice(flags, deviceName, targetPath);
    }
    DWORD queryDosDevice(LPCSTR deviceName, LPSTR targetPath, DWORD max) override {
        note(std::string("QueryDosDevice ") + deviceName + " " + std::to_string(max));
        return ForwardingPorts::queryDosDevice(deviceName, targetPath, max);
    }
    HANDLE createFile(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                      LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                      DWORD flagsAndAttributes, HANDLE templateFile) override {
        note(std::string("CreateFile ") + fileName);
        return ForwardingPorts::createFile(fileName, desiredAccess, shareMode, attributes,
                                           creationDisposition, flagsAndAttributes, templateFile);
    }
    BOOL closeHandle(HANDLE handle) override {
        note("CloseHandle");
        return ForwardingPorts::closeHandle(handle);
    }
    BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            readSizes_.push_back(bytesToRead);
        }
        BOOL result = ForwardingPorts::readFile(file, buffer, bytesToRead, bytesRead, overlapped);
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

private:
    void note(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    unsigned failedReads_ = 0;
    std::vector<std::string> calls_;
    std::vector<DWORD> readSizes_;
};
