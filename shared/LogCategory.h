// A named log category with its default level mask. The categories are
// process-wide objects that exist from load: their constructor is constant,
// so they are ready before any code of the module runs.
#pragma once

#include <cstdint>
#include <string>

class LogCategory {
public:
    constexpr LogCategory(const char* name, uint32_t mask) : name_(name), mask_(mask) {}
    LogCategory(const LogCategory&) = delete;
    LogCategory& operator=(const LogCategory&) = delete;

    virtual std::string getName() const;
    virtual void setMask(uint32_t mask);
    virtual uint32_t getMask() const;
    virtual ~LogCategory();

private:
    const char* name_;
    uint32_t mask_;
};

// Every category, in the order of the header shared with the sibling
// modules. This module writes under Par1Transport; All is consulted by every
// enable test; Server is used by the observers.
namespace LogCategories {

extern LogCategory All;
extern LogCategory Bidi;
extern LogCategory ComClientBidi;
extern LogCategory ComClient;
extern LogCategory COMServer;
extern LogCategory CfgUtil;
extern LogCategory Hbn1Transport;
extern LogCategory Hbn3Transport;
extern LogCategory Ip1Transport;
extern LogCategory Ip1TransportDiscovery;
extern LogCategory LegacyClient;
extern LogCategory PortMonitorUI;
extern LogCategory PPClient;
extern LogCategory PPServer;
extern LogCategory PrintMonitor;
extern LogCategory Server;
extern LogCategory ServerHid;
extern LogCategory Special;
extern LogCategory Transport;
extern LogCategory Usb1Transport;
extern LogCategory Usb1TransportDiscovery;
extern LogCategory Usb1TransportHid;
extern LogCategory Par1Transport;
extern LogCategory Shared;
extern LogCategory Utility;
extern LogCategory InstallHelper;
extern LogCategory Hcp;

const unsigned count = 27;
// The categories in declaration order.
LogCategory* const* list();

} // namespace LogCategories
