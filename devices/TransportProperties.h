// Typed access to the properties of a transport string through property
// records (see PropertyRecords.h). Stateless: make one on the stack where
// needed. Every get and set answers a Windows error code, 0 for success; on
// any other answer the out value and the transport string are unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TransportProperties {
public:
    // The record's Type element is exactly "Long" / "String".
    bool isLong(std::string_view record) const;
    bool isString(std::string_view record) const;

    // The element text, whatever the record's type. 1168 when the record
    // names no property or the transport string has no element of that name.
    uint32_t getValue(std::string_view transportString, std::string_view record,
                      std::string& value) const;

    // Reads the element as atol would, into 32 bits: "-1" is 4294967295,
    // "12abc" is 12, "abc" is 0. 1629 for a record not of type Long; else as
    // getValue.
    uint32_t getLong(std::string_view transportString, std::string_view record,
                     uint32_t& value) const;

    // 1629 for a record not of type String; else as getValue.
    uint32_t getString(std::string_view transportString, std::string_view record,
                       std::string& value) const;

    // Writes the value in decimal as the last element, replacing the old
    // one. 1629 for a record not of type Long, 1359 when the record names no
    // property, 87 when the transport string is too malformed to take it.
    uint32_t setLong(std::string& transportString, std::string_view record, uint32_t value) const;

    // Writes the text verbatim as the last element. 1629 for a record not of
    // type String, 1359 when the record names no property, 87 when the value
    // contains its own closing tag or the transport string is too malformed
    // to take it.
    uint32_t setString(std::string& transportString, std::string_view record,
                       std::string_view value) const;
};
