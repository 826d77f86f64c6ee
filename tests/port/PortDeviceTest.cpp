#include "RecordingPorts.h"
#include "port/Par1PortDevice.h"
#include "port/PortSystem.h"
#include "sim/VirtualPorts.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const bool environment = par1test::useTransportEnvironment();

const DWORD readWrite = GENERIC_READ | GENERIC_WRITE;
const DWORD shareBoth = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE openPort(Par1PortDevice& device, const std::string& portName) {
    return device.createFile(portName, readWrite, shareBoth, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TEST(PortDeviceNames, FollowThePortNumber) {
    struct Case {
        const char* portName;
        uint32_t number;
        const char* dosName;
        const char* target;
        const char* path;
    };
    const Case cases[] = {
        {"LPT1:", 1, "VANTREL_LPT1", "\\Device\\Parallel0", "\\\\.\\VANTREL_LPT1"},
        {"LPT9:", 9, "VANTREL_LPT9", "\\Device\\Parallel8", "\\\\.\\VANTREL_LPT9"},
        {"LPT12", 12, "VANTREL_LPT12", "\\Device\\Parallel11", "\\\\.\\VANTREL_LPT12"},
        // The number ends at the first non-digit.
        {"LPT3x4", 3, "VANTREL_LPT3", "\\Device\\Parallel2", "\\\\.\\VANTREL_LPT3"},
        // No port number: nothing to name, nothing to open.
        {"LPT0:", 0, "", "", ""},
        {"LPT:", 0, "", "", ""},
        {"LPT", 0, "", "", ""},
        {"", 0, "", "", ""},
        {"LPT99999999999:", 0, "", "", ""},
    };
    Par1PortDevice device(VER_PLATFORM_WIN32_NT);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.portName);
        EXPECT_EQ(c.number, Par1PortDevice::portNumber(c.portName));
        EXPECT_EQ(c.dosName, Par1PortDevice::dosDeviceName(c.portName));
        EXPECT_EQ(c.target, Par1PortDevice::targetPath(c.portName));
        EXPECT_EQ(c.path, device.devicePath(c.portName));
    }
}

class PortDeviceTest : public ::testing::Test {
protected:
    sim::VirtualPorts ports_;
};

TEST_F(PortDeviceTest, OpensEachPortUnderItsOwnDosDeviceName) {
    ScopedPortSystem installed(ports_);
    for (unsigned number : {1u, 9u}) {
        const std::string portName = "LPT" + std::to_string(number) + ":";
        const std::string name = "VANTREL_LPT" + std::to_string(number);
        SCOPED_TRACE(portName);
        Par1PortDevice device;
        device.defineDevice(true, portName);
        EXPECT_EQ(std::vector<std::string>{"\\Device\\Parallel" + std::to_string(number - 1)},
                  ports_.dosDeviceTargets(name));

        HANDLE port = openPort(device, portName);
        ASSERT_NE(INVALID_HANDLE_VALUE, port);
        EXPECT_EQ(1u, ports_.port(number).openHandles());
        EXPECT_TRUE(ports_.closeHandle(port));

        device.defineDevice(false, portName);
        EXPECT_TRUE(ports_.dosDeviceTargets(name).empty());
    }
}

TEST_F(PortDeviceTest, ADefinedNameGetsNoSecondDefinitionAndRemovalTakesTheLatest) {
    ScopedPortSystem installed(ports_);
    Par1PortDevice device;
    device.defineDevice(true, "LPT2:");
    device.defineDevice(true, "LPT2:");
    EXPECT_EQ(std::vector<std::string>{"\\Device\\Parallel1"},
              ports_.dosDeviceTargets("VANTREL_LPT2"));
    device.defineDevice(false, "LPT2:");
    EXPECT_TRUE(ports_.dosDeviceTargets("VANTREL_LPT2").empty());

    // Someone else's definition of the name counts as defined, and removing
    // takes the latest definition whoever made it.
    ports_.defineDosDevice(DDD_RAW_TARGET_PATH, "VANTREL_LPT3", "\\Device\\Parallel4");
    device.defineDevice(true, "LPT3:");
    EXPECT_EQ(std::vector<std::string>{"\\Device\\Parallel4"},
              ports_.dosDeviceTargets("VANTREL_LPT3"));
    device.defineDevice(false, "LPT3:");
    EXPECT_TRUE(ports_.dosDeviceTargets("VANTREL_LPT3").empty());
}

TEST_F(PortDeviceTest, DefinitionQueriesTwentyCharactersFirst) {
    RecordingPorts recording(ports_);
    ScopedPortSystem installed(recording);
    Par1PortDevice device(VER_PLATFORM_WIN32_NT);
    device.defineDevice(true, "LPT1:");
    device.defineDevice(true, "LPT1:");
    device.defineDevice(false, "LPT1:");
    EXPECT_EQ((std::vector<std::string>{
                  "QueryDosDevice VANTREL_LPT1 20",
                  "DefineDosDevice 1 VANTREL_LPT1 \\Device\\Parallel0",
                  "QueryDosDevice VANTREL_LPT1 20",
                  "DefineDosDevice 2 VANTREL_LPT1 (null)",
              }),
              recording.calls());
}

TEST_F(PortDeviceTest, Windows95FamilyOpensThePortNameWithoutDosDeviceCalls) {
    RecordingPorts recording(ports_);
    ScopedPortSystem installed(recording);
    Par1PortDevice device(VER_PLATFORM_WIN32_WINDOWS);
    device.defineDevice(true, "LPT1:");
    HANDLE port = openPort(device, "LPT1:");
    device.defineDevice(false, "LPT1:");
    // The virtual ports know only NT device names.
    EXPECT_EQ(INVALID_HANDLE_VALUE, port);
    EXPECT_EQ(std::vector<std::string>{"CreateFile LPT1:"}, recording.calls());
}

TEST_F(PortDeviceTest, APortNameWithoutNumberOpensNothing) {
    RecordingPorts recording(ports_);
    ScopedPortSystem installed(recording);
    Par1PortDevice device(VER_PLATFORM_WIN32_NT);
    device.defineDevice(true, "LPT:");
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, openPort(device, "LPT:"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
    device.defineDevice(false, "LPT:");
    EXPECT_TRUE(recording.calls().empty());
}

TEST_F(PortDeviceTest, AFailedOpenLeavesItsLastError) {
    ScopedPortSystem installed(ports_);
    ports_.port(4).setPresent(false);
    Par1PortDevice device;
    device.defineDevice(true, "LPT4:");
    EXPECT_EQ(INVALID_HANDLE_VALUE, openPort(device, "LPT4:"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    device.defineDevice(false, "LPT4:");
}
