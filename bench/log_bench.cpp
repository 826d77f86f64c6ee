// What logging costs the transport: a trace while logging is off (the
// isLogEnabled check that guards the trace's text, then a FunctionTrace made
// and destroyed), a registry open of the local store for comparison (the
// check does one), and a line written to the shared log (file opened and
// closed under its named lock).
//
//     log_bench [disabled iterations, default 100000] [written lines, default 5000]
//
// On Linux the registry and drive C: are a private directory below the
// temporary directory (or PAR1_REGISTRY / PAR1_DRIVE_C when set), removed
// at the end when the benchmark made it.
#include "bench/support/BenchSupport.h"
#include "platform/win32.h"
#include "shared/BasicLogger.h"
#include "shared/Exception.h"
#include "shared/FunctionTrace.h"
#include "shared/Localize.h"
#include "shared/LogCategory.h"
#include "shared/RegistryKey.h"
#include "shared/RuntimeSettings.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

void report(const char* what, long iterations, Clock::duration elapsed) {
    double ns = std::chrono::duration<double, std::nano>(elapsed).count() / iterations;
    std::printf("%-44s %9ld iterations %12.0f ns/op %10.2f us/op\n", what, iterations, ns,
                ns / 1000.0);
}

void setStartLog(const std::string& store, uint32_t value) {
    RegistryKey key(store + "Logger", true);
    key.setValue("startLog", value);
}

// A trace as the module writes one: its text is built only when the check
// says the line will be written.
void tracedCall(BasicLogger* logger) {
    std::string text;
    if (isLogEnabled(LogCategories::Par1Transport, LevelTrace)) {
        text = "Par1Adapter::doOpen: ";
    }
    FunctionTrace trace(logger, LogCategories::Par1Transport, text, LevelTrace, true);
}

int run(long disabledIterations, long writtenLines) {
    Localize::createInstance(nullptr);
    const std::string store = Localize::getInstance()->getStorePath(0);
    // The module counts as installed, and may log, only with its local store.
    { RegistryKey created(store, true); }

    setStartLog(store, 0);
    BasicLogger::createInstance();
    BasicLogger* logger = BasicLogger::getInstance();
    logger->deleteLog();
    tracedCall(logger);
    if (isLogEnabled(LogCategories::Par1Transport, LevelTrace)) {
        std::printf("logging is on with startLog 0: no disabled trace to measure\n");
        return 1;
    }

    Clock::time_point begin = Clock::now();
    for (long i = 0; i < disabledIterations; ++i) {
        tracedCall(logger);
    }
    report("disabled trace (isLogEnabled + FunctionTrace)", disabledIterations,
           Clock::now() - begin);

    // The two parts of the check: the settings object, which opens the local
    // store (skipped while options read moments ago say no), and the
    // logger's cached options.
    begin = Clock::now();
    for (long i = 0; i < disabledIterations; ++i) {
        RuntimeSettings settings;
    }
    report("store check (RuntimeSettings)", disabledIterations, Clock::now() - begin);
    begin = Clock::now();
    for (long i = 0; i < disabledIterations; ++i) {
        logger->isEnabled(LogCategories::Par1Transport, LevelTrace);
    }
    report("cached options (isEnabled)", disabledIterations, Clock::now() - begin);

    // The check opens with full access, which Wine's server checks more
    // slowly than a read-only open.
    const struct {
        const char* what;
        REGSAM access;
    } opens[] = {{"registry open + close, read access", KEY_READ},
                 {"registry open + close, full access", KEY_ALL_ACCESS}};
    for (const auto& open : opens) {
        begin = Clock::now();
        for (long i = 0; i < disabledIterations; ++i) {
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, store.c_str(), 0, open.access, &key) ==
                ERROR_SUCCESS) {
                RegCloseKey(key);
            }
        }
        report(open.what, disabledIterations, Clock::now() - begin);
    }

    // A new logger reads the options afresh, without the cache's five seconds.
    BasicLogger::releaseInstance();
    setStartLog(store, 1);
    BasicLogger::createInstance();
    logger = BasicLogger::getInstance();
    logger->deleteLog();

    begin = Clock::now();
    for (long i = 0; i < writtenLines; ++i) {
        logger->log(LogCategories::Par1Transport, LevelError, "written line " + std::to_string(i));
    }
    report("written line (log)", writtenLines, Clock::now() - begin);

    // Two lines each: entry and exit.
    long traces = writtenLines / 2;
    begin = Clock::now();
    for (long i = 0; i < traces; ++i) {
        tracedCall(logger);
    }
    report("enabled trace (two lines), per line", traces * 2, Clock::now() - begin);

    logger->deleteLog();
    BasicLogger::releaseInstance();
    RegistryKey::recurseDeleteKey(store);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    bench::usePrivateStore("par1-logbench-");
    long disabledIterations = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
    long writtenLines = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 5000;
    if (disabledIterations <= 0 || writtenLines < 2) {
        std::fprintf(stderr, "usage: log_bench [disabled iterations > 0] [written lines > 1]\n");
        return 2;
    }
    int code = 0;
    try {
        code = run(disabledIterations, writtenLines);
    } catch (const Exception& failure) {
        std::fprintf(stderr, "log_bench: %s %s\n", failure.getMessage().c_str(),
                     failure.getErrorText().c_str());
        code = 1;
    }
    return code;
}
