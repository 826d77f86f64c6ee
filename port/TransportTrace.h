// How the port and device classes trace: every operation opens a
// FunctionTrace in the category "Par1Transport", whose text is built only
// when its level is on; detail lines are written when LevelDetail is on,
// error lines always. None of these throws or changes GetLastError(), so they
// may sit between a system call and the reading of its last error.
#pragma once

#include "shared/FunctionTrace.h"
#include "shared/LogCategory.h"
#include "shared/LogLevel.h"

#include <cstdint>
#include <string>

namespace transportTrace {

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

// The installed logger, or null while there is none.
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
        text = makeText();
    }
    return FunctionTrace(logger(), LogCategories::Par1Transport, text, level, true);
}

// One line outside a trace: a LevelError line is always written, any other
// level only when it is on.
void line(uint32_t level, const std::string& text);

// A LevelDetail line whose text makeText() builds, only when it is on.
template <class MakeText> void detail(MakeText makeText) {
    if (isEnabled(LevelDetail)) {
        line(LevelDetail, makeText());
    }
}

// The line of an operation that a state does not support, in the trace the
// refusal opened.
inline const char refusal[] = "Are you sure you should be calling this function?";

} // namespace transportTrace
