#include "Printers.h"
#include "PortIdentity.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

std::string element(const std::string& document, const std::string& name) {
    const std::string open = "<" + name + ">";
    const std::string close = "</" + name + ">";
    size_t start = document.find(open);
    if (start == std::string::npos) {
        return "";
    }
    start += open.size();
    size_t end = document.find(close, start);
    return end == std::string::npos ? "" : document.substr(start, end - start);
}

// The value of the first of the keys in an IEEE 1284 identification
// ("MFG:Maker;MDL:Model;SN:123;"), whatever their case; empty without one.
std::string identityField(const std::string& deviceId, std::initializer_list<const char*> keys) {
    size_t start = 0;
    while (start < deviceId.size()) {
        size_t end = deviceId.find(';', start);
        if (end == std::string::npos) {
            end = deviceId.size();
        }
        const std::string field = deviceId.substr(start, end - start);
        start = end + 1;
        const size_t colon = field.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        // Drivers may leave the two length bytes before the first key.
        std::string key = field.substr(0, colon);
        key.erase(key.begin(), std::find_if(key.begin(), key.end(),
                                            [](unsigned char c) { return std::isalpha(c) != 0; }));
        while (!key.empty() && key.back() == ' ') {
            key.pop_back();
        }
        for (const char* wanted : keys) {
            if (sameText(key, wanted)) {
                std::string value = field.substr(colon + 1);
                value.erase(0, value.find_first_not_of(' '));
                value.erase(value.find_last_not_of(' ') + 1);
                return value;
            }
        }
    }
    return "";
}

void identify(Found& printer) {
    printer.deviceId = readDeviceId(printer.port);
    printer.manufacturer = identityField(printer.deviceId, {"MFG", "MANUFACTURER"});
    printer.model = identityField(printer.deviceId, {"MDL", "MODEL"});
    printer.serial = identityField(printer.deviceId, {"SN", "SERN", "SERIALNUMBER"});
}

std::vector<Found> discover(Host& host) {
    Discoverer* discoverer = host.exports().getDiscoverer();
    if (discoverer == nullptr) {
        fail(ExitModule, "the module has no discoverer", ERROR_INTERNAL_ERROR,
             "see the log file (par1 log)");
    }
    Printers printers;
    printers.attachTo(discoverer);
    uint32_t result = discoverer->discover("");
    std::vector<Found> found = printers.found();
    printers.detachFromAll();
    if (result != 0) {
        fail(ExitNoPrinter, "discovery failed", result, "see the log file (par1 log)");
    }
    return found;
}
