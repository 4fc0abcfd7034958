// Every single fault on both roads. The cases come from the call sites themselves: each road is
// run once cleanly, and every platform call it made (CALL#n in the trace) and every shell command
// it ran becomes a case in which that one call fails; every write and device ID query also gets
// cases in which it succeeds wrongly. Whatever goes wrong, the run must end normally, tell the
// user the truth in one message box, and leave the PC as it found it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "sim.h"
#include "update/record.h"

namespace {

enum class Road { Win9x, NT };

const char* RoadName(Road road) {
    return road == Road::NT ? "NT" : "W9x";
}

constexpr int Lpt2 = 1; // port index of the printer on both roads
constexpr char OtherPrinterId[] = "MFG:Other;CMD:PCL;MODEL:Other-1;CLASS:PRINTER;";

// The printer to update is on LPT2. LPT1 and LPT3 have printers of another model, so that a byte
// sent to the wrong port shows. On NT the user picks LPT2 and presses OK; should the dialog stay
// open after OK, the user presses OK once more, as anyone would.
sim::Setup BaseSetup(Road road) {
    sim::Setup setup;
    for (int i : {0, 2})
        setup.ports[i].printer = sim::PrinterSetup{sim::PrinterKind::Takes, OtherPrinterId};
    if (road == Road::NT) {
        setup.family = sim::Family::NT;
        setup.dialogActions = {"click:LPT2", "click:OK", "click:OK"};
    }
    return setup;
}

// What a case relaxes, because the fault takes away the very thing the check looks for.
enum Relax : unsigned {
    NoMessageBox = 1,   // the box was never shown
    SpoolerStopped = 2, // the spooler is left stopped
    ScratchLeft = 4,    // the scratch file is left behind
    HandleLeftOpen = 8, // a port handle is left open
};

struct Accepted {
    const char* call;
    int occurrence; // 0: any
    unsigned relax;
    const char* why;
};

// Faults whose consequence is accepted, and why. Any fault not listed here must pass every check.
const Accepted AcceptedFaults[] = {
    {"RegisterClassA", 0, NoMessageBox,
     "without its window class the program ends at once, before it touches a port"},
    {"CreateWindowExA", 0, NoMessageBox,
     "without its window the program ends at once, before it touches a port"},
    {"SendMessageA", 0, NoMessageBox,
     "sent to a window of the same thread it is a direct call of the window procedure; the "
     "program cannot tell a failure from the procedure's own result, and nothing was touched"},
    {"MessageBoxA", 0, NoMessageBox,
     "the platform refused to show the report; there is no other channel by design, and the PC "
     "is left sound all the same"},
    // The second net command is the restart.
    {"net", 2, SpoolerStopped,
     "the restart command is issued on every road that stopped the spooler; a service that "
     "refuses to start is beyond the program, which ignores the command's result"},
    {"del", 0, ScratchLeft,
     "the delete command is issued on every road that made the file; its result is ignored"},
    {"CloseHandle", 0, HandleLeftOpen,
     "the program closes each handle once; a close the platform refuses is not retried"},
};

// Calls that cannot fail on the platform: a fault there would test nothing.
const char* const CannotFail[] = {"Sleep", "PostQuitMessage", "EndPaint"};

struct Case {
    Road road;
    sim::FaultSetup fault;
    std::string label; // what goes wrong, for the test name
    int chosen = Lpt2; // the only port the record may reach
    unsigned relax = 0;
    const char* why = "";
};

std::string Describe(const Case& c) {
    std::string text = std::string(RoadName(c.road)) + " road, " + c.fault.call + "#" +
                       std::to_string(c.fault.occurrence) + " " + c.label +
                       "; the record may go to LPT" + std::to_string(c.chosen + 1);
    if (c.relax)
        text += std::string("; accepted: ") + c.why;
    return text;
}

void PrintTo(const Case& c, std::ostream* os) {
    *os << Describe(c);
}

std::string Events(const sim::Outcome& o) {
    std::string text = "what the run did:\n";
    for (const sim::Event& e : o.events)
        text += (e.kind == sim::EventKind::Trace ? "    . " : "  ") + e.text + "\n";
    return text;
}

const std::string Record(reinterpret_cast<const char*>(DeviceIdRecord.data()), RecordSize);
const std::string ExpectedId(ExpectedIdText.data());

// Replies a misbehaving driver gives in place of the printer's.
struct BadReply {
    const char* label;
    std::string bytes;
    DWORD count;
    bool carriesModel;
};

std::vector<BadReply> BadReplies() {
    const std::string other = "MFG:Other;CMD:X;MODEL:Other-1;";
    return {
        {"replyOtherPrinter", other, static_cast<DWORD>(other.size()), false},
        // The new ID, with a count past the end of any buffer.
        {"replyCountTooLarge", ExpectedId, 0xFFFFFFFFu, true},
        // The old ID, cut off by the reported count before the model.
        {"replyCountTooSmall", "MFG:Ostrane;CMD:DUSKFERNCMDS;MODEL:Velmor-2600;", 5, false},
    };
}

void Accept(Case& c) {
    for (const Accepted& a : AcceptedFaults)
        if (c.fault.kind == sim::FaultKind::Fail && c.fault.call == a.call &&
            (a.occurrence == 0 || a.occurrence == c.fault.occurrence)) {
            c.relax = a.relax;
            c.why = a.why;
        }
}

// Every case of one road, from a clean run of it.
void AddRoad(Road road, std::vector<Case>& cases) {
    const sim::Outcome clean = sim::RunFresh(BaseSetup(road));
    static const std::regex site(R"(^([A-Za-z]+)#([0-9]+))");
    int lastOpened = -1;
    bool written = false;
    std::map<std::string, int> shellCounts;
    for (const sim::Event& e : clean.events) {
        if (e.kind == sim::EventKind::Transcript) {
            for (const char* shell : {"net", "del"})
                if (e.text.rfind(std::string("shell: ") + shell + " ", 0) == 0) {
                    Case c{road, {shell, ++shellCounts[shell]}, "fails"};
                    Accept(c);
                    cases.push_back(c);
                }
            continue;
        }
        if (e.text.rfind("  opened LPT", 0) == 0)
            lastOpened = e.text[12] - '1';
        std::smatch m;
        if (!std::regex_search(e.text, m, site))
            continue;
        const std::string call = m[1];
        const int n = std::stoi(m[2]);
        if (std::find(std::begin(CannotFail), std::end(CannotFail), call) != std::end(CannotFail))
            continue;
        Case failing{road, {call, n}, "fails"};
        Accept(failing);
        cases.push_back(failing);
        if (call == "WriteFile") {
            written = true;
            for (DWORD taken : {0u, 1u, static_cast<DWORD>(RecordSize - 1)}) {
                sim::FaultSetup fault{call, n};
                fault.kind = sim::FaultKind::ShortWrite;
                fault.count = taken;
                cases.push_back({road, fault, "takes" + std::to_string(taken)});
            }
        }
        if (call == "DeviceIoControl") {
            for (const BadReply& reply : BadReplies()) {
                sim::FaultSetup fault{call, n};
                fault.kind = sim::FaultKind::Reply;
                fault.bytes = reply.bytes;
                fault.count = reply.count;
                Case c{road, fault, reply.label};
                // During the search, a port whose driver claims the model becomes the chosen one.
                if (!written && reply.carriesModel)
                    c.chosen = lastOpened;
                cases.push_back(c);
            }
        }
    }
}

const std::vector<Case>& AllCases() {
    static const std::vector<Case> cases = [] {
        std::vector<Case> all;
        AddRoad(Road::Win9x, all);
        AddRoad(Road::NT, all);
        return all;
    }();
    return cases;
}

std::string CaseName(const testing::TestParamInfo<Case>& info) {
    const Case& c = info.param;
    return std::string(RoadName(c.road)) + "_" + c.fault.call + "_" +
           std::to_string(c.fault.occurrence) + "_" + c.label;
}

long IndexOf(const std::vector<std::string>& lines, const std::string& prefix, bool last = false) {
    long found = -1;
    for (long i = 0; i < static_cast<long>(lines.size()); ++i)
        if (lines[i].rfind(prefix, 0) == 0) {
            found = i;
            if (!last)
                break;
        }
    return found;
}

class FaultMatrix : public testing::TestWithParam<Case> {};

TEST(FaultMatrixBase, CleanRoadsSucceed) {
    for (Road road : {Road::Win9x, Road::NT}) {
        const sim::Outcome o = sim::RunFresh(BaseSetup(road));
        ASSERT_EQ(o.messageBoxes.size(), 1u) << RoadName(road) << "\n" << Events(o);
        EXPECT_EQ(o.messageBoxes[0].text, "Printer Device ID successfully updated")
            << RoadName(road) << "\n"
            << Events(o);
        EXPECT_EQ(o.portBytes[Lpt2], Record) << RoadName(road);
    }
}

TEST(FaultMatrixBase, CoversEveryKindOfCallSite) {
    // The generated table must reach the calls that matter; a trace format change that hid them
    // would otherwise leave the matrix quietly empty.
    std::vector<std::string> names;
    for (const Case& c : AllCases())
        names.push_back(std::string(RoadName(c.road)) + " " + c.fault.call);
    for (const char* expected :
         {"W9x CreateFileA", "W9x DeviceIoControl", "W9x WriteFile", "W9x CloseHandle",
          "NT DialogBoxParamA", "NT DefineDosDeviceA", "NT QueryDosDeviceA", "NT CreateFileA",
          "NT WriteFile", "NT net", "NT del", "NT MessageBoxA", "W9x GetVersionExA"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
}

TEST_P(FaultMatrix, LeavesThePcSoundAndTellsTheTruth) {
    const Case& c = GetParam();
    sim::Setup setup = BaseSetup(c.road);
    setup.faults = {c.fault};
    const sim::Outcome o = sim::RunFresh(setup);
    ASSERT_EQ(o.crashSignal, 0) << Describe(c);
    const std::string seen = Describe(c) + "\n" + Events(o);
    EXPECT_FALSE(o.stuck) << seen;
    EXPECT_EQ(o.exitCode, 0) << seen;

    // One report, and success only when the record reached the chosen port and the printer
    // there now reports the new ID.
    if (!(c.relax & NoMessageBox)) {
        ASSERT_EQ(o.messageBoxes.size(), 1u) << seen;
    }
    EXPECT_LE(o.messageBoxes.size(), 1u) << seen;
    for (const sim::MessageBoxRecord& box : o.messageBoxes) {
        const std::string& caption = box.caption;
        const std::string& text = box.text;
        const bool success = text == "Printer Device ID successfully updated";
        EXPECT_EQ(caption, success ? (c.road == Road::NT ? "QX310WUP" : "Success") : "ERROR")
            << seen;
        if (success) {
            EXPECT_EQ(o.portBytes[c.chosen], Record) << seen;
            EXPECT_EQ(o.printerIds[c.chosen], ExpectedId) << seen;
        }
    }

    for (int i = 0; i < sim::PortCount; ++i)
        if (i != c.chosen) {
            EXPECT_EQ(o.portBytes[i], "") << "LPT" << i + 1 << " received bytes\n" << seen;
        }

    for (const sim::PortHandleRecord& h : o.portHandles) {
        EXPECT_EQ(h.closeCalls, 1) << "handle on LPT" << h.port << " " << h.path << "\n" << seen;
        if (!(c.relax & HandleLeftOpen)) {
            EXPECT_EQ(h.closes, 1) << "handle on LPT" << h.port << " " << h.path << "\n" << seen;
        }
    }

    const std::vector<std::string> t = o.Transcript();
    const long stop = IndexOf(t, "shell: net stop spooler");
    if (c.road == Road::Win9x) {
        EXPECT_EQ(IndexOf(t, "shell: "), -1) << "the 95/98 road runs no shell command\n" << seen;
    } else if (stop >= 0) {
        // Every road that stopped the spooler starts it again and removes the scratch file after
        // the port is closed and before the report.
        const long start = IndexOf(t, "shell: net start spooler", true);
        const long del = IndexOf(t, "shell: del OstraneUpdate", true);
        ASSERT_GT(start, stop) << seen;
        EXPECT_GT(del, start) << seen;
        const long report = IndexOf(t, "message box", true);
        if (report >= 0) {
            EXPECT_GT(report, del) << "reported before the PC was put back\n" << seen;
        }
        long lastClose = -1;
        for (long i = 0; i < static_cast<long>(o.events.size()); ++i)
            if (o.events[i].text.rfind("  closed LPT", 0) == 0)
                lastClose = i;
        long startEvent = -1;
        for (long i = 0; i < static_cast<long>(o.events.size()); ++i)
            if (o.events[i].text.rfind("shell: net start spooler", 0) == 0)
                startEvent = i;
        EXPECT_GT(startEvent, lastClose) << "the spooler restarted before the port was closed\n"
                                         << seen;
    }
    // The only alias the run may leave is the chosen port's, pointing at that port.
    std::map<std::string, std::vector<std::string>> aliases = o.dosDevices;
    if (c.road == Road::NT) {
        const std::string own = "OSTRANE_LPT" + std::to_string(c.chosen + 1);
        if (aliases.count(own)) {
            EXPECT_EQ(aliases[own],
                      std::vector<std::string>{"\\Device\\Parallel" + std::to_string(c.chosen)})
                << seen;
            aliases.erase(own);
        }
        for (int i = 0; i < sim::PortCount; ++i) {
            const std::string name = "LPT" + std::to_string(i + 1);
            EXPECT_EQ(aliases[name],
                      std::vector<std::string>{"\\Device\\Parallel" + std::to_string(i)})
                << seen;
            aliases.erase(name);
        }
    }
    for (const auto& [name, targets] : aliases)
        ADD_FAILURE() << "DOS device " << name << " left behind\n" << seen;

    if (!(c.relax & SpoolerStopped)) {
        EXPECT_TRUE(o.spoolerRunning) << seen;
    }
    if (!(c.relax & ScratchLeft)) {
        EXPECT_FALSE(o.scratchFileLeft) << seen;
    }
}

// What the user is told where the matrix found the program going wrong.
TEST(FaultMatrixFindings, NoPortChosenOnNtStopsBeforeAnythingIsTouched) {
    struct {
        const char* what;
        sim::FaultSetup fault;
    } cases[] = {
        {"the dialog cannot be shown", {"DialogBoxParamA", 1}},
        // The fifth item message reads LPT2's check state after OK.
        {"the chosen button's state cannot be read", {"SendDlgItemMessageA", 5}},
    };
    for (const auto& c : cases) {
        sim::Setup setup = BaseSetup(Road::NT);
        setup.faults = {c.fault};
        const sim::Outcome o = sim::RunFresh(setup);
        const std::string seen = std::string(c.what) + "\n" + Events(o);
        ASSERT_EQ(o.messageBoxes.size(), 1u) << seen;
        EXPECT_EQ(o.messageBoxes[0].caption, "ERROR") << seen;
        EXPECT_EQ(o.messageBoxes[0].text, "No printer port selected !\n\nDevice ID not updated !")
            << seen;
        EXPECT_EQ(IndexOf(o.Transcript(), "shell: "), -1) << seen;
        EXPECT_EQ(o.dosDevices.count("OSTRANE_LPT1"), 0u) << seen;
        EXPECT_TRUE(o.portHandles.empty()) << seen;
    }
}

TEST(FaultMatrixFindings, UpdateRunsWhenTheStartMessageCannotBeRegistered) {
    for (Road road : {Road::Win9x, Road::NT}) {
        sim::Setup setup = BaseSetup(road);
        setup.faults = {{"RegisterWindowMessageA", 1}};
        const sim::Outcome o = sim::RunFresh(setup);
        ASSERT_EQ(o.messageBoxes.size(), 1u) << RoadName(road) << "\n" << Events(o);
        EXPECT_EQ(o.messageBoxes[0].text, "Printer Device ID successfully updated") << Events(o);
        EXPECT_EQ(o.portBytes[Lpt2], Record) << Events(o);
    }
}

INSTANTIATE_TEST_SUITE_P(EverySingleFault, FaultMatrix, testing::ValuesIn(AllCases()), CaseName);

} // namespace
