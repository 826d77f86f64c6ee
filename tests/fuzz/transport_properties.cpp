// Typed property access on arbitrary transport strings, with the module's
// records and with arbitrary ones: every answer is one of the documented
// codes, a failure leaves the out value and the string as they were, and a
// successful set reads back.
//
// Input: a record choice byte (past the five records, the record text
// follows with its length), a value length byte, the value, then the
// transport string.
#include "FuzzSupport.h"

#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"

#include <cstdlib>

namespace {

const char* const records[] = {PropertyRecords::Transport, PropertyRecords::Device,
                               PropertyRecords::Portname, PropertyRecords::Handle,
                               PropertyRecords::MaxWritePacketSize};

bool oneOf(uint32_t code, std::initializer_list<uint32_t> codes) {
    for (uint32_t allowed : codes) {
        if (code == allowed) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    par1fuzz::prepareEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    par1fuzz::Reader reader(data, size);
    uint32_t choice = reader.byte();
    std::string record = choice < 5 ? std::string(records[choice]) : reader.text(reader.byte());
    std::string value = reader.text(reader.byte());
    par1fuzz::Bytes rest = reader.rest();
    const std::string original(rest.begin(), rest.end());
    TransportProperties properties;

    std::string text = "\x01untouched";
    uint32_t code = properties.getValue(original, record, text);
    FUZZ_CHECK(oneOf(code, {0, 1168}), "getValue code " + std::to_string(code));
    FUZZ_CHECK(code == 0 || text == "\x01untouched", "failed getValue changed the value");

    std::string typed = "\x01untouched";
    code = properties.getString(original, record, typed);
    FUZZ_CHECK(oneOf(code, {0, 1168, 1629}), "getString code " + std::to_string(code));
    FUZZ_CHECK(code == 0 ? typed == text : typed == "\x01untouched", "getString value");
    FUZZ_CHECK((code == 1629) == !properties.isString(record), "getString of another type");

    uint32_t number = 0xDEADBEEF;
    code = properties.getLong(original, record, number);
    FUZZ_CHECK(oneOf(code, {0, 1168, 1629}), "getLong code " + std::to_string(code));
    FUZZ_CHECK((code == 1629) == !properties.isLong(record), "getLong of another type");
    FUZZ_CHECK(code == 0 || number == 0xDEADBEEF, "failed getLong changed the value");
    if (code == 0 && !text.empty() && text.size() <= 9 &&
        text.find_first_not_of("0123456789") == std::string::npos) {
        FUZZ_CHECK(number == std::strtoul(text.c_str(), nullptr, 10), "decimal value " + text);
    }
    FUZZ_CHECK(!(properties.isLong(record) && properties.isString(record)), "two types");

    std::string changed = original;
    code = properties.setString(changed, record, value);
    FUZZ_CHECK(oneOf(code, {0, 87, 1359, 1629}), "setString code " + std::to_string(code));
    if (code != 0) {
        FUZZ_CHECK(changed == original, "a failed setString changed the string");
    } else {
        std::string read;
        FUZZ_CHECK(properties.getString(changed, record, read) == 0 && read == value,
                   "a set string reads back");
    }

    uint32_t newNumber = static_cast<uint32_t>(std::hash<std::string>()(value));
    changed = original;
    code = properties.setLong(changed, record, newNumber);
    FUZZ_CHECK(oneOf(code, {0, 87, 1359, 1629}), "setLong code " + std::to_string(code));
    if (code != 0) {
        FUZZ_CHECK(changed == original, "a failed setLong changed the string");
    } else {
        uint32_t read = 0;
        FUZZ_CHECK(properties.getLong(changed, record, read) == 0 && read == newNumber,
                   "a set number reads back");
    }
    return 0;
}
