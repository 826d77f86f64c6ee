#include "support/PrivateHostStore.h"
#include "tests/support/PrivateStore.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <system_error>

namespace par1test {

namespace {

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
    ::testing::AddGlobalTestEnvironment(new RemoveStore(makePrivateStore("par1-tests-")));
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
