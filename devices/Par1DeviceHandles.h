// The device handle of a parallel port: (port number AND 0x7FF) OR 0x1000,
// so LPT1: is 4097. It names a printer in its transport string and keys its
// connection. A process-wide singleton.
#pragma once

#include <cstdint>

class Par1DeviceHandles {
public:
    // Made on first use; safe from any thread.
    static Par1DeviceHandles* getInstance();
    // Deletes the instance; a later getInstance makes a new one.
    static void destroyInstance();

    virtual ~Par1DeviceHandles();
    Par1DeviceHandles(const Par1DeviceHandles&) = delete;
    Par1DeviceHandles& operator=(const Par1DeviceHandles&) = delete;

    // Only the low 11 bits of the port number count.
    void get(uint32_t portNumber, uint32_t& handle) const;

    static uint32_t handleOf(uint32_t portNumber) { return (portNumber & 0x7FFu) | 0x1000u; }

private:
    Par1DeviceHandles();
};
