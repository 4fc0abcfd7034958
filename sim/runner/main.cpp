// qx310wup-sim: runs the update tool once on the simulated PC and prints a transcript.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <unistd.h>

#include "sim.h"

namespace fs = std::filesystem;

namespace {

// The run's working folder: the one asked for, kept, or a fresh one, removed afterwards.
class WorkDir {
  public:
    explicit WorkDir(const std::string& asked) {
        std::error_code error;
        if (asked.empty()) {
            char pattern[] = "/tmp/qx310wup-sim-XXXXXX";
            if (!mkdtemp(pattern)) {
                error_ = "cannot make a temporary working folder";
                return;
            }
            path_ = pattern;
            temporary_ = true;
        } else {
            path_ = fs::absolute(asked, error);
            fs::create_directories(path_, error);
            if (error || !fs::is_directory(path_)) {
                error_ = "cannot use " + asked + " as the working folder";
                return;
            }
        }
        home_ = fs::current_path(error);
        if (chdir(path_.c_str()) != 0)
            error_ = "cannot enter the working folder " + path_.string();
    }
    ~WorkDir() {
        std::error_code ignored;
        if (!home_.empty())
            fs::current_path(home_, ignored);
        if (temporary_)
            fs::remove_all(path_, ignored);
    }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    const std::string& Error() const { return error_; }

  private:
    fs::path path_, home_;
    bool temporary_ = false;
    std::string error_;
};

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const sim::ParsedOptions options = sim::ParseOptions(args);
    if (!options.error.empty()) {
        std::cerr << "qx310wup-sim: " << options.error << " (--help lists the options)\n";
        return 2;
    }
    if (options.help) {
        std::cout << sim::Usage();
        return 0;
    }
    // Relative to where the user started the runner, not to the run's working folder.
    std::error_code error;
    const fs::path capture =
        options.captureDir.empty() ? fs::path() : fs::absolute(options.captureDir, error);

    sim::Outcome outcome;
    {
        WorkDir work(options.workDir);
        if (!work.Error().empty()) {
            std::cerr << "qx310wup-sim: " << work.Error() << "\n";
            return 2;
        }
        outcome = sim::RunProgram(options.setup);
    }
    for (const std::string& line : sim::DescribeSetup(options.setup))
        std::cout << line << '\n';
    for (const sim::Event& e : outcome.events) {
        if (e.kind == sim::EventKind::Transcript)
            std::cout << e.text << '\n';
        else if (options.trace)
            std::cout << "  trace: " << e.text << '\n';
    }
    for (const std::string& fault : outcome.unfiredFaults)
        std::cout << "fault never fired: " << fault << '\n';
    for (const std::string& line : sim::DescribeEnd(options.setup, outcome))
        std::cout << line << '\n';
    std::cout.flush();

    if (!capture.empty()) {
        fs::create_directories(capture, error);
        for (int i = 0; i < sim::PortCount; ++i) {
            if (outcome.portBytes[i].empty())
                continue;
            const auto path = capture / ("LPT" + std::to_string(i + 1) + ".bin");
            std::ofstream out(path, std::ios::binary);
            out << outcome.portBytes[i];
            if (!out) {
                std::cerr << "qx310wup-sim: cannot write " << path << "\n";
                return 2;
            }
        }
    }
    if (outcome.stuck)
        return 3;
    if (!outcome.unfiredFaults.empty())
        return 4;
    return outcome.exitCode;
}
