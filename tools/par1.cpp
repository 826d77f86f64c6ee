// par1: a host of the PAR1 transport, driving it the way a print monitor does:
// through the eight exports and the objects they hand out.
//
// Without --virtual the module is loaded from beside this program with
// LoadLibraryA and its exports are found with GetProcAddress; it reaches the
// system's parallel ports. With --virtual the exports are those of the
// module's copy linked into this program, so that the virtual printer
// installed behind the port seam here is the one the module talks to (a
// loaded library keeps its own seam, see LinkedModule.h). Either way the same
// host code below drives the module, and it knows only the public header: the
// table of exports, the objects they hand out, and the registry and log file
// that the module documents. The loaded library names the module in both
// modes: its file name gives the local id, so settings and the log file are
// the same.
#include "Connection.h"
#include "Host.h"
#include "HostFailure.h"
#include "JobInput.h"
#include "LinkedModule.h"
#include "Printers.h"
#include "TransportTable.h"

#include "par1/transport.h"
#include "platform/win32.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <list>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace {

const char* const exitCodeHelp = "Exit codes:\n"
                                 "  0  success\n"
                                 "  2  bad command line or input (nothing was sent)\n"
                                 "  3  the transport module could not be loaded or initialised\n"
                                 "  4  no printer on the port, or the connection did not open\n"
                                 "  5  the printer refused, went silent or failed during the job\n"
                                 "  6  an NPA command got no reply or failed\n"
                                 "  7  the settings could not be read or written\n"
                                 "  8  a file to print (or the log file) could not be read;\n"
                                 "     nothing was sent unless the message says how much was\n"
                                 "  9  --virtual-output could not be written (a full disk is\n"
                                 "     found when the job has run)\n"
                                 "\n"
                                 "print ends with a summary: bytes, NPA packets (0 without "
                                 "wrapping),\ntime and throughput. With --virtual it also says "
                                 "how many packets the\nvirtual printer refused (the module "
                                 "re-sent each); a real printer's refusals\nare re-sent inside "
                                 "the module, which does not report them to a host.\n";

// The version the loaded module carries: the text after its marker in the
// library file (see entry/ModuleVersion.cpp); empty when it has none.
std::string moduleVersion(HMODULE module, std::string& file) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    char host[MAX_PATH * 4] = {};
    const DWORD hostLength =
        platform::hostPath(std::string(path, length).c_str(), host, sizeof host);
    file = hostLength == 0 ? std::string(path, length) : std::string(host, hostLength);
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) {
        return "";
    }
    const std::string marker = "@(#)PAR1 module version ";
    // Blocks that overlap by the marker's length and a version's, so that
    // neither is cut at a block's edge.
    const size_t keep = marker.size() + 32;
    std::string window;
    std::vector<char> block(1 << 16);
    std::string version;
    for (;;) {
        const size_t got = std::fread(block.data(), 1, block.size(), in);
        window.append(block.data(), got);
        const size_t at = window.find(marker);
        if (at != std::string::npos && window.find('\0', at) != std::string::npos) {
            version = window.substr(at + marker.size());
            version.resize(version.find('\0'));
            break;
        }
        if (got == 0) {
            break;
        }
        if (window.size() > keep) {
            window.erase(0, window.size() - keep);
        }
    }
    std::fclose(in);
    return version;
}

std::string versionText() {
    std::string text = "par1 " PAR1_VERSION "\n";
    HMODULE module = LoadLibraryA(PAR1_MODULE_FILE);
    if (module == nullptr) {
        return text + "module " PAR1_MODULE_FILE ": cannot be loaded (" + codeText(GetLastError()) +
               ")";
    }
    std::string file;
    const std::string version = moduleVersion(module, file);
    return text + "module " + (version.empty() ? "of unknown version" : version) + " (" + file +
           ")";
}

// A JSON string.
std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string formatBytes(double bytes) {
    char text[32];
    if (bytes >= 1048576.0) {
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / 1048576.0);
    } else if (bytes >= 1024.0) {
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    }
    return text;
}

struct PrintOptions {
    std::vector<std::string> files;
    std::string port = "LPT1:";
    uint32_t packetSize = 0;
    bool packetSizeGiven = false;
    bool noWrap = false;
    std::string progress = "auto";
};

