#include "shared/TransportLog.h"

#include "par1/transport.h"
#include "platform/win32.h"
#include "shared/BasicLogger.h"
#include "shared/Exception.h"
#include "shared/TextBuilder.h"

#include <exception>

namespace transportLog {

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
    } catch (const std::exception&) {
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
    } catch (const std::exception&) {
    }
}

void error(const std::string& text) {
    line(LevelError, text);
}

void note(FunctionTrace& trace, const std::string& text) {
    LastErrorKeeper keeper;
    if (!trace.isEnabled()) {
        return;
    }
    try {
        trace.log(text);
    } catch (const Exception&) {
    } catch (const std::exception&) {
    }
}

std::string hexDump(Data& data) {
    uint32_t size = data.size();
    if (size > INT32_MAX) {
        size = INT32_MAX;
    }
    return TextBuilder(data.data(), static_cast<int32_t>(size), true).str();
}

uint32_t refuse(const char* text, const char* returnText) {
    FunctionTrace trace = open(LevelTrace, text);
    if (trace.isEnabled()) {
        note(trace, refusal);
        trace.setReturnCode(returnText);
    }
    return ERROR_INVALID_FUNCTION;
}

} // namespace transportLog
