// The shared printer model on its own: what a printer makes of the bytes it receives, and how it
// answers the device ID query.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "printer_model.h"

namespace {

const std::string Factory = QxPrinterFactoryId;

std::string Reply(const QxPrinter& printer, unsigned capacity = QX_PRINTER_ID_MAX + 2) {
    std::string reply(QX_PRINTER_ID_MAX + 2, '#');
    reply.resize(QxPrinterReply(&printer, &reply[0], capacity));
    return reply;
}

// A record of the update's form that declares `text` (plus its two length bytes).
std::string RecordFor(const std::string& text) {
    const unsigned declared = static_cast<unsigned>(text.size()) + 2;
    std::string record = "\x1B\xF0";
    record += static_cast<char>(declared >> 8);
    record += static_cast<char>(declared & 0xFF);
    record += std::string("\x00\x00\x00\x65", 4);
    record += static_cast<char>(declared >> 8);
    record += static_cast<char>(declared & 0xFF);
    return record + text;
}

TEST(PrinterModel, WhatEachKindReportsAfterTheWrites) {
    const std::string record = qxtest::ListedRecord();
    const std::string expected = qxtest::ListedExpectedId();
    const std::string prefix("\x00\x75", 2);
    const std::string big(QX_PRINTER_ID_MAX + 1, 'x');
    const struct {
        const char* name;
        int kind;
        std::vector<std::string> writes;
        std::string reply;
        bool took;
    } cases[] = {
        {"nothing sent", QX_PRINTER_TAKES, {}, Factory, false},
        {"the record", QX_PRINTER_TAKES, {record}, expected, true},
        {"the record a byte at a time", QX_PRINTER_TAKES,
         [&] {
             std::vector<std::string> bytes;
             for (char c : record)
                 bytes.emplace_back(1, c);
             return bytes;
         }(),
         expected, true},
        {"print data, then the record",
         QX_PRINTER_TAKES,
         {"hello, printer", record},
         expected,
         true},
        {"print data in the same write",
         QX_PRINTER_TAKES,
         {"hello, printer" + record},
         Factory,
         false},
        {"cut short", QX_PRINTER_TAKES, {record.substr(0, 124)}, Factory, false},
        {"ignores", QX_PRINTER_IGNORES, {record}, Factory, true},
        {"pads with the byte after the declared text",
         QX_PRINTER_PADS,
         {record},
         expected + " ",
         true},
        {"pads across writes", QX_PRINTER_PADS, {record.substr(0, 125), "!"}, expected + " ", true},
        {"prefixed once updated", QX_PRINTER_PREFIXED, {record}, prefix + expected, true},
        {"prefixed before any record", QX_PRINTER_PREFIXED, {}, Factory, false},
        {"the longest ID it keeps",
         QX_PRINTER_TAKES,
         {RecordFor(big.substr(1))},
         big.substr(1),
         true},
        {"a longer ID is print data", QX_PRINTER_TAKES, {RecordFor(big)}, Factory, false},
        {"an empty ID", QX_PRINTER_TAKES, {RecordFor("")}, "", true},
    };
    for (const auto& c : cases) {
        QxPrinter printer{};
        QxPrinterInit(&printer, c.kind, Factory.data(), static_cast<unsigned>(Factory.size()));
        for (const std::string& w : c.writes)
            QxPrinterReceive(&printer, w.data(), static_cast<unsigned>(w.size()));
        EXPECT_EQ(Reply(printer), c.reply) << c.name;
        EXPECT_EQ(printer.took != 0, c.took) << c.name;
    }
}

TEST(PrinterModel, ReplyIsCutAtTheCallersCapacity) {
    QxPrinter printer{};
    QxPrinterInit(&printer, QX_PRINTER_PREFIXED, "ABCDEF", 6);
    EXPECT_EQ(Reply(printer, 3), "ABC");
    const std::string record = qxtest::ListedRecord();
    QxPrinterReceive(&printer, record.data(), static_cast<unsigned>(record.size()));
    EXPECT_EQ(Reply(printer, 1), std::string(1, '\0'));
    EXPECT_EQ(Reply(printer, 0), "");
}

TEST(PrinterModel, AnOverlongStartingIdIsCutToWhatThePrinterKeeps) {
    const std::string big(QX_PRINTER_ID_MAX + 10, 'y');
    QxPrinter printer{};
    QxPrinterInit(&printer, QX_PRINTER_TAKES, big.data(), static_cast<unsigned>(big.size()));
    EXPECT_EQ(Reply(printer), big.substr(0, QX_PRINTER_ID_MAX));
}

} // namespace
