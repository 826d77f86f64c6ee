#include "devices/TransportString.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using namespace std::string_literals;

namespace {

const std::string untouched = "<<untouched>>";

std::string readOr(const std::string& document, const std::string& name, bool& found) {
    std::string value = untouched;
    found = getElement(document, name, value);
    return value;
}

} // namespace

TEST(TransportString, TagsAndElementsWrapTheNameVerbatim) {
    EXPECT_EQ(std::make_pair("<Handle>"s, "</Handle>"s), makeTags("Handle"));
    EXPECT_EQ(std::make_pair("<>"s, "</>"s), makeTags(""));
    EXPECT_EQ("<Portname>LPT1:</Portname>", makeElement("Portname", "LPT1:"));
    EXPECT_EQ("<A></A>", makeElement("A", ""));
    EXPECT_EQ("<A>x\0y</A>"s, makeElement("A", "x\0y"s));
}

// How reads treat well-formed, ambiguous and malformed documents.
struct ReadCase {
    const char* what;
    std::string document;
    std::string name;
    bool found;
    std::string value; // only when found
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.what;
}

class TransportStringRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TransportStringRead, FindsTheFirstCompleteElement) {
    const ReadCase& c = GetParam();
    bool found = false;
    const std::string value = readOr(c.document, c.name, found);
    EXPECT_EQ(c.found, found) << c.what;
    EXPECT_EQ(c.found ? c.value : untouched, value) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransportStringRead,
    ::testing::Values(
        ReadCase{"empty document", "", "Handle", false, ""},
        ReadCase{"plain element", "<Portname>LPT1:</Portname><Handle>4097</Handle>", "Handle", true,
                 "4097"},
        ReadCase{"empty value", "<Handle></Handle>", "Handle", true, ""},
        ReadCase{"opening tag only", "<Handle>4097", "Handle", false, ""},
        ReadCase{"closing tag only", "4097</Handle>", "Handle", false, ""},
        ReadCase{"truncated opening tag", "<Handle", "Handle", false, ""},
        ReadCase{"truncated closing tag", "<Handle>4097</Handle", "Handle", false, ""},
        ReadCase{"closing tag before opening tag, no close after", "</Handle><Handle>4097",
                 "Handle", false, ""},
        ReadCase{"stray closing tag before a complete element", "</Handle>x<Handle>4097</Handle>",
                 "Handle", true, "4097"},
        ReadCase{"name is matched with its brackets", "<HandleX>1</HandleX><Handle>2</Handle>",
                 "Handle", true, "2"},
        ReadCase{"first of two elements", "<Handle>1</Handle><Handle>2</Handle>", "Handle", true,
                 "1"},
        ReadCase{"tag inside another element's value is found first",
                 "<Portname><Handle>9</Handle></Portname><Handle>1</Handle>", "Handle", true, "9"},
        ReadCase{"value holding its own opening tag", "<A>x<A>y</A>", "A", true, "x<A>y"},
        ReadCase{"value holding its own closing tag is cut short", "<A>x</A>y</A>", "A", true, "x"},
        ReadCase{"zero bytes inside the value", "<A>1\0\0002</A>"s, "A", true, "1\0\0002"s},
        ReadCase{"zero bytes before the element", "\0\0<A>7</A>\0"s, "A", true, "7"},
        ReadCase{"zero byte inside a tag breaks it", "<A\0>7</A>"s, "A", false, ""},
        ReadCase{"name with a zero byte", "<A\0B>7</A\0B>"s, "A\0B"s, true, "7"},
        ReadCase{"empty name", "<>v</>", "", true, "v"},
        ReadCase{"only brackets", "<<<<>>>></></", "A", false, ""}),
    [](const ::testing::TestParamInfo<ReadCase>& info) {
        return "Case" + std::to_string(info.index);
    });

struct RemoveCase {
    const char* what;
    std::string document;
    std::string name;
    std::string after;
};

void PrintTo(const RemoveCase& c, std::ostream* os) {
    *os << c.what;
}

class TransportStringRemove : public ::testing::TestWithParam<RemoveCase> {};

TEST_P(TransportStringRemove, RemovesOnlyTheFirstCompleteElement) {
    const RemoveCase& c = GetParam();
    std::string document = c.document;
    removeElement(document, c.name);
    EXPECT_EQ(c.after, document) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransportStringRemove,
    ::testing::Values(RemoveCase{"empty document", "", "A", ""},
                      RemoveCase{"first of several", "<A>1</A><B>2</B><A>3</A>", "A",
                                 "<B>2</B><A>3</A>"},
                      RemoveCase{"absent", "<B>2</B>", "A", "<B>2</B>"},
                      RemoveCase{"unclosed", "<A>1<B>2</B>", "A", "<A>1<B>2</B>"},
                      // Erasing from the opening tag to a closing tag before it would lose
                      // everything after the opening tag.
                      RemoveCase{"closing tag before opening tag", "</A><B>2</B><A>1<C>3</C>", "A",
                                 "</A><B>2</B><A>1<C>3</C>"},
                      RemoveCase{"stray closing tag before a complete element",
                                 "</A><A>1</A><B>2</B>", "A", "</A><B>2</B>"},
                      RemoveCase{"zero bytes around", "\0<A>\0</A>\0"s, "A", "\0\0"s}),
    [](const ::testing::TestParamInfo<RemoveCase>& info) {
        return "Case" + std::to_string(info.index);
    });

