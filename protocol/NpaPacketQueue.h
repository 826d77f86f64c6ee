// Cuts the byte stream that the printer sends into whole NPA packets. Bytes
// that cannot belong to a packet are dropped: the stream resynchronises on
// the next start byte (0xA5), and a start byte with an impossible length
// costs only itself. A packet split over several appends comes out once its
// last byte has arrived. At most one unfinished packet (515 bytes) is held.
#pragma once

#include "protocol/Data.h"
#include "protocol/NpaPacket.h"

#include <cstdint>
#include <list>

class NpaPacketQueue {
public:
    // The largest length field a packet from the printer may carry.
    static const uint32_t maximumLength = 512;

    NpaPacketQueue();

    // Appends the data's unread bytes, then cuts out every whole packet.
    void append(const Data& data);
    bool hasPacket() const { return !packets_.empty(); }
    // The oldest packet, removed; an empty one when there is none.
    NpaPacket pop();
    uint32_t packetCount() const { return count_; }
    // Bytes held that are not yet part of a whole packet.
    uint32_t heldBytes() const { return accumulator_.size(); }

private:
    void cut();

    Data accumulator_;
    std::list<NpaPacket> packets_;
    uint32_t count_;
};
