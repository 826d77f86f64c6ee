#include "entry/TransportExports.h"

#include <cstring>

uint32_t TransportInitialize() { return 0; }

uint32_t TransportUninitialize() { return 0; }

uint32_t TransportGetName(char* buffer, uint32_t bufferSize, uint32_t* nameLength) {
    static const char name[] = "PAR1";
    *nameLength = sizeof name;
    if (bufferSize < sizeof name) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, name, sizeof name);
    return 0;
}

ConnectionManager* TransportGetConnectionManager() { return nullptr; }

Discoverer* TransportGetDiscoverer() { return nullptr; }

VisitorManager* TransportGetVisitorManager() { return nullptr; }

uint32_t TransportInstall() { return 0; }

uint32_t TransportUninstall() { return 0; }
