#include "support/PrivateHostStore.h"
#include "tests/support/RemoveStore.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <system_error>

namespace par1test {

namespace {

// Marks the store as set up, so that a child process keeps its parent's.
const char storeVariable[] = "PAR1_TEST_STORE";

#ifndef _WIN32
class RemoveStore : public ::testing::Environment {
public:
    explicit RemoveStore(std::string directory) : directory_(std::move(directory)) {}

    void TearDown() override {
        // The registry stays open until the process ends; its files can go
        // before that on Linux. Everything in the directory is this run's
        // (log files of the module under test among them).
        removeStore(directory_);
    }

private:
    std::string directory_;
};
#endif

} // namespace

bool usePrivateHostStore() {
#ifndef _WIN32
    static bool done = false;
    if (done || std::getenv(storeVariable) != nullptr) {
        done = true;
        return true;
    }
    done = true;
    const char* temporary = std::getenv("TMPDIR");
    std::string directory =
        std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") +
        "/par1-tests-" + std::to_string(GetCurrentProcessId()) + "-" +
        std::to_string(GetTickCount());
    SetEnvironmentVariableA(storeVariable, directory.c_str());
    SetEnvironmentVariableA("PAR1_REGISTRY", (directory + "/registry.db").c_str());
    SetEnvironmentVariableA("PAR1_DRIVE_C", (directory + "/drive_c").c_str());
    ::testing::AddGlobalTestEnvironment(new RemoveStore(directory));
#endif
    return true;
}

std::string privateHostStoreDirectory() {
#ifndef _WIN32
    const char* directory = std::getenv(storeVariable);
    return directory != nullptr ? directory : "";
#else
    return "";
#endif
}

} // namespace par1test