// A progress bar for a person at a terminal, lines for a log or a pipe.
std::string chooseProgress(const std::string& asked) {
    if (asked != "auto") {
        return asked;
    }
    return GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR ? "bar" : "lines";
}

int print(const VirtualOptions& virtualOptions, PrintOptions options) {
    // Everything is checked, and the first piece read, before the printer is
    // touched.
    std::string port = normalisePort(options.port);
    options.progress = chooseProgress(options.progress);
    if (options.packetSizeGiven && options.packetSize <= 5) {
        fail(ExitUsage, "packet size " + std::to_string(options.packetSize) + " is too small",
             ERROR_INVALID_PARAMETER, "a packet needs more than its 5 header bytes; try 4096");
    }
    JobInput job(options.files);
    const uint64_t total = job.total();
    const bool totalKnown = total != JobInput::unknownSize;

    if (virtualOptions.enabled && !virtualOptions.output.empty()) {
        // A file that cannot be made stops the job before it starts; one
        // that cannot take the bytes (a full disk) fails when it is saved.
        std::string error = LinkedModule::checkOutput(virtualOptions.output);
        if (!error.empty()) {
            fail(ExitOutput, "cannot write " + virtualOptions.output + ": " + error, noCode,
                 "choose another file for --virtual-output; nothing was printed");
        }
    }

    Host host(virtualOptions);
    if (totalKnown) {
        host.reservePrintData(total);
    }
    Connection connection(host, port);
    uint32_t packetSize = 4096;
    if (options.packetSizeGiven) {
        Data size("<MaxWritePacketSize>" + std::to_string(options.packetSize) +
                  "</MaxWritePacketSize>");
        uint32_t error = connection.send("setMaxPacketSizeVisitor", size);
        if (error != 0) {
            fail(ExitUsage, "packet size " + std::to_string(options.packetSize) + " refused", error,
                 "the size must fit a packet's length field; nothing was printed");
        }
        packetSize = options.packetSize;
    }
    bool npa = connection.npaMode();
    bool wrap = npa && !options.noWrap;
    Data wrapMode(1, wrap ? 1 : 0);
    uint32_t error = connection.send("setNpaWrapModeVisitor", wrapMode);
    if (error != 0) {
        fail(ExitNoPrinter, "cannot set the wrap mode", error, "see the log file (par1 log)");
    }
    std::cout << "NPA mode: " << (npa ? "on" : "off") << ", wrapping " << (wrap ? "on" : "off")
              << "\n";

    // Writes in steps small enough to show progress.
    const size_t step = wrap ? std::max<size_t>(packetSize - 5, 1) * 4 : 16384;
    auto start = std::chrono::steady_clock::now();
    uint64_t sent = 0;
    uint64_t packets = 0;
    auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    // Lines for a log: at most one a second, and the last one.
    double lastLine = 0;
    uint64_t lineSent = 0;
    for (;;) {
        std::pair<const uint8_t*, size_t> piece = job.next(step, sent);
        const size_t size = piece.second;
        if (size == 0) {
            break;
        }
        Data data(piece.first, static_cast<uint32_t>(size));
        connection.top().doWrite(data);
        if (data.error() != 0) {
            host.saveOutput();
            std::cout << "\n";
            fail(ExitPrint,
                 "printing stopped after " + std::to_string(sent) + " of " +
                     (totalKnown ? std::to_string(total) : std::string("?")) + " bytes",
                 data.error(),
                 "the printer refused or did not answer; check paper and cable, or try "
                 "--no-wrap");
        }
        sent += size;
        if (wrap) {
            packets += (size + packetSize - 6) / (packetSize - 5);
        }
        const bool last = totalKnown && sent == total;
        double elapsed = seconds();
        double rate = elapsed > 0 ? sent / elapsed : 0;
        double left = rate > 0 && totalKnown ? (total - sent) / rate : 0;
        char line[160];
        if (options.progress == "bar") {
            if (totalKnown) {
                int filled = total == 0 ? 30 : static_cast<int>(30.0 * sent / total);
                std::snprintf(line, sizeof line, "\r[%-30s] %s/%s %s/s %.1f s left",
                              std::string(static_cast<size_t>(filled), '#').c_str(),
                              formatBytes(static_cast<double>(sent)).c_str(),
                              formatBytes(static_cast<double>(total)).c_str(),
                              formatBytes(rate).c_str(), left);
            } else {
                std::snprintf(line, sizeof line, "\r%s %s/s",
                              formatBytes(static_cast<double>(sent)).c_str(),
                              formatBytes(rate).c_str());
            }
            std::cout << line << std::flush;
        } else if (options.progress == "lines" && (last || elapsed - lastLine >= 1.0)) {
            lastLine = elapsed;
            lineSent = sent;
            if (totalKnown) {
                std::snprintf(line, sizeof line, "progress: %llu/%llu bytes, %s/s, %.1f s left\n",
                              static_cast<unsigned long long>(sent),
                              static_cast<unsigned long long>(total), formatBytes(rate).c_str(),
                              left);
            } else {
                std::snprintf(line, sizeof line, "progress: %llu bytes, %s/s\n",
                              static_cast<unsigned long long>(sent), formatBytes(rate).c_str());
            }
            std::cout << line << std::flush;
        }
    }
    if (options.progress == "bar") {
        std::cout << "\n";
    } else if (options.progress == "lines" && !totalKnown && lineSent != sent) {
        std::cout << "progress: " << sent << " bytes\n";
    }
    double elapsed = seconds();
    // The wrap layer re-sends refused packets inside doWrite and tells a host
    // nothing of it; only the virtual printer can say how many it refused.
    std::string refused;
    uint64_t received = 0;
    if (wrap && host.printPacketsReceived(received)) {
        refused = ", " + std::to_string(received > packets ? received - packets : 0) +
                  " refused by printer";
    }
    char summary[256];
    std::snprintf(summary, sizeof summary, "summary: %llu bytes, %llu packets%s, %.3f s, %s/s\n",
                  static_cast<unsigned long long>(sent), static_cast<unsigned long long>(packets),
                  refused.c_str(), elapsed, formatBytes(elapsed > 0 ? sent / elapsed : 0).c_str());
    std::cout << summary;
    if (!host.saveOutput().empty()) {
        fail(ExitOutput, "the job was printed, but " + virtualOptions.output + " is incomplete",
             noCode, "free some space or choose another file for --virtual-output");
    }
    return ExitOk;
}

