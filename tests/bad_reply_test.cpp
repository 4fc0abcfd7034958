// Device ID replies that drivers get wrong: counts that say more or less than was delivered,
// zero bytes inside the text, replies longer than the buffer. The search and the read-back must
// go by what the reply delivered, and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sim.h"

namespace {

const std::string Model = "MODEL:Velmor-2600";
const std::string NewId = "MFG:Ostrane          ;CMD:DUSKFERNCMDS   ;MODEL:Velmor-2600   ;"
                          "CLASS:PRINTER  ;DES:Velmor-2600   ;COMMENT:;        ";

struct Reply {
    int query; // 1, 2, 3: the search's queries of the present ports in turn; then the read-back
    std::string bytes;
    DWORD reported;
};

struct ReplyCase {
    const char* what;
    std::vector<int> printers; // ports (1..3) with a printer that takes the record
    std::vector<Reply> replies;
    int searchResult; // what the search must find: 0..2, or -1
    const char* message;
};

const char* const Updated = "Printer Device ID successfully updated";
const char* const NoPrinter = "Could not find BRAXEL QX310 printer !\n\nDevice ID not updated !";
const char* const NotVerified = "Could not verify Device ID !\n\nDevice ID not updated !";

const ReplyCase Cases[] = {
    {"LPT1's driver leaves the model in the buffer beyond the count it reports; LPT2's driver "
     "delivers one byte and reports more: the leftover must not count as LPT2's reply",
     {},
     {{1, Model, 0}, {2, "M", static_cast<DWORD>(Model.size())}},
     -1,
     NoPrinter},
    {"the same leftover after a zero byte inside LPT1's reply",
     {},
     {{1, std::string("x\0", 2) + Model, static_cast<DWORD>(Model.size() + 2)},
      {2, "xy", static_cast<DWORD>(Model.size() + 2)}},
     -1,
     NoPrinter},
    {"a count far past the buffer's end is cut at the buffer's end",
     {2},
     {{2, std::string(600, 'x') + Model, 0xFFFFFFFFu}},
     -1,
     NoPrinter},
    {"the model in the last bytes of a full 512-byte reply is found",
     {2},
     {{2, std::string(512 - Model.size(), ';') + Model, 512}},
     1,
     Updated},
    {"a reported count shorter than the text hides the model",
     {2},
     {{2, "MFG:Ostrane;" + Model, 12}},
     -1,
     NoPrinter},
    {"a zero byte before the model hides it",
     {2},
     {{2, std::string("MFG:Ostrane;\0", 13) + Model, 13 + static_cast<DWORD>(Model.size())}},
     -1,
     NoPrinter},
    {"the read-back says the new ID with a count past the buffer: still the new ID",
     {2},
     {{3, NewId, 0xFFFFFFFFu}},
     1,
     Updated},
    {"the read-back says the new ID but reports one byte fewer",
     {2},
     {{3, NewId, static_cast<DWORD>(NewId.size() - 1)}},
     1,
     NotVerified},
    {"the read-back delivers the new ID and a zero byte, then more text",
     {2},
     {{3, NewId + std::string(1, '\0') + "tail", static_cast<DWORD>(NewId.size() + 5)}},
     1,
     Updated},
    {"the read-back delivers nothing but reports the whole buffer",
     {2},
     {{3, "", 512}},
     1,
     NotVerified},
    {"LPT1's driver claims the model though no printer is there: the record goes to LPT1 and "
     "its write fails",
     {2},
     {{1, Model, static_cast<DWORD>(Model.size())}},
     0,
     "Error writing to printer port LPT1:"},
};

TEST(BadReply, SearchAndReadBackGoByWhatWasDelivered) {
    for (const ReplyCase& c : Cases) {
        sim::Setup setup;
        for (sim::PortSetup& port : setup.ports)
            port.printer.reset();
        for (int port : c.printers)
            setup.ports[port - 1].printer = sim::PrinterSetup{};
        for (const Reply& r : c.replies) {
            sim::FaultSetup fault{"DeviceIoControl", r.query};
            fault.kind = sim::FaultKind::Reply;
            fault.bytes = r.bytes;
            fault.count = r.reported;
            setup.faults.push_back(fault);
        }
        const sim::Outcome o = sim::RunFresh(setup);
        std::string seen = std::string(c.what) + "\nwhat the run did:\n";
        for (const sim::Event& e : o.events)
            seen += (e.kind == sim::EventKind::Trace ? "    . " : "  ") + e.text + "\n";
        ASSERT_EQ(o.crashSignal, 0) << c.what;
        ASSERT_EQ(o.messageBoxes.size(), 1u) << seen;
        EXPECT_EQ(o.messageBoxes[0].text, c.message) << seen;
        for (int i = 0; i < sim::PortCount; ++i)
            if (i != c.searchResult) {
                EXPECT_EQ(o.portBytes[i], "") << "LPT" << i + 1 << "\n" << seen;
            }
        EXPECT_NE(std::find(o.visibleLines.begin(), o.visibleLines.end(),
                            "10,40: CheckDeviceID ( ) = " + std::to_string(c.searchResult)),
                  o.visibleLines.end())
            << seen;
    }
}

} // namespace
