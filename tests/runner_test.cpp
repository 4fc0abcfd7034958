// qx310wup-sim as a user runs it: options, transcript, captured bytes, exit status.
#include <gtest/gtest.h>

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
    EXPECT_EQ(
        qxtest::Find(r.out, "message box \"Success\": Printer Device ID successfully updated"),
        qxtest::Find(r.out, "message box"))
        << Text(r);
    EXPECT_GE(qxtest::Find(r.out, "write LPT2: 126 of 126 bytes"), 0) << Text(r);
    EXPECT_EQ(r.out.back(), "exit 0");
}

TEST_F(Runner, NtRunOnLpt3CapturesTheRecord) {
    const RunnerResult r = Run("--family nt --printer LPT3 --choose LPT3 --capture D");
    EXPECT_EQ(r.status, 0) << Text(r);
    const std::vector<std::string> in_order = {
        "status 10: OS = NT",
        "status 40: Dialog Selected",
        "shell: net stop spooler > OstraneUpdate",
        "write LPT3: 126 of 126 bytes",
        "shell: net start spooler > OstraneUpdate",
        "shell: del OstraneUpdate",
        "message box \"QX310WUP\": Printer Device ID successfully updated",
        "status 70: Selected LPT3:",
        "exit 0",
    };
    long at = 0;
    for (const std::string& line : in_order) {
        const long found = qxtest::Find(r.out, line, at);
        ASSERT_GE(found, 0) << "missing, or out of order: " << line << "\n" << Text(r);
        at = found + 1;
    }
    EXPECT_EQ(ReadFile(dir_ / "D" / "LPT3.bin"), qxtest::ListedRecord());
    EXPECT_FALSE(fs::exists(dir_ / "D" / "LPT1.bin"));
    EXPECT_FALSE(fs::exists(dir_ / "D" / "LPT2.bin"));
    EXPECT_FALSE(fs::exists(dir_ / "OstraneUpdate"));
}

TEST_F(Runner, MessageBoxTextKeepsItsLineBreaksVisible) {
    const RunnerResult r = Run("--printer none");
    EXPECT_EQ(r.status, 0) << Text(r);
    EXPECT_GE(qxtest::Find(r.out, "message box \"ERROR\": Could not find BRAXEL QX310 printer "
                                  "!\\n\\nDevice ID not updated !"),
              0)
        << Text(r);
}

TEST_F(Runner, OptionsReachTheMachine) {
    const struct {
        const char* args;
        const char* line;
    } cases[] = {
        {"--printer LPT1:ignores", "message box \"ERROR\": Could not verify Device ID !"},
        {"--printer LPT1:pads", "message box \"ERROR\": Could not verify Device ID !"},
        {"--printer LPT1:prefixed", "message box \"ERROR\": Could not verify Device ID !"},
        {"--printer LPT3:takes --absent LPT1", "status 40: CheckDeviceID ( ) = 2"},
        {"--refuse LPT2", "status 40: CheckDeviceID ( ) = -1"},
        {"--write-fails", "status 130: Error 1117 writing to printer port LPT2:"},
        {"--write-short", "write LPT2: 63 of 126 bytes"},
        {"--fail CreateFileA#3=5", "status 100: CreateFile error code = 5 on port LPT2:"},
        {"--id LPT2=MODEL:Other", "status 40: CheckDeviceID ( ) = -1"},
        {"--family nt --dialog click:LPT2 --dialog escape --dialog enter",
         "status 70: Selected LPT2:"},
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
        {"--bogus", "--bogus"},          {"--family os2", "--family"},
        {"--printer LPT4", "--printer"}, {"--printer LPT1:melts", "--printer"},
        {"--choose", "--choose"},        {"--fail CreateFileA#x", "--fail"},
    };
    for (const auto& c : cases) {
        const RunnerResult r = Run(c.args);
        EXPECT_EQ(r.status, 2) << c.args << "\n" << Text(r);
        EXPECT_NE(r.err.find(c.named), std::string::npos) << c.args << "\n" << Text(r);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << Text(r);
        EXPECT_TRUE(r.out.empty()) << Text(r);
    }
}

TEST_F(Runner, HelpListsTheOptions) {
    const RunnerResult r = Run("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--family", "--printer", "--absent", "--choose", "--write-fails",
                               "--write-short", "--capture", "--help"})
        EXPECT_GE(qxtest::Find(r.out, option), 0) << option << "\n" << Text(r);
}

TEST_F(Runner, AStuckRunIsReported) {
    const RunnerResult r = Run("--family nt --dialog escape");
    EXPECT_EQ(r.status, 3) << Text(r);
    EXPECT_GE(qxtest::Find(r.out, "stuck: the port dialog is open"), 0) << Text(r);
}

} // namespace
