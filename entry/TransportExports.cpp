#include "entry/TransportExports.h"

#include "devices/Par1ConnectionManager.h"
#include "devices/Par1DiscovererManager.h"
#include "entry/TransportSingletons.h"
#include "shared/BasicLogger.h"
#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"
#include "shared/Exception.h"
#include "shared/FunctionTrace.h"
#include "shared/LogCategory.h"
#include "shared/Win32Exception.h"
#include "visitors/Par1VisitorManager.h"

#include <cstring>
#include <optional>

namespace {

CriticalSection holderSection;
TransportSingletons* holder = nullptr;

// The trace of an entry point. The host may call the name and install
// entry points before initialisation, when no logger exists: they then run
// without a trace instead of throwing out of the export.
class EntryTrace {
public:
    explicit EntryTrace(const char* text) {
        if (!isLogEnabled(LogCategories::Par1Transport, LevelTrace)) {
            return;
        }
        try {
            trace_.emplace(BasicLogger::getInstance(), LogCategories::Par1Transport, text,
                           LevelTrace, true);
        } catch (Win32Exception&) {
            // The logger went away between the test and the trace.
        }
    }

    void setReturnCode(uint32_t code) {
        if (trace_ && trace_->isEnabled()) {
            trace_->setReturnCode(code);
        }
    }

private:
    std::optional<FunctionTrace> trace_;
};

void logDetail(const char* text) {
    if (isLogEnabled(LogCategories::Par1Transport, LevelDetail)) {
        BasicLogger::getInstance()->log(LogCategories::Par1Transport, LevelDetail, text);
    }
}

} // namespace

uint32_t TransportInitialize() {
    try {
        {
            CriticalSectionLock lock(holderSection);
            if (holder == nullptr) {
                holder = new TransportSingletons();
            }
        }
        logDetail("TransportInitialize()");
    } catch (Exception& e) {
        // Some start-up failures carry no system code; 0 would tell the host
        // that initialisation succeeded.
        uint32_t code = e.getErrorCode();
        return code != 0 ? code : static_cast<uint32_t>(ERROR_INTERNAL_ERROR);
    }
    return 0;
}

uint32_t TransportUninitialize() {
    try {
        logDetail("TransportUninitialize()");
    } catch (Exception&) {
        // Releasing must go on; the line is lost.
    }
    CriticalSectionLock lock(holderSection);
    delete holder;
    holder = nullptr;
    return 0;
}

uint32_t TransportGetName(char* buffer, uint32_t bufferSize, uint32_t* nameLength) {
    EntryTrace trace("TransportGetName()");
    static const char name[] = "PAR1";
    // Without a place for the length the host learns nothing; a null buffer
    // is only a question for the length when the host says it has no room.
    if (nameLength == nullptr || (buffer == nullptr && bufferSize != 0)) {
        trace.setReturnCode(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    *nameLength = sizeof name;
    if (bufferSize < sizeof name) {
        trace.setReturnCode(ERROR_INSUFFICIENT_BUFFER);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, name, sizeof name);
    trace.setReturnCode(0);
    return 0;
}

ConnectionManager* TransportGetConnectionManager() {
    return Par1ConnectionManager::getInstance();
}

Discoverer* TransportGetDiscoverer() {
    // The manager's lock is made with it; a failure there must not cross the
    // export, the host gets no discoverer instead.
    try {
        Par1DiscovererManager* manager = Par1DiscovererManager::getInstance();
        return manager != nullptr ? static_cast<Discoverer*>(manager) : nullptr;
    } catch (Exception&) {
        return nullptr;
    }
}

VisitorManager* TransportGetVisitorManager() {
    return Par1VisitorManager::getInstance();
}

uint32_t TransportInstall() {
    EntryTrace trace("TransportInstall()");
    return 0;
}

uint32_t TransportUninstall() {
    EntryTrace trace("TransportUninstall()");
    return 0;
}
