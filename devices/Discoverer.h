// The object through which a host finds printers: attach observers (it is a
// Subject), then call discover; every printer found is delivered to each
// observer's update(text) as a transport string, once per discover call, on
// the calling thread. A printer that has gone is simply not reported.
//
// Its virtual operations follow Subject's eight (slots 0 to 7). Defined here
// with only the standard library and Subject, so that it can be published in
// the host header as it stands.
#pragma once

#include "devices/Subject.h"

#include <cstdint>
#include <string>

class Discoverer : public Subject {
public:
    Discoverer();
    ~Discoverer() override;

    // [slot 8] Runs a discovery; the text is not used. 0 when it ran; the
    // generic discoverer answers 1 and does nothing.
    virtual uint32_t doDiscover(const std::string& text);
    // [slots 9 to 12] Constant queries that no caller in this module uses.
    // [slot 9] Whether a discovery is still running when discover returns.
    virtual uint32_t isDiscovering() const;
    // [slot 10] Whether discover returns before the observers were told.
    virtual uint32_t isAsynchronous() const;
    // [slot 11] Whether a running discovery can be cancelled.
    virtual uint32_t canCancel() const;
    // [slot 12] Whether the printers found are attached to this machine.
    virtual uint32_t isLocal() const;

    // doDiscover with the same text; its answer.
    uint32_t discover(const std::string& text);

    const std::string& getDiscovererName() const { return name_; }

private:
    std::string name_;
};
