// The device table: an observer of discovery that keeps the transport string
// of every printer discovery reported, so that an adapter can ask, after a
// failed read and a fresh discovery, whether a printer is still on its port.
//
// A process-wide singleton made on first use and never deleted: it keeps its
// entries across TransportUninitialize and a later TransportInitialize. It
// watches the discoverer of the current Par1DiscovererManager: it attaches
// itself when it is made, and the manager detaches it before a manager is
// deleted and attaches it to every new one.
//
// The entries are guarded by a lock of their own: the host's discovery and
// adapters' recoveries reach the table on different threads.
#pragma once

#include "devices/Observer.h"
#include "shared/CriticalSection.h"

#include <list>
#include <string>

class Par1Devices : public Observer {
public:
    // Made on first use; safe from any thread.
    static Par1Devices* getInstance();
    // The instance if one was made, else null; makes nothing.
    static Par1Devices* existingInstance();

    // Detaches from the discoverer, then forgets the entries.
    ~Par1Devices() override;

    // Discovery delivers each transport string here.
    void update(const std::string& transportString) override;
    // Moves the transport string to the end of the entries; it occurs once.
    void doUpdate(const std::string& transportString);
    // 0 when an entry's Portname is exactly the port name, 1 otherwise.
    uint32_t get(const std::string& portName);
    void emptyList();

    // The entries in the order they were last reported.
    std::list<std::string> entries();

private:
    Par1Devices();

    CriticalSection entriesLock_;
    std::list<std::string> entries_;
};
