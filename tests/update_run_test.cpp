// Every road of the update run, each from a fresh process: what the window shows, the one
// message box, the bytes each port received, and the state of the PC afterwards.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

namespace {

using qxtest::Describe;
using qxtest::Find;
using sim::Family;
using sim::PrinterKind;

constexpr char NoPrinterText[] = "Could not find BRAXEL QX310 printer !\n\nDevice ID not updated !";
constexpr char NotVerifiedText[] = "Could not verify Device ID !\n\nDevice ID not updated !";
constexpr char UpdatedText[] = "Printer Device ID successfully updated";

struct Road {
    const char* name;
    sim::Setup setup;
    std::vector<std::string> visible; // status lines on the window at the end
    std::string caption, text;        // the one message box
    std::array<std::string, 3> bytes; // what each port received: "record", "", or a byte count
    const char* alias = nullptr;      // NT: the alias left defined, "NAME -> target"
};

void PrintTo(const Road& road, std::ostream* os) {
    *os << road.name;
}

sim::Setup Nt(sim::Setup setup, std::vector<std::string> actions = {"click:OK"}) {
    setup.family = Family::NT;
    setup.dialogActions = std::move(actions);
    return setup;
}

sim::Setup WithFault(sim::Setup setup, const char* call, int occurrence, DWORD error) {
    setup.faults.push_back({call, occurrence, error});
    return setup;
}

sim::Setup WithWriteFailing(sim::Setup setup) {
    setup.faults.push_back({"WriteFile", 0, ERROR_WRITE_FAULT});
    return setup;
}

// Every write takes half the record and reports success.
sim::Setup WithShortWrite(sim::Setup setup) {
    setup.faults.push_back({"WriteFile", 0, 0, sim::FaultKind::ShortWrite, 63});
    return setup;
}

sim::Setup WithAbsent(sim::Setup setup, int port) {
    setup.ports[port - 1].present = false;
    return setup;
}

const std::vector<std::string> ChooseLpt3 = {"click:LPT3", "click:OK"};
const std::vector<std::string> ChooseLpt2 = {"click:LPT2", "click:OK"};

std::vector<Road> Roads() {
    using qxtest::Printers;
    const sim::Setup lpt2 = Printers({{2, PrinterKind::Takes}});
    return {
        {"Win9xFindsPrinterOnLpt2",
         lpt2,
         {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = 1",
          "10,70: Found BRAXEL QX310 printer on LPT2:"},
         "Success",
         UpdatedText,
         {"", "record", ""}},
        {"Win9xFirstOfTwoPrintersWins",
         Printers({{1, PrinterKind::Takes}, {2, PrinterKind::Takes}}),
         {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = 0",
          "10,70: Found BRAXEL QX310 printer on LPT1:"},
         "Success",
         UpdatedText,
         {"record", "", ""}},
        {"Win9xPrinterOnLpt3",
         Printers({{3, PrinterKind::Takes}}),
         {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = 2",
          "10,70: Found BRAXEL QX310 printer on LPT3:"},
         "Success",
         UpdatedText,
         {"", "", "record"}},
        {"Win9xNoPrinter",
         qxtest::NoPrinters(),
         {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = -1"},
         "ERROR",
         NoPrinterText,
         {"", "", ""}},
        {"Win9xPrinterIgnoresRecord",
         Printers({{2, PrinterKind::Ignores}}),
         {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = 1",
          "10,70: Found BRAXEL QX310 printer on LPT2:"},
         "ERROR",
         NotVerifiedText,
         {"", "record", ""}},
        {"Win9xReadBackOneByteLonger",
         Printers({{2, PrinterKind::Pads}}),
         {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = 1",
          "10,70: Found BRAXEL QX310 printer on LPT2:"},
         "ERROR",
         NotVerifiedText,
         {"", "record", ""}},
        {"Win9xReadBackWithLengthBytes",
         Printers({{2, PrinterKind::Prefixed}}),
         {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = 1",
          "10,70: Found BRAXEL QX310 printer on LPT2:"},
         "ERROR",
         NotVerifiedText,
         {"", "record", ""}},
        {"Win9xOpenFails",
         WithFault(lpt2, "CreateFileA", 3, ERROR_ACCESS_DENIED), // after two search opens
         {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = 1",
          "10,70: Found BRAXEL QX310 printer on LPT2:",
          "10,100: CreateFile error code = 5 on port LPT2:"},
         "ERROR",
         "Could not open printer port LPT2:",
         {"", "", ""}},
        {"Win9xWriteFails",
         WithWriteFailing(lpt2),
         {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = 1",
          "10,70: Found BRAXEL QX310 printer on LPT2:",
          "10,130: Error 29 writing to printer port LPT2:"},
         "ERROR",
         "Error writing to printer port LPT2:",
         {"", "", ""}},
        {"Win9xShortWriteIsAFailure",
         WithShortWrite(lpt2),
         {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = 1",
          "10,70: Found BRAXEL QX310 printer on LPT2:",
          "10,130: Error 1460 writing to printer port LPT2:"},
         "ERROR",
         "Error writing to printer port LPT2:",
         {"", "63", ""}},
        {"NtLpt3Chosen",
         Nt(Printers({{3, PrinterKind::Takes}}), ChooseLpt3),
         {"10,10: OS = NT", "10,40: Dialog Selected", "10,70: Selected LPT3:"},
         "QX310WUP",
         UpdatedText,
         {"", "", "record"},
         "OSTRANE_LPT3 -> \\Device\\Parallel2"},
        {"NtDoesNotReadBack",
         Nt(Printers({{2, PrinterKind::Ignores}}), ChooseLpt2),
         {"10,10: OS = NT", "10,40: Dialog Selected", "10,70: Selected LPT2:"},
         "QX310WUP",
         UpdatedText,
         {"", "record", ""},
         "OSTRANE_LPT2 -> \\Device\\Parallel1"},
        {"NtPortMissing",
         Nt(WithAbsent(lpt2, 2), ChooseLpt2),
         {"10,10: OS = NT", "10,40: Dialog Selected",
          "10,70: Selected LPT2:", "10,100: CreateFile error code = 2 on port LPT2:"},
         "ERROR",
         "Could not open printer port LPT2:",
         {"", "", ""},
         "OSTRANE_LPT2 -> \\Device\\Parallel1"},
        {"NtLongestErrorLineFits", // an error code of 2^31 or more prints as a negative number
         Nt(WithFault(Printers({{3, PrinterKind::Takes}}), "CreateFileA", 1, 0x80000000u),
            ChooseLpt3),
         {"10,10: OS = NT", "10,40: Dialog Selected",
          "10,70: Selected LPT3:", "10,100: CreateFile error code = -2147483648 on port LPT3:"},
         "ERROR",
         "Could not open printer port LPT3:",
         {"", "", ""},
         "OSTRANE_LPT3 -> \\Device\\Parallel2"},
        {"NtWriteFails",
         Nt(WithWriteFailing(lpt2), ChooseLpt2),
         {"10,10: OS = NT", "10,40: Dialog Selected",
          "10,70: Selected LPT2:", "10,130: Error 29 writing to printer port LPT2:"},
         "ERROR",
         "Error writing to printer port LPT2:",
         {"", "", ""},
         "OSTRANE_LPT2 -> \\Device\\Parallel1"},
        {"NtShortWriteIsAFailure",
         Nt(WithShortWrite(lpt2), ChooseLpt2),
         {"10,10: OS = NT", "10,40: Dialog Selected",
          "10,70: Selected LPT2:", "10,130: Error 1460 writing to printer port LPT2:"},
         "ERROR",
         "Error writing to printer port LPT2:",
         {"", "63", ""},
         "OSTRANE_LPT2 -> \\Device\\Parallel1"},
        {"NtNoPrinterOnChosenPortTimesOut", // LPT1 is chosen as the dialog opens
         Nt(lpt2),
         {"10,10: OS = NT", "10,40: Dialog Selected",
          "10,70: Selected LPT1:", "10,130: Error 1460 writing to printer port LPT1:"},
         "ERROR",
         "Error writing to printer port LPT1:",
         {"", "", ""},
         "OSTRANE_LPT1 -> \\Device\\Parallel0"},
    };
}

class UpdateRun : public ::testing::TestWithParam<Road> {};

TEST_P(UpdateRun, EndsAsExpected) {
    const Road& road = GetParam();
    const sim::Outcome o = sim::RunFresh(road.setup);
    const std::string seen = Describe(o);

    ASSERT_EQ(o.crashSignal, 0) << seen;
    ASSERT_FALSE(o.stuck) << seen;
    EXPECT_EQ(o.exitCode, 0) << seen;
    EXPECT_EQ(o.visibleLines, road.visible) << seen;

    ASSERT_EQ(o.messageBoxes.size(), 1u) << seen;
    const sim::MessageBoxRecord& box = o.messageBoxes[0];
    EXPECT_EQ(box.caption, road.caption) << seen;
    EXPECT_EQ(box.text, road.text) << seen;
    // A box of its own (no owner), with one OK button and no icon, that the user dismissed; no
    // modal loop, the port dialog's included, was cut short by a quit request already waiting.
    EXPECT_EQ(box.owner, "none") << seen;
    EXPECT_EQ(box.type, UINT(MB_OK)) << seen;
    EXPECT_FALSE(box.endedByQuit) << seen;
    EXPECT_EQ(o.modalLoopsEndedByQuit, 0) << seen;

    for (int i = 0; i < 3; ++i) {
        const std::string& want = road.bytes[i];
        if (want == "record")
            EXPECT_EQ(o.portBytes[i], qxtest::ListedRecord()) << "LPT" << i + 1 << "\n" << seen;
        else if (want.empty())
            EXPECT_EQ(o.portBytes[i], "") << "LPT" << i + 1 << "\n" << seen;
        else
            EXPECT_EQ(o.portBytes[i], qxtest::ListedRecord().substr(0, std::stoul(want)))
                << "LPT" << i + 1 << "\n"
                << seen;
    }

    // Whatever happened, the PC is left as it was found, but for the NT alias.
    EXPECT_TRUE(o.spoolerRunning) << seen;
    EXPECT_FALSE(o.scratchFileLeft) << seen;
    for (const sim::PortHandleRecord& h : o.portHandles)
        EXPECT_EQ(h.closes, 1) << "handle on LPT" << h.port << " (" << h.path << ")\n" << seen;
    std::vector<std::string> aliases;
    for (const auto& [name, targets] : o.dosDevices)
        if (name.rfind("OSTRANE_", 0) == 0)
            for (const std::string& target : targets)
                aliases.push_back(name + " -> " + target);
    EXPECT_EQ(aliases,
              road.alias ? std::vector<std::string>{road.alias} : std::vector<std::string>{})
        << seen;
}

INSTANTIATE_TEST_SUITE_P(Roads, UpdateRun, ::testing::ValuesIn(Roads()),
                         [](const auto& info) { return std::string(info.param.name); });

// The NT road's order: the spooler is stopped before the port is opened and written, and
// started again, with the scratch file deleted, before the outcome is shown.
TEST(UpdateRunOrder, NtStopsSpoolerAroundTheWrite) {
    const sim::Outcome o =
        sim::RunFresh(Nt(qxtest::Printers({{3, PrinterKind::Takes}}), ChooseLpt3));
    const std::vector<std::string> t = o.Transcript();
    const long stop = Find(t, "shell: net stop spooler > OstraneUpdate");
    const long write = Find(t, "write LPT3: 126 of 126 bytes");
    const long start = Find(t, "shell: net start spooler > OstraneUpdate");
    const long del = Find(t, "shell: del OstraneUpdate");
    const long box = Find(t, "message box \"QX310WUP\" (OK button, no icon, no owner): Printer "
                             "Device ID successfully updated");
    ASSERT_TRUE(stop >= 0 && write >= 0 && start >= 0 && del >= 0 && box >= 0) << Describe(o);
    EXPECT_LT(Find(t, "dialog closed"), stop) << Describe(o);
    EXPECT_LT(stop, write) << Describe(o);
    EXPECT_LT(write, start) << Describe(o);
    EXPECT_LT(start, del) << Describe(o);
    EXPECT_LT(del, box) << Describe(o);
    EXPECT_EQ(o.dosDevices.at("OSTRANE_LPT3"), std::vector<std::string>{"\\Device\\Parallel2"});
    // The one-second pause after stopping the spooler, and the 10-second write time-out.
    const std::vector<std::string> trace = o.Trace();
    EXPECT_GE(Find(trace, "Sleep#1 1000 ms"), 0) << qxtest::DescribeWithTrace(o);
    EXPECT_GE(Find(trace, "write time-out 10000 ms + 0 ms per byte"), 0)
        << qxtest::DescribeWithTrace(o);
}

TEST(UpdateRunOrder, NtOpenFailureRestartsSpoolerBeforeTheMessage) {
    const sim::Outcome o = sim::RunFresh(Nt(WithAbsent(sim::Setup(), 2), ChooseLpt2));
    const std::vector<std::string> t = o.Transcript();
    const long start = Find(t, "shell: net start spooler");
    const long del = Find(t, "shell: del OstraneUpdate");
    const long box = Find(
        t,
        "message box \"ERROR\" (OK button, no icon, no owner): Could not open printer port LPT2:");
    ASSERT_TRUE(start >= 0 && del >= 0 && box >= 0) << Describe(o);
    EXPECT_LT(start, del) << Describe(o);
    EXPECT_LT(del, box) << Describe(o);
}

TEST(UpdateRunOrder, WriteFailureClosesThePortBeforeRestartingSpooler) {
    const sim::Outcome o = sim::RunFresh(Nt(WithWriteFailing(sim::Setup()), ChooseLpt2));
    long close = -1, restart = -1, index = 0;
    for (const sim::Event& e : o.events) {
        if (e.text.find("closed LPT2:") != std::string::npos && close < 0)
            close = index;
        if (e.text.find("shell: net start spooler") != std::string::npos && restart < 0)
            restart = index;
        ++index;
    }
    ASSERT_TRUE(close >= 0 && restart >= 0) << qxtest::DescribeWithTrace(o);
    EXPECT_LT(close, restart) << qxtest::DescribeWithTrace(o);
}

TEST(UpdateRunOrder, Win9xLeavesSpoolerAndAliasesAlone) {
    const sim::Outcome o = sim::RunFresh(sim::Setup());
    const std::vector<std::string> t = o.Transcript();
    EXPECT_EQ(Find(t, "shell:"), -1) << Describe(o);
    const std::vector<std::string> trace = o.Trace();
    EXPECT_EQ(Find(trace, "DefineDosDeviceA"), -1) << qxtest::DescribeWithTrace(o);
    EXPECT_EQ(Find(trace, "QueryDosDeviceA"), -1) << qxtest::DescribeWithTrace(o);
    EXPECT_EQ(Find(trace, "DialogBoxParamA"), -1) << qxtest::DescribeWithTrace(o);
    // The read-back follows the write at once, on the same handle, before it is closed.
    const long write = Find(trace, "WriteFile#1");
    const long query = Find(trace, "DeviceIoControl#3", write);
    const long close = Find(trace, "closed LPT2:", write);
    EXPECT_TRUE(write >= 0 && query > write && close > query) << qxtest::DescribeWithTrace(o);
    EXPECT_EQ(Find(trace, "Sleep"), -1) << qxtest::DescribeWithTrace(o);
    EXPECT_EQ(o.printerIds[1], qxtest::ListedExpectedId());
}

} // namespace
