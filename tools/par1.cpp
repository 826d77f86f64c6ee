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
#include "LinkedModule.h"
#include "TransportTable.h"

#include "par1/transport.h"
#include "platform/win32.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

// Exit codes, as --help lists them.
enum Exit : int {
    ExitOk = 0,
    ExitUsage = 2,     // bad command line or input; nothing was sent
    ExitModule = 3,    // the module could not be loaded or initialised
    ExitNoPrinter = 4, // no printer on the port, or the connection did not open
    ExitPrint = 5,     // the printer refused, went silent or failed during the job
    ExitCommand = 6,   // an NPA command got no reply or failed
    ExitSettings = 7,  // the registry could not be read or written
};

const char* const exitCodeHelp = "Exit codes:\n"
                                 "  0  success\n"
                                 "  2  bad command line or input (nothing was sent)\n"
                                 "  3  the transport module could not be loaded or initialised\n"
                                 "  4  no printer on the port, or the connection did not open\n"
                                 "  5  the printer refused, went silent or failed during the job\n"
                                 "  6  an NPA command got no reply or failed\n"
                                 "  7  the settings could not be read or written\n"
                                 "\n"
                                 "print ends with a summary: bytes, NPA packets (0 without "
                                 "wrapping),\ntime and throughput. With --virtual it also says "
                                 "how many packets the\nvirtual printer refused (the module "
                                 "re-sent each); a real printer's refusals\nare re-sent inside "
                                 "the module, which does not report them to a host.\n";

std::string systemText(uint32_t code) {
    char buffer[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "unknown error" : text;
}

// A failure that ends the command: what went wrong, the system's code, a hint.
struct Failure {
    int exitCode;
    std::string what;
    uint32_t code;
    std::string hint;
};

[[noreturn]] void fail(int exitCode, const std::string& what, uint32_t code,
                       const std::string& hint) {
    throw Failure{exitCode, what, code, hint};
}

template <typename Function> void resolve(HMODULE module, const char* name, Function& function) {
    FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) {
        fail(ExitModule, std::string("the module lacks the export ") + name, GetLastError(),
             "rebuild the module; it must export the eight transport functions");
    }
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

HMODULE loadModule() {
    HMODULE module = LoadLibraryA(PAR1_MODULE_FILE);
    if (module == nullptr) {
        fail(ExitModule, std::string("cannot load ") + PAR1_MODULE_FILE, GetLastError(),
             "the module must lie beside par1");
    }
    return module;
}

// The loaded module, initialised, and the virtual printer when asked for.
class Host {
public:
    explicit Host(const VirtualOptions& options) : options_(options) {
        module_ = loadModule();
        if (options_.enabled) {
            linked_ = std::make_unique<LinkedModule>(module_, options_);
            exports_ = linked_->exports();
        } else {
            resolve(module_, "TransportInitialize", exports_.initialize);
            resolve(module_, "TransportUninitialize", exports_.uninitialize);
            resolve(module_, "TransportGetName", exports_.getName);
            resolve(module_, "TransportGetConnectionManager", exports_.getConnectionManager);
            resolve(module_, "TransportGetDiscoverer", exports_.getDiscoverer);
            resolve(module_, "TransportGetVisitorManager", exports_.getVisitorManager);
            resolve(module_, "TransportInstall", exports_.install);
            resolve(module_, "TransportUninstall", exports_.uninstall);
        }
        uint32_t result = exports_.initialize();
        if (result != 0) {
            fail(ExitModule, "TransportInitialize failed", result,
                 "check the registry store and the log file's directory");
        }
        initialised_ = true;
    }

    ~Host() {
        if (initialised_) {
            exports_.uninitialize();
        }
        saveOutput();
        linked_.reset();
        // The library stays loaded until the process ends: the linked-in copy
        // holds its module handle.
    }

    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const TransportTable& exports() const { return exports_; }
    // The virtual printer's count of the print packets it took in; false
    // when there is none (a real port tells a host nothing of the kind).
    bool printPacketsReceived(uint64_t& count) const {
        return linked_ != nullptr && linked_->printPacketsReceived(count);
    }

    void saveOutput() {
        if (linked_ == nullptr || options_.output.empty() || saved_) {
            return;
        }
        saved_ = true;
        if (!linked_->saveReceived(options_.output)) {
            std::cerr << "par1: cannot write " << options_.output << "\n";
        }
    }

private:
    VirtualOptions options_;
    HMODULE module_ = nullptr;
    TransportTable exports_{};
    bool initialised_ = false;
    std::unique_ptr<LinkedModule> linked_;
    bool saved_ = false;
};

// The value of an element <name>value</name> of a transport string; empty
// when it has none.
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

// One printer as discovery reports it.
struct Found {
    std::string port;
    uint32_t handle = 0;
    std::string deviceClass;
    std::string transportString;
};

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

std::string printable(const uint8_t* bytes, size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        unsigned char c = bytes[i];
        if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else if (c == '\n') {
            text += "\\n";
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        }
    }
    return text;
}

