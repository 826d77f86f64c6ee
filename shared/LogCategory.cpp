#include "shared/LogCategory.h"

std::string LogCategory::getName() const {
    return name_;
}

void LogCategory::setMask(uint32_t mask) {
    mask_ = mask;
}

uint32_t LogCategory::getMask() const {
    return mask_;
}

LogCategory::~LogCategory() = default;

namespace LogCategories {

const uint32_t none = 0;
const uint32_t all = 0xFFFFFFFFu;

LogCategory All("All", all);
LogCategory Bidi("Bidi", all);
LogCategory ComClientBidi("ComClientBidi", all);
LogCategory ComClient("ComClient", none);
LogCategory COMServer("COMServer", none);
LogCategory CfgUtil("CfgUtil", none);
LogCategory Hbn1Transport("Hbn1Transport", none);
LogCategory Hbn3Transport("Hbn3Transport", none);
LogCategory Ip1Transport("Ip1Transport", none);
LogCategory Ip1TransportDiscovery("Ip1TransportDiscovery", none);
LogCategory LegacyClient("LegacyClient", all);
LogCategory PortMonitorUI("PortMonitorUI", all);
LogCategory PPClient("PPClient", none);
LogCategory PPServer("PPServer", none);
LogCategory PrintMonitor("PrintMonitor", all);
LogCategory Server("Server", none);
LogCategory ServerHid("ServerHid", none);
LogCategory Special("Special", none);
LogCategory Transport("Transport", none);
LogCategory Usb1Transport("Usb1Transport", none);
LogCategory Usb1TransportDiscovery("Usb1TransportDiscovery", none);
LogCategory Usb1TransportHid("Usb1TransportHid", none);
LogCategory Par1Transport("Par1Transport", none);
LogCategory Shared("Shared", none);
LogCategory Utility("Utility", none);
LogCategory InstallHelper("InstallHelper", none);
LogCategory Hcp("Hcp", none);

namespace {

LogCategory* const categories[count] = {
    &All,
    &Bidi,
    &ComClientBidi,
    &ComClient,
    &COMServer,
    &CfgUtil,
    &Hbn1Transport,
    &Hbn3Transport,
    &Ip1Transport,
    &Ip1TransportDiscovery,
    &LegacyClient,
    &PortMonitorUI,
    &PPClient,
    &PPServer,
    &PrintMonitor,
    &Server,
    &ServerHid,
    &Special,
    &Transport,
    &Usb1Transport,
    &Usb1TransportDiscovery,
    &Usb1TransportHid,
    &Par1Transport,
    &Shared,
    &Utility,
    &InstallHelper,
    &Hcp,
};

} // namespace

LogCategory* const* list() {
    return categories;
}

} // namespace LogCategories
