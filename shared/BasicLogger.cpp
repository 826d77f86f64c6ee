#include "shared/BasicLogger.h"

#include "shared/CriticalSectionLock.h"
#include "shared/InterProcessLock.h"
#include "shared/RegistryLogger.h"
#include "shared/RuntimeSettings.h"
#include "shared/Win32Exception.h"

#include <atomic>
#include <iomanip>
#include <sstream>

namespace {

std::atomic<BasicLogger*> installed{nullptr};
// Set when a logger could not set up its file or lock; never cleared.
std::atomic<bool> broken{false};
// The last mask read for "All": a failed read keeps it.
std::atomic<uint32_t> lastAllMask{0};

const DWORD windowsDirectoryBuffer = 261;

std::string logPathFor(const std::string& name) {
    if (name.find('\\') != std::string::npos) {
        return name;
    }
    char directory[windowsDirectoryBuffer] = {};
    UINT length = GetWindowsDirectoryA(directory, windowsDirectoryBuffer);
    std::string root = length == 0 || length >= windowsDirectoryBuffer ? std::string("c:\\")
                                                                       : std::string(directory);
    return root.substr(0, 3) + name;
}

// Logging must not change what a caller finds in GetLastError(): a failing
// operation often stores its code there and writes its exit line afterwards.
class LastErrorKeeper {
public:
    LastErrorKeeper() : error_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(error_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD error_;
};

std::string afterLastBackslash(const std::string& name) {
    size_t slash = name.rfind('\\');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

} // namespace

void BasicLogger::createInstance() {
    if (installed.load() != nullptr) {
        return;
    }
    BasicLogger* logger = new RegistryLogger();
    logger->setCategoryWidth(25);
    BasicLogger* none = nullptr;
    if (!installed.compare_exchange_strong(none, logger)) {
        delete logger;
    }
}

void BasicLogger::releaseInstance() {
    delete installed.exchange(nullptr);
}

BasicLogger* BasicLogger::getInstance() {
    BasicLogger* logger = installed.load();
    if (logger == nullptr) {
        throw Win32Exception("BasicLogger::getInstance()", 1, "", 0);
    }
    return logger;
}

BasicLogger::BasicLogger(const std::string& logName) : categoryWidth_(25), fileSecurity_(false) {
    try {
        logPath_ = logPathFor(logName);
        fileLock_.reset(new Mutex(false, "VNLOG_" + afterLastBackslash(logName), true));
    } catch (Win32Exception&) {
        broken = true;
    }
}

BasicLogger::~BasicLogger() = default;

void BasicLogger::log(const LogCategory& category, uint32_t level, const std::string& text) {
    log(category, level, text.c_str());
}

void BasicLogger::log(const LogCategory& category, uint32_t level, const char* text) {
    if (broken || fileLock_ == nullptr) {
        return;
    }
    if (text == nullptr) {
        text = "";
    }
    LastErrorKeeper keeper;
    uint32_t clock = 0;
    uint32_t processId = 0;
    uint32_t threadId = 0;
    getCachedOption("Clocktime_In_Header", clock, 1, optionMaxAgeMs);
    getCachedOption("Proc_Id_In_Header", processId, 0, optionMaxAgeMs);
    getCachedOption("Thread_Id_In_Header", threadId, 0, optionMaxAgeMs);

    // The lock is another process's to hold, for ever if it likes: the wait
    // is bounded, and once one has run out, lines wait no longer than a
    // moment until one gets through, so a print never waits on the log.
    std::unique_ptr<InterProcessLock> lock;
    try {
        lock.reset(new InterProcessLock(*fileLock_,
                                        lockContended_.load() ? contendedLockWaitMs : lockWaitMs));
    } catch (Win32Exception&) {
        // A lock that is not a mutex (broken by a user of the store): the
        // platform reported it; the line is lost like any other.
    }
    if (lock == nullptr || !lock->held()) {
        lockContended_ = true;
        ++lostLines_;
        return;
    }
    lockContended_ = false;
    const int32_t depth = getDepth(GetCurrentThreadId());
    std::string bytes;
    const uint32_t lost = lostLines_.exchange(0);
    if (lost != 0) {
        bytes =
            formatLine(category, level, clock, processId, threadId, 0,
                       std::to_string(lost) + (lost == 1 ? " log line was" : " log lines were") +
                           " lost (the log was busy or could not be written)");
    }
    bytes += formatLine(category, level, clock, processId, threadId, depth, text);

    HANDLE file = CreateFileA(
        logPath_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        fileSecurity_.getSecurityAttributes(), OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        onLogFileMissing();
    } else {
        CloseHandle(file);
    }
    file = CreateFileA(logPath_.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, fileSecurity_.getSecurityAttributes(),
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const uint32_t lines = lost != 0 ? lost + 1 : 1;
    if (file == INVALID_HANDLE_VALUE) {
        lostLines_ += lines;
        return;
    }
    // Both halves of the size: a log beyond 2 GiB is appended to, not
    // written over.
    bool written = false;
    DWORD sizeHigh = 0;
    SetLastError(NO_ERROR);
    DWORD sizeLow = GetFileSize(file, &sizeHigh);
    if (sizeLow != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) {
        LONG high = static_cast<LONG>(sizeHigh);
        SetLastError(NO_ERROR);
        if (SetFilePointer(file, static_cast<LONG>(sizeLow), &high, FILE_BEGIN) !=
                INVALID_SET_FILE_POINTER ||
            GetLastError() == NO_ERROR) {
            DWORD done = 0;
            written =
                WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                done == bytes.size();
            if (!written && done != 0) {
                // A full disk took part of the line: the file ends where it
                // did, so the next line never joins a fragment.
                high = static_cast<LONG>(sizeHigh);
                SetFilePointer(file, static_cast<LONG>(sizeLow), &high, FILE_BEGIN);
                SetEndOfFile(file);
            }
        }
    }
    CloseHandle(file);
    if (!written) {
        lostLines_ += lines;
    }
}

std::string BasicLogger::formatLine(const LogCategory& category, uint32_t level, uint32_t clock,
                                    uint32_t processId, uint32_t threadId, int32_t depth,
                                    const char* text) {
    std::ostringstream line;
    line << linePrefix(category, level, text);
    line << std::setfill('0');
    if (clock != 0) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        line << std::setw(4) << now.wYear << '/' << std::setw(2) << now.wMonth << '/'
             << std::setw(2) << now.wDay << '-' << std::setw(2) << now.wHour << ':' << std::setw(2)
             << now.wMinute << ':' << std::setw(2) << now.wSecond << '.' << std::setw(3)
             << now.wMilliseconds << ' ';
    }
    line << std::hex;
    if (processId != 0) {
        line << "pid=" << std::setw(4) << GetCurrentProcessId() << ' ';
    }
    if (threadId != 0) {
        line << "tid=" << std::setw(4) << GetCurrentThreadId() << ' ';
    }
    line << std::dec << std::setfill(' ') << std::left
         << std::setw(static_cast<int>(categoryWidth_)) << category.getName() << ' ';
    if (depth > 0) {
        line << std::string(static_cast<size_t>(depth), ' ');
    }
    line << text << lineSuffix(category, level, text) << "\r\n";
    return line.str();
}

std::string BasicLogger::formatLine(const LogCategory& category, uint32_t level, uint32_t clock,
                                    uint32_t processId, uint32_t threadId, int32_t depth,
                                    const std::string& text) {
    return formatLine(category, level, clock, processId, threadId, depth, text.c_str());
}

void BasicLogger::deleteLog() {
    if (broken || fileLock_ == nullptr) {
        return;
    }
    LastErrorKeeper keeper;
    InterProcessLock lock(*fileLock_, lockWaitMs);
    if (lock.held()) {
        DeleteFileA(logPath_.c_str());
    }
}

void BasicLogger::getOption(const std::string& name, uint32_t& value, uint32_t defaultValue) {
    if (name != "startLog") {
        value = defaultValue;
        return;
    }
    HANDLE file = CreateFileA(logPath_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        value = 0;
        return;
    }
    CloseHandle(file);
    value = 0xFFFFFFFFu;
}

void BasicLogger::onLogFileMissing() {}

std::string BasicLogger::linePrefix(const LogCategory&, uint32_t, const char*) {
    return std::string();
}

std::string BasicLogger::lineSuffix(const LogCategory&, uint32_t, const char*) {
    return std::string();
}

bool BasicLogger::isEnabled(const LogCategory& category, uint32_t level) {
    if (broken) {
        return false;
    }
    if ((level & LevelError) != 0) {
        return true;
    }
    uint32_t startLog = 0;
    getCachedOption("startLog", startLog, 0, optionMaxAgeMs);
    if (startLog == 0) {
        return false;
    }
    uint32_t allMask = lastAllMask.load();
    getCachedOption("All", allMask, LogCategories::All.getMask(), optionMaxAgeMs);
    lastAllMask.store(allMask);
    uint32_t categoryMask = 0;
    getCachedOption(category.getName(), categoryMask, category.getMask(), optionMaxAgeMs);
    return (level & (allMask | categoryMask)) != 0;
}

void BasicLogger::getCachedOption(const std::string& name, uint32_t& value, uint32_t defaultValue,
                                  uint32_t maxAgeMs) {
    LastErrorKeeper keeper;
    DWORD now = GetTickCount();
    {
        CriticalSectionLock lock(optionLock_);
        auto cached = optionCache_.find(name);
        // The age in wrapping 32-bit arithmetic stays right across the tick
        // count's wrap; a read in the same tick as now has age 0.
        if (cached != optionCache_.end() && now - cached->second.readAt < maxAgeMs) {
            value = cached->second.value;
            return;
        }
    }
    // Read outside the lock: other threads keep using the cache meanwhile.
    getOption(name, value, defaultValue);
    CriticalSectionLock lock(optionLock_);
    optionCache_[name] = CachedOption{value, now};
}

uint32_t BasicLogger::setCategoryWidth(uint32_t width) {
    if (width == 0) {
        return ERROR_INVALID_PARAMETER;
    }
    categoryWidth_ = width;
    return 0;
}

void BasicLogger::enterFunction() {
    CriticalSectionLock lock(depthLock_);
    ++depthByThread_[GetCurrentThreadId()];
}

void BasicLogger::leaveFunction() {
    CriticalSectionLock lock(depthLock_);
    --depthByThread_[GetCurrentThreadId()];
}

int32_t BasicLogger::getDepth(uint32_t threadId) {
    CriticalSectionLock lock(depthLock_);
    return depthByThread_[threadId];
}

bool BasicLogger::isCachedOff(const LogCategory& category, uint32_t level) {
    if (broken) {
        return true;
    }
    if ((level & LevelError) != 0) {
        return false;
    }
    uint32_t startLog = 0;
    if (!peekCachedOption("startLog", startLog)) {
        return false;
    }
    if (startLog == 0) {
        return true;
    }
    uint32_t allMask = 0;
    uint32_t categoryMask = 0;
    return peekCachedOption("All", allMask) && peekCachedOption(category.getName(), categoryMask) &&
           (level & (allMask | categoryMask)) == 0;
}

bool BasicLogger::peekCachedOption(const std::string& name, uint32_t& value) {
    DWORD now = GetTickCount();
    CriticalSectionLock lock(optionLock_);
    auto cached = optionCache_.find(name);
    if (cached == optionCache_.end() || now - cached->second.readAt >= optionMaxAgeMs) {
        return false;
    }
    value = cached->second.value;
    return true;
}

bool isLogEnabled(const LogCategory& category, uint32_t level) {
    BasicLogger* logger = installed.load();
    if (logger == nullptr) {
        return false;
    }
    LastErrorKeeper keeper;
    // Whatever the store holds, options read moments ago that say no make
    // the answer no: the print path asks for every packet, and the store's
    // registry open would cost more than the packet's own work.
    if (logger->isCachedOff(category, level)) {
        return false;
    }
    RuntimeSettings settings;
    if (!settings.isLocalStorePresent()) {
        return false;
    }
    return logger->isEnabled(category, level);
}
