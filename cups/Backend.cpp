#include "Backend.h"

#include "BackendExit.h"
#include "CancelWatch.h"
#include "DeviceUri.h"
#include "PrinterAnswers.h"
#include "VirtualPrinterSettings.h"

#include "Connection.h"
#include "Host.h"
#include "HostFailure.h"
#include "JobInput.h"
#include "Printers.h"

#include "par1/transport.h"
#include "platform/win32.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <system_error>

namespace {

const char* const usage = "Usage: par1 job-id user title copies options [file]";

// How long the job waits for paper before it tries again.
const std::chrono::milliseconds paperRetry(1000);

// A text for the device list: inside its double quotes, with a quote or a
// backslash escaped and no control character.
std::string deviceText(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        if (c >= 0x20 && c != 0x7F) {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string trimmed(const std::string& text) {
    const size_t start = text.find_first_not_of(' ');
    return start == std::string::npos ? ""
                                      : text.substr(start, text.find_last_not_of(' ') - start + 1);
}

// The failure's words: what, the code's text and number.
std::string failureText(const Failure& failure) {
    std::string text = failure.what;
    if (failure.code != noCode) {
        text += ": " + codeText(failure.code) + " (error " + std::to_string(failure.code) + ")";
    }
    return text;
}

bool paperOut(uint32_t code) {
    return code == CE_OOP || code == ERROR_OUT_OF_PAPER;
}

// Codes that say the printer is off, gone or not answering, rather than that
// it refused the job.
bool printerAway(uint32_t code) {
    switch (code) {
    case CE_IOE:
    case CE_DNS:
    case CE_PTO:
    case CE_BREAK:
    case ERROR_TIMEOUT:
    case ERROR_SEM_TIMEOUT:
    case ERROR_IO_DEVICE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_NOT_READY:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
        return true;
    default:
        return false;
    }
}

// Copies from the job's fourth argument: a whole number from 1.
bool parseCopies(const std::string& text, unsigned& copies) {
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
        return false;
    }
    copies = static_cast<unsigned>(std::stoul(text));
    return copies >= 1;
}

// While it lives, a cancel closes the connection.
class CloseOnCancel {
public:
    CloseOnCancel(CancelWatch& watch, Connection& connection) : watch_(watch) {
        watch_.onCancel([&connection] { connection.close(); });
    }
    ~CloseOnCancel() { watch_.onCancel(nullptr); }
    CloseOnCancel(const CloseOnCancel&) = delete;
    CloseOnCancel& operator=(const CloseOnCancel&) = delete;

private:
    CancelWatch& watch_;
};

} // namespace

Backend::Backend(StatusLines& status, std::ostream& out) : status_(status), out_(out) {}

int Backend::run(const std::vector<std::string>& arguments) {
    try {
        if (arguments.size() <= 1) {
            return listDevices();
        }
        if (arguments.size() != 6 && arguments.size() != 7) {
            status_.error("par1 takes 5 or 6 arguments (or none to list the printers), not " +
                          std::to_string(arguments.size() - 1));
            status_.line(usage);
            return BackendFailed;
        }
        return printJob(arguments);
    } catch (const Failure& failure) {
        return report(failure);
    } catch (const std::system_error& error) {
        status_.error(std::string(error.what()) + ": " +
                      codeText(static_cast<uint32_t>(error.code().value())));
        return BackendFailed;
    } catch (const std::exception& error) {
        status_.error(error.what());
        return BackendFailed;
    }
}

std::string Backend::deviceLine(const std::string& port, const std::string& manufacturer,
                                const std::string& model, const std::string& deviceId) {
    const std::string make = trimmed(manufacturer);
    std::string makeAndModel = trimmed(model);
    // "HP" and "HP LaserJet 4" make "HP LaserJet 4", not "HP HP LaserJet 4".
    if (makeAndModel.empty()) {
        makeAndModel = make;
    } else if (!make.empty() && !sameText(makeAndModel.substr(0, make.size()), make)) {
        makeAndModel = make + " " + makeAndModel;
    }
    if (makeAndModel.empty()) {
        makeAndModel = "Unknown";
    }
    return "direct " + DeviceUri::of(port) + " " + deviceText(makeAndModel) + " " +
           deviceText(makeAndModel + " (PAR1)") + " " + deviceText(deviceId) + " \"\"";
}

int Backend::listDevices() {
    VirtualOptions virtualPrinter;
    try {
        virtualPrinter = VirtualPrinterSettings::fromEnvironment();
    } catch (const VirtualPrinterSettings::Invalid& error) {
        status_.error(error.what());
        return BackendFailed;
    }
    Host host(virtualPrinter);
    std::vector<Found> found = discover(host);
    for (Found& printer : found) {
        identify(printer);
        out_ << deviceLine(printer.port, printer.manufacturer, printer.model, printer.deviceId)
             << std::endl;
    }
    return BackendOk;
}

int Backend::report(const Failure& failure) {
    status_.error(failureText(failure));
    if (!failure.hint.empty()) {
        status_.debug("hint: " + failure.hint);
    }
    switch (failure.exitCode) {
    case ExitNoPrinter:
        // Not found, or the connection did not open: the printer is off,
        // unplugged or held by another program.
        status_.set("offline-report");
        return BackendRetry;
    case ExitUsage:
        // A value of the URI the module refused.
        return BackendStop;
    default:
        return BackendFailed;
    }
}

int Backend::printJob(const std::vector<std::string>& arguments) {
    // Everything is checked before the printer is touched.
    const char* environmentUri = std::getenv("DEVICE_URI");
    std::string uriText = environmentUri != nullptr ? environmentUri : "";
    if (uriText.empty() && arguments[0].find(':') != std::string::npos) {
        // As CUPS' own backends: run by a name that is the URI.
        uriText = arguments[0];
    }
    if (uriText.empty()) {
        status_.error("no device URI: DEVICE_URI is not set (for example par1:/LPT1)");
        return BackendStop;
    }
    DeviceUri uri;
    try {
        uri = DeviceUri::parse(uriText);
    } catch (const DeviceUri::Invalid& error) {
        status_.error(error.what());
        return BackendStop;
    }
    unsigned copies = 1;
    if (!parseCopies(arguments[4], copies)) {
        status_.error("bad number of copies \"" + arguments[4] + "\": a whole number from 1");
        return BackendFailed;
    }
    VirtualOptions virtualPrinter;
    try {
        virtualPrinter = VirtualPrinterSettings::fromEnvironment();
    } catch (const VirtualPrinterSettings::Invalid& error) {
        status_.error(error.what());
        return BackendStop;
    }
    // A file is printed copies times; standard input once, the filters
    // before the backend having made the copies.
    const std::vector<std::string> files{arguments.size() == 7 ? arguments[6] : "-"};
    if (arguments.size() == 6) {
        copies = 1;
    }
    status_.debug("job " + arguments[1] + " of " + arguments[2] + " to " + uri.port() + ", " +
                  std::to_string(copies) + (copies == 1 ? " copy" : " copies") +
                  (virtualPrinter.enabled ? ", to the virtual printer" : ""));

    // SIGTERM cancels from here on.
    CancelWatch cancel(status_);
    std::unique_ptr<JobInput> input;
    try {
        input = std::make_unique<JobInput>(files);
    } catch (const Failure& failure) {
        status_.error(failureText(failure));
        return BackendFailed;
    }
    if (virtualPrinter.enabled && !virtualPrinter.output.empty()) {
        const std::string error = LinkedModule::checkOutput(virtualPrinter.output);
        if (!error.empty()) {
            status_.error("cannot write the virtual printer's output " + virtualPrinter.output +
                          ": " + error);
            return BackendFailed;
        }
    }
    if (cancel.cancelled()) {
        return BackendCancel;
    }

    status_.set("connecting-to-device");
    status_.info("Connecting to the printer on " + uri.port());
    Host host(virtualPrinter);
    PrinterAnswers answers(status_);
    std::unique_ptr<Connection> opened;
    try {
        opened = std::make_unique<Connection>(host, uri.port(), &answers);
    } catch (const Failure&) {
        status_.clear("connecting-to-device");
        if (cancel.cancelled()) {
            return BackendCancel;
        }
        throw;
    }
    Connection& connection = *opened;
    CloseOnCancel closeOnCancel(cancel, connection);
    status_.clear("connecting-to-device");
    status_.clear("offline-report");

    uint32_t packetSize = 4096;
    if (uri.packetSize() != 0) {
        Data size("<MaxWritePacketSize>" + std::to_string(uri.packetSize()) +
                  "</MaxWritePacketSize>");
        const uint32_t error = connection.send("setMaxPacketSizeVisitor", size);
        if (error != 0) {
            fail(ExitUsage, "packet-size=" + std::to_string(uri.packetSize()) + " refused", error,
                 "the size must fit a packet's length field");
        }
        packetSize = uri.packetSize();
    }
    const bool npa = connection.npaMode();
    if (cancel.cancelled()) {
        return BackendCancel;
    }
    const bool wrap = npa && !uri.wrapOff();
    Data wrapMode(1, wrap ? 1 : 0);
    const uint32_t wrapError = connection.send("setNpaWrapModeVisitor", wrapMode);
    if (wrapError != 0) {
        fail(ExitNoPrinter, "cannot set the wrap mode", wrapError, "see the log file (par1 log)");
    }
    status_.debug(
        std::string("NPA mode ") + (npa ? "on" : "off") + ", wrapping " + (wrap ? "on" : "off") +
        (wrap ? ", packets of " + std::to_string(packetSize) + " bytes at most" : std::string()));

    // Pieces small enough for progress lines and to see a cancel soon.
    const size_t step = wrap ? std::max<size_t>(packetSize - 5, 1) * 4 : 16384;
    const auto start = std::chrono::steady_clock::now();
    auto lastProgress = start;
    uint64_t sentAll = 0;
    bool paperTaken = false;
    for (unsigned copy = 1; copy <= copies; ++copy) {
        if (copy > 1) {
            input = std::make_unique<JobInput>(files);
        }
        const uint64_t total = input->total();
        uint64_t sent = 0;
        for (;;) {
            if (cancel.cancelled()) {
                status_.info("Cancelled after " + std::to_string(sentAll) + " bytes");
                return BackendCancel;
            }
            std::pair<const uint8_t*, size_t> piece = input->next(step, sent);
            const uint8_t* bytes = piece.first;
            size_t left = piece.second;
            if (left == 0) {
                break;
            }
            while (left > 0) {
                Data data(bytes, static_cast<uint32_t>(left));
                connection.top().doWrite(data);
                const uint32_t error = data.error();
                // A write that failed part-way moved what its count says:
                // the rest is sent again, those bytes not.
                const size_t moved = error == 0 ? left : std::min<size_t>(data.count(), left);
                bytes += moved;
                left -= moved;
                sent += moved;
                sentAll += moved;
                if (error == 0) {
                    // The printer takes paper: an out-of-paper state of
                    // this job, or left by an earlier one, is over.
                    const bool waited = status_.isSet("media-empty-error");
                    if (waited || !paperTaken) {
                        status_.clear("media-empty-error");
                        paperTaken = true;
                    }
                    if (waited) {
                        status_.info("Paper loaded; printing");
                    }
                    continue;
                }
                if (cancel.cancelled()) {
                    status_.info("Cancelled after " + std::to_string(sentAll) + " bytes");
                    return BackendCancel;
                }
                if (paperOut(error)) {
                    if (!status_.isSet("media-empty-error")) {
                        status_.set("media-empty-error");
                        status_.info("The printer is out of paper; waiting for paper");
                        status_.debug("out of paper after " + std::to_string(sentAll) +
                                      " bytes (error " + std::to_string(error) + ")");
                    }
                    if (!cancel.sleep(paperRetry)) {
                        status_.info("Cancelled after " + std::to_string(sentAll) + " bytes");
                        return BackendCancel;
                    }
                    continue;
                }
                const std::string what =
                    "printing stopped after " + std::to_string(sentAll) + " bytes";
                if (printerAway(error)) {
                    fail(ExitNoPrinter, what, error,
                         "the printer went off, away or silent; the job is tried again later");
                }
                fail(ExitPrint, what, error, "the printer refused the data");
            }
            const auto now = std::chrono::steady_clock::now();
            if (now - lastProgress >= std::chrono::seconds(1)) {
                lastProgress = now;
                std::string line = "Printing";
                if (copies > 1) {
                    line += " copy " + std::to_string(copy) + " of " + std::to_string(copies);
                }
                line += ": " + std::to_string(sent);
                if (total != JobInput::unknownSize) {
                    line += " of " + std::to_string(total);
                }
                status_.info(line + " bytes");
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    status_.debug("sent " + std::to_string(sentAll) + " bytes in " + std::to_string(seconds) +
                  " s");
    if (!host.saveOutput().empty()) {
        status_.error("the job was printed, but the virtual printer's output " +
                      virtualPrinter.output + " is incomplete");
        return BackendFailed;
    }
    status_.info("Printed " + std::to_string(sentAll) + " bytes");
    return BackendOk;
}
