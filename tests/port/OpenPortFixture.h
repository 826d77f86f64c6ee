// The virtual ports installed behind the seam, a printer on LPT1 and a
// handle open on it, as the adapter opens it.
#pragma once

#include "port/Par1PortDevice.h"
#include "port/PortSystem.h"
#include "sim/VirtualPorts.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

inline std::string textOf(const sim::Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

inline bool sameTimeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
           a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
           a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
           a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
           a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

class OpenPortFixture : public ::testing::Test {
protected:
    OpenPortFixture()
        : printer_(ports_.port(1).attachPrinter()), installed_(new ScopedPortSystem(ports_)) {}

    void SetUp() override {
        Par1PortDevice device;
        device.defineDevice(true, "LPT1:");
        handle_ = device.createFile("LPT1:", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, handle_);
    }

    void TearDown() override {
        if (handle_ != INVALID_HANDLE_VALUE) {
            ports_.closeHandle(handle_);
        }
        Par1PortDevice().defineDevice(false, "LPT1:");
    }

    sim::VirtualPort& port() { return ports_.port(1); }

    sim::VirtualPorts ports_;
    sim::VirtualPrinter& printer_;
    std::unique_ptr<ScopedPortSystem> installed_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
