#include "TestStore.h"
#include "platform/win32.h"
#include "shared/BasicLogger.h"
#include "shared/Event.h"
#include "shared/FunctionTrace.h"
#include "shared/Localize.h"
#include "shared/LogCategory.h"
#include "shared/Mutex.h"
#include "shared/RegistryKey.h"
#include "shared/Win32Exception.h"
#include "support/TestChild.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string readFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::string content;
    char buffer[4096];
    DWORD done = 0;
    while (ReadFile(file, buffer, sizeof buffer, &done, nullptr) && done > 0) {
        content.append(buffer, done);
    }
    CloseHandle(file);
    return content;
}

bool fileExists(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// The lines of a log, each without its CR LF; a last line without CR LF is
// kept as it is, so a cut line shows.
std::vector<std::string> linesOf(const std::string& content) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(content.substr(start));
            break;
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// What follows the date and time ("2026/12/04-17:33:27.045 ") of a line
// written with the default header; empty when the line does not start so.
std::string afterClock(const std::string& line) {
    const std::string shape = "dddd/dd/dd-dd:dd:dd.ddd ";
    if (line.size() < shape.size()) {
        return std::string();
    }
    for (size_t i = 0; i < shape.size(); ++i) {
        bool digit = line[i] >= '0' && line[i] <= '9';
        if (shape[i] == 'd' ? !digit : line[i] != shape[i]) {
            return std::string();
        }
    }
    return line.substr(shape.size());
}

std::string hex4(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
    return text;
}

std::string padded(const std::string& category) {
    return category + std::string(category.size() < 25 ? 25 - category.size() : 0, ' ') + " ";
}

} // namespace

// The process's logger over this test program's local store: the log file
// is C:\shar.log, the options are under the store's "Logger" key.
class LoggerTest : public LocalStoreTest {
protected:
    void SetUp() override {
        LocalStoreTest::SetUp();
        BasicLogger::releaseInstance();
        logger_ = nullptr;
    }

    void TearDown() override {
        if (logger_ != nullptr) {
            logger_->deleteLog();
        }
        BasicLogger::releaseInstance();
        LocalStoreTest::TearDown();
    }

    // Writes options before the logger exists, so it reads them first.
    void setOption(const char* name, uint32_t value) {
        RegistryKey key(store_ + "Logger", true);
        key.setValue(name, value);
    }

    bool hasOption(const char* name, uint32_t& value) {
        RegistryKey key(store_ + "Logger", true);
        return key.getValue(name, value);
    }

    void start() {
        BasicLogger::createInstance();
        logger_ = BasicLogger::getInstance();
        logger_->deleteLog();
    }

    // Logging on with every level of every category.
    void startAll() {
        setOption("startLog", 1);
        start();
    }

    std::vector<std::string> lines() { return linesOf(readFile(logger_->getLogPath())); }

    BasicLogger* logger_ = nullptr;
};

TEST_F(LoggerTest, ThereIsNoLoggerUntilOneIsCreated) {
    EXPECT_FALSE(isLogEnabled(LogCategories::Par1Transport, LevelError));
    try {
        BasicLogger::getInstance();
        ADD_FAILURE() << "no logger is installed";
    } catch (Exception& e) {
        EXPECT_EQ("BasicLogger::getInstance()", e.getMessage());
        EXPECT_EQ(1u, e.getErrorCode());
        EXPECT_EQ("", e.getFileName());
        EXPECT_EQ(0u, e.getLineNumber());
    }
    start();
    EXPECT_EQ(logger_, BasicLogger::getInstance());
    BasicLogger::createInstance(); // keeps the installed one
    EXPECT_EQ(logger_, BasicLogger::getInstance());
}

TEST_F(LoggerTest, TheLogFileIsNamedAfterTheLocalIdInTheDriveRoot) {
    start();
    EXPECT_EQ("C:\\shar.log", logger_->getLogPath());
    BasicLogger own("C:\\windows\\..\\own.log");
    EXPECT_EQ("C:\\windows\\..\\own.log", own.getLogPath());
}