std::vector<uint8_t> parseHex(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == '-') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            fail(ExitUsage, "\"" + text + "\" is not a hex packet", ERROR_INVALID_PARAMETER,
                 "write the packet as hex digits, for instance a5000410010708");
        }
        digits += c;
    }
    if (digits.empty() || digits.size() % 2 != 0) {
        fail(ExitUsage, "\"" + text + "\" is not a whole number of hex bytes",
             ERROR_INVALID_PARAMETER, "each byte takes two hex digits");
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    // An NPA packet: 0xA5, the big-endian length of what follows the length
    // field, flags, channel and payload.
    if (bytes.size() < 5 || bytes[0] != 0xA5 ||
        ((static_cast<size_t>(bytes[1]) << 8) | bytes[2]) != bytes.size() - 3) {
        fail(ExitUsage, "\"" + text + "\" is not an NPA packet", ERROR_INVALID_PARAMETER,
             "a packet is a5, the length of the rest in two bytes, flags, channel and payload, "
             "for instance a5000410010708");
    }
    return bytes;
}

int npaSend(const VirtualOptions& virtualOptions, const std::string& port, const std::string& hex) {
    std::string portName = normalisePort(port);
    std::vector<uint8_t> packet = parseHex(hex);
    Host host(virtualOptions);
    Connection connection(host, portName);
    connection.npaMode();
    Data data(packet.data(), static_cast<uint32_t>(packet.size()));
    uint32_t error = connection.send("npaDataVisitor", data);
    if (error != 0) {
        fail(ExitCommand, "the NPA command failed", error,
             "the printer may not speak NPA (par1 npa-mode) or did not answer");
    }
    std::cout << "sent " << packet.size() << " bytes\n";
    return ExitOk;
}

