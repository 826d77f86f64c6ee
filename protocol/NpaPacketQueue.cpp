#include "protocol/NpaPacketQueue.h"

#include <cstring>

NpaPacketQueue::NpaPacketQueue() : accumulator_(0, 255), count_(0) {}

void NpaPacketQueue::append(const Data& data) {
    accumulator_.append(data);
    cut();
    // Consumed bytes stay in the storage until it is compacted; what is left
    // is at most one unfinished packet, so this keeps the storage small.
    accumulator_.consume(0, true);
}

NpaPacketQueue::Piece NpaPacketQueue::pop() {
    if (pieces_.empty()) {
        return Piece{false, NpaPacket(nullptr, 0)};
    }
    Piece piece = std::move(pieces_.front());
    pieces_.pop_front();
    if (piece.isPacket) {
        --count_;
    }
    return piece;
}

void NpaPacketQueue::addStray(const uint8_t* bytes, uint32_t size) {
    if (!pieces_.empty() && !pieces_.back().isPacket) {
        pieces_.back().bytes.append(bytes, size);
        return;
    }
    pieces_.push_back(Piece{false, NpaPacket(bytes, size)});
}

void NpaPacketQueue::cut() {
    while (accumulator_.size() != 0) {
        const uint8_t* bytes = accumulator_.data();
        uint32_t held = accumulator_.size();
        if (bytes[0] != NpaPacket::startByte) {
            const void* next = std::memchr(bytes + 1, NpaPacket::startByte, held - 1);
            uint32_t run = next != nullptr
                               ? static_cast<uint32_t>(static_cast<const uint8_t*>(next) - bytes)
                               : held;
            addStray(bytes, run);
            accumulator_.consume(run, false);
            continue;
        }
        if (held < 3) {
            return;
        }
        uint32_t length = (static_cast<uint32_t>(bytes[1]) << 8) | bytes[2];
        // A packet has at least its flags and channel after the length field.
        // A start byte with an impossible length is dropped alone: the byte
        // after it may be the start of the next real packet.
        if (length > maximumLength || length < NpaPacket::headerSize - 3) {
            addStray(bytes, 1);
            accumulator_.consume(1, false);
            continue;
        }
        if (held < length + 3) {
            return;
        }
        pieces_.push_back(Piece{true, NpaPacket(bytes, length + 3)});
        ++count_;
        accumulator_.consume(length + 3, false);
    }
}
