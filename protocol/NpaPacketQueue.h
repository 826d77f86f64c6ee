// Cuts the byte stream that the printer sends into whole NPA packets and the
// runs of bytes between them, in the order they came. A packet starts with
// 0xA5 and a length of 2 to 512; every other byte belongs to no packet (the
// text of a PJL answer, or garbage), and a start byte with an impossible
// length costs only itself: the stream resynchronises on the next start
// byte. A packet split over several appends comes out once its last byte
// has arrived, whatever the split, so a piece of a packet is never taken for
// anything else. At most one unfinished packet (515 bytes) is held.
#pragma once

#include "protocol/Data.h"
#include "protocol/NpaPacket.h"

#include <cstdint>
#include <deque>

class NpaPacketQueue {
public:
    // The largest length field a packet from the printer may carry.
    static const uint32_t maximumLength = 512;

    // A whole packet, or a run of bytes outside every packet.
    struct Piece {
        bool isPacket;
        NpaPacket bytes;
    };

    NpaPacketQueue();

    // Appends the data's unread bytes, then cuts out every whole packet and
    // every run of bytes that can belong to none.
    void append(const Data& data);
    bool hasPiece() const { return !pieces_.empty(); }
    // The oldest piece, removed; an empty run when there is none.
    Piece pop();
    // Whole packets among the pieces not yet taken.
    uint32_t packetCount() const { return count_; }
    // Bytes held that are not yet part of a whole packet.
    uint32_t heldBytes() const { return accumulator_.size(); }

private:
    void cut();
    void addStray(const uint8_t* bytes, uint32_t size);

    Data accumulator_;
    std::deque<Piece> pieces_;
    uint32_t count_;
};
