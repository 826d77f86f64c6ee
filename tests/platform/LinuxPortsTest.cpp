// The Linux platform's parallel ports behind the seam's system default:
// \Device\ParallelN opens lpN in PAR1_PARALLEL_DEVICES. Ordinary files stand in
// for the printer devices. Windows has its own ports, so this is Linux only.
#ifndef _WIN32

#include "port/PortSystem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

class LinuxPorts : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        directory_ = fs::temp_directory_path() / ("par1-lp-" + test);
        fs::remove_all(directory_);
        fs::create_directories(directory_);
        ASSERT_TRUE(SetEnvironmentVariableA("PAR1_PARALLEL_DEVICES", directory_.c_str()));
        name_ = "PAR1LP_" + test;
        ASSERT_TRUE(
            system().defineDosDevice(DDD_RAW_TARGET_PATH, name_.c_str(), "\\Device\\Parallel2"));
    }
    void TearDown() override {
        while (system().defineDosDevice(DDD_REMOVE_DEFINITION, name_.c_str(), nullptr)) {
        }
        SetEnvironmentVariableA("PAR1_PARALLEL_DEVICES", nullptr);
        fs::permissions(directory_ / "lp2", fs::perms::owner_all, fs::perm_options::add, ignored_);
        fs::remove_all(directory_, ignored_);
    }

    static PortSystem& system() { return PortSystem::native(); }

    void makeDevice(const std::string& content) {
        std::ofstream(directory_ / "lp2", std::ios::binary) << content;
    }
    std::string deviceContent() const {
        std::ifstream in(directory_ / "lp2", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    HANDLE open(DWORD access = GENERIC_READ | GENERIC_WRITE) {
        return system().createFile(("\\\\.\\" + name_).c_str(), access,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    fs::path directory_;
    std::string name_;
    std::error_code ignored_;
};

TEST_F(LinuxPorts, MissingDeviceFileIsFileNotFound) {
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, open());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(LinuxPorts, DeviceWithoutPermissionIsAccessDenied) {
    makeDevice("");
    fs::permissions(directory_ / "lp2", fs::perms::none);
    if (std::ifstream(directory_ / "lp2").is_open()) {
        GTEST_SKIP() << "permissions do not bind this user";
    }
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, open());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST_F(LinuxPorts, DirectoryInPlaceOfTheDeviceIsAccessDenied) {
    fs::create_directory(directory_ / "lp2");
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, open());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST_F(LinuxPorts, OtherTargetsAndRemovedNamesDoNotOpen) {
    makeDevice("");
    ASSERT_TRUE(system().defineDosDevice(0, name_.c_str(), "C:\\lp2"));
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, open());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    // Without the newest definition the port is reachable again; without any,
    // not at all.
    ASSERT_TRUE(system().defineDosDevice(DDD_REMOVE_DEFINITION, name_.c_str(), nullptr));
    HANDLE handle = open();
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    EXPECT_TRUE(system().closeHandle(handle));
    ASSERT_TRUE(system().defineDosDevice(DDD_REMOVE_DEFINITION, name_.c_str(), nullptr));
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, open());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(LinuxPorts, ReadsAndWritesTheDeviceUnderItsTimeouts) {
    makeDevice("status");
    SetLastError(ERROR_ACCESS_DENIED);
    HANDLE handle = open();
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    EXPECT_EQ(0u, GetLastError());

    COMMTIMEOUTS t{1, 0, 40, 0, 1000};
    ASSERT_TRUE(system().setCommTimeouts(handle, &t));
    COMMTIMEOUTS back{};
    ASSERT_TRUE(GetCommTimeouts(handle, &back));
    EXPECT_EQ(40u, back.ReadTotalTimeoutConstant);
    EXPECT_EQ(1000u, back.WriteTotalTimeoutConstant);

    char buffer[64];
    DWORD got = 0;
    ASSERT_TRUE(system().readFile(handle, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ("status", std::string(buffer, got));

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(system().readFile(handle, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(0u, got);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(35));

    DWORD written = 0;
    ASSERT_TRUE(system().writeFile(handle, "job", 3, &written, nullptr));
    EXPECT_EQ(3u, written);
    DWORD errors = 0xDEAD;
    EXPECT_TRUE(system().clearCommError(handle, &errors, nullptr));
    EXPECT_EQ(0u, errors);
    EXPECT_TRUE(system().closeHandle(handle));
    EXPECT_EQ("statusjob", deviceContent());
}

TEST_F(LinuxPorts, PortOpensTwiceAndEachHandleCloses) {
    makeDevice("");
    HANDLE first = open();
    HANDLE second = open(GENERIC_READ);
    ASSERT_NE(INVALID_HANDLE_VALUE, first);
    ASSERT_NE(INVALID_HANDLE_VALUE, second);
    DWORD written = 0;
    SetLastError(0);
    EXPECT_FALSE(system().writeFile(second, "x", 1, &written, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_TRUE(system().closeHandle(second));
    EXPECT_TRUE(system().writeFile(first, "y", 1, &written, nullptr));
    EXPECT_TRUE(system().closeHandle(first));
    EXPECT_FALSE(system().closeHandle(first));
    EXPECT_EQ("y", deviceContent());
}

TEST_F(LinuxPorts, PortCallsAnswerAsWindowsDoes) {
    makeDevice("");
    HANDLE handle = open();
    ASSERT_NE(INVALID_HANDLE_VALUE, handle);
    COMMTIMEOUTS bad{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    SetLastError(0);
    EXPECT_FALSE(system().setCommTimeouts(handle, &bad));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    // A device file without the printer driver's identification query.
    char id[4096];
    DWORD returned = 9;
    SetLastError(0);
    EXPECT_FALSE(system().deviceIoControl(handle, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, id,
                                          sizeof id, &returned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
    EXPECT_EQ(0u, returned);
    SetLastError(0);
    EXPECT_FALSE(
        system().deviceIoControl(handle, 17, nullptr, 0, id, sizeof id, &returned, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
    EXPECT_TRUE(system().closeHandle(handle));

    // Port calls on what is not a port.
    DWORD errors = 0;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetLastError(0);
    EXPECT_FALSE(system().clearCommError(event, &errors, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(CloseHandle(event));
    const std::string file = (directory_ / "plain.txt").string();
    HANDLE plain = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, plain);
    SetLastError(0);
    EXPECT_FALSE(system().clearCommError(plain, &errors, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
    EXPECT_TRUE(CloseHandle(plain));
}

} // namespace

#endif