TEST_F(LoggerTest, AFreshInstallWritesOnlyErrorsAndCreatesTheOptions) {
    start();
    EXPECT_FALSE(isLogEnabled(LogCategories::Par1Transport, LevelTrace));
    uint32_t value = 99;
    ASSERT_TRUE(hasOption("startLog", value));
    EXPECT_EQ(0u, value);
    {
        FunctionTrace trace(logger_, LogCategories::Par1Transport,
                            "Par1Adapter::doOpen: ", LevelTrace, true);
        EXPECT_FALSE(trace.isEnabled());
    }
    EXPECT_FALSE(fileExists(logger_->getLogPath()));
    EXPECT_EQ(0, logger_->getDepth(GetCurrentThreadId()));

    EXPECT_TRUE(isLogEnabled(LogCategories::Par1Transport, LevelError));
    logger_->log(LogCategories::Par1Transport, LevelError, "write failed");
    std::vector<std::string> written = lines();
    ASSERT_EQ(1u, written.size());
    EXPECT_EQ(padded("Par1Transport") + "write failed", afterClock(written[0]));
    // The first written line created the header options.
    const std::map<std::string, uint32_t> defaults = {
        {"Clocktime_In_Header", 1}, {"Proc_Id_In_Header", 0}, {"Thread_Id_In_Header", 0}};
    for (const auto& option : defaults) {
        ASSERT_TRUE(hasOption(option.first.c_str(), value)) << option.first;
        EXPECT_EQ(option.second, value) << option.first;
    }
}

TEST_F(LoggerTest, NothingIsLoggedWithoutTheLocalStore) {
    startAll();
    EXPECT_TRUE(isLogEnabled(LogCategories::Par1Transport, LevelTrace));
    teststore::deleteStore();
    EXPECT_FALSE(isLogEnabled(LogCategories::Par1Transport, LevelTrace));
    EXPECT_FALSE(isLogEnabled(LogCategories::Par1Transport, LevelError));
}

TEST_F(LoggerTest, TheCategoryMaskAddsToAll) {
    setOption("startLog", 1);
    setOption("All", 0);
    setOption("Par1Transport", LevelTrace);
    start();
    EXPECT_TRUE(isLogEnabled(LogCategories::Par1Transport, LevelTrace));
    EXPECT_FALSE(isLogEnabled(LogCategories::Par1Transport, LevelDetail));
    EXPECT_FALSE(isLogEnabled(LogCategories::Server, LevelTrace));
    {
        FunctionTrace trace(logger_, LogCategories::Par1Transport,
                            "Par1Protocol::doOpen: ", LevelTrace, true);
        ASSERT_TRUE(trace.isEnabled());
        trace.log("detail");
        trace.setReturnCode(0u);
    }
    std::vector<std::string> written = lines();
    ASSERT_EQ(2u, written.size());
    EXPECT_EQ(padded("Par1Transport") + "+Par1Protocol::doOpen: ", afterClock(written[0]));
    EXPECT_EQ(padded("Par1Transport") + "-Par1Protocol::doOpen:  rc=0", afterClock(written[1]));

    // A category's default mask counts when it has no value of its own.
    uint32_t value = 99;
    EXPECT_TRUE(isLogEnabled(LogCategories::Bidi, LevelDetail));
    ASSERT_TRUE(hasOption("Bidi", value));
    EXPECT_EQ(0xFFFFFFFFu, value);
}

