// This transport's discoverer: probes LPT1: to LPT9: in turn, reads each
// printer's IEEE 1284 identification from the port driver, skips CPD-class
// printers and tells every observer about each other printer, port 1 first,
// with a transport string such as
// <Portname>LPT1:</Portname><Handle>4097</Handle><Device>BpdPrinter</Device><Transport>PAR1</Transport>
//
// Discovery runs on the calling thread: the host's, or an adapter's read
// thread recovering from a failed read. Runs on different threads do not
// overlap: each probes the ports on its own and tells the observers what it
// found, outside the lock, so an observer may call discover itself.
//
// A process-wide singleton (TransportGetDiscoverer hands out its Discoverer
// part). The device table follows it: a new manager attaches the existing
// table, and destroyInstance detaches it before the manager goes.
#pragma once

#include "devices/Discoverer.h"
#include "protocol/Adapter.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

class Mutex;

class Par1DiscovererManager : public Adapter, public Discoverer {
public:
    // Made on first use; safe from any thread. Throws Win32Exception when its
    // lock cannot be made.
    static Par1DiscovererManager* getInstance();
    // Detaches the device table, deletes the instance; a later getInstance
    // makes a new one.
    static void destroyInstance();

    ~Par1DiscovererManager() override;

    Discoverer* getDiscoverer() { return this; }

    // runDiscovery, then notifyObservers; 0. An exception of a port call
    // reaches the caller.
    uint32_t doDiscover(const std::string& text) override;
    uint32_t isDiscovering() const override;
    uint32_t isAsynchronous() const override;
    uint32_t canCancel() const override;
    uint32_t isLocal() const override;

    // Probes the nine ports and keeps what it found, by device handle.
    void runDiscovery();
    // Tells the observers about every printer found, by ascending handle,
    // and forgets them.
    void notifyObservers();
    // Appends Device "BpdPrinter" and Transport "PAR1"; 0.
    uint32_t makeTransportString(std::string& transportString);

    // The device identification as the driver hands it out: up to the first
    // zero byte, at most the whole buffer.
    static std::string deviceIdText(const char* buffer, size_t size);

private:
    Par1DiscovererManager();

    using Results = std::map<uint32_t, std::string>;

    void runDiscoveryLocked();
    Results takeResults();
    void tellObservers(const Results& results);

    Results results_;
    // Serialises runs: results_ and the ports' DOS device names are shared by
    // every caller.
    std::unique_ptr<Mutex> discoveryLock_;
};
