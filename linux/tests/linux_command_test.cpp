// The Linux command against emulated printer devices: the real program, through the kernel, on
// device files served by a FUSE filesystem with printers of the shared printer model behind them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "emulated_devices.h"
#include "update/record.h"

extern char** environ;

namespace {

using emu::DeviceSetup;
using emu::EmulatedDevices;
using emu::Interface;

const std::string Record(reinterpret_cast<const char*>(DeviceIdRecord.data()), RecordSize);
const std::string NewId(ExpectedIdText.data(), ExpectedIdLength);
const std::string OtherPrinter = "MFG:Elsewhere;CMD:PCL;MODEL:Inkwell 5;CLASS:PRINTER;";

struct Outcome {
    int status = -1;
    std::string output; // standard output and standard error, as a terminal would show them
};

// Runs the command with `args`, standard output and error into one pipe. With `ownDev`, the
// command runs in a mount namespace of its own whose /dev holds only these emulated devices, each
// under its own name (/dev/usb/lp1, /dev/parport0): the machine's /dev is left alone.
Outcome RunCommand(const std::vector<std::string>& args, const EmulatedDevices* ownDev = nullptr,
                   const std::vector<std::string>& names = {}) {
    Outcome outcome;
    std::vector<std::string> all = {QX_LINUX_COMMAND};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    argv.reserve(all.size() + 1);
    for (std::string& arg : all)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    // Everything the child needs is made before the fork: it only makes system calls.
    std::vector<std::string> sources, targets;
    if (ownDev) {
        for (const std::string& name : names) {
            sources.push_back(ownDev->Path(name));
            targets.push_back("/dev/" + name);
        }
    }
    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC) != 0) {
        outcome.output = std::string("pipe: ") + strerror(errno);
        return outcome;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe[1], 1);
        dup2(pipe[1], 2);
        if (ownDev) {
            const auto fail = [](const char* what) {
                const char* error = strerror(errno);
                (void)!write(2, what, strlen(what));
                (void)!write(2, ": ", 2);
                (void)!write(2, error, strlen(error));
                (void)!write(2, "\n", 1);
                _exit(125);
            };
            if (unshare(CLONE_NEWNS) != 0)
                fail("unshare (a mount namespace needs root)");
            if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                fail("making / private");
            if (mount("qx-dev", "/dev", "tmpfs", 0, "mode=0755") != 0)
                fail("mounting a tmpfs on /dev");
            if (mkdir("/dev/usb", 0755) != 0)
                fail("mkdir /dev/usb");
            for (std::size_t i = 0; i < targets.size(); ++i) {
                const int file = open(targets[i].c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
                if (file < 0)
                    fail(targets[i].c_str());
                close(file);
                if (mount(sources[i].c_str(), targets[i].c_str(), nullptr, MS_BIND, nullptr) != 0)
                    fail(targets[i].c_str());
            }
        }
        execve(QX_LINUX_COMMAND, argv.data(), environ);
        _exit(127);
    }
    close(pipe[1]);
    if (pid < 0) {
        close(pipe[0]);
        outcome.output = std::string("fork: ") + strerror(errno);
        return outcome;
    }
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipe[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            outcome.output.append(buffer, static_cast<std::size_t>(n));
    close(pipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::cout << "$ qx310wup";
    for (const std::string& arg : args)
        std::cout << ' ' << arg;
    std::cout << '\n' << outcome.output << "[exit status " << outcome.status << "]\n";
    return outcome;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int Count(const std::vector<std::string>& events, const std::string& event) {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

DeviceSetup Usb(const std::string& name, const std::string& id = QxPrinterFactoryId) {
    DeviceSetup setup;
    setup.name = name;
    setup.id = id;
    return setup;
}

DeviceSetup Parallel(const std::string& name, const std::string& id = QxPrinterFactoryId) {
    DeviceSetup setup = Usb(name, id);
    setup.interface = Interface::ParallelPort;
    return setup;
}

// Mounts the devices; a machine without FUSE fails the test with the reason.
std::unique_ptr<EmulatedDevices> Mount(std::vector<DeviceSetup> setups) {
    auto devices = std::make_unique<EmulatedDevices>(std::move(setups));
    EXPECT_EQ(devices->Error(), "") << "the emulated devices are needed for this test";
    return devices;
}

TEST(LinuxCommand, TakesThePrinterOnTheSecondOfTwoDevices) {
    const auto devices = Mount({Usb("usb/lp0", OtherPrinter), Usb("usb/lp1")});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({devices->Path("usb/lp0"), devices->Path("usb/lp1")});

    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(devices->Log("usb/lp0").received, "") << "nothing goes to another printer";
    EXPECT_EQ(devices->Log("usb/lp1").received, Record);
    const std::vector<std::string> expected = {"open", "id query", "write 126", "id query",
                                               "close"};
    EXPECT_EQ(devices->Log("usb/lp1").events, expected);
    for (const std::string& line :
         {"reports \"" + OtherPrinter + "\" (52 bytes): not the QX310",
          "Chosen: " + devices->Path("usb/lp1") + " (USB printer)",
          "ID before: \"" + std::string(QxPrinterFactoryId) + "\"",
          std::string("Sending the 126-byte record"), "ID after: \"" + NewId + "\" (115 bytes)",
          "Updated: " + devices->Path("usb/lp1") + " now reports the new device ID."})
        EXPECT_TRUE(Contains(run.output, line)) << "missing: " << line << "\nin:\n" << run.output;
}

TEST(LinuxCommand, SendsNothingWithoutAPrinterOfTheModel) {
    // The key is searched as written: a lower-case model name is another device.
    const auto devices = Mount(
        {Usb("usb/lp0", OtherPrinter), Parallel("parport0", "MFG:Ostrane;model:velmor-2600;")});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({devices->Path("usb/lp0"), devices->Path("parport0")});

    EXPECT_EQ(run.status, 3) << run.output;
    EXPECT_EQ(devices->Log("usb/lp0").received, "");
    EXPECT_EQ(devices->Log("parport0").received, "");
    EXPECT_TRUE(Contains(run.output, "No QX310 printer found")) << run.output;
    EXPECT_TRUE(Contains(run.output, "Nothing was sent.")) << run.output;
}

TEST(LinuxCommand, SendsNothingToAPrinterThatAlreadyReportsTheNewId) {
    const auto devices = Mount({Usb("usb/lp0", NewId)});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({devices->Path("usb/lp0")});

    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(devices->Log("usb/lp0").received, "");
    EXPECT_TRUE(Contains(run.output, "already reports the new ID: nothing was sent")) << run.output;
}

TEST(LinuxCommand, DryRunDoesEverythingButTheWrite) {
    const auto devices = Mount({Usb("usb/lp0", OtherPrinter), Parallel("parport1")});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run =
        RunCommand({"--dry-run", devices->Path("usb/lp0"), devices->Path("parport1")});

    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(devices->Log("usb/lp0").received, "");
    EXPECT_EQ(devices->Log("parport1").received, "");
    EXPECT_TRUE(Contains(run.output, "Chosen: " + devices->Path("parport1"))) << run.output;
    EXPECT_TRUE(Contains(run.output, "Dry run: the 126-byte record would go to")) << run.output;
}

// A parallel port is claimed, asked for its ID in nibble mode and written in compatibility mode,
// and released at the end.
TEST(LinuxCommand, UpdatesAPrinterOnAParallelPort) {
    const auto devices = Mount({Parallel("parport0")});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({devices->Path("parport0")});

    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(devices->Log("parport0").received, Record);
    const std::string before = std::to_string(std::strlen(QxPrinterFactoryId));
    const std::string after = std::to_string(NewId.size());
    const std::vector<std::string> expected = {"open",
                                               "claim",
                                               "negotiate nibble+id",
                                               "read 2",
                                               "read " + before,
                                               "negotiate compat",
                                               "write 126",
                                               "negotiate nibble+id",
                                               "read 2",
                                               "read " + after,
                                               "negotiate compat",
                                               "release",
                                               "close"};
    EXPECT_EQ(devices->Log("parport0").events, expected);
    EXPECT_TRUE(Contains(run.output, "(parallel port)")) << run.output;
}

// The read-back decides, on both kinds of device: only the expected text is an update.
struct ReadBackCase {
    const char* name;
    Interface interface;
    int kind;
    int status;
    const char* says;
};

void PrintTo(const ReadBackCase& c, std::ostream* out) {
    *out << c.name;
}

class ReadBack : public testing::TestWithParam<ReadBackCase> {};

TEST_P(ReadBack, OnlyTheExpectedTextIsAnUpdate) {
    const ReadBackCase& c = GetParam();
    DeviceSetup setup =
        c.interface == Interface::UsbPrinter ? Usb("usb/lp3") : Parallel("parport2");
    setup.kind = c.kind;
    const auto devices = Mount({setup});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({devices->Path(setup.name)});

    EXPECT_EQ(run.status, c.status) << run.output;
    const emu::DeviceLog log = devices->Log(setup.name);
    EXPECT_EQ(log.received, Record) << "the record goes in one write, once";
    EXPECT_EQ(Count(log.events, "write 126"), 1);
    EXPECT_TRUE(Contains(run.output, c.says)) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    LinuxCommand, ReadBack,
    testing::Values(
        ReadBackCase{"UsbTakes", Interface::UsbPrinter, QX_PRINTER_TAKES, 0, "Updated:"},
        ReadBackCase{"UsbIgnores", Interface::UsbPrinter, QX_PRINTER_IGNORES, 1, "Not verified"},
        ReadBackCase{"UsbPads", Interface::UsbPrinter, QX_PRINTER_PADS, 1, "(116 bytes)"},
        // Its reply carries the length bytes twice: the first pair belongs to the transfer.
        ReadBackCase{"UsbPrefixed", Interface::UsbPrinter, QX_PRINTER_PREFIXED, 1,
                     "ID after (read 9 times over 2000 ms): \"\\x00uMFG:"},
        ReadBackCase{"ParallelTakes", Interface::ParallelPort, QX_PRINTER_TAKES, 0, "Updated:"},
        ReadBackCase{"ParallelIgnores", Interface::ParallelPort, QX_PRINTER_IGNORES, 1,
                     "Not verified"},
        ReadBackCase{"ParallelPads", Interface::ParallelPort, QX_PRINTER_PADS, 1, "(116 bytes)"},
        ReadBackCase{"ParallelPrefixed", Interface::ParallelPort, QX_PRINTER_PREFIXED, 1,
                     "\"\\x00uMFG:"}),
    [](const testing::TestParamInfo<ReadBackCase>& info) { return info.param.name; });

TEST(LinuxCommand, WaitsBrieflyForAPrinterThatNeedsAMoment) {
    DeviceSetup setup = Usb("usb/lp0");
    setup.staleQueries = 3;
    const auto devices = Mount({setup});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({devices->Path("usb/lp0")});

    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Count(devices->Log("usb/lp0").events, "write 126"), 1) << "the record goes once";
    EXPECT_TRUE(Contains(run.output, "ID after (read 4 times over 750 ms)")) << run.output;
}

// A device that cannot be opened, claimed or written: the system's error text and a hint.
struct DeviceFailureCase {
    const char* name;
    DeviceSetup setup;
    const char* error;
    const char* hint;
    std::size_t received; // how much of the record the device kept
};

void PrintTo(const DeviceFailureCase& c, std::ostream* out) {
    *out << c.name;
}

DeviceSetup With(DeviceSetup setup, int writeError, std::size_t takeAtMost, bool busy) {
    setup.writeError = writeError;
    setup.takeAtMost = takeAtMost;
    setup.busy = busy;
    return setup;
}

constexpr std::size_t All = static_cast<std::size_t>(-1);

class DeviceFailure : public testing::TestWithParam<DeviceFailureCase> {};

TEST_P(DeviceFailure, IsReportedWithTheSystemsErrorAndAHint) {
    const DeviceFailureCase& c = GetParam();
    const auto devices = Mount({c.setup});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({devices->Path(c.setup.name)});

    EXPECT_EQ(run.status, 4) << run.output;
    EXPECT_TRUE(Contains(run.output, c.error)) << run.output;
    EXPECT_TRUE(Contains(run.output, c.hint)) << run.output;
    EXPECT_FALSE(Contains(run.output, "Updated")) << run.output;
    EXPECT_FALSE(Contains(run.output, "ID after")) << "no read-back after a failed write";
    EXPECT_EQ(devices->Log(c.setup.name).received, Record.substr(0, c.received))
        << "a failed or short write is not repeated";
}

INSTANTIATE_TEST_SUITE_P(
    LinuxCommand, DeviceFailure,
    testing::Values(
        DeviceFailureCase{"UsbWriteFails", With(Usb("usb/lp0"), EIO, All, false),
                          "could not write: Input/output error", "hint: check that the printer", 0},
        DeviceFailureCase{"ParallelWriteFails", With(Parallel("parport0"), ENOSPC, All, false),
                          "could not write: No space left on device", "hint:", 0},
        DeviceFailureCase{"UsbShortWrite", With(Usb("usb/lp0"), 0, 60, false),
                          "took only 60 of the 126 bytes", "hint:", 60},
        DeviceFailureCase{"UsbBusy", With(Usb("usb/lp0"), 0, All, true),
                          "could not open: Device or resource busy", "a print service", 0},
        DeviceFailureCase{"ParallelBusy", With(Parallel("parport0"), 0, All, true),
                          "could not claim the port: Device or resource busy", "a print service",
                          0}),
    [](const testing::TestParamInfo<DeviceFailureCase>& info) { return info.param.name; });

TEST(LinuxCommand, ABusyDeviceBeforeThePrinterDoesNotStopTheUpdate) {
    const auto devices =
        Mount({With(Usb("usb/lp0", OtherPrinter), 0, All, true), Parallel("parport0")});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({devices->Path("usb/lp0"), devices->Path("parport0")});

    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run.output,
                         devices->Path("usb/lp0") + ": could not open: Device or resource busy"))
        << run.output;
    EXPECT_EQ(devices->Log("parport0").received, Record);
}

