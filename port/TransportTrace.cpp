#include "port/TransportTrace.h"

#include "platform/win32.h"
#include "shared/BasicLogger.h"
#include "shared/Exception.h"

namespace transportTrace {

LastErrorKeeper::LastErrorKeeper() : error_(GetLastError()) {}

LastErrorKeeper::~LastErrorKeeper() {
    SetLastError(error_);
}

BasicLogger* logger() {
    LastErrorKeeper keeper;
    try {
        return BasicLogger::getInstance();
    } catch (const Exception&) {
        return nullptr;
    }
}

bool isEnabled(uint32_t level) {
    LastErrorKeeper keeper;
    try {
        return isLogEnabled(LogCategories::Par1Transport, level);
    } catch (const Exception&) {
        return false;
    }
}

FunctionTrace open(uint32_t level, const char* text) {
    LastErrorKeeper keeper;
    std::string name;
    if (isEnabled(level)) {
        name = text;
    }
    return FunctionTrace(logger(), LogCategories::Par1Transport, name, level, true);
}

void line(uint32_t level, const std::string& text) {
    LastErrorKeeper keeper;
    if (level != LevelError && !isEnabled(level)) {
        return;
    }
    BasicLogger* installed = logger();
    if (installed == nullptr) {
        return;
    }
    try {
        installed->log(LogCategories::Par1Transport, level, text);
    } catch (const Exception&) {
        // A line that cannot be written is lost; the operation goes on.
    }
}

} // namespace transportTrace