TEST(TransportString, SetAppendsAndMovesTheElementToTheEnd) {
    std::string document;
    EXPECT_TRUE(setElement(document, "A", "1"));
    EXPECT_TRUE(setElement(document, "B", "2"));
    EXPECT_EQ("<A>1</A><B>2</B>", document);
    EXPECT_TRUE(setElement(document, "A", "3"));
    EXPECT_EQ("<B>2</B><A>3</A>", document);
    EXPECT_TRUE(setElement(document, "A", "3"));
    EXPECT_EQ("<B>2</B><A>3</A>", document);
    EXPECT_TRUE(setElement(document, "B", ""));
    EXPECT_EQ("<A>3</A><B></B>", document);
}

TEST(TransportString, SetReplacesEveryDuplicateSoTheNewValueReadsBack) {
    std::string document = "<A>1</A><B>2</B><A>3</A>";
    EXPECT_TRUE(setElement(document, "A", "4"));
    EXPECT_EQ("<B>2</B><A>4</A>", document);
}

TEST(TransportString, SetWithZeroBytesRoundTrips) {
    std::string document = "\0"s;
    const std::string value = "\0x\0"s;
    EXPECT_TRUE(setElement(document, "A", value));
    std::string read;
    ASSERT_TRUE(getElement(document, "A", read));
    EXPECT_EQ(value, read);
}

// A value that would not read back as written is refused, and the document
// stays as it was.
struct RefusedSetCase {
    const char* what;
    std::string document;
    std::string name;
    std::string value;
};

void PrintTo(const RefusedSetCase& c, std::ostream* os) {
    *os << c.what;
}

class TransportStringRefusedSet : public ::testing::TestWithParam<RefusedSetCase> {};

TEST_P(TransportStringRefusedSet, LeavesTheDocumentUnchanged) {
    const RefusedSetCase& c = GetParam();
    std::string document = c.document;
    EXPECT_FALSE(setElement(document, c.name, c.value)) << c.what;
    EXPECT_EQ(c.document, document) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransportStringRefusedSet,
    ::testing::Values(RefusedSetCase{"empty name", "<A>1</A>", "", "x"},
                      RefusedSetCase{"value holds its own closing tag", "<B>2</B>", "A", "x</A>y"},
                      RefusedSetCase{"value is its own closing tag", "", "A", "</A>"},
                      RefusedSetCase{"unclosed opening tag earlier", "<A>1<B>2</B>", "A", "5"},
                      RefusedSetCase{"opening tag inside another value", "<B><A>x</B>", "A", "5"}),
    [](const ::testing::TestParamInfo<RefusedSetCase>& info) {
        return "Case" + std::to_string(info.index);
    });

TEST(TransportString, SetAcceptsAValueHoldingItsOwnOpeningTag) {
    std::string document;
    EXPECT_TRUE(setElement(document, "A", "x<A>y"));
    std::string read;
    ASSERT_TRUE(getElement(document, "A", read));
    EXPECT_EQ("x<A>y", read);
    EXPECT_TRUE(setElement(document, "A", "z"));
    EXPECT_EQ("<A>z</A>", document);
}

TEST(TransportString, SetAndGetWorkOnViewsOfTheDocumentItself) {
    std::string document = "<B>value-of-b</B><C>C</C>";
    std::string_view whole(document);
    // Name and value both point into the buffer that setElement rewrites.
    EXPECT_TRUE(setElement(document, whole.substr(18, 1), whole.substr(3, 10)));
    EXPECT_EQ("<B>value-of-b</B><C>value-of-b</C>", document);

    std::string self = "<A>inner</A>";
    ASSERT_TRUE(getElement(self, "A", self));
    EXPECT_EQ("inner", self);
}

TEST(TransportString, HugeDocumentsAndValues) {
    const std::string filler(8u << 20, '<');
    std::string document = filler + "<Handle>4097</Handle>";
    std::string value;
    ASSERT_TRUE(getElement(document, "Handle", value));
    EXPECT_EQ("4097", value);

    const std::string big(4u << 20, 'v');
    EXPECT_TRUE(setElement(document, "Portname", big));
    ASSERT_TRUE(getElement(document, "Portname", value));
    EXPECT_EQ(big, value);
    EXPECT_EQ(filler.size() + 21 + big.size() + 21, document.size());

    removeElement(document, "Handle");
    removeElement(document, "Portname");
    EXPECT_EQ(filler, document);

    // Many opening tags and no closing tag: absent, not a run past the end.
    std::string unclosed;
    for (int i = 0; i < 100000; ++i) {
        unclosed += "<Handle>";
    }
    EXPECT_FALSE(getElement(unclosed, "Handle", value));
    EXPECT_FALSE(setElement(unclosed, "Handle", "1"));
}
