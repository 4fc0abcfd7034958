// The state of the simulated PC during one run, shared by the kernel, window and graphics
// models. One machine per process, as one program run per process.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "printer.h"
#include "sim.h"

namespace sim {

// Thrown when the program waits for something the simulated user or machine never supplies.
struct Stuck {
    std::string why;
};

// A pixel is either plain colour or one cell of a character drawn by TextOutA, so that text
// can be read back from whatever surface it was copied to.
using Pixel = std::uint32_t;
constexpr Pixel White = 0x00FFFFFF;
constexpr Pixel Black = 0x00000000;
constexpr Pixel GlyphFlag = 0x80000000u;
// Marks a window's pixels filled by its class background rather than painted by the program.
// The colour is the same; the mark lets a check see what the program's painting leaves bare.
constexpr Pixel BackgroundFlag = 0x40000000u;
constexpr int GlyphWidth = 7, GlyphHeight = 16; // the system font's average cell
inline Pixel GlyphPixel(unsigned char ch, int dx, int dy) {
    return GlyphFlag | (Pixel(ch) << 16) | (Pixel(dy) << 8) | Pixel(dx);
}

struct Surface {
    int width = 0, height = 0;
    std::vector<Pixel> pixels;
    Surface() = default;
    Surface(int w, int h, Pixel fill) : width(w), height(h), pixels(std::size_t(w) * h, fill) {}
    Pixel& At(int x, int y) { return pixels[std::size_t(y) * width + x]; }
    Pixel At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

struct TextRun {
    int x, y;
    std::string text;
};
// Reads back the character runs drawn on a surface, top to bottom, left to right.
std::vector<TextRun> ReadText(const Surface& surface);

struct Window;
WindowView ViewOf(const Window& window);

struct WindowClass {
    std::string name;
    WNDPROC proc;
    HBRUSH background;
    HINSTANCE instance;
};

struct Control {
    int id;
    std::string className; // "Button" or "Static"
    std::string text;
    DWORD style;
    int x, y, cx, cy; // dialog units
    int check = BST_UNCHECKED;
    HWND hwnd;
};

struct Window {
    HWND hwnd;
    std::string className;
    std::string title;
    DWORD style;
    int x = 0, y = 0, width = 0, height = 0;
    WNDPROC proc = nullptr;
    DLGPROC dialogProc = nullptr;
    HWND owner = nullptr;
    HWND parent = nullptr;
    bool visible = false;
    bool enabled = true;
    bool destroyed = false;
    bool needsPaint = false;
    bool needsErase = false;
    int showCommand = -1;
    Surface client;
    std::vector<Control> controls; // dialogs only
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    std::vector<TextRun> lastVisible;
    bool resized = false; // since its last paint
};

struct Bitmap {
    Surface surface;
};

struct DeviceContext {
    enum Kind { WindowDC, MemoryDC, PaintDC } kind;
    HWND window = nullptr;
    std::uintptr_t bitmap = 0; // memory DCs
    Pixel brush = White;
    bool released = false;
};

struct PortHandle {
    int port;
    std::string path;
    DWORD access;
    DWORD share;
    int closes = 0;
    bool timeoutsSet = false;
    COMMTIMEOUTS timeouts{};
    int closeCalls = 0;
};

class Machine {
  public:
    explicit Machine(const Setup& setup);
    ~Machine();

    const Setup setup;

    // Every platform call announces itself here: it is traced, counted, and fails when a fault
    // is set for it. Returns the error to fail with.
    std::optional<DWORD> Enter(const char* call, const std::string& detail, DWORD usualError);
    // The misbehaviour set for the call that entered last, when it is to succeed wrongly.
    const FaultSetup* misbehaviour = nullptr;

    void Say(const std::string& text);   // a transcript event
    void Trace(const std::string& text); // a trace event
    void DrainShellLog();                // shell commands run since the last event

    DWORD lastError = ERROR_SUCCESS;
    std::uint64_t clockMs = 0;

    // Kernel.
    std::array<std::string, PortCount> portBytes;
    std::array<std::unique_ptr<Printer>, PortCount> printers;
    std::map<std::uintptr_t, PortHandle> handles;
    std::uintptr_t nextHandle = 0x100;
    std::map<std::string, std::vector<std::string>> dosDevices; // upper-case name -> newest first
    bool SpoolerRunning() const;
    std::string stateDir;

    // Window system and graphics.
    std::map<std::string, WindowClass> classes; // upper-case name
    std::map<std::string, UINT> registeredMessages;
    UINT nextMessage = 0xC000;
    std::map<std::uintptr_t, Window> windows;
    std::vector<MSG> posted;
    bool quitPosted = false;
    int quitCode = 0;
    std::map<std::uintptr_t, DeviceContext> dcs;
    std::map<std::uintptr_t, Bitmap> bitmaps;
    std::uintptr_t nextObject = 0x10000;
    std::size_t nextDialogAction = 0;
    int getMessageCalls = 0;
    HWND mainWindow = nullptr; // the first top-level window created
    std::vector<MessageBoxRecord> messageBoxes;
    int modalLoopsEndedByQuit = 0;

    Window* FindWindow(HWND hwnd);
    Surface* SurfaceOf(HDC dc);
    void PaintPending(); // a modal loop's paint dispatch
    // The one modal loop of the window system, run by the port dialog and the message boxes:
    // until `ended`, it paints what waits to be painted and lets the user do the next thing
    // (`act`). A quit request waiting in the queue ends it at once, before anything is painted
    // or the user can act, and is posted again for the next loop out. Returns false then.
    bool ModalLoop(const std::string& what, const std::function<bool()>& ended,
                   const std::function<void()>& act);
    // The user drags the main window's frame to a new outer size.
    void ResizeMainWindow(int width, int height);
    void Painted(Window& window); // reports newly visible status lines

    Outcome Finish(int exitCode, bool stuck);

  private:
    std::map<std::string, int> callCounts;
    std::vector<bool> faultFired; // by index into setup.faults
    // The environment before the run, put back when the machine goes.
    std::optional<std::string> savedPath, savedState;
    std::vector<Event> events;
    long shellLogRead = 0;
};

extern Machine* TheMachine;
Machine& M(); // the running machine; the program must not call the platform outside a run

std::string Upper(std::string text);
std::string Hex(const std::string& bytes);

} // namespace sim
