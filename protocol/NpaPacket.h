// One NPA packet: 0xA5, a 16-bit big-endian length (the bytes after the length
// field: flags, channel and payload), a flags byte, a channel byte and the
// payload. The packet's bytes are the buffer's unread bytes.
//
// The accessors never read beyond the bytes held: a field that the buffer is
// too short to hold reads as 0.
#pragma once

#include "protocol/Data.h"

#include <array>
#include <cstdint>

class NpaPacket : public Data {
public:
    static const uint8_t startByte = 0xA5;
    static const uint32_t headerSize = 5;
    // Flag bits.
    static const uint8_t refusedFlag = 0x80;
    static const uint8_t controlFlag = 0x40;
    static const uint8_t moreFollowsFlag = 0x20;
    static const uint8_t replyExpectedFlag = 0x10;
    // Channels.
    static const uint8_t printChannel = 0x00;
    static const uint8_t commandChannel = 0xE0;
    static const uint8_t controlChannel = 0xF0;
    static const uint8_t controlChannel2 = 0xFF;

    enum class MergeResult { Merged, OtherChannel, TooLong };

    NpaPacket(const uint8_t* bytes, uint32_t length);
    // The data's unread bytes.
    explicit NpaPacket(const Data& data);
    NpaPacket(const NpaPacket& other);
    NpaPacket& operator=(const NpaPacket& other);
    ~NpaPacket() override;

    uint16_t length() const;
    void setLength(uint16_t length);
    // length() - 2, in 16 bits.
    uint16_t payloadLength() const;
    // Byte 5; null when the packet holds no payload byte.
    const uint8_t* payload() const;
    // Payload bytes actually held (what follows the header).
    uint32_t payloadBytes() const;
    uint8_t flags() const;
    void setFlags(uint8_t flags);
    bool moreFollows() const { return (flags() & moreFollowsFlag) != 0; }
    bool replyExpected() const { return (flags() & replyExpectedFlag) != 0; }
    // Channels 0xF0 and 0xFF.
    bool isControl() const;
    // Byte 4 as it was when the packet was made.
    uint8_t channel() const { return channel_; }

    // Appends next's payload, adds its length to this length field and takes
    // next's flags, so the merged packet ends without moreFollows when next is
    // the last piece. Nothing changes when next is on another channel, or
    // when the merged length would no longer fit the 16-bit length field.
    MergeResult merge(const NpaPacket& next);

    // The header of a packet that carries payloadSize bytes (at most
    // 0xFFFF - 2).
    static std::array<uint8_t, headerSize> header(uint32_t payloadSize, uint8_t flags,
                                                  uint8_t channel);

    // Byte at offset, 0 when the packet is shorter.
    uint8_t byteAt(uint32_t offset) const;

private:
    uint8_t channel_;
};