TEST(LinuxCommand, ABusyDeviceIsNotTakenForAnAbsentPrinter) {
    // The printer may be the device that is held: "not found" would be wrong.
    const auto devices =
        Mount({Usb("usb/lp0", OtherPrinter), With(Parallel("parport0"), 0, All, true)});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({devices->Path("usb/lp0"), devices->Path("parport0")});

    EXPECT_EQ(run.status, 4) << run.output;
    EXPECT_TRUE(Contains(run.output, "not every device could be looked at")) << run.output;
    EXPECT_EQ(devices->Log("usb/lp0").received, "");
}

// Without device names the command looks at /dev/usb/lp0 ... lp15 and then /dev/parport0 ... 3.
TEST(LinuxCommand, LooksAtTheUsualDevicesInOrder) {
    const auto devices =
        Mount({Parallel("parport0"), Usb("usb/lp0", OtherPrinter), Usb("usb/lp1")});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({}, devices.get(), {"parport0", "usb/lp0", "usb/lp1"});

    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(devices->Log("usb/lp0").received, "");
    EXPECT_EQ(devices->Log("usb/lp1").received, Record);
    EXPECT_TRUE(devices->Log("parport0").events.empty()) << "the search ends at the printer";
    EXPECT_TRUE(Contains(run.output, "Chosen: /dev/usb/lp1 (USB printer)")) << run.output;
}

