// par1: a host of the PAR1 transport, driving it the way a print monitor does:
// through the eight exports and the objects they hand out.
//
// Without --virtual the module is loaded from beside this program with
// LoadLibraryA and reaches the system's parallel ports. With --virtual the
// module's code is the copy linked into this program, so that the virtual
// printer installed behind the port seam here is the one the module talks
// to (a loaded library keeps its own seam). The loaded library still names
// the module: its file name gives the local id, so settings and the log file
// are the same in both modes.
#include "devices/Discoverer.h"
#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "entry/TransportExports.h"
#include "par1/transport.h"
#include "platform/win32.h"
#include "port/PortSystem.h"
#include "protocol/Data.h"
#include "shared/BasicLogger.h"
#include "shared/Exception.h"
#include "shared/Localize.h"
#include "shared/RuntimeSettings.h"
#include "sim/VirtualPorts.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <list>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
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
                                 "  7  the settings could not be read or written\n";

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

// The eight exports, from the loaded library or from the linked-in copy.
struct Exports {
    uint32_t (*initialize)();
    uint32_t (*uninitialize)();
    uint32_t (*getName)(char*, uint32_t, uint32_t*);
    ConnectionManager* (*getConnectionManager)();
    Discoverer* (*getDiscoverer)();
    VisitorManager* (*getVisitorManager)();
    uint32_t (*install)();
    uint32_t (*uninstall)();
};

template <typename Function> void resolve(HMODULE module, const char* name, Function& function) {
    FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) {
        fail(ExitModule, std::string("the module lacks the export ") + name, GetLastError(),
             "rebuild the module; it must export the eight transport functions");
    }
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

// Options of the virtual printer.
struct VirtualOptions {
    bool enabled = false;
    std::string npa = "auto";
    DWORD ackDelay = 0;
    unsigned refuse = 0;
    bool refuseAll = false;
    bool silent = false;
    DWORD linkSpeed = 0;
    bool paperOut = false;
    bool gone = false;
    std::string output;
};

