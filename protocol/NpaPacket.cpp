#include "protocol/NpaPacket.h"

namespace {

uint8_t channelOf(const NpaPacket& packet) {
    return packet.byteAt(4);
}

} // namespace

NpaPacket::NpaPacket(const uint8_t* bytes, uint32_t length) : Data(bytes, length), channel_(0) {
    channel_ = channelOf(*this);
}

NpaPacket::NpaPacket(const Data& data) : Data(data), channel_(0) {
    channel_ = channelOf(*this);
}

NpaPacket::NpaPacket(const NpaPacket& other) : Data(other), channel_(other.channel_) {}

NpaPacket& NpaPacket::operator=(const NpaPacket& other) {
    Data::operator=(other);
    channel_ = other.channel_;
    return *this;
}

NpaPacket::~NpaPacket() = default;

uint8_t NpaPacket::byteAt(uint32_t offset) const {
    if (offset >= size()) {
        return 0;
    }
    // data() does not change the buffer; it is only not declared const.
    return const_cast<NpaPacket*>(this)->data()[offset];
}

uint16_t NpaPacket::length() const {
    return static_cast<uint16_t>((byteAt(1) << 8) | byteAt(2));
}

void NpaPacket::setLength(uint16_t length) {
    if (size() >= 3) {
        data()[1] = static_cast<uint8_t>(length >> 8);
        data()[2] = static_cast<uint8_t>(length & 0xFF);
    }
}

uint16_t NpaPacket::payloadLength() const {
    return static_cast<uint16_t>(length() - 2);
}

const uint8_t* NpaPacket::payload() const {
    return size() > headerSize ? const_cast<NpaPacket*>(this)->data() + headerSize : nullptr;
}

uint32_t NpaPacket::payloadBytes() const {
    return size() > headerSize ? size() - headerSize : 0;
}

uint8_t NpaPacket::flags() const {
    return byteAt(3);
}

void NpaPacket::setFlags(uint8_t flags) {
    if (size() > 3) {
        data()[3] = flags;
    }
}

bool NpaPacket::isControl() const {
    return size() >= headerSize && (channel_ == controlChannel || channel_ == controlChannel2);
}

NpaPacket::MergeResult NpaPacket::merge(const NpaPacket& next) {
    if (next.channel_ != channel_) {
        return MergeResult::OtherChannel;
    }
    // The bytes that are really there: for whole packets they are exactly the
    // payload that the length field announces.
    uint32_t added = next.payloadBytes();
    if (static_cast<uint32_t>(length()) + added > 0xFFFF) {
        return MergeResult::TooLong;
    }
    uint16_t merged = static_cast<uint16_t>(length() + added);
    if (added != 0) {
        append(next.payload(), added);
    }
    setLength(merged);
    setFlags(next.flags());
    return MergeResult::Merged;
}

std::array<uint8_t, NpaPacket::headerSize> NpaPacket::header(uint32_t payloadSize, uint8_t flags,
                                                             uint8_t channel) {
    const uint32_t length = payloadSize + 2;
    return {startByte, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF),
            flags, channel};
}
