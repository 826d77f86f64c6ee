#include "devices/TransportProperties.h"
#include "devices/PropertyRecords.h"
#include "devices/TransportString.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

constexpr uint32_t notFound = 1168;
constexpr uint32_t typeMismatch = 1629;
constexpr uint32_t internalError = 1359;
constexpr uint32_t badArgument = 87;

const char longRecord[] = "<Name>Size</Name><Type>Long</Type><Access>Writeable</Access>";
const char stringRecord[] = "<Name>Label</Name><Type>String</Type><Access>Writeable</Access>";
const char byteArrayRecord[] = "<Name>Blob</Name><Type>ByteArray</Type><Access>Writeable</Access>";

std::string record(const std::string& name, const std::string& type, const std::string& access) {
    return makeElement(PropertyWords::Name, name) + makeElement(PropertyWords::Type, type) +
           makeElement(PropertyWords::Access, access);
}

} // namespace

TEST(PropertyRecords, TextsAreExactAndMadeOfTheWords) {
    struct {
        const char* record;
        const char* text;
        const char* name;
        const char* type;
        const char* access;
    } const cases[] = {
        {PropertyRecords::Transport,
         "<Name>Transport</Name><Type>String</Type><Access>ReadOnly</Access>", "Transport",
         PropertyWords::String, PropertyWords::ReadOnly},
        {PropertyRecords::Device, "<Name>Device</Name><Type>String</Type><Access>ReadOnly</Access>",
         "Device", PropertyWords::String, PropertyWords::ReadOnly},
        {PropertyRecords::Portname,
         "<Name>Portname</Name><Type>String</Type><Access>Writeable</Access>", "Portname",
         PropertyWords::String, PropertyWords::Writeable},
        {PropertyRecords::Handle, "<Name>Handle</Name><Type>Long</Type><Access>ReadOnly</Access>",
         "Handle", PropertyWords::Long, PropertyWords::ReadOnly},
        {PropertyRecords::MaxWritePacketSize,
         "<Name>MaxWritePacketSize</Name><Type>Long</Type><Access>Writeable</Access>",
         "MaxWritePacketSize", PropertyWords::Long, PropertyWords::Writeable},
    };
    const TransportProperties properties;
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(c.text), c.record);
        EXPECT_EQ(record(c.name, c.type, c.access), c.record);
        EXPECT_EQ(std::string(c.type) == "Long", properties.isLong(c.record)) << c.text;
        EXPECT_EQ(std::string(c.type) == "String", properties.isString(c.record)) << c.text;
    }
    EXPECT_STREQ("ByteArray", PropertyWords::ByteArray);
}

TEST(TransportProperties, TypeWordIsCaseSensitiveAndWhole) {
    const TransportProperties properties;
    for (const char* type : {"long", "LONG", "Long ", " Long", "LongX", ""}) {
        EXPECT_FALSE(properties.isLong(record("Size", type, "Writeable"))) << type;
    }
    EXPECT_FALSE(properties.isLong("<Name>Size</Name><Access>Writeable</Access>"));
    EXPECT_FALSE(properties.isString("<Name>Label</Name><Type>String</Access>"));
    EXPECT_FALSE(properties.isLong(record("Size", "Long\0"s, "Writeable")));
    EXPECT_FALSE(properties.isString(byteArrayRecord));
    EXPECT_FALSE(properties.isLong(byteArrayRecord));
}

TEST(TransportProperties, DiscoveryStringIsBuiltInSetOrder) {
    const TransportProperties properties;
    std::string transport;
    EXPECT_EQ(0u, properties.setString(transport, PropertyRecords::Portname, "LPT1:"));
    EXPECT_EQ(0u, properties.setLong(transport, PropertyRecords::Handle, 4097));
    EXPECT_EQ(0u, properties.setString(transport, PropertyRecords::Device, "BpdPrinter"));
    EXPECT_EQ(0u, properties.setString(transport, PropertyRecords::Transport, "PAR1"));
    EXPECT_EQ("<Portname>LPT1:</Portname><Handle>4097</Handle><Device>BpdPrinter</Device>"
              "<Transport>PAR1</Transport>",
              transport);

    EXPECT_EQ(0u, properties.setLong(transport, PropertyRecords::MaxWritePacketSize, 512));
    EXPECT_EQ("<Portname>LPT1:</Portname><Handle>4097</Handle><Device>BpdPrinter</Device>"
              "<Transport>PAR1</Transport><MaxWritePacketSize>512</MaxWritePacketSize>",
              transport);

    // Setting again moves the element to the end and leaves one of it.
    EXPECT_EQ(0u, properties.setString(transport, PropertyRecords::Portname, "LPT2:"));
    EXPECT_EQ("<Handle>4097</Handle><Device>BpdPrinter</Device><Transport>PAR1</Transport>"
              "<MaxWritePacketSize>512</MaxWritePacketSize><Portname>LPT2:</Portname>",
              transport);
}

