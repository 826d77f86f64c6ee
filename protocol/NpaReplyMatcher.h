// Decides whether a message received from the printer answers a command
// packet that was sent: same start byte and channel, and on the command
// channel 0xE0 the command bytes that the printer echoes.
#pragma once

#include "protocol/Data.h"

class NpaReplyMatcher {
public:
    // Keeps a copy of the sent packet.
    explicit NpaReplyMatcher(const Data& request);

    bool matches(const Data& reply) const;

private:
    Data request_;
};
