// The fixed texts that name properties in a transport string. Each record is
// three elements, Name, Type and Access, in that order with nothing between
// them. They are constant-initialised, so they exist from library load and are
// safe to use from any static initialiser or thread.
#pragma once

namespace PropertyWords {

// Element names inside a property record.
inline constexpr char Name[] = "Name";
inline constexpr char Type[] = "Type";
inline constexpr char Access[] = "Access";

// Value types.
inline constexpr char String[] = "String";
inline constexpr char Long[] = "Long";
inline constexpr char ByteArray[] = "ByteArray";

// Access words: carried for the host, not enforced by this module.
inline constexpr char ReadOnly[] = "ReadOnly";
inline constexpr char Writeable[] = "Writeable";

} // namespace PropertyWords

namespace PropertyRecords {

// Transport name, "PAR1", written by discovery.
inline constexpr char Transport[] =
    "<Name>Transport</Name><Type>String</Type><Access>ReadOnly</Access>";
// Device class, "BpdPrinter", written by discovery.
inline constexpr char Device[] = "<Name>Device</Name><Type>String</Type><Access>ReadOnly</Access>";
// Port, "LPT1:" to "LPT9:".
inline constexpr char Portname[] =
    "<Name>Portname</Name><Type>String</Type><Access>Writeable</Access>";
// Device handle, the key of a connection.
inline constexpr char Handle[] = "<Name>Handle</Name><Type>Long</Type><Access>ReadOnly</Access>";
// Set by the host before it asks for a connection.
inline constexpr char MaxWritePacketSize[] =
    "<Name>MaxWritePacketSize</Name><Type>Long</Type><Access>Writeable</Access>";

} // namespace PropertyRecords
