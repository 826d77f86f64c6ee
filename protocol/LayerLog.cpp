#include "protocol/LayerLog.h"

#include "protocol/Data.h"
#include "shared/Exception.h"
#include "shared/TextBuilder.h"

#include <exception>

namespace LayerLog {

BasicLogger* logger() {
    try {
        return BasicLogger::getInstance();
    } catch (const Exception&) {
        return nullptr;
    }
}

bool enabled(uint32_t level) {
    try {
        return isLogEnabled(LogCategories::Par1Transport, level);
    } catch (const Exception&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

std::string traceName(uint32_t level, const std::string& text) {
    return enabled(level) ? text : std::string();
}

void line(uint32_t level, const std::string& text) {
    if (!enabled(level)) {
        return;
    }
    try {
        BasicLogger* installed = logger();
        if (installed != nullptr) {
            installed->log(LogCategories::Par1Transport, level, text);
        }
    } catch (const Exception&) {
    } catch (const std::exception&) {
    }
}

void error(const std::string& text) {
    try {
        BasicLogger* installed = logger();
        if (installed != nullptr) {
            installed->log(LogCategories::Par1Transport, LevelError, text);
        }
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

void traceLog(FunctionTrace& trace, const std::string& text) {
    if (!trace.isEnabled()) {
        return;
    }
    try {
        trace.log(text);
    } catch (const Exception&) {
    } catch (const std::exception&) {
    }
}

} // namespace LayerLog