// The loaded module, initialised, and the virtual printer when asked for.
class Host {
public:
    explicit Host(const VirtualOptions& options) : options_(options) {
        module_ = LoadLibraryA(PAR1_MODULE_FILE);
        if (module_ == nullptr) {
            fail(ExitModule, std::string("cannot load ") + PAR1_MODULE_FILE, GetLastError(),
                 "the module must lie beside par1");
        }
        if (options_.enabled) {
            // The linked-in copy takes the module's name, and so its local id.
            Localize::createInstance(module_);
            exports_ = {TransportInitialize,    TransportUninitialize,
                        TransportGetName,       TransportGetConnectionManager,
                        TransportGetDiscoverer, TransportGetVisitorManager,
                        TransportInstall,       TransportUninstall};
            setUpPrinter();
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
        installed_.reset();
        // The library stays loaded until the process ends: the linked-in copy
        // holds its module handle.
    }

    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    const Exports& exports() const { return exports_; }
    sim::VirtualPrinter* printer() { return printer_; }

    void saveOutput() {
        if (printer_ == nullptr || options_.output.empty() || saved_) {
            return;
        }
        saved_ = true;
        sim::Bytes data = printer_->printData();
        std::ofstream out(options_.output, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
        if (!out) {
            std::cerr << "par1: cannot write " << options_.output << "\n";
        }
    }

private:
    void setUpPrinter() {
        ports_ = std::make_unique<sim::VirtualPorts>();
        sim::VirtualPort& port = ports_->port(1);
        port.setLinkSpeed(options_.linkSpeed);
        if (!options_.gone) {
            sim::VirtualPrinter& printer = port.attachPrinter();
            printer_ = &printer;
            if (options_.npa == "off") {
                printer.setNpaAnswer(sim::NpaAnswer::Off);
                printer.setNpaEnabled(false);
            } else if (options_.npa == "silent") {
                printer.setNpaAnswer(sim::NpaAnswer::None);
            }
            printer.setAckDelay(options_.ackDelay);
            printer.refuseNext(options_.refuse);
            if (options_.refuseAll) {
                printer.setAckMode(sim::AckMode::Refuse);
            }
            if (options_.silent) {
                printer.setAckMode(sim::AckMode::Silent);
                printer.setCommandsAnswered(false);
            }
            if (options_.paperOut) {
                port.failWrites(0xFFFFFFFFu, CE_OOP, ERROR_OUT_OF_PAPER);
            }
        }
        installed_ = std::make_unique<ScopedPortSystem>(*ports_);
    }

    VirtualOptions options_;
    HMODULE module_ = nullptr;
    Exports exports_{};
    bool initialised_ = false;
    std::unique_ptr<sim::VirtualPorts> ports_;
    sim::VirtualPrinter* printer_ = nullptr;
    std::unique_ptr<ScopedPortSystem> installed_;
    bool saved_ = false;
};

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
        TransportProperties properties;
        properties.getString(text, PropertyRecords::Portname, found.port);
        properties.getLong(text, PropertyRecords::Handle, found.handle);
        properties.getString(text, PropertyRecords::Device, found.deviceClass);
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
    std::string progress = "lines";
};

int print(const VirtualOptions& virtualOptions, PrintOptions options) {
    // Everything is checked and read before the printer is touched.
    std::string port = normalisePort(options.port);
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
        std::string text;
        TransportProperties().setLong(text, PropertyRecords::MaxWritePacketSize,
                                      options.packetSize);
        Data size(text);
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
    std::string retries = "n/a";
    if (host.printer() != nullptr && wrap) {
        uint64_t seen = 0;
        for (const sim::Bytes& packet : host.printer()->packets()) {
            if (packet.size() >= 5 && packet[4] == 0x00) {
                ++seen;
            }
        }
        retries = std::to_string(seen > packets ? seen - packets : 0);
    }
    char summary[256];
    std::snprintf(summary, sizeof summary,
                  "summary: %zu bytes, %llu packets, %s retries, %.3f s, %s/s\n", sent,
                  static_cast<unsigned long long>(packets), retries.c_str(), elapsed,
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

// Settings: "logger.NAME" under the module's "Logger" key, "settings.NAME"
// under "Par1\Settings".
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

int config(const std::string& action, const std::string& name, const std::string& value) {
    HMODULE module = LoadLibraryA(PAR1_MODULE_FILE);
    if (module == nullptr) {
        fail(ExitModule, std::string("cannot load ") + PAR1_MODULE_FILE, GetLastError(),
             "the module must lie beside par1");
    }
    Localize::createInstance(module);
    RuntimeSettings settings;
    if (action == "show") {
        for (const char* key : {"Logger", "Par1\\Settings\\"}) {
            std::list<std::string> names;
            settings.getValueNames(key, names, SettingsStore::LocalStore);
            for (const std::string& entry : names) {
                uint32_t number = 0;
                if (settings.getNumber(key, entry, number, SettingsStore::LocalStore)) {
                    std::cout << (std::string(key) == "Logger" ? "logger." : "settings.") << entry
                              << " = " << number << "\n";
                }
            }
        }
        return ExitOk;
    }
    auto key = settingKey(name);
    if (action == "get") {
        uint32_t number = 0;
        if (!settings.getNumber(key.first, key.second, number, SettingsStore::LocalStore)) {
            fail(ExitSettings, "no setting \"" + name + "\"", ERROR_FILE_NOT_FOUND,
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
    if (!settings.setNumber(key.first, key.second, static_cast<uint32_t>(number),
                            SettingsStore::LocalStore)) {
        fail(ExitSettings, "cannot write \"" + name + "\"", GetLastError(),
             "writing the machine's settings may need administrator rights");
    }
    std::cout << name << " = " << number << "\n";
    return ExitOk;
}

// The log file is named after the module's local id; the logger knows where.
int showLog() {
    HMODULE module = LoadLibraryA(PAR1_MODULE_FILE);
    if (module == nullptr) {
        fail(ExitModule, std::string("cannot load ") + PAR1_MODULE_FILE, GetLastError(),
             "the module must lie beside par1");
    }
    Localize::createInstance(module);
    BasicLogger::createInstance();
    std::string path = BasicLogger::getInstance()->getLogPath();
    BasicLogger::releaseInstance();
    std::cout << path << "\n";
    uint32_t enabled = 0;
    RuntimeSettings settings;
    if (!settings.getNumber("Logger", "startLog", enabled, SettingsStore::LocalStore) ||
        enabled == 0) {
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
        ->check(CLI::IsMember({"auto", "off", "silent"}));
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
    printCommand->add_option("--progress", printOptions.progress, "progress display")
        ->check(CLI::IsMember({"bar", "lines", "none"}));

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
    } catch (const Exception& exception) {
        std::cout << std::flush;
        std::cerr << "par1: " << exception.getMessage() << ": "
                  << systemText(exception.getErrorCode()) << " (error " << exception.getErrorCode()
                  << ")\n"
                  << "hint: see the log file (par1 log)\n";
        return ExitModule;
    } catch (const Failure& failure) {
        std::cout << std::flush;
        std::cerr << "par1: " << failure.what << ": " << systemText(failure.code) << " (error "
                  << failure.code << ")\n"
                  << "hint: " << failure.hint << "\n";
        return failure.exitCode;
    }
    return ExitUsage;
}
