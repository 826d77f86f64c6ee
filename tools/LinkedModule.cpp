#include "LinkedModule.h"

#include "entry/TransportExports.h"
#include "port/PortSystem.h"
#include "shared/Exception.h"
#include "shared/Localize.h"
#include "sim/VirtualPorts.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>

struct LinkedModule::State {
    std::unique_ptr<sim::VirtualPorts> ports;
    sim::VirtualPrinter* printer = nullptr;
    std::unique_ptr<ScopedPortSystem> installed;
};

LinkedModule::LinkedModule(HMODULE named, const VirtualOptions& options) : state_(new State) {
    try {
        Localize::createInstance(named);
    } catch (const Exception& exception) {
        // The host side knows no module exception.
        throw std::system_error(static_cast<int>(exception.getErrorCode()), std::system_category(),
                                exception.getMessage());
    }
    state_->ports = std::make_unique<sim::VirtualPorts>();
    sim::VirtualPort& port = state_->ports->port(1);
    port.setLinkSpeed(options.linkSpeed);
    if (!options.gone) {
        sim::VirtualPrinter& printer = port.attachPrinter();
        state_->printer = &printer;
        // par1 needs the print data and the count of packets, not a copy of
        // every byte and packet besides: a large job would cost the memory
        // twice over, which no printer costs its host.
        printer.setKeepRecords(false);
        if (options.npa == "off") {
            printer.setNpaAnswer(sim::NpaAnswer::Off);
            printer.setNpaEnabled(false);
        } else if (options.npa == "packet") {
            printer.setNpaAnswer(sim::NpaAnswer::ShortPacket);
        } else if (options.npa == "silent") {
            printer.setNpaAnswer(sim::NpaAnswer::None);
        }
        port.setReadSize(options.readSize);
        if (options.vanishAfter >= 0) {
            port.vanishAfter(static_cast<std::size_t>(options.vanishAfter));
        }
        if (!options.deviceId.empty()) {
            printer.setDeviceId(options.deviceId);
        }
        printer.setAckDelay(options.ackDelay);
        printer.refuseNext(options.refuse);
        if (options.refuseAll) {
            printer.setAckMode(sim::AckMode::Refuse);
        }
        if (options.silent) {
            printer.setAckMode(sim::AckMode::Silent);
            printer.setCommandsAnswered(false);
        }
        if (options.paperOut) {
            port.failWrites(0xFFFFFFFFu, CE_OOP, ERROR_OUT_OF_PAPER);
        } else if (options.paperOutWrites != 0) {
            port.failWrites(options.paperOutWrites, CE_OOP, ERROR_OUT_OF_PAPER);
        }
    }
    state_->installed = std::make_unique<ScopedPortSystem>(*state_->ports);
}

LinkedModule::~LinkedModule() {
    state_->installed.reset();
}

TransportTable LinkedModule::exports() const {
    return {TransportInitialize,    TransportUninitialize,
            TransportGetName,       TransportGetConnectionManager,
            TransportGetDiscoverer, TransportGetVisitorManager,
            TransportInstall,       TransportUninstall};
}

std::string LinkedModule::saveReceived(const std::string& path) const {
    if (state_->printer == nullptr) {
        return "";
    }
    sim::Bytes data = state_->printer->printData();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return std::generic_category().message(errno);
    }
    // Every step's errno counts: a full disk shows in the write, the flush or
    // the close.
    errno = 0;
    // Nothing received is an empty file (fwrite takes no null buffer).
    bool written = data.empty() || std::fwrite(data.data(), 1, data.size(), out) == data.size();
    written = std::fflush(out) == 0 && written;
    const int error = errno;
    written = std::fclose(out) == 0 && written;
    return written ? "" : std::generic_category().message(error != 0 ? error : errno);
}

std::string LinkedModule::checkOutput(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        return std::generic_category().message(errno);
    }
    std::fclose(out);
    return "";
}

bool LinkedModule::printPacketsReceived(uint64_t& count) const {
    if (state_->printer == nullptr) {
        return false;
    }
    // A print job sends print packets only: the NPA query is PJL.
    count = state_->printer->packetCount();
    return true;
}

void LinkedModule::reservePrintData(uint64_t bytes) {
    if (state_->printer != nullptr && bytes < SIZE_MAX) {
        state_->printer->reservePrintData(static_cast<size_t>(bytes));
    }
}
