// The process's logger. Every line names a category and is appended to one
// log file that all processes with the same local id share: the file is
// opened and closed per line under a named system mutex. Which categories
// and levels are on, and which header fields a line carries, are options
// (getOption) cached for five seconds, so logging can be switched while the
// host runs. Errors (LevelError) are always written.
#pragma once

#include "shared/CriticalSection.h"
#include "shared/LogCategory.h"
#include "shared/LogLevel.h"
#include "shared/Mutex.h"
#include "shared/SecurityEveryone.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class BasicLogger {
public:
    // Called by the module's start-up: creates the registry-driven logger
    // and installs it, unless a logger is installed already.
    static void createInstance();
    // Called last by the module's shut-down: uninstalls and deletes the
    // logger, if one is installed.
    static void releaseInstance();
    // The installed logger; throws Win32Exception "BasicLogger::getInstance()"
    // (code 1) when there is none.
    static BasicLogger* getInstance();

    // logName is the log file's name, placed in the root of the Windows
    // directory's drive, or its full path when it contains a backslash. The
    // file's lock is the mutex "VNLOG_" + the name after its last backslash.
    // A failure to set these up leaves the logger broken: it then writes
    // nothing at all, process-wide, for good.
    explicit BasicLogger(const std::string& logName);
    virtual ~BasicLogger();
    BasicLogger(const BasicLogger&) = delete;
    BasicLogger& operator=(const BasicLogger&) = delete;

    virtual void log(const LogCategory& category, uint32_t level, const std::string& text);
    // Appends one line, whether or not the category is enabled. A line that
    // cannot be written whole, or whose turn at the file's lock does not come
    // within lockWaitMs, is lost and counted.
    virtual void log(const LogCategory& category, uint32_t level, const char* text);
    virtual void deleteLog();
    // The option source. This one answers "startLog" with 0xFFFFFFFF while
    // the log file exists and can be read, 0 otherwise; every other option
    // with its default.
    virtual void getOption(const std::string& name, uint32_t& value, uint32_t defaultValue);
    // Called when the log file is missing before a line is written.
    virtual void onLogFileMissing();
    // Text at the start and before the end of each line; empty here.
    virtual std::string linePrefix(const LogCategory& category, uint32_t level, const char* text);
    virtual std::string lineSuffix(const LogCategory& category, uint32_t level, const char* text);

    // Whether a line of this category and level is written.
    bool isEnabled(const LogCategory& category, uint32_t level);
    // The option as last read, when that read is younger than maxAgeMs;
    // otherwise reads it afresh (getOption, starting from value) and keeps
    // what it got. Safe for concurrent use.
    void getCachedOption(const std::string& name, uint32_t& value, uint32_t defaultValue,
                         uint32_t maxAgeMs);
    // True when options cached within optionMaxAgeMs already turn this
    // category and level off; false when they do not, or are not fresh.
    bool isCachedOff(const LogCategory& category, uint32_t level);
    // 87 (ERROR_INVALID_PARAMETER) for 0, leaving the width; else 0.
    uint32_t setCategoryWidth(uint32_t width);

    // Trace depth of the calling thread (enter, leave) or of a given one.
    void enterFunction();
    void leaveFunction();
    int32_t getDepth(uint32_t threadId);

    const std::string& getLogPath() const { return logPath_; }

    // Every process-wide option read uses this age.
    static const uint32_t optionMaxAgeMs = 5000;
    // How long a line waits for the file's lock, which another process may
    // hold; after a wait has run out, lines wait only contendedLockWaitMs
    // until one gets the lock again. A line that does not get it is lost and
    // counted; the next line written says how many were lost.
    static constexpr DWORD lockWaitMs = 200;
    static constexpr DWORD contendedLockWaitMs = 1;

private:
    struct CachedOption {
        uint32_t value;
        uint32_t readAt;
    };

    std::string formatLine(const LogCategory& category, uint32_t level, uint32_t clock,
                           uint32_t processId, uint32_t threadId, int32_t depth, const char* text);
    std::string formatLine(const LogCategory& category, uint32_t level, uint32_t clock,
                           uint32_t processId, uint32_t threadId, int32_t depth,
                           const std::string& text);

    // The cached value when it is fresh; never reads the store.
    bool peekCachedOption(const std::string& name, uint32_t& value);

    std::unique_ptr<Mutex> fileLock_;
    std::string logPath_;
    uint32_t categoryWidth_;
    CriticalSection depthLock_;
    std::map<uint32_t, int32_t> depthByThread_;
    SecurityEveryone fileSecurity_;
    std::map<std::string, CachedOption> optionCache_;
    // The cache's own lock: every logging thread reads and updates it before
    // it takes the file's lock.
    CriticalSection optionLock_;
    // Lines lost since the last one written, and whether the last wait for
    // the file's lock ran out.
    std::atomic<uint32_t> lostLines_{0};
    std::atomic<bool> lockContended_{false};
};

// Asked before any log text is built: false while no logger is installed
// or this module's local store is missing; else the logger's isEnabled.
bool isLogEnabled(const LogCategory& category, uint32_t level);
