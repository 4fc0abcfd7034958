// The port functions on their own: the printer search, the device ID query, the NT alias and
// the open path, each run in a fresh process on a machine set up for it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "ports/ports.h"
#include "update/update.h"

namespace {

using qxtest::Describe;
using qxtest::DescribeWithTrace;
using qxtest::Find;
using sim::PrinterKind;

// A port's setup for the search: absent, refusing to open, empty, or a printer reporting an ID.
struct Port {
    enum { Absent, Refuses, Empty, Printer } state;
    std::string id;
};

struct SearchCase {
    const char* name;
    std::array<Port, 3> ports;
    int expected;
};

void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << c.name;
}

const std::string Model = "MODEL:Velmor-2600";

std::vector<SearchCase> SearchCases() {
    const Port none{Port::Empty, ""};
    const Port velmor{Port::Printer, ""}; // the model's usual ID
    return {
        {"FirstOfTwoMatches", {velmor, velmor, none}, 0},
        {"OnlyTheThird", {none, none, velmor}, 2},
        {"NoPrinterAnywhere", {none, none, none}, -1},
        {"AbsentAndRefusingPortsAreSkipped",
         {Port{Port::Absent, ""}, Port{Port::Refuses, ""}, velmor},
         2},
        {"KeyWithTextAroundIt",
         {Port{Port::Printer, "MFG:X;" + Model + "-B;CLS:Y"}, none, none},
         0},
        {"KeyAtTheVeryEnd", {none, Port{Port::Printer, "MFG:Ostrane;" + Model}, none}, 1},
        {"LowerCaseKeyDoesNotMatch",
         {Port{Port::Printer, "MFG:Ostrane;model:velmor-2600;"}, none, none},
         -1},
        {"OtherModelIsPassedOver",
         {Port{Port::Printer, "MFG:Ostrane;MODEL:Velmor-2400;"}, velmor, none},
         1},
        {"AlreadyUpdatedPrinterStillMatches",
         {none, Port{Port::Printer, qxtest::ListedExpectedId()}, none},
         1},
        {"TruncatedKeyDoesNotMatch", {Port{Port::Printer, "MODEL:Velmor-260"}, none, none}, -1},
    };
}

class Search : public ::testing::TestWithParam<SearchCase> {};

TEST_P(Search, FindsTheFirstPortWhosePrinterReportsTheModel) {
    const SearchCase& c = GetParam();
    sim::Setup setup = qxtest::NoPrinters();
    for (int i = 0; i < 3; ++i) {
        const Port& p = c.ports[i];
        setup.ports[i].present = p.state != Port::Absent;
        setup.ports[i].refuses = p.state == Port::Refuses;
        if (p.state == Port::Printer)
            setup.ports[i].printer = sim::PrinterSetup{PrinterKind::Takes};
        if (p.state == Port::Printer && !p.id.empty())
            setup.ports[i].printer->id = p.id;
    }
    const sim::Outcome o = sim::RunFresh(setup, [] {
        PlatformKind = PlatformWin9x;
        sim::Note("found " + std::to_string(CheckDeviceID()));
        return 0;
    });
    EXPECT_EQ(Find(o.Transcript(), "note: found " + std::to_string(c.expected)), 0)
        << DescribeWithTrace(o);
    // The search only asks; it writes nothing and closes every port it opened.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(o.portBytes[i], "") << "LPT" << i + 1;
    for (const sim::PortHandleRecord& h : o.portHandles)
        EXPECT_EQ(h.closes, 1) << h.path << "\n" << DescribeWithTrace(o);
}

