// Helpers shared by the suites: an independent listing of the update record, and ways to look
// into a run's outcome that print what they saw when a check fails.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim.h"

namespace qxtest {

// The update record written out from its documented layout, field by field, without using the
// program's own table.
inline std::string ListedRecord() {
    auto field = [](std::string text, std::size_t width) {
        text.resize(width, ' ');
        return text;
    };
    std::string record("\x1B\xF0\x00\x75\x00\x00\x00\x65\x00\x75", 10);
    record += field("MFG:Ostrane", 21) + ";";
    record += field("CMD:DUSKFERNCMDS", 19) + ";";
    record += field("MODEL:Velmor-2600", 20) + ";";
    record += field("CLASS:PRINTER", 15) + ";";
    record += field("DES:Velmor-2600", 18) + ";";
    record += field("COMMENT:", 8) + ";";
    record += field("", 9);
    return record;
}

// The ID text a printer reports after taking the record: the 115 declared text bytes.
inline std::string ListedExpectedId() {
    return ListedRecord().substr(10, 115);
}

inline std::string Describe(const sim::Outcome& o) {
    std::string text = "transcript:\n";
    for (const std::string& line : o.Transcript())
        text += "  " + line + "\n";
    return text;
}

inline std::string DescribeWithTrace(const sim::Outcome& o) {
    std::string text = "events:\n";
    for (const sim::Event& e : o.events)
        text += (e.kind == sim::EventKind::Trace ? "    . " : "  ") + e.text + "\n";
    return text;
}

// Index of the first line at or after `from` that contains `needle`, or -1.
inline long Find(const std::vector<std::string>& lines, const std::string& needle, long from = 0) {
    for (long i = from; i < static_cast<long>(lines.size()); ++i)
        if (lines[i].find(needle) != std::string::npos)
            return i;
    return -1;
}

inline sim::Setup NoPrinters() {
    sim::Setup setup;
    for (sim::PortSetup& port : setup.ports)
        port.printer.reset();
    return setup;
}

inline sim::Setup Printers(std::vector<std::pair<int, sim::PrinterKind>> printers,
                           sim::Family family = sim::Family::Win9x) {
    sim::Setup setup = NoPrinters();
    setup.family = family;
    for (const auto& [port, kind] : printers)
        setup.ports[port - 1].printer = sim::PrinterSetup{kind};
    return setup;
}

} // namespace qxtest