// The module's local id: the first four characters of its file name, lower
// case. Its settings and its log file are named after it.
std::string localId(HMODULE module) {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    std::string name(path, length);
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    name = name.substr(0, 4);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

// The module's local store under HKEY_LOCAL_MACHINE. The module's brand code
// is the local id's first two letters; "vn" (vnbxpar1) is the brand
// "Vantrel".
std::string localStore(HMODULE module) {
    return "Software\\Vantrel\\Kes\\Local\\" + localId(module) + "\\";
}

// Every setting the module reads: "logger.NAME" under the module's "Logger"
// key, "settings.NAME" under "Par1\Settings\". Every value is a REG_DWORD;
// the module writes a missing one with its default when it first reads it.
struct Setting {
    const char* section;
    const char* name;
    uint32_t defaultValue;
    uint32_t minimum;
    uint32_t maximum;
    const char* meaning;
};

const Setting knownSettings[] = {
    {"logger", "startLog", 0, 0, 1, "1 switches logging on"},
    {"logger", "All", 0xFFFFFFFFu, 0, 0xFFFFFFFFu, "level mask logged for every category"},
    {"logger", "Par1Transport", 0, 0, 0xFFFFFFFFu,
     "level mask logged for the transport, besides All"},
    {"logger", "Server", 0, 0, 0xFFFFFFFFu,
     "level mask logged for discovery's observers, besides All"},
    {"logger", "Clocktime_In_Header", 1, 0, 1, "1 starts each line with date and time"},
    {"logger", "Proc_Id_In_Header", 0, 0, 1, "1 puts the process id in each line"},
    {"logger", "Thread_Id_In_Header", 0, 0, 1, "1 puts the thread id in each line"},
    {"settings", "ReadTimeout", 50, 1, 60000, "ms a read of the port waits"},
    {"settings", "NpaTimeout", 6000, 1, 600000, "ms to wait for the answer to the NPA query"},
    {"settings", "PJLReadTimeout", 2500, 1, 600000, "ms a PJL read waits"},
    {"settings", "PJLWriteTimeout", 2500, 1, 600000, "ms a PJL write waits"},
    {"settings", "MaxNpaWrapRetries", 10, 1, 1000, "tries of a packet the printer refuses"},
};

std::string settingName(const Setting& setting) {
    return std::string(setting.section) + "." + setting.name;
}

std::string registryKeyOf(const std::string& section) {
    return section == "logger" ? "Logger" : "Par1\\Settings\\";
}

// Edits (insertions, deletions, changes) that turn a into b, ignoring case.
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The setting of that name, whatever its case; an unknown name (a typo) is
// refused with the nearest known one.
const Setting& findSetting(const std::string& name) {
    const Setting* nearest = nullptr;
    size_t nearestDistance = SIZE_MAX;
    for (const Setting& setting : knownSettings) {
        if (sameText(settingName(setting), name)) {
            return setting;
        }
        const size_t distance = editDistance(settingName(setting), name);
        if (distance < nearestDistance) {
            nearest = &setting;
            nearestDistance = distance;
        }
    }
    fail(ExitUsage, "unknown setting \"" + name + "\"", noCode,
         (nearestDistance <= 3 ? "did you mean " + settingName(*nearest) + "? " : std::string()) +
             "par1 config show lists every setting");
}

// A setting's value as a person writes it: decimal, or hexadecimal after 0x.
// A leading zero is decimal (010 is ten), never octal.
uint32_t parseSettingValue(const Setting& setting, const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    uint64_t number = 0;
    bool valid = !digits.empty() && digits.size() <= 10;
    for (char c : digits) {
        const bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
        if (!(digit || (hex && std::isxdigit(static_cast<unsigned char>(c)) != 0))) {
            valid = false;
            break;
        }
        number = number * (hex ? 16 : 10) +
                 static_cast<uint64_t>(digit ? c - '0' : std::tolower(c) - 'a' + 10);
    }
    const std::string accepted =
        settingName(setting) + " takes " + std::to_string(setting.minimum) + " to " +
        std::to_string(setting.maximum) + " (" + setting.meaning + "), decimal or 0x hex";
    if (!valid) {
        fail(ExitUsage, "\"" + text + "\" is not a number", noCode, accepted);
    }
    if (number < setting.minimum || number > setting.maximum) {
        fail(ExitUsage, settingName(setting) + " cannot be " + text + ": out of range", noCode,
             accepted);
    }
    return static_cast<uint32_t>(number);
}

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// A REG_DWORD value; the registry's code when it is missing or of another
// type.
LSTATUS readNumber(HKEY key, const std::string& name, uint32_t& number) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    LSTATUS result = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                      reinterpret_cast<LPBYTE>(&value), &size);
    if (result == ERROR_SUCCESS && (type != REG_DWORD || size != sizeof value)) {
        result = ERROR_DATATYPE_MISMATCH;
    }
    number = value;
    return result;
}