INSTANTIATE_TEST_SUITE_P(Ports, Search, ::testing::ValuesIn(SearchCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Search, StopsAtTheFirstMatchAndOpensPortsInOrder) {
    const sim::Outcome o =
        sim::RunFresh(qxtest::Printers({{2, PrinterKind::Takes}, {3, PrinterKind::Takes}}), [] {
            PlatformKind = PlatformWin9x;
            return CheckDeviceID();
        });
    std::vector<std::string> opens;
    for (const std::string& line : o.Trace())
        if (line.rfind("CreateFileA#", 0) == 0)
            opens.push_back(line.substr(line.find(' ') + 1));
    EXPECT_EQ(opens, (std::vector<std::string>{
                         "\"LPT1:\" access=0x40000000 share=0 creation=3 flags=0x0",
                         "\"LPT2:\" access=0x40000000 share=0 creation=3 flags=0x0"}))
        << DescribeWithTrace(o);
    EXPECT_EQ(o.exitCode, 1);
}

// Runs QueryDeviceId on LPT1 of a 95/98 machine whose printer reports `id`, with the reply
// buffer filled with a marker beforehand; notes the count, the reply's length as a string and
// the byte after the count.
sim::Outcome Query(const std::string& id, sim::Family family = sim::Family::Win9x) {
    sim::Setup setup = qxtest::NoPrinters();
    setup.family = family;
    setup.ports[0].printer = sim::PrinterSetup{PrinterKind::Takes, id};
    return sim::RunFresh(setup, [] {
        HANDLE port = CreateFileA("\\\\.\\LPT1", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (port == INVALID_HANDLE_VALUE)
            sim::Note("open failed"); // the NT road's spooler holds the port; see below
        DeviceIdReply reply;
        std::memset(reply, 'x', sizeof reply);
        const DWORD count = QueryDeviceId(port, reply);
        sim::Note("count " + std::to_string(count) + " length " +
                  std::to_string(std::strlen(reply)) + " next " +
                  std::to_string(int(reply[count])));
        return 0;
    });
}

TEST(Query, ReplyIsTerminatedAfterTheReturnedCount) {
    const struct {
        std::size_t idLength;
        const char* note;
    } cases[] = {
        {77, "note: count 77 length 77 next 0"},
        {511, "note: count 511 length 511 next 0"},
        {512, "note: count 512 length 512 next 0"},
        {600, "note: count 512 length 512 next 0"}, // the driver fills the 512-byte buffer
    };
    for (const auto& c : cases) {
        const sim::Outcome o = Query(std::string(c.idLength, 'M'));
        EXPECT_EQ(o.Transcript().front(), c.note) << "ID of " << c.idLength << " bytes\n"
                                                  << Describe(o);
    }
}

TEST(Query, ADriverClaimingMoreThanTheBufferIsCutAtIts512Bytes) {
    // Only the reported count lies: the bytes that fit are there, and the terminator must
    // still land inside the reply.
    for (const DWORD claimed : {513u, 4096u, 0xFFFFFFFFu}) {
        sim::Setup setup = qxtest::Printers({{1, PrinterKind::Takes}});
        setup.faults.push_back(
            {"DeviceIoControl", 1, 0, sim::FaultKind::Reply, claimed, std::string(600, 'M')});
        const sim::Outcome o = sim::RunFresh(setup, [] {
            HANDLE port = CreateFileA("LPT1:", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
            struct {
                DeviceIdReply reply;
                char after[16];
            } buffer;
            std::memset(&buffer, 'x', sizeof buffer);
            const DWORD count = QueryDeviceId(port, buffer.reply);
            sim::Note("count " + std::to_string(count) + " length " +
                      std::to_string(std::strlen(buffer.reply)) + " after " +
                      std::string(buffer.after, 16));
            CloseHandle(port);
            return 0;
        });
        EXPECT_EQ(o.Transcript().front(), "note: count 512 length 512 after xxxxxxxxxxxxxxxx")
            << "claimed " << claimed << "\n"
            << Describe(o);
    }
}

TEST(Query, AFailedQueryGivesAnEmptyReply) {
    // The NT driver does not answer the 95/98 control code.
    sim::Setup setup = qxtest::Printers({{1, PrinterKind::Takes}}, sim::Family::NT);
    const sim::Outcome o = sim::RunFresh(setup, [] {
        std::system("net stop spooler > OstraneUpdate");
        HANDLE port = CreateFileA("LPT1:", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        DeviceIdReply reply;
        std::memset(reply, 'x', sizeof reply);
        const DWORD count = QueryDeviceId(port, reply);
        sim::Note((port == INVALID_HANDLE_VALUE ? "not opened" : "opened") +
                  std::string(", count ") + std::to_string(count) + ", reply \"" + reply + "\"");
        CloseHandle(port);
        return 0;
    });
    EXPECT_GE(Find(o.Transcript(), "note: opened, count 0, reply \"\""), 0) << Describe(o);
}

// Runs remove-then-define for a port, as the update run does, on a machine with the given DOS
// devices defined beforehand.
sim::Outcome Alias(int port, sim::Family family,
                   std::vector<std::pair<std::string, std::string>> before = {}) {
    sim::Setup setup;
    setup.family = family;
    setup.dosDevices = std::move(before);
    return sim::RunFresh(setup, [port, family] {
        PlatformKind = family == sim::Family::NT ? PlatformNT : PlatformWin9x;
        SetPortAlias(FALSE, PortNames[port - 1]);
        SetPortAlias(TRUE, PortNames[port - 1]);
        return 0;
    });
}

using Targets = std::vector<std::string>;

TEST(Alias, EachPortGetsItsOwnNameAndRawTarget) {
    for (int port = 1; port <= 3; ++port) {
        const sim::Outcome o = Alias(port, sim::Family::NT);
        const std::string name = "OSTRANE_LPT" + std::to_string(port);
        ASSERT_EQ(o.dosDevices.count(name), 1u) << DescribeWithTrace(o);
        EXPECT_EQ(o.dosDevices.at(name), Targets{"\\Device\\Parallel" + std::to_string(port - 1)});
        // The definition is a raw target path, not a DOS path.
        EXPECT_GE(Find(o.Trace(), "DefineDosDeviceA#2 flags=1 \"" + name + "\" \"\\\\Device"), 0)
            << DescribeWithTrace(o);
    }
}

TEST(Alias, RedefiningReplacesTheNewestDefinition) {
    // A run before this one left its alias; remove-then-define leaves exactly one again.
    const sim::Outcome o = Alias(2, sim::Family::NT, {{"OSTRANE_LPT2", "\\Device\\Parallel1"}});
    EXPECT_EQ(o.dosDevices.at("OSTRANE_LPT2"), Targets{"\\Device\\Parallel1"})
        << DescribeWithTrace(o);
}

TEST(Alias, AnOlderDefinitionThatStillResolvesStaysInForce) {
    // Two stacked definitions: removing the newest uncovers the older one, which fits the
    // 20-character query and is kept as it is, even though it names another port.
    const sim::Outcome o =
        Alias(2, sim::Family::NT,
              {{"OSTRANE_LPT2", "\\Device\\Parallel0"}, {"OSTRANE_LPT2", "\\Device\\Parallel1"}});
    EXPECT_EQ(o.dosDevices.at("OSTRANE_LPT2"), Targets{"\\Device\\Parallel0"})
        << DescribeWithTrace(o);
    EXPECT_EQ(Find(o.Trace(), "DefineDosDeviceA#2"), -1) << DescribeWithTrace(o);
}

TEST(Alias, AnOlderDefinitionTooLongForTheQueryCountsAsAbsent) {
    const std::string longTarget = "\\Device\\SomewhereElse0";
    const sim::Outcome o =
        Alias(3, sim::Family::NT,
              {{"OSTRANE_LPT3", longTarget}, {"OSTRANE_LPT3", "\\Device\\Parallel2"}});
    EXPECT_EQ(o.dosDevices.at("OSTRANE_LPT3"), (Targets{"\\Device\\Parallel2", longTarget}))
        << DescribeWithTrace(o);
}

TEST(Alias, Win9xMakesNoCallAtAll) {
    const sim::Outcome o = Alias(1, sim::Family::Win9x);
    EXPECT_TRUE(o.Trace().empty()) << DescribeWithTrace(o);
    EXPECT_TRUE(o.dosDevices.empty());
}

TEST(OpenPort, PathDependsOnTheFamilyAndTheRestPassesThrough) {
    const struct {
        sim::Family family;
        int port;
        const char* traced;
    } cases[] = {
        {sim::Family::NT, 3,
         "CreateFileA#1 \"\\\\\\\\.\\\\OSTRANE_LPT3\" access=0x40000000 share=0 creation=3 "
         "flags=0x80"},
        {sim::Family::NT, 1,
         "CreateFileA#1 \"\\\\\\\\.\\\\OSTRANE_LPT1\" access=0x40000000 share=0 creation=3 "
         "flags=0x80"},
        {sim::Family::Win9x, 2,
         "CreateFileA#1 \"LPT2:\" access=0x40000000 share=0 creation=3 flags=0x80"},
    };
    for (const auto& c : cases) {
        sim::Setup setup;
        setup.family = c.family;
        const sim::Outcome o = sim::RunFresh(setup, [&c] {
            PlatformKind = c.family == sim::Family::NT ? PlatformNT : PlatformWin9x;
            HANDLE port = OpenPort(PortNames[c.port - 1], GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
            if (port != INVALID_HANDLE_VALUE)
                CloseHandle(port);
            return 0;
        });
        EXPECT_EQ(Find(o.Trace(), c.traced), 0) << DescribeWithTrace(o);
    }
}

TEST(OpenPort, NtReachesThePortOnlyThroughTheAliasOnceTheSpoolerIsStopped) {
    sim::Setup setup;
    setup.family = sim::Family::NT;
    const sim::Outcome o = sim::RunFresh(setup, [] {
        PlatformKind = PlatformNT;
        auto open = [] {
            HANDLE port = OpenPort(PortNames[1], GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
            const DWORD error = port == INVALID_HANDLE_VALUE ? GetLastError() : 0;
            if (port != INVALID_HANDLE_VALUE)
                CloseHandle(port);
            return std::to_string(error);
        };
        sim::Note("no alias: " + open());
        SetPortAlias(TRUE, PortNames[1]);
        sim::Note("spooler running: " + open());
        std::system("net stop spooler > OstraneUpdate");
        sim::Note("spooler stopped: " + open());
        std::system("net start spooler > OstraneUpdate");
        std::system("del OstraneUpdate");
        return 0;
    });
    const std::vector<std::string> t = o.Transcript();
    EXPECT_GE(Find(t, "note: no alias: 2"), 0) << Describe(o);
    EXPECT_GE(Find(t, "note: spooler running: 32"), 0) << Describe(o);
    EXPECT_GE(Find(t, "note: spooler stopped: 0"), 0) << Describe(o);
}

} // namespace
