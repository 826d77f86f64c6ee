// The eight functions the module exports by their plain names.
#pragma once

#include "platform/win32.h"

#include <cstdint>

class ConnectionManager;
class Discoverer;
class VisitorManager;

#ifdef _WIN32
#define PAR1_EXPORT extern "C"
#else
#define PAR1_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PAR1_EXPORT uint32_t TransportInitialize();
PAR1_EXPORT uint32_t TransportUninitialize();
PAR1_EXPORT uint32_t TransportGetName(char* buffer, uint32_t bufferSize, uint32_t* nameLength);
PAR1_EXPORT ConnectionManager* TransportGetConnectionManager();
PAR1_EXPORT Discoverer* TransportGetDiscoverer();
PAR1_EXPORT VisitorManager* TransportGetVisitorManager();
PAR1_EXPORT uint32_t TransportInstall();
PAR1_EXPORT uint32_t TransportUninstall();
