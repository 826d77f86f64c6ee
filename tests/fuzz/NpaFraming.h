// The framing of NPA packets in a byte stream, written from its rules alone,
// to compare the module's packet queue with.
#pragma once

#include "FuzzSupport.h"

namespace par1fuzz {

// A whole packet, or a run of bytes that belongs to no packet.
struct StreamPiece {
    bool isPacket;
    Bytes bytes;
    bool operator==(const StreamPiece& other) const {
        return isPacket == other.isPacket && bytes == other.bytes;
    }
};

// The pieces of a stream, written from the framing rules alone: a packet is
// a start byte, a length of 2 to 512, and that many bytes after the length
// field; any other byte, an impossible start byte too, belongs to no packet,
// and such bytes next to each other make one run. What could still become
// a packet (a start byte near the end, an unfinished packet) is held: its
// size is in held.
inline std::vector<StreamPiece> referencePieces(const Bytes& stream, size_t* held = nullptr) {
    std::vector<StreamPiece> pieces;
    auto stray = [&](uint8_t byte) {
        if (pieces.empty() || pieces.back().isPacket) {
            pieces.push_back(StreamPiece{false, Bytes()});
        }
        pieces.back().bytes.push_back(byte);
    };
    size_t at = 0;
    while (at < stream.size()) {
        if (stream[at] != 0xA5) {
            stray(stream[at++]);
            continue;
        }
        if (at + 3 > stream.size()) {
            break;
        }
        size_t length = (static_cast<size_t>(stream[at + 1]) << 8) | stream[at + 2];
        if (length < 2 || length > 512u) {
            stray(stream[at++]);
            continue;
        }
        if (at + 3 + length > stream.size()) {
            break;
        }
        pieces.push_back(StreamPiece{
            true, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at),
                        stream.begin() + static_cast<std::ptrdiff_t>(at + 3 + length))});
        at += 3 + length;
    }
    if (held != nullptr) {
        *held = stream.size() - at;
    }
    return pieces;
}

// The whole packets of a stream.
inline std::vector<Bytes> referencePackets(const Bytes& stream) {
    std::vector<Bytes> packets;
    for (StreamPiece& piece : referencePieces(stream)) {
        if (piece.isPacket) {
            packets.push_back(std::move(piece.bytes));
        }
    }
    return packets;
}

} // namespace par1fuzz
