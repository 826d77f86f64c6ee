#include "protocol/Data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string unread(Data& d) {
    return std::string(reinterpret_cast<const char*>(d.data()), d.size());
}

const uint8_t* bytesOf(const char* text) {
    return reinterpret_cast<const uint8_t*>(text);
}

} // namespace

TEST(Data, ConstructorsFillCopyOrTakeText) {
    Data filled(3, 0x41);
    EXPECT_EQ("AAA", unread(filled));
    EXPECT_EQ(0u, filled.error());
    EXPECT_EQ(0u, filled.count());

    Data empty(0, 255);
    EXPECT_EQ(0u, empty.size());
    EXPECT_NE(nullptr, empty.data());

    Data copied(bytesOf("abc"), 3);
    EXPECT_EQ("abc", unread(copied));

    Data fromNull(nullptr, 10);
    EXPECT_EQ(0u, fromNull.size());

    Data text(std::string("PJL\0x", 5));
    EXPECT_EQ(5u, text.size());
    EXPECT_EQ(std::string("PJL\0x", 5), unread(text));
    EXPECT_EQ(0u, Data(std::string()).size());
}

TEST(Data, CopyReadsFromItsFirstByteAndKeepsStatus) {
    Data source(std::string("headerBODY"));
    source.consume(6, false);
    source.setError(1460);
    source.setCount(42);

    Data copy(source);
    EXPECT_EQ("BODY", unread(copy));
    EXPECT_EQ(1460u, copy.error());
    EXPECT_EQ(42u, copy.count());
    // The copy's first byte is its storage's first byte: consuming it all and
    // compacting leaves nothing behind, and appending starts afresh.
    copy.consume(4, true);
    EXPECT_EQ(0u, copy.size());

    Data assigned(std::string("old contents"));
    assigned = source;
    EXPECT_EQ("BODY", unread(assigned));
    EXPECT_EQ(1460u, assigned.error());
    EXPECT_EQ(42u, assigned.count());

    // The copy is independent of its source.
    assigned.data()[0] = 'X';
    EXPECT_EQ("BODY", unread(source));

    Data& alias = assigned;
    assigned = alias;
    EXPECT_EQ("XODY", unread(assigned));
}

TEST(Data, EqualityComparesUnreadBytesOnly) {
    Data a(std::string("xxabc"));
    a.consume(2, false);
    Data b(std::string("abc"));
    b.setError(5);
    b.setCount(9);
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a == a);
    EXPECT_FALSE(a == Data(std::string("abd")));
    EXPECT_FALSE(a == Data(std::string("ab")));
    EXPECT_TRUE(Data(0, 255) == Data(0, 0));
    EXPECT_TRUE(a != Data(std::string("abcd")));
}

struct ConsumeCase {
    const char* name;
    const char* start;
    uint32_t n;
    bool compact;
    const char* expected;
};

class DataConsume : public ::testing::TestWithParam<ConsumeCase> {};

TEST_P(DataConsume, MovesTheReadPositionOnlyWithinTheBuffer) {
    const ConsumeCase& c = GetParam();
    Data d{std::string(c.start)};
    d.consume(c.n, c.compact);
    EXPECT_EQ(c.expected, unread(d));
    // Whatever happened, the buffer still appends after its unread bytes.
    d.append(bytesOf("!"), 1);
    EXPECT_EQ(std::string(c.expected) + "!", unread(d));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataConsume,
    ::testing::Values(ConsumeCase{"none", "abcdef", 0, false, "abcdef"},
                      ConsumeCase{"some", "abcdef", 2, false, "cdef"},
                      ConsumeCase{"all", "abcdef", 6, false, ""},
                      ConsumeCase{"oneTooMany", "abcdef", 7, false, "abcdef"},
                      ConsumeCase{"huge", "abcdef", 0xFFFFFFFFu, false, "abcdef"},
                      ConsumeCase{"someCompact", "abcdef", 2, true, "cdef"},
                      ConsumeCase{"allCompact", "abcdef", 6, true, ""},
                      ConsumeCase{"hugeCompact", "abcdef", 0xFFFFFFFFu, true, "abcdef"},
                      ConsumeCase{"emptyBuffer", "", 1, false, ""}),
    [](const ::testing::TestParamInfo<ConsumeCase>& info) { return info.param.name; });

TEST(Data, ConsumeAddsUpAndCompactMovesTheRestToTheStart) {
    Data d(std::string("0123456789"));
    d.consume(3, false);
    d.consume(3, false);
    EXPECT_EQ("6789", unread(d));
    d.consume(5, false); // more than is left: nothing
    EXPECT_EQ("6789", unread(d));
    const uint8_t* before = d.data();
    d.consume(0, true);
    EXPECT_EQ("6789", unread(d));
    EXPECT_EQ(before - 6, d.data()); // same storage, moved to its start
}

struct AppendCase {
    const char* name;
    const char* start;
    uint32_t consumed;
    const char* bytes; // null: a null pointer
    uint32_t length;
    const char* expected;
    uint32_t error;
};

class DataAppend : public ::testing::TestWithParam<AppendCase> {};

