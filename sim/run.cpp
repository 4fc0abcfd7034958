// Running the program once on a fresh machine, in this process or in a fresh child process.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

#include <sys/wait.h>
#include <unistd.h>

#include "machine.h"

namespace sim {

namespace {

// A small length-prefixed encoding to carry an outcome out of the child process.
class Writer {
  public:
    void Int(long long v) { Str(std::to_string(v)); }
    void Str(const std::string& s) {
        out_ += std::to_string(s.size());
        out_ += ':';
        out_ += s;
    }
    const std::string& Bytes() const { return out_; }

  private:
    std::string out_;
};

class Reader {
  public:
    explicit Reader(std::string in) : in_(std::move(in)) {}
    long long Int() { return std::stoll(Str()); }
    std::string Str() {
        const std::size_t colon = in_.find(':', at_);
        if (colon == std::string::npos)
            throw std::runtime_error("truncated outcome");
        const std::size_t size = std::stoul(in_.substr(at_, colon - at_));
        if (colon + 1 + size > in_.size())
            throw std::runtime_error("truncated outcome");
        std::string s = in_.substr(colon + 1, size);
        at_ = colon + 1 + size;
        return s;
    }

  private:
    std::string in_;
    std::size_t at_ = 0;
};

std::string Encode(const Outcome& o) {
    Writer w;
    w.Int(o.exitCode);
    w.Int(o.stuck);
    w.Int(static_cast<long long>(o.events.size()));
    for (const Event& e : o.events) {
        w.Int(static_cast<int>(e.kind));
        w.Str(e.text);
    }
    for (int i = 0; i < PortCount; ++i) {
        w.Str(o.portBytes[i]);
        w.Str(o.printerIds[i]);
    }
    w.Int(o.spoolerRunning);
    w.Int(o.scratchFileLeft);
    w.Int(static_cast<long long>(o.dosDevices.size()));
    for (const auto& [name, targets] : o.dosDevices) {
        w.Str(name);
        w.Int(static_cast<long long>(targets.size()));
        for (const std::string& t : targets)
            w.Str(t);
    }
    w.Int(static_cast<long long>(o.portHandles.size()));
    for (const PortHandleRecord& h : o.portHandles) {
        w.Int(h.port);
        w.Int(h.closes);
        w.Str(h.path);
        w.Int(h.closeCalls);
    }
    w.Int(static_cast<long long>(o.messageBoxes.size()));
    for (const MessageBoxRecord& box : o.messageBoxes) {
        w.Str(box.caption);
        w.Str(box.text);
        w.Str(box.owner);
        w.Int(box.type);
        w.Int(box.endedByQuit);
    }
    w.Int(o.modalLoopsEndedByQuit);
    w.Int(static_cast<long long>(o.visibleLines.size()));
    for (const std::string& line : o.visibleLines)
        w.Str(line);
    for (int v : {o.mainWindow.width, o.mainWindow.height, o.mainWindow.clientWidth,
                  o.mainWindow.clientHeight, o.mainWindow.paintedWidth, o.mainWindow.paintedHeight})
        w.Int(v);
    w.Int(static_cast<long long>(o.unfiredFaults.size()));
    for (const std::string& fault : o.unfiredFaults)
        w.Str(fault);
    return w.Bytes();
}

Outcome Decode(std::string bytes) {
    Reader r(std::move(bytes));
    Outcome o;
    o.exitCode = static_cast<int>(r.Int());
    o.stuck = r.Int() != 0;
    for (long long n = r.Int(); n > 0; --n) {
        const auto kind = static_cast<EventKind>(r.Int());
        o.events.push_back({kind, r.Str()});
    }
    for (int i = 0; i < PortCount; ++i) {
        o.portBytes[i] = r.Str();
        o.printerIds[i] = r.Str();
    }
    o.spoolerRunning = r.Int() != 0;
    o.scratchFileLeft = r.Int() != 0;
    for (long long n = r.Int(); n > 0; --n) {
        std::string name = r.Str();
        auto& targets = o.dosDevices[name];
        for (long long k = r.Int(); k > 0; --k)
            targets.push_back(r.Str());
    }
    for (long long n = r.Int(); n > 0; --n) {
        PortHandleRecord h;
        h.port = static_cast<int>(r.Int());
        h.closes = static_cast<int>(r.Int());
        h.path = r.Str();
        h.closeCalls = static_cast<int>(r.Int());
        o.portHandles.push_back(h);
    }
    for (long long n = r.Int(); n > 0; --n) {
        MessageBoxRecord box;
        box.caption = r.Str();
        box.text = r.Str();
        box.owner = r.Str();
        box.type = static_cast<UINT>(r.Int());
        box.endedByQuit = r.Int() != 0;
        o.messageBoxes.push_back(box);
    }
    o.modalLoopsEndedByQuit = static_cast<int>(r.Int());
    for (long long n = r.Int(); n > 0; --n)
        o.visibleLines.push_back(r.Str());
    for (int* v :
         {&o.mainWindow.width, &o.mainWindow.height, &o.mainWindow.clientWidth,
          &o.mainWindow.clientHeight, &o.mainWindow.paintedWidth, &o.mainWindow.paintedHeight})
        *v = static_cast<int>(r.Int());
    for (long long n = r.Int(); n > 0; --n)
        o.unfiredFaults.push_back(r.Str());
    return o;
}

} // namespace

HINSTANCE ProgramInstance() {
    return reinterpret_cast<HINSTANCE>(std::uintptr_t(0x400000));
}

void Note(const std::string& text) {
    M().Say("note: " + text);
}

Outcome RunProgram(const Setup& setup, const Program& program) {
    static bool ran = false;
    if (ran) {
        std::fputs("simulated PC: the program runs once per process\n", stderr);
        std::abort();
    }
    ran = true;
    return RunInProcess(setup, program);
}

Outcome RunInProcess(const Setup& setup, const Program& program) {
    Machine machine(setup);
    TheMachine = &machine;
    int exitCode = -1;
    bool stuck = false;
    try {
        if (program) {
            exitCode = program();
        } else {
            char commandLine[] = "";
            exitCode = WinMain(ProgramInstance(), nullptr, commandLine, setup.showCommand);
        }
    } catch (const Stuck& s) {
        machine.Say("stuck: " + s.why);
        stuck = true;
    }
    Outcome outcome = machine.Finish(exitCode, stuck);
    TheMachine = nullptr;
    return outcome;
}

Outcome RunFresh(const Setup& setup, const Program& program) {
    // Each run gets its own working directory, so runs never share a scratch file.
    char dir[] = "/tmp/qx310-run-XXXXXX";
    if (!mkdtemp(dir))
        throw std::runtime_error("mkdtemp failed");
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        close(fds[0]);
        if (chdir(dir) != 0)
            _exit(101);
        const std::string bytes = Encode(RunProgram(setup, program));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                _exit(102);
            done += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    if (WIFSIGNALED(status)) {
        Outcome crashed;
        crashed.crashSignal = WTERMSIG(status);
        return crashed;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the simulated run's process failed with status " +
                                 std::to_string(status));
    return Decode(std::move(bytes));
}

} // namespace sim