TEST_F(LoggerTest, LinesHaveTheHeaderTheOptionsAskFor) {
    setOption("startLog", 1);
    setOption("Clocktime_In_Header", 0);
    setOption("Proc_Id_In_Header", 1);
    setOption("Thread_Id_In_Header", 1);
    start();
    {
        FunctionTrace outer(logger_, LogCategories::Par1Transport,
                            "Par1Devices::update: ", LevelTrace, true);
        FunctionTrace inner(logger_, LogCategories::Par1Transport,
                            "Par1Adapter::doOpen: ", LevelTrace, true);
    }
    std::string ids =
        "pid=" + hex4(GetCurrentProcessId()) + " tid=" + hex4(GetCurrentThreadId()) + " ";
    std::string expected =
        ids + "Par1Transport" + std::string(12, ' ') + " +Par1Devices::update: \r\n" + ids +
        "Par1Transport" + std::string(12, ' ') + "  +Par1Adapter::doOpen: \r\n" + ids +
        "Par1Transport" + std::string(12, ' ') + "  -Par1Adapter::doOpen: \r\n" + ids +
        "Par1Transport" + std::string(12, ' ') + " -Par1Devices::update: \r\n";
    EXPECT_EQ(expected, readFile(logger_->getLogPath()));
}

TEST_F(LoggerTest, TheDefaultHeaderIsTheLocalTime) {
    startAll();
    SYSTEMTIME before;
    GetLocalTime(&before);
    logger_->log(LogCategories::Par1Transport, LevelTrace, "+Par1Adapter::doOpen: ");
    std::string content = readFile(logger_->getLogPath());
    ASSERT_EQ(24u + 25u + 1u + 22u + 2u, content.size());
    EXPECT_EQ("Par1Transport             +Par1Adapter::doOpen: \r\n", content.substr(24));
    char date[32];
    std::snprintf(date, sizeof date, "%04u/%02u/%02u-", before.wYear, before.wMonth, before.wDay);
    // Unless midnight passed in between.
    EXPECT_EQ(date, content.substr(0, 11));
    EXPECT_NE("", afterClock(content));
}

TEST_F(LoggerTest, NestedTracesIndentPerThread) {
    startAll();
    {
        FunctionTrace outer(logger_, LogCategories::Par1Transport, "Outer: ", LevelTrace, true);
        {
            FunctionTrace inner(logger_, LogCategories::Par1Transport, "Inner: ", LevelTrace, true);
            inner.log("detail");
            EXPECT_EQ(2, logger_->getDepth(GetCurrentThreadId()));
            std::thread other([this] {
                FunctionTrace trace(logger_, LogCategories::Par1Transport, "Other: ", LevelTrace,
                                    true);
            });
            other.join();
            inner.setReturnCode("0");
        }
        logger_->log(LogCategories::Par1Transport, LevelDetail, "between");
    }
    EXPECT_EQ(0, logger_->getDepth(GetCurrentThreadId()));
    std::vector<std::string> written = lines();
    const std::vector<std::string> expected = {
        "+Outer: ", " +Inner: ",      "  Inner: detail", "+Other: ",
        "-Other: ", " -Inner:  rc=0", " between",        "-Outer: ",
    };
    ASSERT_EQ(expected.size(), written.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(padded("Par1Transport") + expected[i], afterClock(written[i])) << i;
    }
}

TEST_F(LoggerTest, ReturnCodesAndLongCategoryNames) {
    startAll();
    static LogCategory longName("ACategoryNameOfThirtyCharacter", 0);
    { FunctionTrace none(logger_, LogCategories::Par1Transport, "None: ", LevelTrace, true); }
    {
        FunctionTrace text(logger_, LogCategories::Par1Transport, "Text: ", LevelTrace, true);
        text.setReturnCode("VNT_ERROR_INVALID_FUNCTION");
    }
    {
        FunctionTrace number(logger_, longName, "Number: ", LevelTrace, true);
        number.setReturnCode(4294967295u);
    }
    std::vector<std::string> written = lines();
    ASSERT_EQ(6u, written.size());
    EXPECT_EQ(padded("Par1Transport") + "-None: ", afterClock(written[1]));
    EXPECT_EQ(padded("Par1Transport") + "-Text:  rc=VNT_ERROR_INVALID_FUNCTION",
              afterClock(written[3]));
    EXPECT_EQ("ACategoryNameOfThirtyCharacter +Number: ", afterClock(written[4]));
    EXPECT_EQ("ACategoryNameOfThirtyCharacter -Number:  rc=4294967295", afterClock(written[5]));

    EXPECT_EQ(87u, logger_->setCategoryWidth(0));
    EXPECT_EQ(0u, logger_->setCategoryWidth(8));
    logger_->deleteLog();
    logger_->log(LogCategories::Server, LevelError, "x");
    EXPECT_EQ("Server   x", afterClock(lines().at(0)));
}

