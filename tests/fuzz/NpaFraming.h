// The framing of NPA packets in a byte stream, written from its rules alone,
// to compare the module's packet queue with.
#pragma once

#include "FuzzSupport.h"

namespace par1fuzz {

// The packets of a stream taken whole, written from the framing rules alone:
// a start byte, a length of 2 to 512, and that many bytes after the length
// field; any other byte, an impossible start byte too, is skipped on its
// own.
inline std::vector<Bytes> referencePackets(const Bytes& stream) {
    std::vector<Bytes> packets;
    size_t at = 0;
    while (at + 3 <= stream.size()) {
        if (stream[at] != 0xA5) {
            ++at;
            continue;
        }
        size_t length = (static_cast<size_t>(stream[at + 1]) << 8) | stream[at + 2];
        if (length < 2 || length > 512u) {
            ++at;
            continue;
        }
        if (at + 3 + length > stream.size()) {
            break;
        }
        packets.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                             stream.begin() + static_cast<std::ptrdiff_t>(at + 3 + length));
        at += 3 + length;
    }
    return packets;
}

} // namespace par1fuzz
