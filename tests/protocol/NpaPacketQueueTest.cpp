#include "protocol/NpaPacketQueue.h"

#include "NpaTestBytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using npatest::buffer;
using npatest::dump;

namespace {

struct ResyncCase {
    const char* name;
    std::vector<std::string> appends; // hex text of each append
    // Pieces that come out, in order; a run of bytes outside every packet
    // is written with a leading "~ ".
    std::vector<std::string> pieces;
    uint32_t held; // bytes left waiting afterwards
};

std::vector<std::string> drain(NpaPacketQueue& queue) {
    std::vector<std::string> out;
    while (queue.hasPiece()) {
        NpaPacketQueue::Piece piece = queue.pop();
        out.push_back((piece.isPacket ? "" : "~ ") + dump(piece.bytes));
    }
    return out;
}

std::string filler(unsigned bytes) {
    std::string text;
    for (unsigned i = 0; i < bytes; ++i) {
        text += "41 ";
    }
    return text;
}

} // namespace

TEST(NpaPacketQueue, ResynchronisesAndCutsPackets) {
    const std::string long512 = "a5 02 00 10 00 " + filler(510);
    const ResyncCase cases[] = {
        {"empty payload is a whole packet", {"a5 00 02 00 00"}, {"a5 00 02 00 00"}, 0},
        {"leading garbage before a start byte is a run of its own",
         {"00 11 a5 00 03 10 00 41"},
         {"~ 00 11", "a5 00 03 10 00 41"},
         0},
        {"garbage without a start byte comes out at once", {"01 02 03 04"}, {"~ 01 02 03 04"}, 0},
        {"garbage and a packet in separate appends",
         {"01 02 03 04", "a5 00 02 00 00"},
         {"~ 01 02 03 04", "a5 00 02 00 00"},
         0},
        {"length 513 is never a packet",
         {"a5 02 01 " + filler(513)},
         {"~ a5 02 01 " + filler(513)},
         0},
        {"length 513 is skipped and the search goes on",
         {"a5 02 01 a5 00 02 00 00"},
         {"~ a5 02 01", "a5 00 02 00 00"},
         0},
        {"length 512 is the largest packet", {long512}, {long512.substr(0, long512.size() - 1)}, 0},
        {"lengths below the header are impossible too",
         {"a5 00 00 a5 00 01 a5 00 02 00 ff"},
         {"~ a5 00 00 a5 00 01", "a5 00 02 00 ff"},
         0},
        {"a stray start byte costs only itself: the packet right after it comes out",
         {"a5 a5 00 02 00 00"},
         {"~ a5", "a5 00 02 00 00"},
         0},
        {"a stray start byte in an append of its own",
         {"a5 a5", "00 02 00 00"},
         {"~ a5", "a5 00 02 00 00"},
         0},
        {"a split packet comes out with its last byte",
         {"a5 00", "04 10", "00 41", "42"},
         {"a5 00 04 10 00 41 42"},
         0},
        {"the short answer split as a port may hand it over",
         {"a5 00", "02 80", "00", "a5 00 02 00 00"},
         {"a5 00 02 80 00", "a5 00 02 00 00"},
         0},
        {"an unfinished packet waits", {"a5 00 04 10 00 41"}, {}, 6},
        {"two packets in one append, garbage between",
         {"a5 00 02 00 00 ff ee a5 00 03 00 02 7a"},
         {"a5 00 02 00 00", "~ ff ee", "a5 00 03 00 02 7a"},
         0},
        {"text, a packet and text again keep their order",
         {"40 50 a5 00 02 00 00 0c"},
         {"~ 40 50", "a5 00 02 00 00", "~ 0c"},
         0},
        {"fewer than three bytes wait", {"a5 00"}, {}, 2},
        {"a start byte that is the last byte is kept", {"10 20 30 a5"}, {"~ 10 20 30"}, 1},
    };
    for (const ResyncCase& c : cases) {
        SCOPED_TRACE(c.name);
        NpaPacketQueue queue;
        for (const std::string& text : c.appends) {
            queue.append(buffer(text));
        }
        std::vector<std::string> expected;
        uint32_t packets = 0;
        for (const std::string& p : c.pieces) {
            packets += p[0] != '~' ? 1 : 0;
            // The table writes each byte followed by a blank.
            std::string trimmed = p;
            while (!trimmed.empty() && trimmed.back() == ' ') {
                trimmed.pop_back();
            }
            expected.push_back(trimmed);
        }
        EXPECT_EQ(packets, queue.packetCount());
        EXPECT_EQ(expected, drain(queue));
        EXPECT_EQ(c.held, queue.heldBytes());
        EXPECT_EQ(0u, queue.packetCount());
    }
}

TEST(NpaPacketQueue, PopOnEmptyQueueGivesEmptyRun) {
    NpaPacketQueue queue;
    EXPECT_FALSE(queue.hasPiece());
    NpaPacketQueue::Piece piece = queue.pop();
    EXPECT_FALSE(piece.isPacket);
    EXPECT_EQ(0u, piece.bytes.size());
}

TEST(NpaPacketQueue, HeldBytesStayBoundedUnderEndlessGarbage) {
    NpaPacketQueue queue;
    std::vector<uint8_t> garbage(4096, 0x41);
    for (int i = 0; i < 64; ++i) {
        queue.append(buffer(garbage));
        EXPECT_EQ(0u, queue.heldBytes());
        EXPECT_EQ(4096u, queue.pop().bytes.size());
    }
    // A start byte with a huge length and nothing else: still at most one
    // unfinished packet is held.
    std::vector<uint8_t> unfinished{0xA5, 0x02, 0x00};
    unfinished.resize(400, 0x00);
    queue.append(buffer(unfinished));
    EXPECT_FALSE(queue.hasPiece());
    EXPECT_LE(queue.heldBytes(), 515u);
}
