// How the module traces, in the one category "Par1Transport": every
// operation opens a FunctionTrace whose text is built only when its level is
// on; detail lines are written when LevelDetail is on, error lines always.
// None of these functions throws or changes GetLastError(): they run on host
// threads that expect results in codes, on a connection's read thread, where
// an exception would end the process, and between a system call and the
// reading of its last error. While no logger is installed they write nothing.
#pragma once

#include "shared/FunctionTrace.h"
#include "shared/LogCategory.h"
#include "shared/LogLevel.h"

#include <cstdint>
#include <exception>
#include <string>

class Data;

namespace transportLog {

// Puts the thread's last error back at the end of a scope.
class LastErrorKeeper {
public:
    LastErrorKeeper();
    ~LastErrorKeeper();
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    uint32_t error_;
};

// The installed logger, or null while there is none (a FunctionTrace made
// with null writes nothing).
BasicLogger* logger();
// Whether "Par1Transport" is on at the level.
bool isEnabled(uint32_t level);

// A trace with a fixed text.
FunctionTrace open(uint32_t level, const char* text);

// A trace whose text makeText() builds, only when the level is on.
template <class MakeText> FunctionTrace open(uint32_t level, MakeText makeText) {
    LastErrorKeeper keeper;
    std::string text;
    if (isEnabled(level)) {
        try {
            text = makeText();
        } catch (const std::exception&) {
            // The trace goes on without its text.
        }
    }
    return FunctionTrace(logger(), LogCategories::Par1Transport, text, level, true);
}

// One line outside a trace: a LevelError line is always written, any other
// level only when it is on.
void line(uint32_t level, const std::string& text);
// line(LevelError, text).
void error(const std::string& text);

// A LevelDetail line whose text makeText() builds, only when it is on.
template <class MakeText> void detail(MakeText makeText) {
    if (isEnabled(LevelDetail)) {
        line(LevelDetail, makeText());
    }
}

// A line in an enabled trace (FunctionTrace::log); nothing for a disabled
// one, and a line that cannot be written is dropped.
void note(FunctionTrace& trace, const std::string& text);

// The unread bytes as two lower-case hex digits and a blank per byte.
std::string hexDump(Data& data);

// The line of an operation that a state does not support, in the trace the
// refusal opened.
inline const char refusal[] = "Are you sure you should be calling this function?";

// A state's refusal of an operation: a trace with the text, the refusal
// line in it and returnText as its return text; answers 1
// (ERROR_INVALID_FUNCTION).
uint32_t refuse(const char* text, const char* returnText = "1");

} // namespace transportLog