TEST(TransportProperties, LongValuesRoundTripAndAreWrittenAsPlainDecimal) {
    const TransportProperties properties;
    const struct {
        uint32_t value;
        const char* text;
    } cases[] = {{0, "0"},
                 {1, "1"},
                 {4097, "4097"},
                 {2147483647u, "2147483647"},
                 {2147483648u, "2147483648"},
                 {4294967295u, "4294967295"}};
    for (const auto& c : cases) {
        std::string transport = "<Label>x</Label>";
        ASSERT_EQ(0u, properties.setLong(transport, longRecord, c.value));
        EXPECT_EQ("<Label>x</Label>" + makeElement("Size", c.text), transport);
        uint32_t read = 12345;
        EXPECT_EQ(0u, properties.getLong(transport, longRecord, read));
        EXPECT_EQ(c.value, read);
    }
}

TEST(TransportProperties, StringValuesRoundTripVerbatim) {
    const TransportProperties properties;
    for (const std::string& value : {"LPT1:"s, ""s, "  spaced  "s, "a\0b\0"s, "\xff\xfe\x80"s,
                                     "x<Label>y"s, "<Size>5</Size>"s, std::string(100000, 'q')}) {
        std::string transport = "<Size>1</Size>";
        ASSERT_EQ(0u, properties.setString(transport, stringRecord, value));
        std::string read = "unchanged";
        EXPECT_EQ(0u, properties.getString(transport, stringRecord, read));
        EXPECT_EQ(value, read);
    }
}

// Long elements are read by the atol rule into 32 bits.
TEST(TransportProperties, LongTextIsReadAsAtolWould) {
    const TransportProperties properties;
    const struct {
        std::string text;
        uint32_t value;
    } cases[] = {
        {"-1", 4294967295u},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"  42", 42},
        {" \t\n\v\f\r7", 7},
        {"+8", 8},
        {"-2", 4294967294u},
        {"-", 0},
        {"- 5", 0},
        {"+-3", 0},
        {"42 7", 42},
        {"007", 7},
        {"1\0002"s, 1},
        {"\0003"s, 0},
        {"-2147483648", 2147483648u},
        {"-4294967295", 1},
        {"2147483648", 2147483648u},
        {"4294967295", 4294967295u},
        // Beyond 32 bits the value saturates instead of wrapping round.
        {"4294967296", 4294967295u},
        {"99999999999999999999999999", 4294967295u},
        {"-4294967296", 4294967295u},
    };
    for (const auto& c : cases) {
        const std::string transport = makeElement("Size", c.text);
        uint32_t read = 12345;
        EXPECT_EQ(0u, properties.getLong(transport, longRecord, read)) << c.text;
        EXPECT_EQ(c.value, read) << c.text;
    }
}

// A typed access through a record of the wrong type is refused before
// anything is read or written.
TEST(TransportProperties, TypeMismatchLeavesEverythingUnchanged) {
    const TransportProperties properties;
    const std::string original =
        "<Size>5</Size><Label>text</Label><Blob>bytes</Blob><Untyped>u</Untyped>";
    const std::string untyped = "<Name>Untyped</Name><Access>Writeable</Access>";
    const std::string stringNamedSize = record("Size", "String", "Writeable");
    const std::string longNamedLabel = record("Label", "Long", "Writeable");

    for (const std::string& rec : {std::string(byteArrayRecord), untyped, stringNamedSize}) {
        std::string transport = original;
        uint32_t number = 77;
        EXPECT_EQ(typeMismatch, properties.getLong(transport, rec, number)) << rec;
        EXPECT_EQ(77u, number);
        EXPECT_EQ(typeMismatch, properties.setLong(transport, rec, 9)) << rec;
        EXPECT_EQ(original, transport);
    }
    for (const std::string& rec : {std::string(byteArrayRecord), untyped, longNamedLabel}) {
        std::string transport = original;
        std::string text = "kept";
        EXPECT_EQ(typeMismatch, properties.getString(transport, rec, text)) << rec;
        EXPECT_EQ("kept", text);
        EXPECT_EQ(typeMismatch, properties.setString(transport, rec, "new")) << rec;
        EXPECT_EQ(original, transport);
    }
    // getValue reads any type.
    std::string text;
    EXPECT_EQ(0u, properties.getValue(original, byteArrayRecord, text));
    EXPECT_EQ("bytes", text);
    EXPECT_EQ(0u, properties.getValue(original, untyped, text));
    EXPECT_EQ("u", text);
}

