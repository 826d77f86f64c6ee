#include "protocol/NpaPacket.h"
#include "protocol/NpaReplyMatcher.h"

#include "NpaTestBytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using npatest::buffer;
using npatest::dump;
using npatest::hex;
using npatest::packet;

TEST(NpaPacket, ReadsHeaderFields) {
    std::vector<uint8_t> bytes = hex("a5 00 05 30 e0 71 72 73");
    NpaPacket p(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_EQ(5u, p.length());
    EXPECT_EQ(3u, p.payloadLength());
    EXPECT_EQ(3u, p.payloadBytes());
    EXPECT_EQ(0x71, p.payload()[0]);
    EXPECT_EQ(0x30, p.flags());
    EXPECT_TRUE(p.moreFollows());
    EXPECT_TRUE(p.replyExpected());
    EXPECT_EQ(0xE0, p.channel());
    EXPECT_FALSE(p.isControl());

    EXPECT_TRUE(NpaPacket(buffer("a5 00 02 00 f0")).isControl());
    EXPECT_TRUE(NpaPacket(buffer("a5 00 02 00 ff")).isControl());

    p.setLength(0x1234);
    p.setFlags(0x00);
    EXPECT_EQ("a5 12 34 00 e0 71 72 73", dump(p));
    EXPECT_FALSE(p.moreFollows());
}

TEST(NpaPacket, ShortBuffersReadAsZeroAndAreNeverWrittenPast) {
    NpaPacket empty(buffer(""));
    EXPECT_EQ(0u, empty.length());
    EXPECT_EQ(0u, empty.flags());
    EXPECT_EQ(nullptr, empty.payload());
    EXPECT_EQ(0u, empty.payloadBytes());
    EXPECT_FALSE(empty.isControl());
    empty.setLength(7);
    empty.setFlags(0x10);
    EXPECT_EQ(0u, empty.size());

    NpaPacket three(buffer("a5 00 ff"));
    EXPECT_EQ(0xFFu, three.length());
    EXPECT_EQ(0u, three.flags());
    three.setFlags(0x10);
    EXPECT_EQ("a5 00 ff", dump(three));
}

TEST(NpaPacket, MergeJoinsPiecesOfOneChannel) {
    NpaPacket first(buffer(packet(0x02, 0x20, hex("41 42"))));
    NpaPacket second(buffer(packet(0x02, 0x10, hex("43 44 45"))));
    EXPECT_EQ(NpaPacket::MergeResult::Merged, first.merge(second));
    // The length covers both payloads; the flags are the second's.
    EXPECT_EQ("a5 00 07 10 02 41 42 43 44 45", dump(first));
    EXPECT_FALSE(first.moreFollows());

    NpaPacket other(buffer(packet(0x03, 0x00, hex("46"))));
    EXPECT_EQ(NpaPacket::MergeResult::OtherChannel, first.merge(other));
    EXPECT_EQ("a5 00 07 10 02 41 42 43 44 45", dump(first));
}

TEST(NpaPacket, MergeRefusesALengthBeyondSixteenBits) {
    std::vector<uint8_t> big(65530, 0x41);
    NpaPacket pending(buffer(packet(0x02, 0x20, big)));
    ASSERT_EQ(65532u, pending.length());
    NpaPacket fits(buffer(packet(0x02, 0x20, hex("42 43 44"))));
    EXPECT_EQ(NpaPacket::MergeResult::Merged, pending.merge(fits));
    EXPECT_EQ(0xFFFFu, pending.length());
    NpaPacket oneMore(buffer(packet(0x02, 0x00, hex("45"))));
    EXPECT_EQ(NpaPacket::MergeResult::TooLong, pending.merge(oneMore));
    EXPECT_EQ(0xFFFFu, pending.length());
    EXPECT_EQ(0xFFFFu + 3, pending.size());
    EXPECT_TRUE(pending.moreFollows());
}

namespace {

struct MatchCase {
    const char* name;
    const char* request;
    const char* reply;
    bool matches;
};

} // namespace

TEST(NpaReplyMatcher, AcceptsOnlyAnswersToTheRequest) {
    const MatchCase cases[] = {
        {"same channel, no payload in reply", "a5 00 03 10 05 61", "a5 00 02 00 05", true},
        {"other channel", "a5 00 03 10 05 61", "a5 00 03 00 06 61", false},
        {"reply too short", "a5 00 03 10 05 61", "a5 00 02 00", false},
        {"reply without start byte", "a5 00 03 10 05 61", "a4 00 03 00 05 61", false},
        {"request without start byte", "00 00 03 10 05 61", "a5 00 03 00 05 61", false},
        {"empty request", "", "a5 00 03 00 05 61", false},
        {"request without channel byte", "a5 00 03 10", "a5 00 03 00 05 61", false},
        {"first payload byte differs", "a5 00 03 10 05 61", "a5 00 03 00 05 62", false},
        {"first payload byte missing in request", "a5 00 02 10 05", "a5 00 03 00 05 62", false},
        {"other channels ignore later bytes", "a5 00 04 10 05 61 01", "a5 00 05 00 05 61 02 03",
         true},
        {"0xe0 'q' matches on that byte alone", "a5 00 04 10 e0 71 01", "a5 00 05 00 e0 71 09 09",
         true},
        {"0xe0 second byte differs", "a5 00 04 10 e0 62 01", "a5 00 04 00 e0 62 02", false},
        {"0xe0 second byte differs after 'a'", "a5 00 04 10 e0 61 01", "a5 00 04 00 e0 61 02",
         true},
        {"0xe0 second byte equal", "a5 00 04 10 e0 62 01", "a5 00 04 00 e0 62 01", true},
        {"0xe0 0x81 status byte equal", "a5 00 05 10 e0 81 01 07", "a5 00 06 00 e0 81 01 07 00",
         true},
        {"0xe0 0x81 status byte 0xf0", "a5 00 05 10 e0 81 01 07", "a5 00 05 00 e0 81 01 f0", true},
        {"0xe0 0x81 status byte differs", "a5 00 05 10 e0 81 01 07", "a5 00 05 00 e0 81 01 08",
         false},
        {"0xe0 0x81 request without status byte", "a5 00 04 10 e0 81 01", "a5 00 05 00 e0 81 01 08",
         false},
        {"0xe0 0x81 reply of seven bytes", "a5 00 05 10 e0 81 01 07", "a5 00 04 00 e0 81 01", true},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.name);
        NpaReplyMatcher matcher(buffer(c.request));
        EXPECT_EQ(c.matches, matcher.matches(buffer(c.reply)));
    }
}
