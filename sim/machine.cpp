// The machine's life for one run: setting it up from a Setup, tracing and faulting calls, the
// transcript, and the outcome.
#include "machine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace sim {

Machine* TheMachine = nullptr;

namespace {
constexpr char ScratchFile[] = "OstraneUpdate";

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}
} // namespace

Machine& M() {
    if (!TheMachine) {
        std::fputs("simulated PC: a platform call was made outside a run\n", stderr);
        std::abort();
    }
    return *TheMachine;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

WindowView ViewOf(const Window& window) {
    WindowView view;
    view.width = window.width;
    view.height = window.height;
    const Surface& client = window.client;
    view.clientWidth = client.width;
    view.clientHeight = client.height;
    // The painted area grows from the top-left corner, as the program copies its canvas there.
    while (view.paintedWidth < client.width && !(client.At(view.paintedWidth, 0) & BackgroundFlag))
        ++view.paintedWidth;
    while (view.paintedHeight < client.height &&
           !(client.At(0, view.paintedHeight) & BackgroundFlag))
        ++view.paintedHeight;
    if (view.paintedWidth == 0 || view.paintedHeight == 0)
        view.paintedWidth = view.paintedHeight = 0;
    return view;
}

std::vector<TextRun> ReadText(const Surface& surface) {
    std::vector<TextRun> runs;
    for (int y = 0; y < surface.height; ++y) {
        TextRun* open = nullptr;
        for (int x = 0; x < surface.width; ++x) {
            const Pixel p = surface.At(x, y);
            if (!(p & GlyphFlag) || (p & 0xFFFF) != 0)
                continue; // not the top-left cell of a character
            const char ch = static_cast<char>((p >> 16) & 0xFF);
            if (open && open->x + GlyphWidth * int(open->text.size()) == x) {
                open->text += ch;
            } else {
                runs.push_back({x, y, std::string(1, ch)});
                open = &runs.back();
            }
        }
    }
    return runs;
}

Setup::Setup() {
    ports[1].printer = PrinterSetup{};
}

const std::vector<std::string>& FaultableCalls() {
    // Every name the platform calls announce through Machine::Enter, and the shell commands.
    static const std::vector<std::string> calls = {
        "BeginPaint",
        "BitBlt",
        "CloseHandle",
        "CreateCompatibleBitmap",
        "CreateCompatibleDC",
        "CreateFileA",
        "CreateWindowExA",
        "DefineDosDeviceA",
        "DeviceIoControl",
        "DialogBoxParamA",
        "EndDialog",
        "EndPaint",
        "GetDC",
        "GetMessageA",
        "GetStockObject",
        "GetSystemMetrics",
        "GetVersionExA",
        "InvalidateRect",
        "LoadCursorA",
        "LoadIconA",
        "MessageBoxA",
        "PatBlt",
        "PostQuitMessage",
        "QueryDosDeviceA",
        "RegisterClassA",
        "RegisterWindowMessageA",
        "ReleaseDC",
        "SelectObject",
        "SendDlgItemMessageA",
        "SendMessageA",
        "SetCommTimeouts",
        "ShowWindow",
        "Sleep",
        "TextOutA",
        "UpdateWindow",
        "WriteFile",
        "net",
        "del",
    };
    return calls;
}

Machine::Machine(const Setup& s) : setup(s), faultFired(s.faults.size(), false) {
    char dir[] = "/tmp/qx310-pc-XXXXXX";
    if (!mkdtemp(dir)) {
        std::perror("simulated PC: mkdtemp");
        std::abort();
    }
    stateDir = dir;
    WriteFile(stateDir + "/spooler", "running\n");
    std::string faults;
    for (const FaultSetup& f : setup.faults)
        if (f.kind == FaultKind::Fail)
            faults += f.call + "#" + std::to_string(f.occurrence) + "\n";
    WriteFile(stateDir + "/faults", faults);
    WriteFile(stateDir + "/shell.log", "");
    if (const char* old = std::getenv("PATH"))
        savedPath = old;
    if (const char* old = std::getenv("QX_SIM_STATE"))
        savedState = old;
    setenv("QX_SIM_STATE", stateDir.c_str(), 1);
    // The program's shell commands reach the simulated spooler through our own net and del.
    const char* path = std::getenv("PATH");
    std::string newPath = std::string(QX_SIM_BIN_DIR) + ":" + (path ? path : "/usr/bin:/bin");
    setenv("PATH", newPath.c_str(), 1);

    for (int i = 0; i < PortCount; ++i) {
        const PortSetup& port = setup.ports[i];
        if (port.present && port.printer)
            printers[i] = std::make_unique<Printer>(port.printer->kind,
                                                    port.printer->id.value_or(FactoryDeviceId));
    }
    if (setup.family == Family::NT) {
        for (int i = 0; i < PortCount; ++i)
            if (setup.ports[i].present)
                dosDevices["LPT" + std::to_string(i + 1)] = {"\\Device\\Parallel" +
                                                             std::to_string(i)};
    }
    for (const auto& [name, target] : setup.dosDevices) {
        auto& stack = dosDevices[Upper(name)];
        stack.insert(stack.begin(), target);
    }
}

Machine::~Machine() {
    // Runs repeated in one process must not stack up PATH entries.
    if (savedPath)
        setenv("PATH", savedPath->c_str(), 1);
    else
        unsetenv("PATH");
    if (savedState)
        setenv("QX_SIM_STATE", savedState->c_str(), 1);
    else
        unsetenv("QX_SIM_STATE");
    std::error_code ignored;
    std::filesystem::remove_all(stateDir, ignored);
}

bool Machine::SpoolerRunning() const {
    std::ifstream in(stateDir + "/spooler");
    std::string state;
    in >> state;
    return state != "stopped";
}

std::optional<DWORD> Machine::Enter(const char* call, const std::string& detail, DWORD usualError) {
    const int n = ++callCounts[call];
    if (n == 1) {
        const auto& known = FaultableCalls();
        if (std::find(known.begin(), known.end(), call) == known.end()) {
            std::fprintf(stderr, "simulated PC: %s is missing from FaultableCalls\n", call);
            std::abort();
        }
    }
    std::string line = std::string(call) + "#" + std::to_string(n);
    if (!detail.empty())
        line += " " + detail;
    misbehaviour = nullptr;
    for (std::size_t i = 0; i < setup.faults.size(); ++i) {
        const FaultSetup& f = setup.faults[i];
        if (f.call == call && (f.occurrence == 0 || f.occurrence == n)) {
            faultFired[i] = true;
            if (f.kind != FaultKind::Fail) {
                misbehaviour = &f;
                Trace(line + " -> injected misbehaviour");
                return std::nullopt;
            }
            const DWORD error = f.error ? f.error : usualError;
            Trace(line + " -> injected failure, error " + std::to_string(error));
            return error;
        }
    }
    Trace(line);
    return std::nullopt;
}

void Machine::DrainShellLog() {
    std::ifstream in(stateDir + "/shell.log", std::ios::binary | std::ios::ate);
    const long size = static_cast<long>(in.tellg());
    if (size <= shellLogRead)
        return;
    std::string chunk(static_cast<std::size_t>(size - shellLogRead), '\0');
    in.seekg(shellLogRead);
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    shellLogRead = size;
    std::istringstream lines(chunk);
    for (std::string line; std::getline(lines, line);)
        events.push_back({EventKind::Transcript, line});
}

void Machine::Say(const std::string& text) {
    DrainShellLog();
    events.push_back({EventKind::Transcript, text});
}

void Machine::Trace(const std::string& text) {
    DrainShellLog();
    events.push_back({EventKind::Trace, text});
}

Outcome Machine::Finish(int exitCode, bool stuck) {
    DrainShellLog();
    Outcome out;
    out.exitCode = exitCode;
    out.stuck = stuck;
    out.portBytes = portBytes;
    for (int i = 0; i < PortCount; ++i)
        if (printers[i])
            out.printerIds[i] = printers[i]->Id();
    out.spoolerRunning = SpoolerRunning();
    out.scratchFileLeft = std::filesystem::exists(ScratchFile);
    out.dosDevices = dosDevices;
    for (const auto& [value, handle] : handles)
        out.portHandles.push_back({handle.port, handle.closes, handle.path, handle.closeCalls});
    out.messageBoxes = messageBoxes;
    out.modalLoopsEndedByQuit = modalLoopsEndedByQuit;
    if (Window* main = FindWindow(mainWindow)) {
        for (const TextRun& run : ReadText(main->client))
            out.visibleLines.push_back(std::to_string(run.x) + "," + std::to_string(run.y) + ": " +
                                       run.text);
        out.mainWindow = ViewOf(*main);
    }
    for (std::size_t i = 0; i < setup.faults.size(); ++i) {
        const FaultSetup& f = setup.faults[i];
        int calls = 0;
        if (f.call == "net" || f.call == "del") {
            // The shell commands count their own runs.
            std::ifstream(stateDir + "/count." + f.call) >> calls;
        } else if (callCounts.count(f.call)) {
            calls = callCounts.at(f.call);
        }
        const bool fired = faultFired[i] || (calls > 0 && calls >= f.occurrence);
        if (!fired)
            out.unfiredFaults.push_back(
                f.call + (f.occurrence ? "#" + std::to_string(f.occurrence) : "") +
                " (the program " +
                (calls == 0 ? "never called " + f.call
                            : "called " + f.call + " " + std::to_string(calls) +
                                  (calls == 1 ? " time" : " times")) +
                ")");
    }
    if (stuck)
        events.push_back({EventKind::Transcript, "stuck"});
    else
        events.push_back({EventKind::Transcript, "exit " + std::to_string(exitCode)});
    out.events = events;
    return out;
}

namespace {
std::vector<std::string> TextsOf(const std::vector<Event>& events, EventKind kind) {
    std::vector<std::string> lines;
    for (const Event& e : events)
        if (e.kind == kind)
            lines.push_back(e.text);
    return lines;
}
} // namespace

std::vector<std::string> Outcome::Transcript() const {
    return TextsOf(events, EventKind::Transcript);
}

std::vector<std::string> Outcome::Trace() const {
    return TextsOf(events, EventKind::Trace);
}

} // namespace sim
