// Tells from a printer's IEEE 1284 device identification whether it belongs
// to the CPD class, which this transport does not report: such printers name
// both "CPDNPA00" and "XNPAP", anywhere and in either order. A process-wide
// singleton.
#pragma once

#include <string>

class Par1Authorizer {
public:
    // Made on first use; safe from any thread.
    static Par1Authorizer* getInstance();
    // Deletes the instance; a later getInstance makes a new one.
    static void destroyInstance();

    virtual ~Par1Authorizer();
    Par1Authorizer(const Par1Authorizer&) = delete;
    Par1Authorizer& operator=(const Par1Authorizer&) = delete;

    // The identification up to its first zero character, with the ASCII
    // letters upper-cased, holds both tokens.
    bool isDeviceCpd(const std::string& deviceId) const;

private:
    Par1Authorizer();
};
