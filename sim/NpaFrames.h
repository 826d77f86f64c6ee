// The printer's side of NPA framing: building the packets a printer sends and
// reading the header of the packets it receives.
//
// A packet is 0xA5, a 16-bit big-endian length (the bytes after the length
// field), a flags byte, a channel byte and the payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<unsigned char>;

// The bytes of a text, without a terminating zero.
Bytes bytes(const std::string& text);

namespace npa {

constexpr unsigned char start = 0xA5;
constexpr std::size_t headerSize = 5;
constexpr unsigned char refused = 0x80;
constexpr unsigned char control = 0x40;
constexpr unsigned char moreFollows = 0x20;
constexpr unsigned char replyExpected = 0x10;
constexpr unsigned char printChannel = 0x00;

// A packet on a channel; the payload may be up to 65533 bytes.
Bytes packet(unsigned char channel, unsigned char flags, const Bytes& payload);
// The acknowledgement of a print packet: accepted or refused.
Bytes acknowledgement(bool accepted);
// The packet that asks a waiting sender to go on waiting.
Bytes waitPacket();
// The packet a printer sends when it breaks off a read.
Bytes breakPacket();

// Header fields of a whole packet (at least headerSize bytes).
unsigned length(const Bytes& packet);
unsigned char flags(const Bytes& packet);
unsigned char channel(const Bytes& packet);
Bytes payload(const Bytes& packet);

} // namespace npa
} // namespace sim
