// Told by a layer that waits for a reply of a known length, so that the
// bottom layer's reads end the moment the reply is there rather than one
// read interval after its last byte. The bottom layer of a connection
// implements it; the connection's maker hands it to the layer that waits.
#pragma once

#include <cstdint>

class ReplyExpectation {
public:
    // From now on, reads ask for length bytes at most; 0 ends that. Safe
    // from any thread.
    virtual void expectReplies(uint32_t length) = 0;

protected:
    ~ReplyExpectation() = default;
};
