#include "devices/Subject.h"

#include "shared/BasicLogger.h"
#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"
#include "shared/Exception.h"

#include <algorithm>
#include <exception>

namespace {

void reportFailedUpdate() {
    try {
        if (isLogEnabled(LogCategories::Server, LevelDetail)) {
            BasicLogger::getInstance()->log(LogCategories::Server, LevelDetail,
                                            "Exception in Subject::notify()");
        }
    } catch (const Exception&) {
        // notify never throws.
    }
}

} // namespace

Subject::Subject() : lock_(new CriticalSection) {}

Subject::~Subject() {
    observers_.clear();
}

void Subject::attach(Observer* observer) {
    if (observer == nullptr) {
        return;
    }
    CriticalSectionLock lock(*lock_);
    observers_.push_back(observer);
}

void Subject::detach(Observer* observer) {
    CriticalSectionLock lock(*lock_);
    const auto found = std::find(observers_.begin(), observers_.end(), observer);
    if (found != observers_.end()) {
        observers_.erase(found);
    }
}

void Subject::notify(const NotifyRecord& record) {
    deliver([&record](Observer& observer) { observer.update(record); });
}

void Subject::notify(uint32_t id, const std::string& text) {
    deliver([id, &text](Observer& observer) { observer.update(id, text); });
}

void Subject::notify(uint32_t id, const Data& data) {
    deliver([id, &data](Observer& observer) { observer.update(id, data); });
}

void Subject::notify(const std::string& text) {
    deliver([&text](Observer& observer) { observer.update(text); });
}

void Subject::notify(const Data& data) {
    deliver([&data](Observer& observer) { observer.update(data); });
}

bool Subject::isAttached(const Observer* observer) {
    CriticalSectionLock lock(*lock_);
    return std::find(observers_.begin(), observers_.end(), observer) != observers_.end();
}

void Subject::deliver(const std::function<void(Observer&)>& update) {
    // The pass works on a copy taken under the lock and never holds the lock
    // while an observer runs, so observers may attach and detach freely; each
    // one is looked up again just before its call, so one detached meanwhile
    // is skipped (by address: it may already be gone).
    std::vector<Observer*> snapshot;
    try {
        CriticalSectionLock lock(*lock_);
        snapshot = observers_;
    } catch (const std::exception&) {
        return;
    }
    for (Observer* observer : snapshot) {
        // One failing observer must not keep the notification from the
        // others (the module's device table among them). Only the module's
        // and the standard exceptions, and thrown texts, are caught: a
        // catch-all would also swallow the unwinding of a thread that is
        // being terminated.
        try {
            if (isAttached(observer)) {
                update(*observer);
            }
        } catch (const Exception&) {
            reportFailedUpdate();
        } catch (const std::exception&) {
            reportFailedUpdate();
        } catch (const char*) {
            reportFailedUpdate();
        }
    }
}
