// How a host command fails: par1's exit codes (as --help lists them), a
// failure that carries one with the module's or the system's code and a hint,
// and the words for a code. par1 reports a Failure as its exit code; the CUPS
// backend turns it into the scheduler's codes (cups/BackendExit.h).
#pragma once

#include <cstdint>
#include <string>

// Exit codes, as --help lists them.
enum Exit : int {
    ExitOk = 0,
    ExitUsage = 2,     // bad command line or input; nothing was sent
    ExitModule = 3,    // the module could not be loaded or initialised
    ExitNoPrinter = 4, // no printer on the port, or the connection did not open
    ExitPrint = 5,     // the printer refused, went silent or failed during the job
    ExitCommand = 6,   // an NPA command got no reply or failed
    ExitSettings = 7,  // the registry could not be read or written
    ExitInput = 8,     // a file to print or the log file could not be read
    ExitOutput = 9,    // the virtual printer's output could not be saved
};

// A failure with noCode has nothing for the system to explain (a file's
// error, a bad value): its what says it all.
const uint32_t noCode = 0xFFFFFFFFu;

// A failure that ends the command: what went wrong, the system's code, a hint.
struct Failure {
    int exitCode;
    std::string what;
    uint32_t code;
    std::string hint;
};

[[noreturn]] void fail(int exitCode, const std::string& what, uint32_t code,
                       const std::string& hint);

// The system's text of a code ("unknown error" when it has none).
std::string systemText(uint32_t code);
// The module's text of a code (the public header's table), else the system's.
std::string codeText(uint32_t code);
// Whether two texts are the same, ASCII case aside.
bool sameText(const std::string& a, const std::string& b);
