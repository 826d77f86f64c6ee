// The device URI of a PAR1 queue: par1:/LPTn, with options for the settings
// a queue may want, for example par1:/LPT1?wrap=off&packet-size=16384.
//
//   wrap=auto          wrap the job into NPA packets when the printer speaks
//                      NPA (the default)
//   wrap=off           send the job as it is, even to a printer that speaks NPA
//   packet-size=N      the largest NPA packet, 6 to 65538 bytes (default: the
//                      module's MaxWritePacketSize, 4096)
//
// No option chooses the virtual printer: only the scheduler's own
// configuration can (see VirtualPrinterSettings.h).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class DeviceUri {
public:
    // A URI that is not one of the above; what() says what is wrong with it.
    class Invalid : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    // Throws Invalid.
    static DeviceUri parse(const std::string& text);
    // The URI of the printer on a port ("LPT1:" gives par1:/LPT1).
    static std::string of(const std::string& port);

    static const char* const scheme; // "par1"
    static const uint32_t smallestPacketSize = 6;
    static const uint32_t largestPacketSize = 65538;

    const std::string& port() const { return port_; } // "LPT1:" to "LPT9:"
    bool wrapOff() const { return wrapOff_; }
    uint32_t packetSize() const { return packetSize_; } // 0: the module's setting

private:
    std::string port_;
    bool wrapOff_ = false;
    uint32_t packetSize_ = 0;
};