TEST_F(LoggerTest, ADisabledTraceWritesNothingAndKeepsTheDepth) {
    setOption("startLog", 1);
    setOption("All", LevelTrace);
    start();
    {
        FunctionTrace data(logger_, LogCategories::Par1Transport,
                           "Par1Adapter::doWrite: ", LevelData, true);
        EXPECT_FALSE(data.isEnabled());
        EXPECT_EQ(0, logger_->getDepth(GetCurrentThreadId()));
        FunctionTrace inactive(logger_, LogCategories::Par1Transport, "Inactive: ", LevelTrace,
                               false);
        EXPECT_FALSE(inactive.isEnabled());
    }
    EXPECT_FALSE(fileExists(logger_->getLogPath()));
}

TEST_F(LoggerTest, LoggingKeepsTheCallersLastError) {
    startAll();
    SetLastError(1460);
    {
        FunctionTrace trace(logger_, LogCategories::Par1Transport, "Trace: ", LevelTrace, true);
        EXPECT_TRUE(isLogEnabled(LogCategories::Par1Transport, LevelTrace));
        EXPECT_EQ(1460u, GetLastError());
    }
    EXPECT_EQ(1460u, GetLastError());
    logger_->deleteLog();
    EXPECT_EQ(1460u, GetLastError());
}

TEST_F(LoggerTest, TheOptionCacheReadsAgainOnlyAfterItsAge) {
    start();
    uint32_t value = 0;
    logger_->getCachedOption("CacheProbe", value, 7, 60000);
    EXPECT_EQ(7u, value);
    uint32_t stored = 0;
    ASSERT_TRUE(hasOption("CacheProbe", stored));
    EXPECT_EQ(7u, stored);

    setOption("CacheProbe", 9);
    value = 0;
    logger_->getCachedOption("CacheProbe", value, 7, 60000);
    EXPECT_EQ(7u, value) << "younger than its age: from the cache";

    // The shortest age that a real tick count tells apart: wait it out.
    DWORD readAt = GetTickCount();
    while (GetTickCount() - readAt < 30) {
        Sleep(10);
    }
    logger_->getCachedOption("CacheProbe", value, 7, 20);
    EXPECT_EQ(9u, value);
    // An age of 0 reads every time.
    setOption("CacheProbe", 11);
    logger_->getCachedOption("CacheProbe", value, 7, 0);
    EXPECT_EQ(11u, value);
}

TEST_F(LoggerTest, AFailedOptionReadKeepsTheStartingValue) {
    {
        RegistryKey key(store_ + "Logger", true);
        key.setValue("startLog", std::string("1"));
    }
    start();
    EXPECT_FALSE(isLogEnabled(LogCategories::Par1Transport, LevelTrace));
    EXPECT_TRUE(isLogEnabled(LogCategories::Par1Transport, LevelError));
    uint32_t value = 5;
    logger_->getCachedOption("startLog", value, 0, 0);
    EXPECT_EQ(5u, value);
}

