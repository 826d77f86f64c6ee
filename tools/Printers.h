// The printers discovery finds, as a host sees them: the transport strings
// the module reports to an observer, and what each printer says it is.
#pragma once

#include "Host.h"

#include "par1/transport.h"

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

// One printer as discovery reports it.
struct Found {
    std::string port;
    uint32_t handle = 0;
    std::string deviceClass;
    std::string transportString;
    // From the printer's IEEE 1284 identification; empty when it has none.
    std::string deviceId;
    std::string manufacturer;
    std::string model;
    std::string serial;
};

// The value of an element <name>value</name> of a transport string; empty
// when it has none.
std::string element(const std::string& document, const std::string& name);

// The value of the first of the keys in an IEEE 1284 identification
// ("MFG:Maker;MDL:Model;SN:123;"), whatever their case; empty without one.
std::string identityField(const std::string& deviceId, std::initializer_list<const char*> keys);

// Fills in the printer's identification (read through the port as discovery
// reads it), manufacturer, model and serial number.
void identify(Found& printer);

// The tool's observer of discovery: keeps every transport string.
class Printers : public Observer {
public:
    ~Printers() override { detachFromAll(); }
    using Observer::update;
    void update(const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        Found found;
        found.transportString = text;
        found.port = element(text, "Portname");
        found.handle =
            static_cast<uint32_t>(std::strtoul(element(text, "Handle").c_str(), nullptr, 10));
        found.deviceClass = element(text, "Device");
        found_.push_back(found);
    }
    std::vector<Found> found() {
        std::lock_guard<std::mutex> lock(mutex_);
        return found_;
    }

private:
    std::mutex mutex_;
    std::vector<Found> found_;
};

// Runs discovery through the host's module and answers every printer found; a
// Failure when the module has no discoverer or discovery fails.
std::vector<Found> discover(Host& host);
