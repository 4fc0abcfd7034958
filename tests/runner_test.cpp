// qx310wup-sim as a user runs it: options, transcript, captured bytes, exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "harness.h"

namespace {

namespace fs = std::filesystem;

struct RunnerResult {
    int status;
    std::vector<std::string> out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Runner : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qx310-runner-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs the runner in a directory of its own, as a user would from a shell.
    RunnerResult Run(const std::string& args) {
        const std::string command =
            "cd '" + dir_.string() + "' && '" QX_RUNNER "' " + args + " >stdout.txt 2>stderr.txt";
        const int raw = std::system(command.c_str());
        RunnerResult r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, {}, ReadFile(dir_ / "stderr.txt")};
        std::istringstream lines(ReadFile(dir_ / "stdout.txt"));
        for (std::string line; std::getline(lines, line);)
            r.out.push_back(line);
        fs::remove(dir_ / "stdout.txt");
        fs::remove(dir_ / "stderr.txt");
        return r;
    }

    static std::string Text(const RunnerResult& r) {
        std::string text = "stdout:\n";
        for (const std::string& line : r.out)
            text += "  " + line + "\n";
        return text + "stderr:\n" + r.err;
    }

    fs::path dir_;
};

TEST_F(Runner, DefaultRunUpdatesThePrinterOnLpt2) {
    const RunnerResult r = Run("");
    EXPECT_EQ(r.status, 0) << Text(r);
    ASSERT_GE(r.out.size(), 2u) << Text(r);
    EXPECT_EQ(qxtest::Find(r.out, "message box \"Success\" (OK button, no icon, no owner): "
                                  "Printer Device ID successfully updated"),
              qxtest::Find(r.out, "message box \""))
        << Text(r);
    EXPECT_GE(qxtest::Find(r.out, "write LPT2: 126 of 126 bytes"), 0) << Text(r);
    EXPECT_GE(qxtest::Find(r.out, "exit 0"), 0) << Text(r);
}

// The transcript opens with the machine and what the user will do, follows the run in the
// order a person sees it (a box's status lines between its appearing and its dismissal), and
// closes with what the PC is left with.
TEST_F(Runner, NtRunOnLpt3CapturesTheRecord) {
    const RunnerResult r = Run("--family nt --printer LPT3 --choose LPT3 --capture D");
    EXPECT_EQ(r.status, 0) << Text(r);
    ASSERT_FALSE(r.out.empty()) << Text(r);
    EXPECT_EQ(r.out.front(), "machine: the NT family of Windows, print spooler running");
    const std::vector<std::string> in_order = {
        "machine: LPT1: a port, no printer",
        "machine: LPT2: a port, no printer",
        "machine: LPT3: a port, a printer that takes the update record; it reports the model's "
        "usual ID \"MFG:Ostrane;CMD:DUSKFERNCMDS;MODEL:Velmor-2600;CLASS:PRINTER;DES:Velmor-"
        "2600;\"",
        "user: in the port dialog: clicks \"LPT3\", then clicks \"OK\"",
        "user: presses OK in each message box",
        "window created",
        "status at 10,10: OS = NT",
        "status at 10,40: Dialog Selected",
        "dialog closed; checked: LPT3",
        "shell: net stop spooler > OstraneUpdate",
        "write LPT3: 126 of 126 bytes",
        "shell: net start spooler > OstraneUpdate",
        "shell: del OstraneUpdate",
        "message box \"QX310WUP\" (OK button, no icon, no owner): Printer Device ID successfully "
        "updated",
        "status at 10,70: Selected LPT3:",
        "message box \"QX310WUP\" dismissed: the user presses OK",
        "exit 0",
        "end: print spooler running",
        "end: scratch file OstraneUpdate not in the working folder",
        "end: DOS device OSTRANE_LPT3 -> \\Device\\Parallel2",
        "end: LPT1: received 0 bytes",
        "end: LPT2: received 0 bytes",
        "end: LPT3: received 126 bytes",
        "end: the printer on LPT3 reports \"" + qxtest::ListedExpectedId() + "\"",
    };
    long at = 0;
    for (const std::string& line : in_order) {
        const long found = qxtest::Find(r.out, line, at);
        ASSERT_GE(found, 0) << "missing, or out of order: " << line << "\n" << Text(r);
        at = found + 1;
    }
    EXPECT_EQ(at, static_cast<long>(r.out.size())) << "the end state comes last\n" << Text(r);
    EXPECT_EQ(ReadFile(dir_ / "D" / "LPT3.bin"), qxtest::ListedRecord());
    EXPECT_FALSE(fs::exists(dir_ / "D" / "LPT1.bin"));
    EXPECT_FALSE(fs::exists(dir_ / "D" / "LPT2.bin"));
    EXPECT_FALSE(fs::exists(dir_ / "OstraneUpdate"));
}

