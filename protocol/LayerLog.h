// Logging for the connection's layers, visitors and managers, in the category
// "Par1Transport". None of these functions throws: they run on host threads
// that expect results in codes and on a connection's read thread, where an
// exception would end the process. While no logger is installed they write
// nothing.
#pragma once

#include "shared/BasicLogger.h"
#include "shared/FunctionTrace.h"

#include <cstdint>
#include <string>

class Data;

namespace LayerLog {

// The installed logger, or null (a FunctionTrace made with null writes
// nothing).
BasicLogger* logger();
// Whether Par1Transport is enabled at the level.
bool enabled(uint32_t level);
// The text when Par1Transport is enabled at the level, else empty: the name
// of a FunctionTrace, built only when it will be written.
std::string traceName(uint32_t level, const std::string& text);
// One line at the level, when it is enabled.
void line(uint32_t level, const std::string& text);
// One line at LevelError: always written.
void error(const std::string& text);
// The unread bytes as two lower-case hex digits and a blank per byte.
std::string hexDump(Data& data);

// Detail and return code for an enabled trace; dropped when writing fails.
void traceLog(FunctionTrace& trace, const std::string& text);

} // namespace LayerLog
