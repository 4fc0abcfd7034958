// The printer model: it parses what arrives and, on a well-formed update record, takes the ID
// text the record's length field declares.
#include "printer.h"

#include <utility>

namespace sim {

const char* const FactoryDeviceId =
    "MFG:Ostrane;CMD:DUSKFERNCMDS;MODEL:Velmor-2600;CLASS:PRINTER;DES:Velmor-2600;";

namespace {
constexpr std::size_t HeaderSize = 10; // ESC F0, length, 4 fixed bytes, ID length
const std::string FixedBytes("\x00\x00\x00\x65", 4);

unsigned Length16(const std::string& bytes, std::size_t at) {
    return (unsigned(static_cast<unsigned char>(bytes[at])) << 8) |
           static_cast<unsigned char>(bytes[at + 1]);
}
} // namespace

Printer::Printer(PrinterKind kind, std::string id) : kind_(kind), id_(std::move(id)) {}

void Printer::Receive(const std::string& bytes) {
    input_ += bytes;
    if (input_.size() < HeaderSize)
        return;
    const bool isRecord = static_cast<unsigned char>(input_[0]) == 0x1B &&
                          static_cast<unsigned char>(input_[1]) == 0xF0 &&
                          input_.compare(4, 4, FixedBytes) == 0 &&
                          Length16(input_, 2) == Length16(input_, 8) && Length16(input_, 8) >= 2;
    if (!isRecord) {
        input_.clear(); // anything else is print data
        return;
    }
    const std::size_t declared = Length16(input_, 8);
    const std::size_t end = 8 + declared;
    if (input_.size() < end)
        return; // wait for the rest
    std::string text = input_.substr(HeaderSize, declared - 2);
    if (kind_ == PrinterKind::Pads)
        text += input_.size() > end ? input_[end] : ' ';
    if (kind_ != PrinterKind::Ignores)
        id_ = text;
    took_ = true;
    input_.clear();
}

std::string Printer::Reply() const {
    if (kind_ == PrinterKind::Prefixed && took_) {
        const std::size_t length = id_.size() + 2;
        std::string prefix;
        prefix += static_cast<char>((length >> 8) & 0xFF);
        prefix += static_cast<char>(length & 0xFF);
        return prefix + id_;
    }
    return id_;
}

} // namespace sim