// The shell commands read exactly as the program passed them, wherever the runner's own output
// goes: here into a file in the run's working folder.
TEST_F(Runner, ShellCommandsAsTheProgramGaveThem) {
    const RunnerResult r = Run("--family nt --choose LPT2 --workdir .");
    EXPECT_EQ(r.status, 0) << Text(r);
    std::vector<std::string> shell;
    for (const std::string& line : r.out)
        if (line.rfind("shell:", 0) == 0)
            shell.push_back(line);
    EXPECT_EQ(shell, (std::vector<std::string>{"shell: net stop spooler > OstraneUpdate",
                                               "shell: net start spooler > OstraneUpdate",
                                               "shell: del OstraneUpdate"}))
        << Text(r);
}

// A run never touches the folder it is started from: by default it works in a temporary folder
// of its own, removed afterwards; --workdir names one and keeps it.
TEST_F(Runner, RunsInAWorkingFolderOfItsOwn) {
    fs::create_directories(dir_ / "keep");
    std::ofstream(dir_ / "OstraneUpdate") << "the user's own file\n";
    // del fails, so the scratch file stays behind where the run worked.
    RunnerResult r = Run("--family nt --choose LPT2 --fail del");
    EXPECT_EQ(r.status, 0) << Text(r);
    EXPECT_GE(qxtest::Find(r.out, "end: scratch file OstraneUpdate left in the working folder"), 0)
        << Text(r);
    EXPECT_EQ(ReadFile(dir_ / "OstraneUpdate"), "the user's own file\n");
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(dir_))
        entries.push_back(entry.path().filename().string());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"OstraneUpdate", "keep"}));

    r = Run("--family nt --choose LPT2 --fail del --workdir keep/w");
    EXPECT_EQ(r.status, 0) << Text(r);
    EXPECT_EQ(ReadFile(dir_ / "keep" / "w" / "OstraneUpdate"),
              "The Print Spooler service was started successfully.\n");
}

TEST_F(Runner, MessageBoxTextKeepsItsLineBreaksVisible) {
    const RunnerResult r = Run("--printer none");
    EXPECT_EQ(r.status, 0) << Text(r);
    EXPECT_GE(qxtest::Find(r.out, "message box \"ERROR\" (OK button, no icon, no owner): Could not "
                                  "find BRAXEL QX310 printer "
                                  "!\\n\\nDevice ID not updated !"),
              0)
        << Text(r);
}

TEST_F(Runner, OptionsReachTheMachine) {
    const struct {
        const char* args;
        const char* line;
    } cases[] = {
        {"--printer LPT1:ignores",
         "message box \"ERROR\" (OK button, no icon, no owner): Could not verify Device ID !"},
        {"--printer LPT1:pads",
         "message box \"ERROR\" (OK button, no icon, no owner): Could not verify Device ID !"},
        {"--printer LPT1:prefixed",
         "message box \"ERROR\" (OK button, no icon, no owner): Could not verify Device ID !"},
        {"--printer LPT3:takes --absent LPT1", "status at 10,40: CheckDeviceID ( ) = 2"},
        {"--refuse LPT2", "status at 10,40: CheckDeviceID ( ) = -1"},
        {"--write-fails", "status at 10,130: Error 1117 writing to printer port LPT2:"},
        {"--write-short", "write LPT2: 63 of 126 bytes"},
        {"--fail CreateFileA#3=5", "status at 10,100: CreateFile error code = 5 on port LPT2:"},
        {"--id LPT2=MODEL:Other", "status at 10,40: CheckDeviceID ( ) = -1"},
        {"--family nt --dialog click:LPT2 --dialog escape --dialog enter",
         "status at 10,70: Selected LPT2:"},
        // In any order, and a port named with or without its colon.
        {"--id LPT1=MODEL:Other --printer LPT1", "status at 10,40: CheckDeviceID ( ) = -1"},
        {"--printer LPT1 --id LPT1=MODEL:Other", "status at 10,40: CheckDeviceID ( ) = -1"},
        {"--id LPT1=MODEL:Other --printer LPT1", "LPT1: a port, a printer that takes the update "
                                                 "record; it reports \"MODEL:Other\""},
        {"--id LPT2=", "status at 10,40: CheckDeviceID ( ) = -1"}, // an empty ID
        {"--id LPT2=", "LPT2: a port, a printer that takes the update record; it reports \"\""},
        {"--id LPT2:=", "status at 10,40: CheckDeviceID ( ) = -1"},
        {"--printer LPT3:", "status at 10,40: CheckDeviceID ( ) = 2"},
        {"--family nt --printer LPT3: --choose LPT3:", "write LPT3: 126 of 126 bytes"},
        {"--resize 640x480", "main window painted at 640x480: the program's painting fills"},
    };
    for (const auto& c : cases) {
        const RunnerResult r = Run(c.args);
        EXPECT_EQ(r.status, 0) << c.args << "\n" << Text(r);
        EXPECT_GE(qxtest::Find(r.out, c.line), 0) << c.args << "\n" << Text(r);
    }
}

