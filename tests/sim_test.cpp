// The simulated PC itself: the behaviours the program's tests rely on, checked against the
// platform's documented behaviour.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "harness.h"

namespace {

using qxtest::Describe;
using qxtest::Find;

std::string Reply(HANDLE port) {
    char reply[600] = {};
    DWORD count = 0;
    if (!DeviceIoControl(port, 17, NULL, 0, reply, 512, &count, NULL))
        return "<failed " + std::to_string(GetLastError()) + ">";
    return std::string(reply, count);
}

// Writes `chunks` to a 95/98 printer on LPT1 and notes what it reports afterwards.
sim::Outcome SendToPrinter(std::vector<std::string> chunks) {
    sim::Setup setup = qxtest::Printers({{1, sim::PrinterKind::Takes}});
    return sim::RunFresh(setup, [chunks] {
        HANDLE port = CreateFileA("LPT1:", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        for (const std::string& chunk : chunks) {
            DWORD written = 0;
            WriteFile(port, chunk.data(), static_cast<DWORD>(chunk.size()), &written, NULL);
        }
        sim::Note("reports " + Reply(port));
        CloseHandle(port);
        return 0;
    });
}

TEST(SimPrinter, TakesOnlyAWellFormedRecord) {
    const std::string record = qxtest::ListedRecord();
    const std::string updated = "note: reports " + qxtest::ListedExpectedId();
    const std::string unchanged = "note: reports MFG:Ostrane;CMD:DUSKFERNCMDS;MODEL:Velmor-2600;";
    auto corrupt = [&](std::size_t at, char value) {
        std::string r = record;
        r[at] = value;
        return r;
    };
    const struct {
        const char* name;
        std::vector<std::string> chunks;
        std::string note;
    } cases[] = {
        {"whole record", {record}, updated},
        {"record in two writes", {record.substr(0, 40), record.substr(40)}, updated},
        {"no ESC", {corrupt(0, 'X')}, unchanged},
        {"lengths disagree", {corrupt(3, 0x74)}, unchanged},
        {"wrong fixed byte", {corrupt(7, 0x66)}, unchanged},
        {"cut short", {record.substr(0, 100)}, unchanged},
    };
    for (const auto& c : cases) {
        const sim::Outcome o = SendToPrinter(c.chunks);
        EXPECT_EQ(Find(o.Transcript(), c.note), static_cast<long>(c.chunks.size()))
            << c.name << "\n"
            << Describe(o);
    }
}

TEST(SimDosDevices, StackedDefinitionsAsThePlatformKeepsThem) {
    sim::Setup setup;
    setup.family = sim::Family::NT;
    const sim::Outcome o = sim::RunFresh(setup, [] {
        auto query = [](DWORD size) {
            char buffer[64];
            std::memset(buffer, '#', sizeof buffer);
            const DWORD n = QueryDosDeviceA("Q1", buffer, size);
            if (n == 0)
                return "error " + std::to_string(GetLastError());
            std::string text(buffer, n);
            for (char& c : text)
                c = c ? c : '|';
            return text;
        };
        DefineDosDeviceA(DDD_RAW_TARGET_PATH, "Q1", "\\Device\\A");
        DefineDosDeviceA(DDD_RAW_TARGET_PATH, "q1", "\\Device\\B");
        sim::Note("two: " + query(64));
        sim::Note("small: " + query(20));
        DefineDosDeviceA(DDD_REMOVE_DEFINITION, "Q1", NULL);
        sim::Note("one: " + query(64));
        DefineDosDeviceA(DDD_REMOVE_DEFINITION, "Q1", NULL);
        sim::Note("none: " + query(64));
        const BOOL removed = DefineDosDeviceA(DDD_REMOVE_DEFINITION, "Q1", NULL);
        sim::Note("remove again: " + std::to_string(removed) + " " +
                  std::to_string(GetLastError()));
        return 0;
    });
    const std::vector<std::string> t = o.Transcript();
    EXPECT_EQ(t.at(0), "note: two: \\Device\\B|\\Device\\A||") << Describe(o);
    EXPECT_EQ(t.at(1), "note: small: error 122") << Describe(o);
    EXPECT_EQ(t.at(2), "note: one: \\Device\\A||") << Describe(o);
    EXPECT_EQ(t.at(3), "note: none: error 2") << Describe(o);
    EXPECT_EQ(t.at(4), "note: remove again: 0 2") << Describe(o);
}

TEST(SimSpooler, ShellCommandsActOnTheServiceAndTheScratchFile) {
    sim::Setup setup;
    setup.family = sim::Family::NT;
    const sim::Outcome o = sim::RunFresh(setup, [] {
        const int first = std::system("net stop spooler > OstraneUpdate");
        const int second = std::system("net stop spooler > OstraneUpdate");
        sim::Note("stop " + std::to_string(first != 0) + " again " + std::to_string(second != 0));
        return 0;
    });
    const std::vector<std::string> t = o.Transcript();
    EXPECT_EQ(Find(t, "note: stop 0 again 1"), 2) << Describe(o);
    EXPECT_FALSE(o.spoolerRunning);
    EXPECT_TRUE(o.scratchFileLeft);
}

TEST(SimKernel, HandlesAreClosedOnceAndVersionNeedsItsSize) {
    sim::Setup setup;
    const sim::Outcome o = sim::RunFresh(setup, [] {
        HANDLE port = CreateFileA("LPT2:", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        HANDLE again = CreateFileA("LPT2", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        sim::Note("second open " + std::to_string(again == INVALID_HANDLE_VALUE) + " " +
                  std::to_string(GetLastError()));
        const BOOL closed = CloseHandle(port);
        const BOOL closedAgain = CloseHandle(port);
        sim::Note("close " + std::to_string(closed) + " " + std::to_string(closedAgain));
        OSVERSIONINFOA info = {};
        info.dwOSVersionInfoSize = 100;
        const BOOL got = GetVersionExA(&info);
        sim::Note("version " + std::to_string(got) + " " + std::to_string(GetLastError()));
        return 0;
    });
    const std::vector<std::string> t = o.Transcript();
    EXPECT_EQ(t.at(0), "note: second open 1 32") << Describe(o);
    EXPECT_EQ(t.at(1), "note: close 1 0") << Describe(o);
    EXPECT_EQ(t.at(2), "note: version 0 122") << Describe(o);
    ASSERT_EQ(o.portHandles.size(), 1u);
    EXPECT_EQ(o.portHandles[0].closes, 2); // the double close is on record
}

TEST(SimWindows, RegisteredMessagesAreStableAndAboveTheSystemRange) {
    const sim::Outcome o = sim::RunFresh(sim::Setup(), [] {
        const UINT a = RegisterWindowMessageA("StartProgram");
        const UINT b = RegisterWindowMessageA("startprogram");
        const UINT c = RegisterWindowMessageA("Other");
        sim::Note(std::to_string(a == b) + std::to_string(a >= 0xC000) + std::to_string(a != c));
        return 0;
    });
    EXPECT_EQ(o.Transcript().at(0), "note: 111") << Describe(o);
}

} // namespace