// The tool's top layer: shows what the printer sends.
class HostLayer : public Layer {
public:
    HostLayer() { setName("par1"); }
    using Layer::doAccept;
    void doAccept(Data& data) override {
        std::lock_guard<std::mutex> lock(mutex_);
        received_ += data.size();
        std::cout << "printer: " << printable(data.data(), data.size()) << "\n" << std::flush;
    }
    // Visitors that travel up end here.
    void doAccept(Visitor&) override {}
    uint64_t received() {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

private:
    std::mutex mutex_;
    uint64_t received_ = 0;
};

std::string normalisePort(const std::string& text) {
    std::string port = text;
    std::transform(port.begin(), port.end(), port.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (!port.empty() && port.back() != ':') {
        port += ':';
    }
    if (port.size() != 5 || port.compare(0, 3, "LPT") != 0 || port[3] < '1' || port[3] > '9') {
        fail(ExitUsage, "unknown port \"" + text + "\"", ERROR_INVALID_PARAMETER,
             "ports are LPT1: to LPT9:");
    }
    return port;
}

// An open connection to the printer on a port, released at the end.
class Connection {
public:
    Connection(Host& host, const std::string& port) : host_(host) {
        std::vector<Found> found = discover(host);
        auto it = std::find_if(found.begin(), found.end(),
                               [&](const Found& f) { return f.port == port; });
        if (it == found.end()) {
            fail(ExitNoPrinter, "no printer on " + port, ERROR_DEVICE_NOT_CONNECTED,
                 "check that the printer is on and connected (par1 discover lists printers)");
        }
        manager_ = host.exports().getConnectionManager();
        connection_ = manager_->doGet(&top_, it->transportString, "bidi");
        uint32_t result = connection_->open();
        if (result != 0) {
            fail(ExitNoPrinter, "cannot open the connection to " + port, result,
                 "another program may hold the port; see the log file (par1 log)");
        }
        opened_ = true;
    }
    ~Connection() {
        if (opened_) {
            connection_->close();
        }
        if (connection_ != nullptr) {
            manager_->doRelease(connection_);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    uint32_t send(const std::string& name, Data& data) {
        VisitorManager* visitors = host_.exports().getVisitorManager();
        Visitor* visitor = visitors->getVisitor(name);
        if (visitor == nullptr) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        visitor->setData(&data);
        visitor->setLastLayer(&top_);
        connection_->doAccept(*visitor);
        uint32_t error = visitor->error();
        visitors->releaseVisitor(visitor);
        return error;
    }

    bool npaMode() {
        Data mode(4, 0);
        uint32_t error = send("getNpaModeVisitor", mode);
        if (error != 0) {
            fail(ExitNoPrinter, "cannot ask for the NPA mode", error,
                 "see the log file (par1 log)");
        }
        return mode.data()[mode.size() - 1 - 3] != 0 || mode.data()[mode.size() - 1] != 0;
    }

    Layer& top() { return *connection_; }
    HostLayer& host() { return top_; }

private:
    Host& host_;
    HostLayer top_;
    ConnectionManager* manager_ = nullptr;
    Layer* connection_ = nullptr;
    bool opened_ = false;
};

std::vector<uint8_t> readInput(const std::string& name) {
    std::vector<uint8_t> bytes;
    if (name == "-") {
        platform::setStandardInputBinary();
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return bytes;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) {
        fail(ExitUsage, "cannot read \"" + name + "\"", ERROR_FILE_NOT_FOUND,
             "check the file's name; nothing was printed");
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return bytes;
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
    // Everything is checked and read before the printer is touched.
    std::string port = normalisePort(options.port);
    options.progress = chooseProgress(options.progress);
    if (options.packetSizeGiven && options.packetSize <= 5) {
        fail(ExitUsage, "packet size " + std::to_string(options.packetSize) + " is too small",
             ERROR_INVALID_PARAMETER, "a packet needs more than its 5 header bytes; try 4096");
    }
    std::vector<uint8_t> job;
    for (const std::string& file : options.files) {
        std::vector<uint8_t> bytes = readInput(file);
        job.insert(job.end(), bytes.begin(), bytes.end());
    }

    Host host(virtualOptions);
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
    size_t sent = 0;
    uint64_t packets = 0;
    auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    while (sent < job.size()) {
        size_t size = std::min(step, job.size() - sent);
        Data data(job.data() + sent, static_cast<uint32_t>(size));
        connection.top().doWrite(data);
        if (data.error() != 0) {
            host.saveOutput();
            std::cout << "\n";
            fail(ExitPrint,
                 "printing stopped after " + std::to_string(sent) + " of " +
                     std::to_string(job.size()) + " bytes",
                 data.error(),
                 "the printer refused or did not answer; check paper and cable, or try "
                 "--no-wrap");
        }
        sent += size;
        if (wrap) {
            packets += (size + packetSize - 6) / (packetSize - 5);
        }
        double elapsed = seconds();
        double rate = elapsed > 0 ? sent / elapsed : 0;
        double left = rate > 0 ? (job.size() - sent) / rate : 0;
        char line[160];
        if (options.progress == "bar") {
            int filled = job.empty() ? 30 : static_cast<int>(30.0 * sent / job.size());
            std::snprintf(line, sizeof line, "\r[%-30s] %s/%s %s/s %.1f s left",
                          std::string(static_cast<size_t>(filled), '#').c_str(),
                          formatBytes(static_cast<double>(sent)).c_str(),
                          formatBytes(static_cast<double>(job.size())).c_str(),
                          formatBytes(rate).c_str(), left);
            std::cout << line << std::flush;
        } else if (options.progress == "lines") {
            std::snprintf(line, sizeof line, "progress: %zu/%zu bytes, %s/s, %.1f s left\n", sent,
                          job.size(), formatBytes(rate).c_str(), left);
            std::cout << line << std::flush;
        }
    }
    if (options.progress == "bar") {
        std::cout << "\n";
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
    std::snprintf(summary, sizeof summary, "summary: %zu bytes, %llu packets%s, %.3f s, %s/s\n",
                  sent, static_cast<unsigned long long>(packets), refused.c_str(), elapsed,
                  formatBytes(elapsed > 0 ? sent / elapsed : 0).c_str());
    std::cout << summary;
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

// Settings: "logger.NAME" under the module's "Logger" key, "settings.NAME"
// under "Par1\Settings". Every value is a REG_DWORD.
std::pair<std::string, std::string> settingKey(const std::string& name) {
    size_t dot = name.find('.');
    std::string section = dot == std::string::npos ? "" : name.substr(0, dot);
    std::string value = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (value.empty() || (section != "logger" && section != "settings")) {
        fail(ExitUsage, "unknown setting \"" + name + "\"", ERROR_INVALID_PARAMETER,
             "name settings logger.NAME or settings.NAME (par1 config show lists them)");
    }
    return {section == "logger" ? "Logger" : "Par1\\Settings\\", value};
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

int config(const std::string& action, const std::string& name, const std::string& value) {
    const std::string store = localStore(loadModule());
    if (action == "show") {
        for (const char* section : {"Logger", "Par1\\Settings\\"}) {
            RegistryKey key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (store + section).c_str(), 0, KEY_READ,
                              key.out()) != ERROR_SUCCESS) {
                continue; // the module writes its settings when it first reads them
            }
            for (DWORD index = 0;; ++index) {
                char entry[256];
                DWORD entrySize = sizeof entry;
                DWORD type = 0;
                DWORD number = 0;
                DWORD size = sizeof number;
                LSTATUS result = RegEnumValueA(key.get(), index, entry, &entrySize, nullptr, &type,
                                               reinterpret_cast<LPBYTE>(&number), &size);
                if (result == ERROR_NO_MORE_ITEMS) {
                    break;
                }
                if (result == ERROR_SUCCESS && type == REG_DWORD) {
                    std::cout << (std::string(section) == "Logger" ? "logger." : "settings.")
                              << std::string(entry, entrySize) << " = " << number << "\n";
                }
            }
        }
        return ExitOk;
    }
    auto setting = settingKey(name);
    const std::string path = store + setting.first;
    if (action == "get") {
        RegistryKey key;
        LSTATUS result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.out());
        uint32_t number = 0;
        if (result == ERROR_SUCCESS) {
            result = readNumber(key.get(), setting.second, number);
        }
        if (result != ERROR_SUCCESS) {
            fail(ExitSettings, "no setting \"" + name + "\"", static_cast<uint32_t>(result),
                 "the module writes a setting with its default when it first reads it");
        }
        std::cout << number << "\n";
        return ExitOk;
    }
    char* end = nullptr;
    unsigned long long number = std::strtoull(value.c_str(), &end, 0);
    if (value.empty() || *end != '\0' || value[0] == '-' || number > 0xFFFFFFFFull) {
        fail(ExitUsage, "\"" + value + "\" is not a number", ERROR_INVALID_PARAMETER,
             "settings are 32-bit numbers, decimal or 0x hex");
    }
    RegistryKey key;
    LSTATUS result =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, key.out(), nullptr);
    const DWORD dword = static_cast<DWORD>(number);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(key.get(), setting.second.c_str(), 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&dword), sizeof dword);
    }
    if (result != ERROR_SUCCESS) {
        fail(ExitSettings, "cannot write \"" + name + "\"", static_cast<uint32_t>(result),
             "writing the machine's settings may need administrator rights");
    }
    std::cout << name << " = " << number << "\n";
    return ExitOk;
}

// The log file lies in the root of the Windows directory's drive, named after
// the module's local id.
int showLog() {
    HMODULE module = loadModule();
    char windows[261] = {};
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    std::string root = length == 0 || length >= sizeof windows ? "c:\\" : std::string(windows, 3);
    std::cout << root << localId(module) << ".log\n";
    uint32_t enabled = 0;
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (localStore(module) + "Logger").c_str(), 0, KEY_READ,
                      key.out()) != ERROR_SUCCESS ||
        readNumber(key.get(), "startLog", enabled) != ERROR_SUCCESS || enabled == 0) {
        std::cout << "logging is off; switch it on with: par1 config set logger.startLog 1\n";
    }
    return ExitOk;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"par1: discover, print to and configure parallel-port printers through the "
                 "PAR1 transport"};
    app.footer(exitCodeHelp);
    app.require_subcommand(1);
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

    CLI::App* discoverCommand = app.add_subcommand("discover", "list the printers found");

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
    CLI::App* logCommand = app.add_subcommand("log", "show where the log file is");

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
            if (found.empty()) {
                std::cout << "no printers found\n";
            }
            for (const Found& printer : found) {
                std::cout << printer.port << "  handle " << printer.handle << "  class "
                          << (printer.deviceClass.empty() ? "-" : printer.deviceClass) << "\n"
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
                     ERROR_INVALID_PARAMETER, "for instance: par1 config get logger.Enabled");
            }
            if (action == "set" && value.empty()) {
                fail(ExitUsage, "config set needs a value", ERROR_INVALID_PARAMETER,
                     "for instance: par1 config set settings.NpaTimeout 2000");
            }
            return config(action, name, value);
        }
        if (*logCommand) {
            return showLog();
        }
    } catch (const Failure& failure) {
        std::cout << std::flush;
        std::cerr << "par1: " << failure.what << ": " << systemText(failure.code) << " (error "
                  << failure.code << ")\n"
                  << "hint: " << failure.hint << "\n";
        return failure.exitCode;
    } catch (const std::system_error& error) {
        const uint32_t code = static_cast<uint32_t>(error.code().value());
        std::cout << std::flush;
        std::cerr << "par1: " << error.what() << ": " << systemText(code) << " (error " << code
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