TEST_F(LoggerTest, ThreadsLoggingAtOnceLeaveEveryLineWhole) {
    startAll();
    const int threads = 4;
    const int linesPerThread = 50;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([this, t] {
            for (int i = 0; i < linesPerThread; ++i) {
                FunctionTrace trace(logger_, LogCategories::Par1Transport,
                                    "writer " + std::to_string(t) + " line " + std::to_string(i),
                                    LevelTrace, true);
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    std::vector<std::string> written = lines();
    ASSERT_EQ(static_cast<size_t>(2 * threads * linesPerThread), written.size());
    std::vector<int> next(threads, 0);
    std::vector<bool> entered(threads, false);
    for (const std::string& line : written) {
        std::string text = afterClock(line);
        ASSERT_EQ(0u, text.find(padded("Par1Transport"))) << line;
        text = text.substr(26);
        int t = -1;
        int i = -1;
        char sign = 0;
        ASSERT_EQ(3, std::sscanf(text.c_str(), "%cwriter %d line %d", &sign, &t, &i)) << line;
        ASSERT_TRUE(t >= 0 && t < threads) << line;
        // Each thread's lines in order: + then - for each number.
        EXPECT_EQ(next[t], i) << line;
        EXPECT_EQ(entered[t] ? '-' : '+', sign) << line;
        EXPECT_EQ("writer " + std::to_string(t) + " line " + std::to_string(i), text.substr(1));
        if (entered[t]) {
            ++next[t];
        }
        entered[t] = !entered[t];
    }
}

// The log's lock is another process's to hold for as long as it likes: a
// line waits for it a bounded time and is then lost and counted, later lines
// hardly wait at all, and the first line that gets through tells how many
// were lost.
TEST_F(LoggerTest, ALineThatCannotGetTheLockInTimeIsLostAndCounted) {
    startAll();
    const std::string path = logger_->getLogPath();
    Mutex holder(false, "VNLOG_" + path.substr(path.rfind('\\') + 1), true);
    Event held(true, false, "", false);
    Event done(true, false, "", false);
    std::thread owner([&] {
        holder.acquire(INFINITE);
        held.set();
        done.wait(INFINITE);
        holder.release();
    });
    ASSERT_TRUE(held.wait(20000));
    const DWORD before = GetTickCount();
    logger_->log(LogCategories::Par1Transport, LevelError, "first");
    const DWORD firstWait = GetTickCount() - before;
    for (int i = 0; i < 20; ++i) {
        logger_->log(LogCategories::Par1Transport, LevelError, "more");
    }
    const DWORD allWaits = GetTickCount() - before;
    done.set();
    owner.join();
    EXPECT_GE(firstWait + 20, BasicLogger::lockWaitMs); // the tick count is coarse
    // Once a wait has run out, the next lines give up almost at once.
    EXPECT_LT(allWaits, BasicLogger::lockWaitMs + 1000);
    logger_->log(LogCategories::Par1Transport, LevelError, "through");
    const std::vector<std::string> written = lines();
    ASSERT_EQ(2u, written.size());
    EXPECT_EQ(padded("Par1Transport") +
                  "21 log lines were lost (the log was busy or could not be written)",
              afterClock(written[0]));
    EXPECT_EQ(padded("Par1Transport") + "through", afterClock(written[1]));
}

// Two processes write to the one log at the same moment, each opening and
// closing the file per line under the named lock: every line of both must
// come through whole, in its writer's order, and none may be lost. Named
// mutexes start them together (they, not events, are shared between
// processes on both builds): the child holds "ready" while it writes, the
// parent holds "go" until it has seen that.
TEST(LoggerProcesses, ShareTheFileLineByLine) {
    const int linesPerProcess = 10000;
    Localize::createInstance(nullptr);
    if (par1test::TestChild::role() == "writer") {
        const std::vector<std::string> names = par1test::TestChild::arguments();
        if (names.size() != 3) {
            par1test::TestChild::exit(2);
        }
        HANDLE ready = CreateMutexA(nullptr, FALSE, names[0].c_str());
        HANDLE go = CreateMutexA(nullptr, FALSE, names[1].c_str());
        HANDLE parentDone = CreateMutexA(nullptr, FALSE, names[2].c_str());
        if (ready == nullptr || go == nullptr || parentDone == nullptr) {
            par1test::TestChild::exit(3);
        }
        BasicLogger::createInstance();
        BasicLogger* logger = BasicLogger::getInstance();
        if (WaitForSingleObject(ready, par1test::TestChild::kTimeoutMs) != WAIT_OBJECT_0) {
            par1test::TestChild::exit(4);
        }
        if (WaitForSingleObject(go, par1test::TestChild::kTimeoutMs) != WAIT_OBJECT_0) {
            par1test::TestChild::exit(5);
        }
        ReleaseMutex(go);
        for (int i = 0; i < linesPerProcess; ++i) {
            logger->log(LogCategories::Par1Transport, LevelError,
                        "child line " + std::to_string(i));
        }
        // Once the parent writes no more, a last line gets through and says
        // how many were lost, if any.
        if (WaitForSingleObject(parentDone, par1test::TestChild::kTimeoutMs) != WAIT_OBJECT_0) {
            par1test::TestChild::exit(6);
        }
        logger->log(LogCategories::Par1Transport, LevelError, "child done");
        ReleaseMutex(parentDone);
        BasicLogger::releaseInstance();
        ReleaseMutex(ready);
        CloseHandle(ready);
        CloseHandle(go);
        CloseHandle(parentDone);
        par1test::TestChild::exit(0);
    }
    teststore::createEmptyStore();
    BasicLogger::releaseInstance();
    BasicLogger::createInstance();
    BasicLogger* logger = BasicLogger::getInstance();
    logger->deleteLog();
    const std::string suffix = std::to_string(GetCurrentProcessId());
    const std::string readyName = "par1-logtest-ready-" + suffix;
    const std::string goName = "par1-logtest-go-" + suffix;
    const std::string doneName = "par1-logtest-done-" + suffix;
    HANDLE go = CreateMutexA(nullptr, TRUE, goName.c_str());
    HANDLE parentDone = CreateMutexA(nullptr, TRUE, doneName.c_str());
    ASSERT_NE(nullptr, parentDone);
    HANDLE ready = CreateMutexA(nullptr, FALSE, readyName.c_str());
    ASSERT_NE(nullptr, go);
    ASSERT_NE(nullptr, ready);
    {
        par1test::TestChild child("writer", {readyName, goName, doneName});
        ASSERT_TRUE(child.started());
        // The child holds "ready" once it waits for "go"; until then each
        // look takes "ready" for a moment and gives it back. Waiting on the
        // child between looks also notices a child that ended early.
        bool childReady = false;
        const DWORD startedAt = GetTickCount();
        while (!childReady && GetTickCount() - startedAt < par1test::TestChild::kTimeoutMs) {
            DWORD look = WaitForSingleObject(ready, 0);
            if (look == WAIT_TIMEOUT) {
                childReady = true;
            } else {
                ASSERT_EQ(WAIT_OBJECT_0, look);
                ReleaseMutex(ready);
                ASSERT_EQ(WAIT_TIMEOUT, WaitForSingleObject(child.process(), 1))
                    << "the child ended before it was ready, exit code " << child.exitCode();
            }
        }
        ASSERT_TRUE(childReady);
        ReleaseMutex(go);
        for (int i = 0; i < linesPerProcess; ++i) {
            logger->log(LogCategories::Par1Transport, LevelError,
                        "parent line " + std::to_string(i));
        }
        ReleaseMutex(parentDone);
        ASSERT_TRUE(child.wait());
        EXPECT_EQ(0u, child.exitCode());
        // The child has ended: this line gets through and counts the
        // parent's lost lines, if any.
        logger->log(LogCategories::Par1Transport, LevelError, "parent done");
    }
    CloseHandle(ready);
    CloseHandle(go);
    CloseHandle(parentDone);
    // Every line is whole and in its writer's order. The wait for the log's
    // lock is bounded: on a busy machine a line may be lost, and then the
    // writer's next line says how many, so every line is accounted for.
    const std::vector<std::string> written = linesOf(readFile(logger->getLogPath()));
    const std::string lostNote = " lost (the log was busy or could not be written)";
    int parent = 0;
    int fromChild = 0;
    int lost = 0;
    int unexpected = 0;
    auto inOrder = [](const std::string& text, const std::string& prefix, int& next) {
        if (text.compare(0, prefix.size(), prefix) != 0) {
            return false;
        }
        const int number = std::atoi(text.c_str() + prefix.size());
        if (text != prefix + std::to_string(number) || number < next) {
            return false;
        }
        next = number + 1;
        return true;
    };
    int parentLines = 0;
    int childLines = 0;
    int finished = 0;
    for (const std::string& line : written) {
        std::string text = afterClock(line);
        if (text.compare(0, 26, padded("Par1Transport")) == 0) {
            text = text.substr(26);
            if (inOrder(text, "parent line ", parent)) {
                ++parentLines;
                continue;
            }
            if (inOrder(text, "child line ", fromChild)) {
                ++childLines;
                continue;
            }
            if (text == "parent done" || text == "child done") {
                ++finished;
                continue;
            }
            const size_t note = text.find(" log line");
            if (note != std::string::npos && text.size() > lostNote.size() &&
                text.compare(text.size() - lostNote.size(), lostNote.size(), lostNote) == 0) {
                lost += std::atoi(text.c_str());
                continue;
            }
        }
        // Enough to show how lines broke without flooding the output.
        if (++unexpected <= 5) {
            ADD_FAILURE() << "unexpected line " << line;
        }
    }
    EXPECT_EQ(0, unexpected);
    EXPECT_EQ(2, finished);
    EXPECT_EQ(2 * linesPerProcess, parentLines + childLines + lost);
    logger->deleteLog();
    BasicLogger::releaseInstance();
    teststore::deleteStore();
}

TEST(LogCategories, TheSharedTableOfCategories) {
    struct Row {
        const char* name;
        uint32_t mask;
    };
    const Row rows[] = {
        {"All", 0xFFFFFFFFu},
        {"Bidi", 0xFFFFFFFFu},
        {"ComClientBidi", 0xFFFFFFFFu},
        {"ComClient", 0},
        {"COMServer", 0},
        {"CfgUtil", 0},
        {"Hbn1Transport", 0},
        {"Hbn3Transport", 0},
        {"Ip1Transport", 0},
        {"Ip1TransportDiscovery", 0},
        {"LegacyClient", 0xFFFFFFFFu},
        {"PortMonitorUI", 0xFFFFFFFFu},
        {"PPClient", 0},
        {"PPServer", 0},
        {"PrintMonitor", 0xFFFFFFFFu},
        {"Server", 0},
        {"ServerHid", 0},
        {"Special", 0},
        {"Transport", 0},
        {"Usb1Transport", 0},
        {"Usb1TransportDiscovery", 0},
        {"Usb1TransportHid", 0},
        {"Par1Transport", 0},
        {"Shared", 0},
        {"Utility", 0},
        {"InstallHelper", 0},
        {"Hcp", 0},
    };
    ASSERT_EQ(sizeof rows / sizeof rows[0], static_cast<size_t>(LogCategories::count));
    for (unsigned i = 0; i < LogCategories::count; ++i) {
        EXPECT_EQ(rows[i].name, LogCategories::list()[i]->getName()) << i;
        EXPECT_EQ(rows[i].mask, LogCategories::list()[i]->getMask()) << rows[i].name;
    }
    EXPECT_EQ(&LogCategories::Par1Transport, LogCategories::list()[22]);
}

TEST(BasicLoggerOptions, StartLogFollowsTheLogFilesPresence) {
    BasicLogger logger("C:\\shar-basic.log");
    logger.deleteLog();
    uint32_t value = 5;
    logger.getOption("startLog", value, 0);
    EXPECT_EQ(0u, value);
    logger.log(LogCategories::Par1Transport, LevelError, "first");
    logger.getOption("startLog", value, 0);
    EXPECT_EQ(0xFFFFFFFFu, value);
    logger.getOption("Clocktime_In_Header", value, 1);
    EXPECT_EQ(1u, value);
    // Its own options: logging on, so every level is written.
    EXPECT_TRUE(logger.isEnabled(LogCategories::Par1Transport, LevelDetail));
    logger.deleteLog();
    EXPECT_FALSE(fileExists("C:\\shar-basic.log"));
}
