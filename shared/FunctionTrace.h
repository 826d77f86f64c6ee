// A scoped trace of one operation: "+" and the name when it starts, "-" and
// the name (with " rc=" and the return text, when one was set) when the scope
// ends, also by an exception. Lines in between are indented one space deeper
// per nested trace of the same thread.
//
//     std::string text;
//     if (isLogEnabled(LogCategories::Par1Transport, LevelTrace)) {
//         text = "Par1Adapter::doOpen: ";
//     }
//     FunctionTrace trace(BasicLogger::getInstance(), LogCategories::Par1Transport, text,
//                         LevelTrace, true);
//     ...
//     if (trace.isEnabled()) {
//         trace.setReturnCode(result);
//     }
#pragma once

#include "shared/BasicLogger.h"

#include <cstdint>
#include <string>

class FunctionTrace {
public:
    // With active, writes the entry line when the category is enabled at
    // level, and counts one level of depth for the calling thread.
    FunctionTrace(BasicLogger* logger, const LogCategory& category, const std::string& name,
                  uint32_t level, bool active);
    // Writes the exit line; a failure to write it is dropped.
    ~FunctionTrace();
    FunctionTrace(const FunctionTrace&) = delete;
    FunctionTrace& operator=(const FunctionTrace&) = delete;

    // Whether the entry line was written; log and setReturnCode are meant
    // only for an enabled trace.
    bool isEnabled() const { return enabled_; }

    // The name followed by text, at the trace's level, when the category's
    // detail lines (LevelDetail) are on.
    void log(const std::string& text);
    void setReturnCode(const std::string& text);
    // In decimal.
    void setReturnCode(uint32_t number);

private:
    std::string name_;
    const LogCategory* category_;
    std::string returnText_;
    bool enabled_;
    BasicLogger* logger_;
    uint32_t level_;
};
