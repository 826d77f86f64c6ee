#include "port/PortSystem.h"
#include "sim/VirtualPorts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(PortSystem, ScopedInstallationsNestAndRestoreTheSystem) {
    PortSystem& native = PortSystem::native();
    ASSERT_EQ(&native, &PortSystem::current());
    {
        sim::VirtualPorts outer;
        ScopedPortSystem installOuter(outer);
        EXPECT_EQ(&outer, &PortSystem::current());
        {
            sim::VirtualPorts inner;
            ScopedPortSystem installInner(inner);
            EXPECT_EQ(&inner, &PortSystem::current());
        }
        EXPECT_EQ(&outer, &PortSystem::current());
    }
    EXPECT_EQ(&native, &PortSystem::current());
    EXPECT_EQ(&native, PortSystem::install(nullptr));
    EXPECT_EQ(&native, &PortSystem::current());
}

// The DOS device names behave alike in the virtual printer and, on Linux, in
// the platform layer. (Under Wine QueryDosDeviceA does not answer for defined
// names, so the system's own table is checked natively only.)
struct DosDeviceCase {
    const char* label;
    std::function<std::unique_ptr<PortSystem>()> make;
};

class DosDevices : public ::testing::TestWithParam<DosDeviceCase> {
protected:
    void SetUp() override {
        owned_ = GetParam().make();
        system_ = owned_ ? owned_.get() : &PortSystem::native();
        // The system's table belongs to the process: each test has names of
        // its own.
        static std::atomic<int> counter{0};
        name_ = "PAR1TEST_" + std::to_string(++counter) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name_) {
            if (c == '/') {
                c = '_';
            }
        }
    }
    void TearDown() override {
        while (system_->defineDosDevice(DDD_REMOVE_DEFINITION, name_.c_str(), nullptr)) {
        }
    }

    BOOL define(const char* target, DWORD flags = DDD_RAW_TARGET_PATH) {
        return system_->defineDosDevice(flags, name_.c_str(), target);
    }
    BOOL remove(const char* target, DWORD flags = DDD_RAW_TARGET_PATH) {
        return system_->defineDosDevice(DDD_REMOVE_DEFINITION | flags, name_.c_str(), target);
    }
    // The targets QueryDosDeviceA lists, newest first; empty with its error
    // in lastError when it fails.
    std::vector<std::string> targets(const std::string& name) {
        char buffer[1024];
        std::fill(std::begin(buffer), std::end(buffer), 'x');
        DWORD count = system_->queryDosDevice(name.c_str(), buffer, sizeof buffer);
        lastError = count == 0 ? GetLastError() : 0;
        std::vector<std::string> list;
        DWORD at = 0;
        while (count != 0 && at < count && buffer[at] != '\0') {
            list.emplace_back(buffer + at);
            at += static_cast<DWORD>(list.back().size()) + 1;
        }
        if (count != 0) {
            EXPECT_EQ(at + 1, count) << "the count covers each string's zero and the last zero";
            EXPECT_EQ('\0', buffer[at]);
        }
        return list;
    }
    std::vector<std::string> targets() { return targets(name_); }

    PortSystem* system_ = nullptr;
    std::string name_;
    DWORD lastError = 0;

private:
    std::unique_ptr<PortSystem> owned_;
};

using Targets = std::vector<std::string>;