TEST(LinuxCommand, SaysWhatEachUsualDeviceReportedWhenNoneIsThePrinter) {
    const auto devices = Mount({Usb("usb/lp0", OtherPrinter), Parallel("parport3", OtherPrinter)});
    ASSERT_EQ(devices->Error(), "");
    const Outcome run = RunCommand({}, devices.get(), {"usb/lp0", "parport3"});

    EXPECT_EQ(run.status, 3) << run.output;
    EXPECT_EQ(devices->Log("usb/lp0").received, "");
    EXPECT_EQ(devices->Log("parport3").received, "");
    for (const std::string& line :
         {"/dev/usb/lp0 (USB printer) reports \"" + OtherPrinter,
          "/dev/parport3 (parallel port) reports \"" + OtherPrinter,
          std::string("(18 of the usual device names do not exist on this machine)"),
          std::string("No QX310 printer found")})
        EXPECT_TRUE(Contains(run.output, line)) << "missing: " << line << "\nin:\n" << run.output;
}

TEST(LinuxCommand, AFileWithoutADeviceIdIsNotThePrinter) {
    char path[] = "/tmp/qx-not-a-printer-XXXXXX";
    const int file = mkstemp(path);
    ASSERT_GE(file, 0) << strerror(errno);
    close(file);
    const Outcome run = RunCommand({path});
    unlink(path);

    EXPECT_EQ(run.status, 3) << run.output;
    EXPECT_TRUE(
        Contains(run.output, std::string(path) + " (USB printer): could not read the device ID: "))
        << run.output;
    EXPECT_TRUE(Contains(run.output, "No QX310 printer found")) << run.output;
}

TEST(LinuxCommand, BadUsageAndMissingDevices) {
    const Outcome bad = RunCommand({"--force"});
    EXPECT_EQ(bad.status, 2) << bad.output;
    EXPECT_TRUE(Contains(bad.output, "unknown option --force")) << bad.output;
    EXPECT_TRUE(Contains(bad.output, "usage: qx310wup [--dry-run] [DEVICE...]")) << bad.output;

    const Outcome missing = RunCommand({"/nonexistent/usb/lp9"});
    EXPECT_EQ(missing.status, 4) << missing.output;
    EXPECT_TRUE(Contains(missing.output, "/nonexistent/usb/lp9: could not open: No such file"))
        << missing.output;
}

} // namespace
