// What a CUPS backend tells the scheduler, one line at a time on standard
// error: "STATE: +reason" / "STATE: -reason" (printer-state-reasons),
// "INFO: text" (the printer's state message), "DEBUG: text" (the error log at
// LogLevel debug) and "ERROR: text". Lines from several threads never mix.
#pragma once

#include <mutex>
#include <ostream>
#include <set>
#include <string>

class StatusLines {
public:
    explicit StatusLines(std::ostream& out);

    // Sets a printer-state-reason; once, however often it is asked.
    void set(const std::string& reason);
    // Clears it, whether or not this process set it (an earlier job may have).
    void clear(const std::string& reason);
    bool isSet(const std::string& reason);

    void info(const std::string& text);
    void debug(const std::string& text);
    void error(const std::string& text);
    // A line as it is (for instance the usage line).
    void line(const std::string& text);

private:
    void write(const std::string& prefix, const std::string& text);

    std::mutex mutex_;
    std::ostream& out_;
    std::set<std::string> reasons_;
};
