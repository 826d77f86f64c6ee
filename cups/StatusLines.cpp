#include "StatusLines.h"

StatusLines::StatusLines(std::ostream& out) : out_(out) {}

void StatusLines::set(const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (reasons_.insert(reason).second) {
        out_ << "STATE: +" << reason << std::endl;
    }
}

void StatusLines::clear(const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    reasons_.erase(reason);
    out_ << "STATE: -" << reason << std::endl;
}

bool StatusLines::isSet(const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    return reasons_.count(reason) != 0;
}

void StatusLines::info(const std::string& text) {
    write("INFO: ", text);
}

void StatusLines::debug(const std::string& text) {
    write("DEBUG: ", text);
}

void StatusLines::error(const std::string& text) {
    write("ERROR: ", text);
}

void StatusLines::line(const std::string& text) {
    write("", text);
}

void StatusLines::write(const std::string& prefix, const std::string& text) {
    // One line each: a line end inside the text would start a line the
    // scheduler reads as a message of its own.
    std::string flat = text;
    for (char& c : flat) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    out_ << prefix << flat << std::endl;
}
