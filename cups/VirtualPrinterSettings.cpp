#include "VirtualPrinterSettings.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <system_error>

const char* const VirtualPrinterSettings::variable = "PAR1_BACKEND_VIRTUAL_PRINTER";

namespace {

std::string trimmed(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos) {
        return "";
    }
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

template <typename Number>
Number number(const std::string& where, const std::string& name, const std::string& value) {
    bool valid = !value.empty() && value.size() <= 18;
    uint64_t result = 0;
    for (char c : value) {
        valid = valid && std::isdigit(static_cast<unsigned char>(c)) != 0;
        result = result * 10 + static_cast<uint64_t>(c - '0');
    }
    if (!valid || result > static_cast<uint64_t>(std::numeric_limits<Number>::max())) {
        throw VirtualPrinterSettings::Invalid(where + ": " + name + "=" + value +
                                              " is not a number in range");
    }
    return static_cast<Number>(result);
}

} // namespace

VirtualOptions VirtualPrinterSettings::fromEnvironment() {
    const char* path = std::getenv(variable);
    if (path == nullptr) {
        return VirtualOptions();
    }
    return read(path);
}

VirtualOptions VirtualPrinterSettings::read(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw Invalid("cannot read the virtual printer's settings " + path + " (" + variable +
                      "): " + std::generic_category().message(errno));
    }
    VirtualOptions options;
    options.enabled = true;
    std::string line;
    for (unsigned lineNumber = 1; std::getline(in, line); ++lineNumber) {
        const std::string where = path + ":" + std::to_string(lineNumber);
        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        const size_t equals = line.find('=');
        const std::string name = trimmed(line.substr(0, equals));
        const bool flag = equals == std::string::npos;
        const std::string value = flag ? "" : trimmed(line.substr(equals + 1));
        auto noValue = [&] {
            if (!flag) {
                throw Invalid(where + ": " + name + " takes no value");
            }
            return true;
        };
        auto needsValue = [&] {
            if (flag) {
                throw Invalid(where + ": " + name + " needs a value (" + name + "=...)");
            }
        };
        if (name == "refuse-all") {
            options.refuseAll = noValue();
        } else if (name == "silent") {
            options.silent = noValue();
        } else if (name == "paper-out") {
            options.paperOut = noValue();
        } else if (name == "gone") {
            options.gone = noValue();
        } else {
            needsValue();
            if (name == "output") {
                options.output = value;
            } else if (name == "device-id") {
                options.deviceId = value;
            } else if (name == "npa") {
                if (value != "auto" && value != "off" && value != "packet" && value != "silent") {
                    throw Invalid(where + ": npa is auto, off, packet or silent, not " + value);
                }
                options.npa = value;
            } else if (name == "ack-delay") {
                options.ackDelay = number<DWORD>(where, name, value);
            } else if (name == "refuse") {
                options.refuse = number<unsigned>(where, name, value);
            } else if (name == "link-speed") {
                options.linkSpeed = number<DWORD>(where, name, value);
            } else if (name == "read-size") {
                options.readSize = number<unsigned>(where, name, value);
            } else if (name == "vanish-after") {
                options.vanishAfter = number<long long>(where, name, value);
            } else if (name == "paper-out-writes") {
                options.paperOutWrites = number<unsigned>(where, name, value);
            } else {
                throw Invalid(where + ": unknown setting \"" + name + "\"");
            }
        }
    }
    return options;
}
