#include "entry/TransportSingletons.h"

#include "entry/ModuleHandle.h"
#include "shared/Localize.h"

// Localize lives until the library is unloaded: it is created here and never
// released.
TransportSingletons::TransportSingletons() {
    Localize::createInstance(getModuleHandle());
}

TransportSingletons::~TransportSingletons() = default;
