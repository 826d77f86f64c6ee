// Virtual ports installed behind the seam, and the port calls a test makes
// through the seam the way the module makes them.
#pragma once

#include "port/PortSystem.h"
#include "sim/VirtualPorts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace simtest {

using sim::Bytes;

inline const COMMTIMEOUTS atOnce{MAXDWORD, 0, 0, 0, 0};

// Timeouts with only the read total constant (and an interval) set.
inline COMMTIMEOUTS readWithin(DWORD totalMs, DWORD intervalMs = 0) {
    return COMMTIMEOUTS{intervalMs, 0, totalMs, 0, 0};
}

inline std::string text(const Bytes& data) {
    return std::string(data.begin(), data.end());
}

class Stopwatch {
public:
    long long ms() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

class SeamPortsFixture : public ::testing::Test {
protected:
    sim::VirtualPorts ports;
    ScopedPortSystem installed{ports};

    static PortSystem& seam() { return PortSystem::current(); }

    ~SeamPortsFixture() override {
        for (HANDLE handle : handles_) {
            seam().closeHandle(handle);
        }
    }

    // Names port n as the module does and opens it for reading and writing.
    HANDLE open(unsigned n, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
        const std::string name = "VANTREL_LPT" + std::to_string(n);
        const std::string target = "\\Device\\Parallel" + std::to_string(n - 1);
        char current[64];
        if (seam().queryDosDevice(name.c_str(), current, sizeof current) == 0) {
            seam().defineDosDevice(DDD_RAW_TARGET_PATH, name.c_str(), target.c_str());
        }
        HANDLE handle = seam().createFile(("\\\\.\\" + name).c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, flags, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            handles_.push_back(handle);
        }
        return handle;
    }

    void close(HANDLE handle) {
        for (auto it = handles_.begin(); it != handles_.end(); ++it) {
            if (*it == handle) {
                handles_.erase(it);
                break;
            }
        }
        EXPECT_TRUE(seam().closeHandle(handle));
    }

    // Writes all of data; false when the port refused it.
    static bool write(HANDLE handle, const Bytes& data) {
        DWORD written = 0;
        BOOL ok = seam().writeFile(handle, data.data(), static_cast<DWORD>(data.size()), &written,
                                   nullptr);
        return ok && written == data.size();
    }

    // One ReadFile under the given time-outs; fails the test when it fails.
    static Bytes read(HANDLE handle, const COMMTIMEOUTS& timeouts, DWORD size = 4096) {
        COMMTIMEOUTS t = timeouts;
        EXPECT_TRUE(seam().setCommTimeouts(handle, &t));
        Bytes buffer(size);
        DWORD got = 0;
        EXPECT_TRUE(seam().readFile(handle, buffer.data(), size, &got, nullptr))
            << "last error " << GetLastError();
        buffer.resize(got);
        return buffer;
    }

    // Reads until at least size bytes came or a read brought nothing within
    // the time-out.
    static Bytes readAll(HANDLE handle, std::size_t size, DWORD timeoutMs = 2000) {
        Bytes all;
        while (all.size() < size) {
            Bytes piece = read(handle, readWithin(timeoutMs, 20));
            if (piece.empty()) {
                break;
            }
            all.insert(all.end(), piece.begin(), piece.end());
        }
        return all;
    }

    static DWORD commErrors(HANDLE handle) {
        DWORD errors = 0xDEAD;
        EXPECT_TRUE(seam().clearCommError(handle, &errors, nullptr));
        return errors;
    }

private:
    std::vector<HANDLE> handles_;
};

} // namespace simtest
