// An open connection to the printer on a port, as a host makes it: found by
// discovery, built by the module's connection manager, opened, asked with
// visitors, written to, closed and released.
#pragma once

#include "Host.h"
#include "PortIdentity.h"
#include "Printers.h"

#include "par1/transport.h"
#include "platform/win32.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

// The bytes as text: printable ASCII as it is, a line end as \n, the rest as
// \xNN.
std::string printable(const uint8_t* bytes, size_t size);

// "LPT1:" to "LPT9:" from the way a person writes a port (lpt2, LPT2:); a
// Failure (ExitUsage) for anything else.
std::string normalisePort(const std::string& text);

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

// An open connection to the printer on a port, released at the end.
class Connection {
public:
    // top is the host's layer that takes what the printer sends; without
    // one, par1's own (HostLayer) shows it.
    Connection(Host& host, const std::string& port, Layer* top = nullptr)
        : host_(host), top_(top != nullptr ? *top : ownTop_) {
        std::vector<Found> found = discover(host);
        auto it = std::find_if(found.begin(), found.end(),
                               [&](const Found& f) { return f.port == port; });
        std::string transportString;
        if (it != found.end()) {
            transportString = it->transportString;
        } else {
            transportString = unidentifiedPrinter(port);
        }
        manager_ = host.exports().getConnectionManager();
        connection_ = manager_->doGet(&top_, transportString, "bidi");
        uint32_t result = connection_->open();
        if (result != 0) {
            manager_->doRelease(connection_);
            fail(ExitNoPrinter, "cannot open the connection to " + port, result,
                 "another program may hold the port; see the log file (par1 log)");
        }
        opened_ = true;
    }
    ~Connection() {
        close();
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

    // Closes the connection, once, from any thread, even while another
    // thread writes through it or asks it something: the read thread stops
    // and the port is closed, so what that thread does next fails. The
    // layers stay until the destructor releases them.
    void close() {
        std::lock_guard<std::mutex> lock(closing_);
        if (opened_) {
            opened_ = false;
            connection_->close();
        }
    }

private:
    // Discovery reports only printers that identify themselves. A port that
    // opens but whose printer gives no identification is printed to all the
    // same, with the transport string discovery would have made for it, as
    // a host that keeps its printers' transport strings does.
    static std::string unidentifiedPrinter(const std::string& port) {
        const PortAnswer answer = askPort(port);
        const bool givesNone =
            answer.queryError == 0 || answer.queryError == ERROR_INVALID_FUNCTION;
        if (!answer.opens || !answer.deviceId.empty() || !givesNone) {
            fail(ExitNoPrinter, "no printer on " + port, ERROR_DEVICE_NOT_CONNECTED,
                 "check that the printer is on and connected (par1 discover lists printers)");
        }
        std::cerr << "par1: the printer on " << port
                  << " gave no IEEE 1284 identification; printing to the port as named\n";
        const unsigned handle = (static_cast<unsigned>(port[3] - '0') & 0x7FF) | 0x1000;
        return "<Portname>" + port + "</Portname><Handle>" + std::to_string(handle) +
               "</Handle><Device>BpdPrinter</Device><Transport>PAR1</Transport>";
    }

    Host& host_;
    HostLayer ownTop_;
    Layer& top_;
    std::mutex closing_;
    ConnectionManager* manager_ = nullptr;
    Layer* connection_ = nullptr;
    bool opened_ = false;
};