TEST_P(DosDevices, DefinitionsStackAndTheNewestRemovalPopsThem) {
    EXPECT_TRUE(targets().empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), lastError);

    ASSERT_TRUE(define("\\Device\\Parallel0"));
    ASSERT_TRUE(define("\\Device\\Parallel1"));
    EXPECT_EQ((Targets{"\\Device\\Parallel1", "\\Device\\Parallel0"}), targets());

    ASSERT_TRUE(remove(nullptr));
    EXPECT_EQ((Targets{"\\Device\\Parallel0"}), targets());
    ASSERT_TRUE(remove(""));
    EXPECT_TRUE(targets().empty());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), lastError);

    SetLastError(0);
    EXPECT_FALSE(remove(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_P(DosDevices, RemovalByTargetTakesTheNewestMatch) {
    for (const char* target : {"\\Device\\Parallel0", "\\Device\\Parallel1", "\\Device\\Parallel0",
                               "\\Device\\Parallel12"}) {
        ASSERT_TRUE(define(target));
    }
    // Exact: the newer of the two Parallel0 definitions goes.
    ASSERT_TRUE(remove("\\DEVICE\\parallel0", DDD_RAW_TARGET_PATH | DDD_EXACT_MATCH_ON_REMOVE));
    EXPECT_EQ((Targets{"\\Device\\Parallel12", "\\Device\\Parallel1", "\\Device\\Parallel0"}),
              targets());
    // Without exact match the target is a prefix: Parallel12 matches
    // Parallel1 and is the newest such.
    ASSERT_TRUE(remove("\\Device\\Parallel1"));
    EXPECT_EQ((Targets{"\\Device\\Parallel1", "\\Device\\Parallel0"}), targets());

    SetLastError(0);
    EXPECT_FALSE(remove("\\Device\\Parallel7", DDD_RAW_TARGET_PATH | DDD_EXACT_MATCH_ON_REMOVE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(remove("\\Device\\Parallel", DDD_RAW_TARGET_PATH | DDD_EXACT_MATCH_ON_REMOVE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(2u, targets().size());
}

TEST_P(DosDevices, NamesIgnoreCaseAndDosPathsBecomeNtPaths) {
    ASSERT_TRUE(define("C:\\spool", 0));
    ASSERT_TRUE(define("\\Device\\Parallel3"));
    std::string lower = name_;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ((Targets{"\\Device\\Parallel3", "\\??\\C:\\spool"}), targets(lower));
    // A DOS path given for removal is converted the same way.
    ASSERT_TRUE(system_->defineDosDevice(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                                         lower.c_str(), "C:\\spool"));
    EXPECT_EQ((Targets{"\\Device\\Parallel3"}), targets());
}

TEST_P(DosDevices, QueryNeedsRoomForTheWholeList) {
    ASSERT_TRUE(define("\\Device\\Parallel0"));
    // 17 characters, their zero and the list's zero.
    char buffer[19];
    EXPECT_EQ(19u, system_->queryDosDevice(name_.c_str(), buffer, 19));
    EXPECT_STREQ("\\Device\\Parallel0", buffer);
    SetLastError(0);
    EXPECT_EQ(0u, system_->queryDosDevice(name_.c_str(), buffer, 18));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    // A second definition no longer fits the buffer the first one filled.
    ASSERT_TRUE(define("\\Device\\Parallel0"));
    SetLastError(0);
    EXPECT_EQ(0u, system_->queryDosDevice(name_.c_str(), buffer, 19));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST_P(DosDevices, ListOfAllNamesHoldsEachDefinedNameOnce) {
    ASSERT_TRUE(define("\\Device\\Parallel0"));
    ASSERT_TRUE(define("\\Device\\Parallel1"));
    std::vector<char> buffer(65536);
    DWORD count = system_->queryDosDevice(nullptr, buffer.data(), DWORD(buffer.size()));
    ASSERT_NE(0u, count);
    ASSERT_EQ('\0', buffer[count - 1]);
    int seen = 0;
    for (DWORD at = 0; at + 1 < count; at += DWORD(std::strlen(&buffer[at])) + 1) {
        seen += name_ == &buffer[at];
    }
    EXPECT_EQ(1, seen);
}

TEST_P(DosDevices, BadNamesAndMissingTargetsAreRefused) {
    struct Case {
        DWORD flags;
        const char* name;
        const char* target;
        DWORD error;
    };
    const Case cases[] = {
        {DDD_RAW_TARGET_PATH, nullptr, "\\Device\\Parallel0", ERROR_INVALID_PARAMETER},
        {DDD_RAW_TARGET_PATH, "", "\\Device\\Parallel0", ERROR_INVALID_PARAMETER},
        {DDD_RAW_TARGET_PATH, "PAR1TEST_SLASH\\", "\\Device\\Parallel0", ERROR_INVALID_NAME},
        {DDD_RAW_TARGET_PATH, "PAR1TEST_NOTARGET", nullptr, ERROR_INVALID_PARAMETER},
        {DDD_REMOVE_DEFINITION, "PAR1TEST_NEVER_DEFINED", nullptr, ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(system_->defineDosDevice(c.flags, c.name, c.target))
            << (c.name ? c.name : "(null)");
        EXPECT_EQ(c.error, GetLastError()) << (c.name ? c.name : "(null)");
    }
}

std::vector<DosDeviceCase> dosDeviceSystems() {
    std::vector<DosDeviceCase> cases{
        {"Virtual", [] { return std::unique_ptr<PortSystem>(new sim::VirtualPorts); }}};
#ifndef _WIN32
    cases.push_back({"LinuxPlatform", [] { return std::unique_ptr<PortSystem>(); }});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Systems, DosDevices, ::testing::ValuesIn(dosDeviceSystems()),
                         [](const ::testing::TestParamInfo<DosDeviceCase>& info) {
                             return std::string(info.param.label);
                         });

} // namespace
