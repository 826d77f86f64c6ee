#include "devices/Observer.h"

#include "shared/BasicLogger.h"
#include "shared/Exception.h"
#include "shared/Win32Exception.h"

Observer::Observer() = default;

Observer::~Observer() = default;

void Observer::update(uint32_t, const std::string&) {}

void Observer::update(uint32_t, const Data&) {}

void Observer::update(const NotifyRecord&) {}

void Observer::update(const std::string&) {}

void Observer::update(const Data&) {}

void Observer::attachTo(Subject* subject) {
    if (subject == nullptr) {
        return;
    }
    subject->attach(this);
    subjects_.push_back(subject);
}

void Observer::detachFromAll() {
    try {
        for (Subject* subject : subjects_) {
            subject->detach(this);
        }
    } catch (const Win32Exception&) {
        try {
            if (isLogEnabled(LogCategories::Server, LevelDetail)) {
                BasicLogger::getInstance()->log(LogCategories::Server, LevelDetail,
                                                "Exception in Observer::detachFromAll()");
            }
        } catch (const Exception&) {
            // Called from destructors: nothing may escape.
        }
        return;
    }
    subjects_.clear();
}
