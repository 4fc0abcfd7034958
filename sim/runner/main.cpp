// qx310wup-sim: runs the update tool once on the simulated PC and prints a transcript.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "sim.h"

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

    const sim::Outcome outcome = sim::RunProgram(options.setup);
    for (const sim::Event& e : outcome.events) {
        if (e.kind == sim::EventKind::Transcript)
            std::cout << e.text << '\n';
        else if (options.trace)
            std::cout << "  trace: " << e.text << '\n';
    }
    std::cout.flush();

    if (!options.captureDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options.captureDir, error);
        for (int i = 0; i < sim::PortCount; ++i) {
            if (outcome.portBytes[i].empty())
                continue;
            const auto path = std::filesystem::path(options.captureDir) /
                              ("LPT" + std::to_string(i + 1) + ".bin");
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
    return outcome.exitCode;
}