TEST_F(Runner, BadOptionsExitWithTwoAndNameTheOption) {
    const struct {
        const char* args;
        const char* named;
    } cases[] = {
        {"--bogus", "--bogus"},
        {"--family os2", "--family"},
        {"--printer LPT4", "--printer"},
        {"--printer LPT1:melts", "--printer"},
        {"--choose", "--choose"},
        {"--fail CreateFileA#x", "--fail"},
        {"--fail ReadFile", "--fail"},
        {"--fail WriteFile#1x", "--fail"},
        {"--fail WriteFile#0", "--fail"},
        {"--fail WriteFile=29x", "--fail"},
        {"--fail writefile", "--fail"},
        {"--resize 800", "--resize"},
        {"--resize 2000x600", "--resize"},
    };
    for (const auto& c : cases) {
        const RunnerResult r = Run(c.args);
        EXPECT_EQ(r.status, 2) << c.args << "\n" << Text(r);
        EXPECT_NE(r.err.find(c.named), std::string::npos) << c.args << "\n" << Text(r);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << Text(r);
        EXPECT_TRUE(r.out.empty()) << Text(r);
    }
}

TEST_F(Runner, AFaultForACallNobodyMakesNamesTheCalls) {
    const RunnerResult r = Run("--fail ReadFile");
    EXPECT_EQ(r.status, 2) << Text(r);
    for (const std::string& call : sim::FaultableCalls())
        EXPECT_NE(r.err.find(" " + call), std::string::npos) << call << "\n" << Text(r);
}

// A fault whose call never came would let a scenario pass while testing nothing: it is reported
// on its own line and the runner exits with 4.
TEST_F(Runner, AFaultThatNeverFiresIsReported) {
    const struct {
        const char* args;
        const char* line; // "" when every fault fires
    } cases[] = {
        {"--fail WriteFile#2",
         "fault never fired: WriteFile#2 (the program called WriteFile 1 time)"},
        {"--printer none --write-fails",
         "fault never fired: WriteFile (the program never called WriteFile)"},
        {"--fail net", "fault never fired: net (the program never called net)"},
        {"--family nt --choose LPT2 --fail net#3",
         "fault never fired: net#3 (the program called net 2 times)"},
        {"--family nt --choose LPT2 --fail DeviceIoControl --fail net#2",
         "fault never fired: DeviceIoControl (the program never called DeviceIoControl)"},
        {"--family nt --choose LPT2 --fail del --fail net#2 --fail Sleep#1", ""},
        {"--fail DeviceIoControl#3", ""},
    };
    for (const auto& c : cases) {
        const RunnerResult r = Run(c.args);
        std::vector<std::string> unfired;
        for (const std::string& line : r.out)
            if (line.rfind("fault never fired:", 0) == 0)
                unfired.push_back(line);
        EXPECT_EQ(r.status, *c.line ? 4 : 0) << c.args << "\n" << Text(r);
        EXPECT_EQ(unfired, *c.line ? std::vector<std::string>{c.line} : std::vector<std::string>{})
            << c.args << "\n"
            << Text(r);
        // Said after the run, before the end state.
        if (*c.line) {
            EXPECT_LT(qxtest::Find(r.out, "exit 0"), qxtest::Find(r.out, c.line)) << Text(r);
        }
    }
}

TEST_F(Runner, HelpListsTheOptionsCallsAndStatuses) {
    const RunnerResult r = Run("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--family",
                               "--printer",
                               "--id",
                               "--absent",
                               "--refuse",
                               "--choose",
                               "--dialog",
                               "--resize",
                               "--write-fails",
                               "--write-short",
                               "--fail",
                               "--dos-device",
                               "--capture",
                               "--workdir",
                               "--trace",
                               "--help",
                               "#N counts the",
                               "#1 being",
                               "3 the run got stuck",
                               "4 a fault"})
        EXPECT_GE(qxtest::Find(r.out, option), 0) << option << "\n" << Text(r);
    std::string all;
    for (const std::string& line : r.out)
        all += line + "\n";
    for (const std::string& call : sim::FaultableCalls())
        EXPECT_NE(all.find(" " + call), std::string::npos) << call << "\n" << Text(r);
}

TEST_F(Runner, AStuckRunIsReported) {
    const RunnerResult r = Run("--family nt --dialog escape");
    EXPECT_EQ(r.status, 3) << Text(r);
    EXPECT_GE(qxtest::Find(r.out, "stuck: the port dialog is open"), 0) << Text(r);
}

} // namespace
