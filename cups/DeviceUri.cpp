#include "DeviceUri.h"

#include <cctype>
#include <set>

const char* const DeviceUri::scheme = "par1";

namespace {

[[noreturn]] void invalid(const std::string& uri, const std::string& why) {
    throw DeviceUri::Invalid("bad device URI \"" + uri + "\": " + why +
                             " (the URI is par1:/LPT1 to par1:/LPT9, with options "
                             "?wrap=auto|off&packet-size=6..65538)");
}

// A decimal number of at most ten digits; false for anything else.
bool number(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 10) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

} // namespace

DeviceUri DeviceUri::parse(const std::string& text) {
    const std::string prefix = std::string(scheme) + ":/";
    if (text.compare(0, prefix.size(), prefix) != 0) {
        invalid(text, "it does not start with " + prefix);
    }
    const size_t question = text.find('?');
    const std::string given =
        text.substr(prefix.size(),
                    question == std::string::npos ? std::string::npos : question - prefix.size());
    std::string port = given;
    // par1:/LPT1 and par1:/lpt1: name the same port.
    for (char& c : port) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (!port.empty() && port.back() == ':') {
        port.pop_back();
    }
    if (port.size() != 4 || port.compare(0, 3, "LPT") != 0 || port[3] < '1' || port[3] > '9') {
        invalid(text, "\"" + given + "\" is no port LPT1 to LPT9");
    }
    DeviceUri uri;
    uri.port_ = port + ":";
    if (question == std::string::npos) {
        return uri;
    }
    std::set<std::string> seen;
    const std::string query = text.substr(question + 1);
    size_t start = 0;
    do {
        size_t end = query.find('&', start);
        if (end == std::string::npos) {
            end = query.size();
        }
        const std::string option = query.substr(start, end - start);
        start = end + 1;
        const size_t equals = option.find('=');
        if (equals == std::string::npos) {
            invalid(text, "option \"" + option + "\" has no value (name=value)");
        }
        const std::string name = option.substr(0, equals);
        const std::string value = option.substr(equals + 1);
        if (!seen.insert(name).second) {
            invalid(text, "option \"" + name + "\" is given twice");
        }
        if (name == "wrap") {
            if (value != "auto" && value != "off") {
                invalid(text, "wrap=" + value + " is neither auto nor off");
            }
            uri.wrapOff_ = value == "off";
        } else if (name == "packet-size") {
            uint64_t size = 0;
            if (!number(value, size) || size < smallestPacketSize || size > largestPacketSize) {
                invalid(text, "packet-size=" + value + " is not a number from " +
                                  std::to_string(smallestPacketSize) + " to " +
                                  std::to_string(largestPacketSize));
            }
            uri.packetSize_ = static_cast<uint32_t>(size);
        } else {
            invalid(text, "unknown option \"" + name + "\"");
        }
    } while (start <= query.size());
    return uri;
}

std::string DeviceUri::of(const std::string& port) {
    std::string name = port;
    if (!name.empty() && name.back() == ':') {
        name.pop_back();
    }
    return std::string(scheme) + ":/" + name;
}
