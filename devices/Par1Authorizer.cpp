#include "devices/Par1Authorizer.h"

#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"
#include "shared/TransportLog.h"

#include <atomic>
#include <cstring>

namespace {

const char cpdToken[] = "CPDNPA00";
const char npaToken[] = "XNPAP";

std::atomic<Par1Authorizer*> instance{nullptr};

CriticalSection& instanceLock() {
    static CriticalSection lock;
    return lock;
}

[[maybe_unused]] CriticalSection& lockMadeAtLoad = instanceLock();

void answer(FunctionTrace& trace, bool cpd) {
    if (trace.isEnabled()) {
        trace.setReturnCode(cpd ? "True" : "False");
    }
}

} // namespace

Par1Authorizer* Par1Authorizer::getInstance() {
    Par1Authorizer* authorizer = instance.load();
    if (authorizer == nullptr) {
        CriticalSectionLock lock(instanceLock());
        authorizer = instance.load();
        if (authorizer == nullptr) {
            authorizer = new Par1Authorizer;
            instance.store(authorizer);
        }
    }
    return authorizer;
}

void Par1Authorizer::destroyInstance() {
    CriticalSectionLock lock(instanceLock());
    delete instance.exchange(nullptr);
}

Par1Authorizer::Par1Authorizer() = default;

Par1Authorizer::~Par1Authorizer() = default;

bool Par1Authorizer::isDeviceCpd(const std::string& deviceId) const {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Authorizer::isDeviceCpd");
    if (deviceId.size() < std::strlen(cpdToken)) {
        answer(trace, false);
        return false;
    }
    std::string upper;
    upper.reserve(deviceId.size());
    for (char c : deviceId) {
        if (c == '\0') {
            break;
        }
        upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    }
    if (upper.find(cpdToken) == std::string::npos) {
        // Without a return text, as the trace has always shown it.
        return false;
    }
    if (upper.find(npaToken) == std::string::npos) {
        answer(trace, false);
        return false;
    }
    answer(trace, true);
    return true;
}
