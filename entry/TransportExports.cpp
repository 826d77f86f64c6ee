#include "entry/TransportExports.h"

#include "entry/TransportSingletons.h"
#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"
#include "shared/Exception.h"

#include <cstring>

namespace {

CriticalSection holderSection;
TransportSingletons* holder = nullptr;

} // namespace

uint32_t TransportInitialize() {
    try {
        CriticalSectionLock lock(holderSection);
        if (holder == nullptr) {
            holder = new TransportSingletons();
        }
    } catch (Exception& e) {
        // Some start-up failures carry no system code; 0 would tell the host
        // that initialisation succeeded.
        uint32_t code = e.getErrorCode();
        return code != 0 ? code : static_cast<uint32_t>(ERROR_INTERNAL_ERROR);
    }
    return 0;
}

uint32_t TransportUninitialize() {
    CriticalSectionLock lock(holderSection);
    delete holder;
    holder = nullptr;
    return 0;
}

uint32_t TransportGetName(char* buffer, uint32_t bufferSize, uint32_t* nameLength) {
    static const char name[] = "PAR1";
    *nameLength = sizeof name;
    if (bufferSize < sizeof name) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, name, sizeof name);
    return 0;
}

ConnectionManager* TransportGetConnectionManager() {
    return nullptr;
}

Discoverer* TransportGetDiscoverer() {
    return nullptr;
}

VisitorManager* TransportGetVisitorManager() {
    return nullptr;
}

uint32_t TransportInstall() {
    return 0;
}

uint32_t TransportUninstall() {
    return 0;
}
