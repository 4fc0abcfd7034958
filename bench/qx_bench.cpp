// How long one whole update run takes on the simulated PC, on each road, next to writing the
// record's 126 bytes to a file on this machine.
//
// A real run starts a fresh process; here the runs repeat in one process through
// sim::RunInProcess, each on a fresh machine. Of the program's process-wide state only the port
// choice outlives a run, and it is put back to its starting value before each NT run, as a fresh
// process would have it. The NT road's one-second pause is simulated time and costs nothing; its
// three shell commands are real /bin/sh processes and dominate it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "ports/ports.h"
#include "sim.h"

namespace {

// Runs in a scratch directory of their own, as the NT road writes its scratch file to the
// current directory.
class ScratchDir {
  public:
    ScratchDir() {
        char dir[] = "/tmp/qx310-bench-XXXXXX";
        if (!mkdtemp(dir))
            std::abort();
        path_ = dir;
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~ScratchDir() {
        std::filesystem::current_path(old_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::filesystem::path old_;
};

void RunRoad(benchmark::State& state, const sim::Setup& setup) {
    ScratchDir dir;
    const int startChoice[PortCount] = {PortChoice[0], PortChoice[1], PortChoice[2]};
    for (auto _ : state) {
        for (int i = 0; i < PortCount; ++i)
            PortChoice[i] = startChoice[i];
        const sim::Outcome outcome = sim::RunInProcess(setup);
        if (outcome.messageBoxes.size() != 1 ||
            outcome.messageBoxes[0].text != "Printer Device ID successfully updated") {
            state.SkipWithError("the run did not end in success");
            break;
        }
    }
}

void Win9xRoad(benchmark::State& state) {
    RunRoad(state, sim::Setup{}); // the printer on LPT2, found by the search
}

void NtRoad(benchmark::State& state) {
    sim::Setup setup;
    setup.family = sim::Family::NT;
    setup.dialogActions = {"click:LPT2", "click:OK"};
    RunRoad(state, setup);
}

void Write126BytesToFile(benchmark::State& state) {
    ScratchDir dir;
    const std::string record(126, 'x');
    const std::string path = dir.Path() + "/record.bin";
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || write(fd, record.data(), record.size()) != 126) {
            state.SkipWithError("cannot write the file");
            break;
        }
        close(fd);
    }
}

} // namespace

BENCHMARK(Win9xRoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(NtRoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(Write126BytesToFile)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
