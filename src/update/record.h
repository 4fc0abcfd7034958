// The update record sent to the printer, and the ID text it must report afterwards.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The new IEEE 1284 device ID; every value is padded with spaces to a fixed width.
constexpr std::string_view NewIdText =
    "MFG:Ostrane          ;CMD:DUSKFERNCMDS   ;MODEL:Velmor-2600   ;"
    "CLASS:PRINTER  ;DES:Velmor-2600   ;COMMENT:;         ";

constexpr std::size_t RecordSize = 126;
constexpr std::size_t RecordLengthOffset = 2; // command length, big-endian
constexpr std::size_t IdLengthOffset = 8;     // device ID length, big-endian
constexpr std::size_t IdTextOffset = 10;
// As in an IEEE 1284 device ID, the length counts its own two bytes; the record's last text byte
// lies outside it.
constexpr std::size_t DeclaredIdLength = 117;
constexpr std::size_t ExpectedIdLength = DeclaredIdLength - 2;

namespace record_detail {
constexpr std::array<unsigned char, IdTextOffset> Header = {
    0x1B,
    0xF0,
    DeclaredIdLength >> 8,
    DeclaredIdLength & 0xFF, // ESC F0, command length
    0x00,
    0x00,
    0x00,
    0x65, // fixed bytes
    DeclaredIdLength >> 8,
    DeclaredIdLength & 0xFF, // device ID length
};

constexpr std::array<unsigned char, RecordSize> MakeRecord() {
    std::array<unsigned char, RecordSize> record{};
    for (std::size_t i = 0; i < Header.size(); ++i)
        record[i] = Header[i];
    for (std::size_t i = 0; i < NewIdText.size(); ++i)
        record[IdTextOffset + i] = static_cast<unsigned char>(NewIdText[i]);
    return record;
}

// The text the printer must report once it has taken the record: the declared part of the
// record's ID text, zero-terminated.
constexpr std::array<char, ExpectedIdLength + 1>
MakeExpectedIdText(const std::array<unsigned char, RecordSize>& record) {
    std::array<char, ExpectedIdLength + 1> text{};
    for (std::size_t i = 0; i < ExpectedIdLength; ++i)
        text[i] = static_cast<char>(record[IdTextOffset + i]);
    return text;
}
} // namespace record_detail

// The one table of the record's bytes; the send image and ExpectedIdText both come from it.
constexpr std::array<unsigned char, RecordSize> DeviceIdRecord = record_detail::MakeRecord();
constexpr std::array<char, ExpectedIdLength + 1> ExpectedIdText =
    record_detail::MakeExpectedIdText(DeviceIdRecord);

static_assert(NewIdText.size() == 116, "the ID text fills the record after its header");
static_assert(IdTextOffset + NewIdText.size() == RecordSize, "header and text make the record");
static_assert(NewIdText.substr(42, 20) == "MODEL:Velmor-2600   ", "model field at text offset 42");
static_assert(NewIdText.substr(98, 9) == "COMMENT:;", "empty comment at text offset 98");
static_assert(((DeviceIdRecord[RecordLengthOffset] << 8) |
               DeviceIdRecord[RecordLengthOffset + 1]) ==
                  ((DeviceIdRecord[IdLengthOffset] << 8) | DeviceIdRecord[IdLengthOffset + 1]),
              "both length fields carry the same value");
static_assert(IdLengthOffset + DeclaredIdLength == RecordSize - 1,
              "the declared ID ends one byte before the record does");
static_assert(ExpectedIdText[ExpectedIdLength] == '\0', "expected text is zero-terminated");
