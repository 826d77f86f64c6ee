#include "protocol/NpaReplyMatcher.h"

#include "protocol/NpaPacket.h"

#include <cstdint>

namespace {

const uint8_t queryCommand = 'q';
const uint8_t anyCommand = 'a';
const uint8_t extendedCommand = 0x81;
const uint8_t anyStatus = 0xF0;

// A byte of the buffer, or -1 beyond its end, so that a missing byte never
// equals a real one.
int byteAt(const Data& data, uint32_t offset) {
    if (offset >= data.size()) {
        return -1;
    }
    return const_cast<Data&>(data).data()[offset];
}

} // namespace

NpaReplyMatcher::NpaReplyMatcher(const Data& request) : request_(request) {}

bool NpaReplyMatcher::matches(const Data& reply) const {
    if (byteAt(request_, 0) != NpaPacket::startByte) {
        return false;
    }
    int channel = byteAt(request_, 4);
    if (channel < 0 || reply.size() < NpaPacket::headerSize) {
        return false;
    }
    if (byteAt(reply, 0) != NpaPacket::startByte || byteAt(reply, 4) != channel) {
        return false;
    }
    bool command = channel == NpaPacket::commandChannel;
    if (reply.size() > 5) {
        if (byteAt(reply, 5) != byteAt(request_, 5)) {
            return false;
        }
        if (command && byteAt(reply, 5) == queryCommand) {
            return true;
        }
    }
    if (reply.size() > 6 && command && byteAt(reply, 6) != byteAt(request_, 6) &&
        byteAt(request_, 5) != anyCommand) {
        return false;
    }
    if (reply.size() < 8 || !command || byteAt(request_, 5) != extendedCommand) {
        return true;
    }
    return byteAt(reply, 7) == byteAt(request_, 7) || byteAt(reply, 7) == anyStatus;
}
