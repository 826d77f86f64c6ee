// The transport's eight exports as a host calls them: one table, filled from
// the loaded library or from the module's linked-in copy, so both run through
// the same host code.
#pragma once

#include "par1/transport.h"

struct TransportTable {
    TransportInitializeFunction initialize;
    TransportUninitializeFunction uninitialize;
    TransportGetNameFunction getName;
    TransportGetConnectionManagerFunction getConnectionManager;
    TransportGetDiscovererFunction getDiscoverer;
    TransportGetVisitorManagerFunction getVisitorManager;
    TransportInstallFunction install;
    TransportUninstallFunction uninstall;
};