// A setting as the module will use it: the stored value, or the default
// when none is stored (the module then writes the default).
struct Effective {
    uint32_t value;
    bool stored;
    LSTATUS status; // ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, or why it is unreadable
};

Effective effectiveValue(const std::string& store, const Setting& setting) {
    RegistryKey key;
    LSTATUS result =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, (store + registryKeyOf(setting.section)).c_str(), 0,
                      KEY_READ, key.out());
    uint32_t number = 0;
    if (result == ERROR_SUCCESS) {
        result = readNumber(key.get(), setting.name, number);
    }
    if (result == ERROR_SUCCESS) {
        return {number, true, result};
    }
    return {setting.defaultValue, false, result};
}

std::string showValue(const Setting& setting, uint32_t value) {
    if (setting.maximum == 0xFFFFFFFFu) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", value);
        return hex;
    }
    return std::to_string(value);
}

int config(const std::string& action, const std::string& name, const std::string& value) {
    const std::string store = localStore(loadModule());
    if (action == "show") {
        for (const Setting& setting : knownSettings) {
            const Effective effective = effectiveValue(store, setting);
            std::string note;
            if (!effective.stored) {
                note = effective.status == ERROR_FILE_NOT_FOUND
                           ? "default, not written yet"
                           : "default: the stored value is unreadable (" +
                                 codeText(static_cast<uint32_t>(effective.status)) + ")";
            } else if (effective.value == setting.defaultValue) {
                note = "default";
            } else {
                note = "default " + showValue(setting, setting.defaultValue);
            }
            char line[160];
            std::snprintf(line, sizeof line, "%-30s = %-10s (%s)", settingName(setting).c_str(),
                          showValue(setting, effective.value).c_str(), note.c_str());
            std::cout << line << "\n";
        }
        // Values in the module's keys that it does not read, for instance a
        // name written by hand with a typo.
        for (const char* section : {"logger", "settings"}) {
            RegistryKey key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (store + registryKeyOf(section)).c_str(), 0,
                              KEY_READ, key.out()) != ERROR_SUCCESS) {
                continue;
            }
            for (DWORD index = 0;; ++index) {
                char entry[256];
                DWORD entrySize = sizeof entry;
                LSTATUS result = RegEnumValueA(key.get(), index, entry, &entrySize, nullptr,
                                               nullptr, nullptr, nullptr);
                if (result != ERROR_SUCCESS) {
                    break;
                }
                const std::string full = std::string(section) + "." + std::string(entry, entrySize);
                if (std::none_of(std::begin(knownSettings), std::end(knownSettings),
                                 [&](const Setting& setting) {
                                     return sameText(settingName(setting), full);
                                 })) {
                    std::cout << full << " (not read by the module)\n";
                }
            }
        }
        return ExitOk;
    }
    const Setting& setting = findSetting(name);
    if (action == "get") {
        const Effective effective = effectiveValue(store, setting);
        if (!effective.stored && effective.status != ERROR_FILE_NOT_FOUND) {
            fail(ExitSettings, "cannot read " + settingName(setting),
                 static_cast<uint32_t>(effective.status), "par1 config set it again");
        }
        std::cout << effective.value << "\n";
        return ExitOk;
    }
    const DWORD dword = parseSettingValue(setting, value);
    const std::string path = store + registryKeyOf(setting.section);
    RegistryKey key;
    LSTATUS result =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.out(), nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(key.get(), setting.name, 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&dword), sizeof dword);
    }
    if (result != ERROR_SUCCESS) {
        fail(ExitSettings, "cannot write " + settingName(setting), static_cast<uint32_t>(result),
             "writing the machine's settings may need administrator rights");
    }
    std::cout << settingName(setting) << " = " << dword << "\n";
    return ExitOk;
}

