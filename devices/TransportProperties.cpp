#include "devices/TransportProperties.h"

#include "devices/PropertyRecords.h"
#include "devices/TransportString.h"
#include "platform/win32.h"

#include <limits>

namespace {

bool hasType(std::string_view record, std::string_view type) {
    std::string recordType;
    return getElement(record, PropertyWords::Type, recordType) && recordType == type;
}

// An empty Name counts as missing: an element without a name can neither be
// written nor told apart from other text.
bool propertyName(std::string_view record, std::string& name) {
    return getElement(record, PropertyWords::Name, name) && !name.empty();
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The atol rule (leading blanks, optional sign, digits up to the first
// non-digit, none gives 0), computed into 32 bits the same way on every
// build: negative values wrap as atol's result does when stored unsigned, and
// magnitudes beyond 32 bits saturate rather than wrap, so that the whole range
// written by setLong reads back even where long has 32 bits.
uint32_t parseLong(std::string_view text) {
    constexpr uint64_t limit = std::numeric_limits<uint32_t>::max();
    std::string_view::size_type i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (magnitude > limit) {
            return static_cast<uint32_t>(limit);
        }
    }
    const auto value = static_cast<uint32_t>(magnitude);
    return negative ? 0u - value : value;
}

uint32_t setText(std::string& transportString, std::string_view record, std::string_view value) {
    std::string name;
    if (!propertyName(record, name)) {
        return ERROR_INTERNAL_ERROR;
    }
    return setElement(transportString, name, value) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

} // namespace

bool TransportProperties::isLong(std::string_view record) const {
    return hasType(record, PropertyWords::Long);
}

bool TransportProperties::isString(std::string_view record) const {
    return hasType(record, PropertyWords::String);
}

uint32_t TransportProperties::getValue(std::string_view transportString, std::string_view record,
                                       std::string& value) const {
    std::string name;
    if (!propertyName(record, name)) {
        return ERROR_NOT_FOUND;
    }
    return getElement(transportString, name, value) ? ERROR_SUCCESS : ERROR_NOT_FOUND;
}

uint32_t TransportProperties::getLong(std::string_view transportString, std::string_view record,
                                      uint32_t& value) const {
    if (!isLong(record)) {
        return ERROR_DATATYPE_MISMATCH;
    }
    std::string text;
    const uint32_t result = getValue(transportString, record, text);
    if (result == ERROR_SUCCESS) {
        value = parseLong(text);
    }
    return result;
}

uint32_t TransportProperties::getString(std::string_view transportString, std::string_view record,
                                        std::string& value) const {
    if (!isString(record)) {
        return ERROR_DATATYPE_MISMATCH;
    }
    return getValue(transportString, record, value);
}

uint32_t TransportProperties::setLong(std::string& transportString, std::string_view record,
                                      uint32_t value) const {
    if (!isLong(record)) {
        return ERROR_DATATYPE_MISMATCH;
    }
    return setText(transportString, record, std::to_string(value));
}

uint32_t TransportProperties::setString(std::string& transportString, std::string_view record,
                                        std::string_view value) const {
    if (!isString(record)) {
        return ERROR_DATATYPE_MISMATCH;
    }
    return setText(transportString, record, value);
}
