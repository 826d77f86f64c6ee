// A connection to the virtual printer on LPT1, made the way a host makes it:
// the module initialised, the connection taken from
// TransportGetConnectionManager with a transport string, opened, and
// visitors from TransportGetVisitorManager sent down it. Header only: the
// test programs that use it link the virtual printer.
//
//     PrinterConnection printer;            // printer attached, nothing open
//     printer.connect();                    // doGet + open
//     printer.write(data);                  // through the top layer
//     printer.sendVisitor("getNpaModeVisitor", &buffer);
#pragma once

#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "entry/TransportExports.h"
#include "port/Par1Adapter.h"
#include "port/PortSystem.h"
#include "protocol/Data.h"
#include "protocol/Layer.h"
#include "shared/BasicLogger.h"
#include "sim/NpaFrames.h"
#include "sim/VirtualPorts.h"
#include "support/TransportEnvironment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace par1test {

using sim::Bytes;

// The host's own top layer: keeps every message that comes up.
class RecordingHost : public Layer {
public:
    RecordingHost() { setName("host"); }

    using Layer::doAccept;
    void doAccept(Data& data) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.emplace_back(data.data(), data.data() + data.size());
        }
        changed_.notify_all();
    }
    // Visitors that travel up end here quietly.
    void doAccept(Visitor&) override {}

    std::vector<Bytes> messages() {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }
    bool waitForMessages(size_t count, DWORD milliseconds) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                 [&] { return messages_.size() >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Bytes> messages_;
};

// A transport string as discovery writes it, for the port's device handle.
inline std::string transportString(unsigned port, bool withHandle = true,
                                   uint32_t maxWritePacketSize = 0) {
    std::string text;
    TransportProperties properties;
    properties.setString(text, PropertyRecords::Transport, "PAR1");
    properties.setString(text, PropertyRecords::Portname, "LPT" + std::to_string(port) + ":");
    if (withHandle) {
        properties.setLong(text, PropertyRecords::Handle, (port & 0x7FF) | 0x1000);
    }
    if (maxWritePacketSize != 0) {
        properties.setLong(text, PropertyRecords::MaxWritePacketSize, maxWritePacketSize);
    }
    return text;
}

class PrinterConnection {
public:
    explicit PrinterConnection(unsigned port = 1)
        : portNumber_(port), printer_(ports_.port(port).attachPrinter()),
          installed_(new ScopedPortSystem(ports_)),
          terminations_(Par1Adapter::terminatedReadThreads()) {
        initialised_ = TransportInitialize() == 0;
    }

    ~PrinterConnection() {
        disconnect();
        installed_.reset();
        TransportUninitialize();
        // The module's shut-down releases the logger; the test program's
        // other tests keep logging.
        BasicLogger::createInstance();
        // Every read of the virtual port ends by itself: a read thread that
        // had to be killed is a fault, whatever the test looked at.
        EXPECT_EQ(terminations_, Par1Adapter::terminatedReadThreads())
            << "a read thread was ended with TerminateThread";
    }

    PrinterConnection(const PrinterConnection&) = delete;
    PrinterConnection& operator=(const PrinterConnection&) = delete;

    // doGet and open; false when either failed.
    bool connect(uint32_t maxWritePacketSize = 0) {
        ConnectionManager* manager = TransportGetConnectionManager();
        if (!initialised_ || manager == nullptr) {
            return false;
        }
        connection_ =
            manager->doGet(&host_, transportString(portNumber_, true, maxWritePacketSize), "bidi");
        if (connection_ == nullptr || connection_->open() != 0) {
            return false;
        }
        opened_ = true;
        return true;
    }

    void disconnect() {
        if (connection_ == nullptr) {
            return;
        }
        if (opened_) {
            connection_->close();
            opened_ = false;
        }
        TransportGetConnectionManager()->doRelease(connection_);
        connection_ = nullptr;
    }

    // Through the connection's top layer; the data's error and count tell.
    void write(Data& data) { connection_->doWrite(data); }

    // A visitor by name, with its data buffer, handed to the top layer to
    // travel down; answers its error.
    uint32_t sendVisitor(const std::string& name, Data* data) {
        VisitorManager* visitors = TransportGetVisitorManager();
        Visitor* visitor = visitors->getVisitor(name);
        visitor->setData(data);
        visitor->setLastLayer(&host_);
        connection_->doAccept(*visitor);
        uint32_t error = visitor->error();
        visitors->releaseVisitor(visitor);
        return error;
    }

    // The channel-0 packets that reached the printer, framing included.
    std::vector<sim::Bytes> printPackets() const {
        std::vector<sim::Bytes> out;
        for (const sim::Bytes& packet : printer_.packets()) {
            if (packet.size() >= 5 && packet[4] == 0x00) {
                out.push_back(packet);
            }
        }
        return out;
    }

    sim::VirtualPorts& ports() { return ports_; }
    sim::VirtualPort& port() { return ports_.port(portNumber_); }
    sim::VirtualPrinter& printer() { return printer_; }
    RecordingHost& host() { return host_; }
    Layer* connection() { return connection_; }

private:
    unsigned portNumber_;
    sim::VirtualPorts ports_;
    sim::VirtualPrinter& printer_;
    std::unique_ptr<ScopedPortSystem> installed_;
    bool initialised_ = false;
    RecordingHost host_;
    Layer* connection_ = nullptr;
    bool opened_ = false;
    unsigned terminations_;
};

// Bytes 0, 1, 2, ... (mod 251), so that a lost, doubled or reordered byte
// shows.
inline sim::Bytes pattern(size_t size) {
    sim::Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(i % 251);
    }
    return bytes;
}

} // namespace par1test
