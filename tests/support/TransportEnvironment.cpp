#include "support/TransportEnvironment.h"

#include "platform/win32.h"
#include "shared/BasicLogger.h"
#include "shared/Localize.h"
#include "shared/RegistryKey.h"
#include "support/PrivateHostStore.h"

#include <gtest/gtest.h>

#include <vector>

namespace par1test {

namespace {

class TransportEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        Localize::createInstance(nullptr);
        setStoreNumber("Par1\\Settings", "ReadTimeout", kReadTimeoutMs);
        // Before the logger reads its options, which it then keeps for
        // five seconds.
        setStoreNumber("Logger", "startLog", 1);
        setStoreNumber("Logger", "All", 0xFFFFFFFFu);
        BasicLogger::createInstance();
        BasicLogger::getInstance()->deleteLog();
    }
};

std::string logPath() {
    return BasicLogger::getInstance()->getLogPath();
}

} // namespace

bool useTransportEnvironment() {
    static bool done = false;
    if (!done) {
        done = true;
        usePrivateHostStore();
        ::testing::AddGlobalTestEnvironment(new TransportEnvironment);
    }
    return true;
}

void setStoreNumber(const std::string& key, const std::string& name, uint32_t value) {
    RegistryKey store(Localize::getInstance()->getStorePath(0) + key, true);
    store.setValue(name, value);
}

LogWatch::LogWatch() : start_(0) {
    HANDLE file = CreateFileA(logPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD size = GetFileSize(file, nullptr);
        start_ = size == INVALID_FILE_SIZE ? 0 : size;
        CloseHandle(file);
    }
}

std::string LogWatch::text() const {
    std::string text;
    HANDLE file = CreateFileA(logPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    if (SetFilePointer(file, static_cast<LONG>(start_), nullptr, FILE_BEGIN) !=
        INVALID_SET_FILE_POINTER) {
        std::vector<char> buffer(65536);
        DWORD count = 0;
        while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &count, nullptr) &&
               count != 0) {
            text.append(buffer.data(), count);
        }
    }
    CloseHandle(file);
    return text;
}

bool LogWatch::contains(const std::string& line) const {
    return text().find(line) != std::string::npos;
}

} // namespace par1test
