// The Linux layer's hook for devices: CreateFileA hands "\\.\NAME" to the
// registered openers, and the file calls reach the device's own object.
#ifndef _WIN32

#include "platform/linux/files.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct DeviceLog {
    std::string written;
    bool destroyed = false;
};

class FakeDevice : public platform::FileObject {
public:
    explicit FakeDevice(std::shared_ptr<DeviceLog> log) : log_(std::move(log)) {}
    ~FakeDevice() override { log_->destroyed = true; }

    BOOL write(LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED) override {
        log_->written.append(static_cast<const char*>(buffer), size);
        *done = size;
        return TRUE;
    }

private:
    std::shared_ptr<DeviceLog> log_;
};

// Registers an opener for the test's lifetime.
class Opener {
public:
    explicit Opener(platform::DeviceOpener opener)
        : id_(platform::addDeviceOpener(std::move(opener))) {}
    ~Opener() { platform::removeDeviceOpener(id_); }

private:
    int id_;
};

TEST(DeviceOpeners, DeviceNamesReachTheirOpener) {
    auto log = std::make_shared<DeviceLog>();
    std::string askedFor;
    DWORD askedAccess = 0;
    Opener opener([&](const platform::DeviceRequest& request,
                      std::shared_ptr<platform::FileObject>& object, DWORD& error) {
        if (request.name == "PAR1TEST_BUSY") {
            error = ERROR_ACCESS_DENIED;
            return true;
        }
        if (request.name != "PAR1TEST_LPT1") {
            return false;
        }
        askedFor = request.name;
        askedAccess = request.access;
        object = std::make_shared<FakeDevice>(log);
        return true;
    });

    HANDLE device = CreateFileA("\\\\.\\PAR1TEST_LPT1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    EXPECT_EQ("PAR1TEST_LPT1", askedFor);
    EXPECT_EQ(GENERIC_READ | GENERIC_WRITE, askedAccess);

    DWORD count = 0;
    EXPECT_TRUE(WriteFile(device, "@PJL", 4, &count, nullptr));
    EXPECT_EQ(4u, count);
    EXPECT_EQ("@PJL", log->written);
    // What the device does not override is refused as Windows refuses it.
    char buffer[4];
    EXPECT_FALSE(ReadFile(device, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(ERROR_INVALID_FUNCTION, GetLastError());
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(device, nullptr));

    EXPECT_FALSE(log->destroyed);
    EXPECT_TRUE(CloseHandle(device));
    EXPECT_TRUE(log->destroyed);

    // An opener that knows the name but fails gives its error.
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("\\\\.\\PAR1TEST_BUSY", GENERIC_WRITE, 0, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, GetLastError());
    // A name no opener knows is not found.
    EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("\\\\.\\PAR1TEST_LPT2", GENERIC_WRITE, 0, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}

TEST(DeviceOpeners, NewestOpenerIsAskedFirstAndRemovalEndsIt) {
    auto older = std::make_shared<DeviceLog>();
    auto newer = std::make_shared<DeviceLog>();
    auto openerFor = [](std::shared_ptr<DeviceLog> log) {
        return [log](const platform::DeviceRequest& request,
                     std::shared_ptr<platform::FileObject>& object, DWORD&) {
            if (request.name != "PAR1TEST_SHARED") {
                return false;
            }
            object = std::make_shared<FakeDevice>(log);
            return true;
        };
    };
    Opener first(openerFor(older));
    auto writeOnce = [] {
        HANDLE device = CreateFileA("\\\\.\\PAR1TEST_SHARED", GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, device);
        DWORD count = 0;
        EXPECT_TRUE(WriteFile(device, "x", 1, &count, nullptr));
        CloseHandle(device);
    };
    {
        Opener second(openerFor(newer));
        writeOnce();
        EXPECT_EQ("", older->written);
        EXPECT_EQ("x", newer->written);
    }
    writeOnce();
    EXPECT_EQ("x", older->written);
    EXPECT_EQ("x", newer->written);
}

} // namespace

#endif