// A record without a Name (or with an empty one) names no property.
TEST(TransportProperties, RecordWithoutNameIsNotFoundOrInternalError) {
    const TransportProperties properties;
    const std::string original = "<Size>5</Size><>5</>";
    for (const std::string& name : {std::string(), std::string("<Name></Name>"),
                                    std::string("<Name>Size"), std::string("</Name>Size<Name>")}) {
        const std::string longRec = name + "<Type>Long</Type><Access>Writeable</Access>";
        const std::string stringRec = name + "<Type>String</Type><Access>Writeable</Access>";
        std::string transport = original;
        uint32_t number = 77;
        std::string text = "kept";
        EXPECT_EQ(notFound, properties.getLong(transport, longRec, number)) << longRec;
        EXPECT_EQ(notFound, properties.getString(transport, stringRec, text)) << stringRec;
        EXPECT_EQ(notFound, properties.getValue(transport, stringRec, text)) << stringRec;
        EXPECT_EQ(internalError, properties.setLong(transport, longRec, 9)) << longRec;
        EXPECT_EQ(internalError, properties.setString(transport, stringRec, "x")) << stringRec;
        EXPECT_EQ(77u, number);
        EXPECT_EQ("kept", text);
        EXPECT_EQ(original, transport);
    }
}

TEST(TransportProperties, MissingElementIsNotFoundAndLeavesOutputUnchanged) {
    const TransportProperties properties;
    for (const std::string& transport : {""s, "<HandleX>4097</HandleX>"s, "<Handle>4097"s,
                                         "</Handle>4097<Handle>"s, "<handle>4097</handle>"s}) {
        uint32_t handle = 77;
        EXPECT_EQ(notFound, properties.getLong(transport, PropertyRecords::Handle, handle))
            << transport;
        EXPECT_EQ(77u, handle);
        std::string text = "kept";
        EXPECT_EQ(notFound, properties.getString(transport, PropertyRecords::Portname, text));
        EXPECT_EQ(notFound, properties.getValue(transport, PropertyRecords::Handle, text));
        EXPECT_EQ("kept", text);
    }
}

TEST(TransportProperties, ReadOnlyPropertiesCanBeWritten) {
    const TransportProperties properties;
    std::string transport;
    EXPECT_EQ(0u, properties.setString(transport, PropertyRecords::Transport, "PAR1"));
    EXPECT_EQ(0u, properties.setLong(transport, PropertyRecords::Handle, 4105));
    EXPECT_EQ("<Transport>PAR1</Transport><Handle>4105</Handle>", transport);
}

TEST(TransportProperties, UnreadableWritesAreRefusedAndChangeNothing) {
    const TransportProperties properties;
    {
        std::string transport = "<Portname>LPT1:</Portname>";
        EXPECT_EQ(badArgument,
                  properties.setString(transport, PropertyRecords::Portname, "LPT2:</Portname>"));
        EXPECT_EQ("<Portname>LPT1:</Portname>", transport);
    }
    {
        // An unclosed Handle from the host would be read in place of any
        // value appended after it.
        const std::string original = "<Handle>1<Portname>LPT1:</Portname>";
        std::string transport = original;
        EXPECT_EQ(badArgument, properties.setLong(transport, PropertyRecords::Handle, 4097));
        EXPECT_EQ(original, transport);
    }
    {
        // Replacing a value that held its own closing tag (a host can send
        // one) leaves no fragment behind that later reads would trip on.
        std::string transport = "<Portname>LPT1:</Portname>junk</Portname><Handle>4097</Handle>";
        EXPECT_EQ(0u, properties.setString(transport, PropertyRecords::Portname, "LPT3:"));
        std::string port;
        EXPECT_EQ(0u, properties.getString(transport, PropertyRecords::Portname, port));
        EXPECT_EQ("LPT3:", port);
        uint32_t handle = 0;
        EXPECT_EQ(0u, properties.getLong(transport, PropertyRecords::Handle, handle));
        EXPECT_EQ(4097u, handle);
    }
}
