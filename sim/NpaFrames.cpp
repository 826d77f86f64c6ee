#include "sim/NpaFrames.h"

#include <stdexcept>

namespace sim {

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

namespace npa {

Bytes packet(unsigned char channel, unsigned char flags, const Bytes& payload) {
    if (payload.size() > 0xFFFF - 2) {
        throw std::length_error("NPA payload longer than a packet holds");
    }
    const std::size_t length = payload.size() + 2;
    Bytes result;
    result.reserve(headerSize + payload.size());
    result.push_back(start);
    result.push_back(static_cast<unsigned char>(length >> 8));
    result.push_back(static_cast<unsigned char>(length & 0xFF));
    result.push_back(flags);
    result.push_back(channel);
    result.insert(result.end(), payload.begin(), payload.end());
    return result;
}

Bytes acknowledgement(bool accepted) {
    return packet(printChannel, accepted ? 0x00 : refused, Bytes());
}

Bytes waitPacket() {
    return {0xA5, 0x00, 0x05, 0x40, 0xFF, 0x80, 0x00, 0x00};
}

Bytes breakPacket() {
    Bytes payload{0x04};
    const Bytes text = bytes("ReadBreak");
    payload.insert(payload.end(), text.begin(), text.end());
    return packet(0x03, 0x50, payload);
}

unsigned length(const Bytes& packet) {
    return packet.size() < 3 ? 0u : (unsigned(packet[1]) << 8) | packet[2];
}

unsigned char flags(const Bytes& packet) {
    return packet.size() > 3 ? packet[3] : 0;
}

unsigned char channel(const Bytes& packet) {
    return packet.size() > 4 ? packet[4] : 0;
}

Bytes payload(const Bytes& packet) {
    if (packet.size() <= headerSize) {
        return Bytes();
    }
    return Bytes(packet.begin() + headerSize, packet.end());
}

} // namespace npa
} // namespace sim
