// The simulated PC as the runner and the tests see it: describe a machine, run the program once
// on it, and get back everything that happened.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class Family { Win9x, NT };

// How a printer reacts to an update record.
enum class PrinterKind {
    Takes,    // reports the ID text the record declares
    Ignores,  // keeps its old ID
    Pads,     // reports one byte more than declared
    Prefixed, // starts its replies with the two length bytes
};

constexpr int PortCount = 3;

struct PrinterSetup {
    PrinterKind kind = PrinterKind::Takes;
    std::optional<std::string> id = {}; // the ID it reports before an update; none: the model's
                                        // usual ID
};

struct PortSetup {
    bool present = true;
    bool refuses = false; // exists, but every open fails
    std::optional<PrinterSetup> printer;
};

// How a faulted call goes wrong.
enum class FaultKind {
    Fail,       // the call fails with `error`
    ShortWrite, // WriteFile succeeds, but only `count` bytes (at most those given) reach the port
    Reply,      // DeviceIoControl succeeds: `bytes` fill the buffer (as many as fit) and the driver
                // reports `count` bytes returned, true or not
};

// Makes one platform call fail or misbehave: the n-th call of that name (0: every one).
struct FaultSetup {
    std::string call;
    int occurrence = 0;
    DWORD error = 0; // 0: the call's usual error
    FaultKind kind = FaultKind::Fail;
    DWORD count = 0;
    std::string bytes = {};
};

struct Setup {
    Family family = Family::Win9x;
    std::array<PortSetup, PortCount> ports;
    std::vector<FaultSetup> faults;
    // What the user does in the port dialog, in order: "click:<control text>", "enter",
    // "escape", "close". When the list runs out with the dialog still open, the run is stuck.
    std::vector<std::string> dialogActions = {"click:OK"};
    // DOS devices defined before the program starts, oldest first per name.
    std::vector<std::pair<std::string, std::string>> dosDevices;
    int showCommand = SW_SHOWDEFAULT;
    // While the first message box is shown, the user sizes the main window to this outer width
    // and height (the only time the window takes input: the port dialog disables its owner).
    std::optional<std::pair<int, int>> resizeMainWindow;

    Setup(); // one printer on LPT2 that takes the record
};

enum class EventKind { Transcript, Trace };

struct Event {
    EventKind kind;
    std::string text;
};

struct PortHandleRecord {
    int port;           // 1..3
    int closes;         // CloseHandle calls that closed it (1 is right)
    std::string path;   // as opened
    int closeCalls = 0; // CloseHandle calls the program made on it, failed ones included
};

struct MessageBoxRecord {
    std::string caption, text;
    std::string owner; // "none", "the main window" or "another window"
    UINT type = 0;
    bool endedByQuit = false; // the quit request in the queue ended it before the user saw it
};

// The main window as last painted.
struct WindowView {
    int width = 0, height = 0;             // outer size
    int clientWidth = 0, clientHeight = 0; // client area
    // How far, from the top-left corner, the client area shows what the program painted; the
    // rest shows only the window's class background, never painted over by the program.
    int paintedWidth = 0, paintedHeight = 0;
};

struct Outcome {
    int exitCode = -1;
    bool stuck = false;  // the program waited for something that never came
    int crashSignal = 0; // set by RunFresh when the run died on a signal
    std::vector<Event> events;
    std::array<std::string, PortCount> portBytes;  // every byte each port received
    std::array<std::string, PortCount> printerIds; // what each printer reports at the end
    bool spoolerRunning = true;
    bool scratchFileLeft = false;
    std::map<std::string, std::vector<std::string>> dosDevices; // name -> targets, newest first
    std::vector<PortHandleRecord> portHandles;
    std::vector<MessageBoxRecord> messageBoxes;
    int modalLoopsEndedByQuit = 0;         // port dialogs and message boxes
    std::vector<std::string> visibleLines; // the main window at the end: "x,y: text"
    WindowView mainWindow;
    std::vector<std::string> unfiredFaults; // faults whose call never happened, described

    std::vector<std::string> Transcript() const;
    std::vector<std::string> Trace() const;
};

// What runs on the machine: by default the program from its entry point; tests may run a part of
// it instead. Returns the process exit code.
using Program = std::function<int()>;

// Runs the program once in this process, which must not have run it before.
Outcome RunProgram(const Setup& setup, const Program& program = {});
// For benchmarks and fuzzing only: runs the program on a fresh machine in this process, as often
// as called. Unlike a real start, the program's own process-wide variables (the port choice, the
// canvas, ...) keep what the last run left in them; the caller resets them or keeps them equal.
Outcome RunInProcess(const Setup& setup, const Program& program = {});
// Runs the program once in a fresh child process with a working directory of its own, as each
// real run starts.
Outcome RunFresh(const Setup& setup, const Program& program = {});

// The instance handle the program is started with.
HINSTANCE ProgramInstance();
// Adds "note: TEXT" to the transcript of the running machine, for tests that run a part of the
// program.
void Note(const std::string& text);

// Runner options (see Usage()) to a setup; returns an error message naming a bad option.
struct ParsedOptions {
    Setup setup;
    std::string captureDir;
    std::string workDir; // empty: a fresh temporary folder, removed afterwards
    bool trace = false;
    bool help = false;
    std::string error;
};
ParsedOptions ParseOptions(const std::vector<std::string>& args);
std::string Usage();
// The platform calls and shell commands a fault can be set for.
const std::vector<std::string>& FaultableCalls();
// The transcript's opening: the machine and what the user will do.
std::vector<std::string> DescribeSetup(const Setup& setup);
// The transcript's close: what the PC is left with.
std::vector<std::string> DescribeEnd(const Setup& setup, const Outcome& outcome);

// Writes a byte string as "\n"-escaped text, for the transcript.
std::string Escape(const std::string& text);

} // namespace sim