// The log file lies in the root of the Windows directory's drive, named after
// the module's local id. Answers the path a person opens: on Linux the host
// path behind the Windows one.
std::string logPath(HMODULE module) {
    char windows[261] = {};
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    std::string root = length == 0 || length >= sizeof windows ? "c:\\" : std::string(windows, 3);
    const std::string path = root + localId(module) + ".log";
    char host[MAX_PATH * 4] = {};
    const DWORD hostLength = platform::hostPath(path.c_str(), host, sizeof host);
    return hostLength == 0 ? path : std::string(host, hostLength);
}

struct LogOptions {
    size_t tail = 0;
    bool tailGiven = false;
    bool follow = false;
    double followSeconds = 0; // 0: until interrupted
};

// The last lines of the file from offset on, and the offset after them.
uint64_t printTail(std::FILE* file, size_t lines) {
    std::fseek(file, 0, SEEK_END);
    const long end = std::ftell(file);
    // Read backwards in blocks until enough line ends are seen.
    long start = end;
    size_t found = 0;
    std::vector<char> block(65536);
    while (start > 0 && found < lines) {
        const long size = std::min<long>(start, static_cast<long>(block.size()));
        start -= size;
        std::fseek(file, start, SEEK_SET);
        const size_t got = std::fread(block.data(), 1, static_cast<size_t>(size), file);
        for (size_t i = got; i-- > 0;) {
            // A line end at the very end of the file ends the last line.
            if (block[i] == '\n' && start + static_cast<long>(i) != end - 1 && ++found == lines) {
                start += static_cast<long>(i) + 1;
                break;
            }
        }
    }
    if (lines == 0) {
        start = end;
    }
    std::fseek(file, start, SEEK_SET);
    for (long at = start; at < end;) {
        const size_t got = std::fread(
            block.data(), 1, std::min<size_t>(block.size(), static_cast<size_t>(end - at)), file);
        if (got == 0) {
            break;
        }
        std::cout.write(block.data(), static_cast<std::streamsize>(got));
        at += static_cast<long>(got);
    }
    std::cout << std::flush;
    return static_cast<uint64_t>(end);
}