TEST_P(DataAppend, AppendsAfterTheUnreadBytes) {
    const AppendCase& c = GetParam();
    Data d{std::string(c.start)};
    d.consume(c.consumed, false);
    d.append(c.bytes != nullptr ? bytesOf(c.bytes) : nullptr, c.length);
    EXPECT_EQ(c.expected, unread(d));
    EXPECT_EQ(c.error, d.error());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataAppend,
    ::testing::Values(AppendCase{"toEmpty", "", 0, "xyz", 3, "xyz", 0},
                      AppendCase{"afterUnread", "abc", 0, "xyz", 3, "abcxyz", 0},
                      AppendCase{"keepsReadPosition", "abcdef", 4, "xyz", 3, "efxyz", 0},
                      AppendCase{"nothing", "abc", 0, "xyz", 0, "abc", 0},
                      AppendCase{"nullNothing", "abc", 0, nullptr, 0, "abc", 0},
                      AppendCase{"nullWithLength", "abc", 0, nullptr, 5, "abc", 87},
                      // The length would take the buffer past 32 bits: refused
                      // before a byte is read.
                      AppendCase{"tooLong", "abc", 0, "x", 0xFFFFFFFFu, "abc", 87},
                      AppendCase{"tooLongByOne", "abc", 0, "x", 0xFFFFFFFDu, "abc", 87}),
    [](const ::testing::TestParamInfo<AppendCase>& info) { return info.param.name; });

TEST(Data, AppendKeepsTheReadPositionWhenTheStorageGrows) {
    Data d(std::string("skipKEEP"));
    d.consume(4, false);
    std::vector<uint8_t> large(100000, 0x5A);
    d.append(large.data(), static_cast<uint32_t>(large.size()));
    ASSERT_EQ(4u + large.size(), d.size());
    EXPECT_EQ("KEEP", unread(d).substr(0, 4));
    EXPECT_EQ(0x5A, d.data()[d.size() - 1]);
}

TEST(Data, AppendsItsOwnBytes) {
    // Growing the storage must not lose the bytes being copied from it.
    Data d(std::string("xxabcd"));
    d.consume(2, false);
    d.append(d);
    EXPECT_EQ("abcdabcd", unread(d));
    for (int i = 0; i < 8; ++i) {
        d.append(d.data() + 1, 2);
    }
    EXPECT_EQ("abcdabcdbcbcbcbcbcbcbcbc", unread(d));
    // A range that starts inside but runs past the buffer is refused.
    Data small(std::string("abc"));
    small.append(small.data() + 1, 5);
    EXPECT_EQ("abc", unread(small));
    EXPECT_EQ(87u, small.error());
}

TEST(Data, AppendTakesTheOtherBuffersUnreadBytes) {
    Data other(std::string("---tail"));
    other.consume(3, false);
    Data d(std::string("head"));
    d.append(other);
    EXPECT_EQ("headtail", unread(d));
    d.append(Data(0, 255));
    EXPECT_EQ("headtail", unread(d));
    EXPECT_EQ(0u, d.error());
}

TEST(Data, ClearEmptiesAndResetsStatus) {
    Data d(std::string("abcdef"));
    d.consume(2, false);
    d.setError(29);
    d.setCount(6);
    d.clear();
    EXPECT_EQ(0u, d.size());
    EXPECT_EQ(0u, d.error());
    EXPECT_EQ(0u, d.count());
    d.append(bytesOf("new"), 3);
    EXPECT_EQ("new", unread(d));
}

struct OverwriteCase {
    const char* name;
    const char* start;
    uint32_t consumed;
    const char* bytes; // null: a null pointer
    uint32_t length;
    bool result;
    const char* expected;
};

class DataOverwriteTail : public ::testing::TestWithParam<OverwriteCase> {};

TEST_P(DataOverwriteTail, KeepsExactlyLengthBytes) {
    const OverwriteCase& c = GetParam();
    Data d{std::string(c.start)};
    d.consume(c.consumed, false);
    EXPECT_EQ(c.result, d.overwriteTail(c.bytes != nullptr ? bytesOf(c.bytes) : nullptr, c.length));
    EXPECT_EQ(c.expected, unread(d));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataOverwriteTail,
    ::testing::Values(OverwriteCase{"sameLength", "abc", 0, "xyz", 3, true, "xyz"},
                      OverwriteCase{"dropsLeadingBytes", "abcdef", 0, "xy", 2, true, "xy"},
                      OverwriteCase{"afterConsume", "abcdef", 2, "wxyz", 4, true, "wxyz"},
                      OverwriteCase{"zeroLength", "abc", 0, "", 0, true, ""},
                      OverwriteCase{"nullZeroLength", "abc", 0, nullptr, 0, true, ""},
                      OverwriteCase{"shorterBuffer", "ab", 0, "xyz", 3, false, "ab"},
                      OverwriteCase{"shorterAfterConsume", "abcd", 2, "xyz", 3, false, "cd"},
                      OverwriteCase{"huge", "abc", 0, "x", 0xFFFFFFFFu, false, "abc"},
                      OverwriteCase{"nullWithLength", "abc", 0, nullptr, 2, false, "abc"},
                      OverwriteCase{"emptyBuffer", "", 0, "x", 1, false, ""}),
    [](const ::testing::TestParamInfo<OverwriteCase>& info) { return info.param.name; });

TEST(Data, OverwriteTailWithItsOwnOverlappingBytes) {
    Data d(std::string("abcdef"));
    EXPECT_TRUE(d.overwriteTail(d.data(), 4));
    EXPECT_EQ("abcd", unread(d));
}
