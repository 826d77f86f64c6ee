// A host's observer of a subject (discovery, with its transport strings):
// keeps the text of every report, attached for its whole life. Reports may
// come on any thread.
#pragma once

#include "devices/Observer.h"
#include "devices/Subject.h"

#include <mutex>
#include <string>
#include <vector>

namespace par1test {

class TextReports : public Observer {
public:
    explicit TextReports(Subject* subject) { attachTo(subject); }
    ~TextReports() override { detachFromAll(); }

    using Observer::update;
    void update(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        texts_.push_back(text);
    }

    std::vector<std::string> texts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> texts_;
};

} // namespace par1test