int showLog(const LogOptions& options) {
    HMODULE module = loadModule();
    const std::string path = logPath(module);
    if (!options.tailGiven && !options.follow) {
        std::cout << path << "\n";
        uint32_t enabled = 0;
        RegistryKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (localStore(module) + "Logger").c_str(), 0, KEY_READ,
                          key.out()) != ERROR_SUCCESS ||
            readNumber(key.get(), "startLog", enabled) != ERROR_SUCCESS || enabled == 0) {
            std::cout << "logging is off; switch it on with: par1 config set logger.startLog 1\n";
        }
        return ExitOk;
    }
    const size_t lines = options.tailGiven ? options.tail : 10;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr && !options.follow) {
        fail(ExitInput, "cannot read " + path + ": " + std::generic_category().message(errno),
             noCode, "the module writes it once logging is on: par1 config set logger.startLog 1");
    }
    uint64_t offset = file != nullptr ? printTail(file, lines) : 0;
    if (!options.follow) {
        std::fclose(file);
        return ExitOk;
    }
    // Follows the file as the module appends to it; a file that shrinks was
    // started again, and is shown from its start.
    const auto start = std::chrono::steady_clock::now();
    std::vector<char> block(65536);
    for (;;) {
        if (file == nullptr) {
            file = std::fopen(path.c_str(), "rb");
            offset = 0;
        }
        if (file != nullptr) {
            std::fseek(file, 0, SEEK_END);
            const uint64_t end = static_cast<uint64_t>(std::ftell(file));
            if (end < offset) {
                offset = 0;
            }
            std::fseek(file, static_cast<long>(offset), SEEK_SET);
            while (offset < end) {
                const size_t got = std::fread(block.data(), 1,
                                              std::min<uint64_t>(block.size(), end - offset), file);
                if (got == 0) {
                    break;
                }
                std::cout.write(block.data(), static_cast<std::streamsize>(got));
                offset += got;
            }
            std::cout << std::flush;
        }
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (options.followSeconds > 0 && elapsed >= options.followSeconds) {
            break;
        }
        // The module's lines come from other processes: a file that grows is
        // polled, as tail does.
        Sleep(200);
    }
    if (file != nullptr) {
        std::fclose(file);
    }
    return ExitOk;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"par1: discover, print to and configure parallel-port printers through the "
                 "PAR1 transport"};
    app.footer(exitCodeHelp);
    app.require_subcommand(1);
    app.set_version_flag("--version", versionText, "show par1's version and the module's");
    app.fallthrough();

    VirtualOptions virt;
    app.add_flag("--virtual", virt.enabled,
                 "use the built-in virtual printer on LPT1: instead of the system's ports");
    app.add_option("--virtual-npa", virt.npa, "how the virtual printer answers the NPA query")
        ->check(CLI::IsMember({"auto", "off", "packet", "silent"}));
    app.add_option("--virtual-read-size", virt.readSize,
                   "hand out at most N bytes per read of the port, splitting the printer's "
                   "answers")
        ->check(CLI::Range(0u, 65535u));
    app.add_option("--virtual-vanish-after", virt.vanishAfter,
                   "the printer goes away after receiving N bytes")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--virtual-ack-delay", virt.ackDelay, "acknowledgement delay in ms");
    app.add_option("--virtual-refuse", virt.refuse, "refuse the next N print packets");
    app.add_flag("--virtual-refuse-all", virt.refuseAll, "refuse every print packet");
    app.add_flag("--virtual-silent", virt.silent, "never acknowledge nor answer commands");
    app.add_option("--virtual-link-speed", virt.linkSpeed, "link speed in bytes per second");
    app.add_flag("--virtual-paper-out", virt.paperOut, "every write fails: out of paper");
    app.add_flag("--virtual-gone", virt.gone, "no printer on the port");
    app.add_option("--virtual-output", virt.output, "save what the virtual printer received");
    app.add_option("--virtual-device-id", virt.deviceId,
                   "the virtual printer's IEEE 1284 identification");

    CLI::App* discoverCommand = app.add_subcommand("discover", "list the printers found");
    bool discoverJson = false;
    discoverCommand->add_flag(
        "--json", discoverJson,
        "a JSON array, one object per printer: port, handle, deviceClass, manufacturer, model, "
        "serial (empty when the printer does not say), deviceId (its IEEE 1284 "
        "identification) and transportString");

    PrintOptions printOptions;
    CLI::App* printCommand = app.add_subcommand("print", "print files (- is standard input)");
    printCommand->add_option("files", printOptions.files, "files to print")->required();
    printCommand->add_option("--port", printOptions.port, "LPT1: to LPT9:");
    CLI::Option* packetSize = printCommand->add_option(
        "--packet-size", printOptions.packetSize, "largest NPA packet in bytes (default 4096)");
    printCommand->add_flag("--no-wrap", printOptions.noWrap, "send the data without NPA packets");
    printCommand
        ->add_option("--progress", printOptions.progress,
                     "progress display: auto (a bar when standard output is a terminal, lines "
                     "otherwise), bar, lines or none")
        ->check(CLI::IsMember({"auto", "bar", "lines", "none"}));

    std::string port = "LPT1:";
    CLI::App* modeCommand = app.add_subcommand("npa-mode", "ask whether the printer speaks NPA");
    modeCommand->add_option("--port", port, "LPT1: to LPT9:");
    std::string hex;
    CLI::App* sendCommand = app.add_subcommand("npa-send", "send an NPA command packet");
    sendCommand->add_option("packet", hex, "the packet in hex")->required();
    sendCommand->add_option("--port", port, "LPT1: to LPT9:");

    std::string action, name, value;
    CLI::App* configCommand = app.add_subcommand("config", "show, get or set settings");
    configCommand->add_option("action", action, "show, get or set")
        ->required()
        ->check(CLI::IsMember({"show", "get", "set"}));
    configCommand->add_option("name", name, "logger.NAME or settings.NAME");
    configCommand->add_option("value", value, "the new value");
    LogOptions logOptions;
    CLI::App* logCommand =
        app.add_subcommand("log", "show where the log file is, or its last lines");
    CLI::Option* tail =
        logCommand->add_option("--tail", logOptions.tail, "show the last N lines of the log");
    logCommand->add_flag("--follow", logOptions.follow,
                         "show lines as they are written (the last 10 first), until interrupted");
    logCommand
        ->add_option("--for", logOptions.followSeconds,
                     "with --follow: stop after this many seconds")
        ->check(CLI::PositiveNumber);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int code = app.exit(error);
        return code == 0 ? ExitOk : ExitUsage;
    }

    try {
        if (*discoverCommand) {
            Host host(virt);
            std::vector<Found> found = discover(host);
            for (Found& printer : found) {
                identify(printer);
            }
            if (discoverJson) {
                std::cout << "[";
                for (size_t i = 0; i < found.size(); ++i) {
                    const Found& printer = found[i];
                    std::cout << (i == 0 ? "\n" : ",\n")
                              << "  {\"port\": " << jsonText(printer.port)
                              << ", \"handle\": " << printer.handle
                              << ", \"deviceClass\": " << jsonText(printer.deviceClass)
                              << ", \"manufacturer\": " << jsonText(printer.manufacturer)
                              << ", \"model\": " << jsonText(printer.model)
                              << ", \"serial\": " << jsonText(printer.serial)
                              << ", \"deviceId\": " << jsonText(printer.deviceId)
                              << ", \"transportString\": " << jsonText(printer.transportString)
                              << "}";
                }
                std::cout << (found.empty() ? "]\n" : "\n]\n");
                return ExitOk;
            }
            if (found.empty()) {
                std::cout << "no printers found\n";
            }
            auto orDash = [](const std::string& text) { return text.empty() ? "-" : text; };
            for (const Found& printer : found) {
                std::cout << printer.port << "  handle " << printer.handle << "  class "
                          << orDash(printer.deviceClass) << "\n"
                          << "  manufacturer: " << orDash(printer.manufacturer) << "\n"
                          << "  model: " << orDash(printer.model) << "\n"
                          << "  serial number: " << orDash(printer.serial) << "\n"
                          << "  " << printer.transportString << "\n";
            }
            return ExitOk;
        }
        if (*printCommand) {
            printOptions.packetSizeGiven = packetSize->count() > 0;
            return print(virt, printOptions);
        }
        if (*modeCommand) {
            std::string portName = normalisePort(port);
            Host host(virt);
            Connection connection(host, portName);
            std::cout << "NPA mode on " << portName << " " << (connection.npaMode() ? "on" : "off")
                      << "\n";
            return ExitOk;
        }
        if (*sendCommand) {
            return npaSend(virt, port, hex);
        }
        if (*configCommand) {
            if (action != "show" && name.empty()) {
                fail(ExitUsage, "config " + action + " needs a setting's name",
                     ERROR_INVALID_PARAMETER, "for instance: par1 config get logger.startLog");
            }
            if (action == "set" && value.empty()) {
                fail(ExitUsage, "config set needs a value", ERROR_INVALID_PARAMETER,
                     "for instance: par1 config set settings.NpaTimeout 2000");
            }
            return config(action, name, value);
        }
        if (*logCommand) {
            logOptions.tailGiven = tail->count() > 0;
            return showLog(logOptions);
        }
    } catch (const Failure& failure) {
        std::cout << std::flush;
        std::cerr << "par1: " << failure.what;
        std::string hint = failure.hint;
        if (failure.code != noCode) {
            std::cerr << ": " << codeText(failure.code) << " (error " << failure.code << ")";
            // What the code itself suggests is the most precise hint.
            const TransportErrorText* entry = findTransportError(failure.code);
            if (entry != nullptr && entry->hint[0] != '\0') {
                hint = entry->hint;
            }
        }
        std::cerr << "\n";
        if (!hint.empty()) {
            std::cerr << "hint: " << hint << "\n";
        }
        return failure.exitCode;
    } catch (const std::system_error& error) {
        const uint32_t code = static_cast<uint32_t>(error.code().value());
        std::cout << std::flush;
        std::cerr << "par1: " << error.what() << ": " << codeText(code) << " (error " << code
                  << ")\n"
                  << "hint: see the log file (par1 log)\n";
        return ExitModule;
    } catch (const std::exception& error) {
        std::cout << std::flush;
        std::cerr << "par1: " << error.what() << "\nhint: see the log file (par1 log)\n";
        return ExitModule;
    }
    return ExitUsage;
}
