// The window system of the simulated PC: classes, windows, the message queue, painting, the
// modal port dialog built from the program's resource script, and message boxes.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "machine.h"
#include "rc.h"

using namespace sim;

namespace sim {
HDC NewWindowDC(HWND window, bool paint);
void ReleaseWindowDC(HDC dc);
void FillSurface(Surface& surface, int x, int y, int width, int height, Pixel colour);
} // namespace sim

namespace {

constexpr int ScreenWidth = 1024, ScreenHeight = 768;
constexpr int FrameSize = 4, CaptionHeight = 19; // sizing frame and caption of a top-level window
constexpr DWORD ErrorControlIdNotFound = 1421;
constexpr DWORD ErrorResourceNotFound = 1814;
constexpr std::uintptr_t StockIconBase = 0x9000;
constexpr int MaxPaintRounds = 100;
constexpr int MaxEmptyGets = 1000;
// Platform values the program never uses, so its header does not define them.
constexpr UINT WmSize = 0x0005;
constexpr WPARAM SizeRestored = 0;
constexpr int IdAbort = 3, IdRetry = 4, IdYes = 6;

template <typename T>
T Fail(DWORD error, T result) {
    M().lastError = error;
    return result;
}

std::string Quote(const char* text) {
    return text ? "\"" + Escape(text) + "\"" : "NULL";
}

std::string Hex32(DWORD value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", value);
    return buf;
}

std::string ResourceName(LPCSTR name) {
    if (!name)
        return "NULL";
    if (IS_INTRESOURCE(name))
        return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
    return Quote(name);
}

std::string StockName(const void* handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (!handle)
        return "NULL";
    if (value == 0x8000 + WHITE_BRUSH)
        return "WHITE_BRUSH";
    if (value == 0x8000 + BLACK_BRUSH)
        return "BLACK_BRUSH";
    if (value == StockIconBase + 32512)
        return "32512";
    return Hex32(static_cast<DWORD>(value));
}

HWND NewHandle() {
    Machine& m = M();
    const std::uintptr_t value = m.nextObject;
    m.nextObject += 4;
    return reinterpret_cast<HWND>(value);
}

Window& AddWindow(Window window) {
    Machine& m = M();
    const auto value = reinterpret_cast<std::uintptr_t>(window.hwnd);
    return m.windows[value] = std::move(window);
}

LRESULT CallProc(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = window.hwnd;
    if (window.dialogProc) {
        // The dialog manager: the dialog's own procedure first, then the defaults, under which
        // an unhandled cancel does nothing.
        return window.dialogProc(hwnd, message, wParam, lParam);
    }
    if (!window.proc)
        return 0;
    return window.proc(hwnd, message, wParam, lParam);
}

void DestroyWindowNow(Window& window) {
    if (window.destroyed)
        return;
    CallProc(window, WM_DESTROY, 0, 0);
    if (Window* still = M().FindWindow(window.hwnd))
        still->destroyed = true;
}

std::string CheckedButtons(const Window& dialog) {
    std::string checked;
    for (const Control& c : dialog.controls)
        if ((c.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON && c.className == "Button" &&
            c.check == BST_CHECKED)
            checked += (checked.empty() ? "" : ", ") + c.text;
    return "checked: " + (checked.empty() ? std::string("none") : checked);
}

// A click on an auto radio button checks it and unchecks the others of its group, which runs
// from the nearest WS_GROUP control at or before it (or the first control) to the next one.
void ClickRadio(Window& dialog, std::size_t index) {
    std::size_t first = index;
    while (first > 0 && !(dialog.controls[first].style & WS_GROUP))
        --first;
    std::size_t last = index + 1;
    while (last < dialog.controls.size() && !(dialog.controls[last].style & WS_GROUP))
        ++last;
    for (std::size_t i = first; i < last; ++i) {
        Control& c = dialog.controls[i];
        if (c.className == "Button" && (c.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
            c.check = i == index ? BST_CHECKED : BST_UNCHECKED;
    }
}

void Command(Window& dialog, int id, HWND control) {
    CallProc(dialog, WM_COMMAND, (WPARAM(BN_CLICKED) << 16) | WORD(id),
             reinterpret_cast<LPARAM>(control));
}

// What a message box of this type shows: its buttons, its icon and any further flags.
std::string BoxStyle(UINT type) {
    static const char* const buttons[] = {"OK button",
                                          "OK and Cancel buttons",
                                          "Abort, Retry and Ignore buttons",
                                          "Yes, No and Cancel buttons",
                                          "Yes and No buttons",
                                          "Retry and Cancel buttons",
                                          "Cancel, Try Again and Continue buttons"};
    static const char* const icons[] = {"no icon", "stop icon", "question icon", "exclamation icon",
                                        "information icon"};
    const UINT buttonBits = type & 0xF, iconBits = (type >> 4) & 0xF, rest = type & ~0xFFu;
    std::string style = buttonBits < 7 ? buttons[buttonBits] : "buttons " + Hex32(buttonBits);
    style += ", ";
    style += iconBits < 5 ? icons[iconBits] : "icon " + Hex32(iconBits << 4);
    if (rest)
        style += ", flags " + Hex32(rest);
    return style;
}

// The button the simulated user presses: the box's first, by the box's button bits.
struct Button {
    int id;
    const char* name;
};
Button FirstButton(UINT type) {
    static const Button first[] = {{IDOK, "OK"},        {IDOK, "OK"},   {IdAbort, "Abort"},
                                   {IdYes, "Yes"},      {IdYes, "Yes"}, {IdRetry, "Retry"},
                                   {IDCANCEL, "Cancel"}};
    return (type & 0xF) < 7 ? first[type & 0xF] : Button{IDOK, "OK"};
}

// Carries out one action of the simulated user in an open dialog.
void Act(HWND hwnd, const std::string& action) {
    Machine& m = M();
    Window* dialog = m.FindWindow(hwnd);
    if (action.rfind("click:", 0) == 0) {
        const std::string text = action.substr(6);
        for (std::size_t i = 0; i < dialog->controls.size(); ++i) {
            Control& c = dialog->controls[i];
            if (c.text != text || c.className != "Button")
                continue;
            m.Say("dialog click \"" + text + "\"");
            if ((c.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                ClickRadio(*dialog, i);
            Command(*dialog, c.id, c.hwnd);
            return;
        }
        throw Stuck{"the dialog has no button \"" + text + "\" to click"};
    }
    if (action == "enter") {
        m.Say("dialog key Enter");
        int id = IDOK;
        HWND control = nullptr;
        for (const Control& c : dialog->controls)
            if (c.className == "Button" && (c.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                id = c.id;
                control = c.hwnd;
            }
        Command(*dialog, id, control);
        return;
    }
    if (action == "escape" || action == "close") {
        // Both reach the dialog as the cancel command.
        m.Say(action == "escape" ? "dialog key Escape" : "dialog close box");
        Command(*dialog, IDCANCEL, nullptr);
        return;
    }
    throw Stuck{"unknown dialog action \"" + action + "\""};
}

} // namespace

namespace sim {

Window* Machine::FindWindow(HWND hwnd) {
    auto it = windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    if (it == windows.end() || it->second.destroyed)
        return nullptr;
    return &it->second;
}

void Machine::PaintPending() {
    for (int round = 0; round < MaxPaintRounds; ++round) {
        Window* pending = nullptr;
        for (auto& [value, window] : windows)
            if (!window.destroyed && window.visible && window.needsPaint) {
                pending = &window;
                break;
            }
        if (!pending)
            return;
        CallProc(*pending, WM_PAINT, 0, 0);
    }
    throw Stuck{"a window keeps asking to be painted"};
}

bool Machine::ModalLoop(const std::string& what, const std::function<bool()>& ended,
                        const std::function<void()>& act) {
    while (!ended()) {
        if (quitPosted) {
            // The loop takes the quit request, ends, and posts it again.
            Trace("  " + what + ": modal loop retrieves WM_QUIT and posts it again");
            Say(what + " ended at once: a quit request was waiting in the queue");
            ++modalLoopsEndedByQuit;
            return false;
        }
        PaintPending();
        act();
    }
    return true;
}

void Machine::ResizeMainWindow(int width, int height) {
    Window* w = FindWindow(mainWindow);
    if (!w) {
        Say("the user cannot size the main window: there is none");
        return;
    }
    if (!w->enabled || !(w->style & WS_THICKFRAME)) {
        Say("the user cannot size the main window: it " +
            std::string(!w->enabled ? "is disabled" : "has no sizing frame"));
        return;
    }
    Say("the user sizes the main window to " + std::to_string(width) + "x" +
        std::to_string(height));
    const int frame = FrameSize;
    const int caption = ((w->style & WS_CAPTION) == WS_CAPTION) ? CaptionHeight : 0;
    const int clientWidth = std::max(width - 2 * frame, 0);
    const int clientHeight = std::max(height - 2 * frame - caption, 0);
    // What was shown stays; the newly uncovered part shows nothing until it is painted.
    Surface grown(clientWidth, clientHeight, White | BackgroundFlag);
    for (int y = 0; y < std::min(clientHeight, w->client.height); ++y)
        for (int x = 0; x < std::min(clientWidth, w->client.width); ++x)
            grown.At(x, y) = w->client.At(x, y);
    w->client = std::move(grown);
    w->width = width;
    w->height = height;
    w->resized = true;
    const HWND hwnd = w->hwnd;
    CallProc(*w, WmSize, SizeRestored,
             static_cast<LPARAM>((DWORD(clientHeight) << 16) | DWORD(clientWidth & 0xFFFF)));
    // The class asks for no full redraw on sizing, but the uncovered part is invalid and erased;
    // the whole client area is invalidated here, which paints the same pixels.
    if ((w = FindWindow(hwnd))) {
        w->needsPaint = true;
        w->needsErase = true;
    }
}

void Machine::Painted(Window& window) {
    if (window.hwnd != mainWindow)
        return;
    std::vector<TextRun> now = ReadText(window.client);
    for (const TextRun& run : now) {
        bool seen = false;
        for (const TextRun& old : window.lastVisible)
            seen = seen || (old.x == run.x && old.y == run.y && old.text == run.text);
        if (!seen)
            Say("status at " + std::to_string(run.x) + "," + std::to_string(run.y) + ": " +
                run.text);
    }
    window.lastVisible = std::move(now);
    if (window.resized) {
        window.resized = false;
        const WindowView view = ViewOf(window);
        const std::string client =
            std::to_string(view.clientWidth) + "x" + std::to_string(view.clientHeight);
        if (view.paintedWidth == view.clientWidth && view.paintedHeight == view.clientHeight)
            Say("main window painted at " + std::to_string(view.width) + "x" +
                std::to_string(view.height) + ": the program's painting fills the client area (" +
                client + ")");
        else
            Say("main window painted at " + std::to_string(view.width) + "x" +
                std::to_string(view.height) + ": the program's painting covers only " +
                std::to_string(view.paintedWidth) + "x" + std::to_string(view.paintedHeight) +
                " of the client area (" + client + "); the rest is bare window background");
    }
}

} // namespace sim

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    Machine& m = M();
    std::string detail = "NULL";
    if (wc) {
        char extra[160];
        std::snprintf(
            extra, sizeof extra,
            " style=%u extra=%d,%d instance=%s icon=%s cursor=%s background=%s menu=%s", wc->style,
            wc->cbClsExtra, wc->cbWndExtra,
            Hex32(static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(wc->hInstance))).c_str(),
            StockName(wc->hIcon).c_str(), StockName(wc->hCursor).c_str(),
            StockName(wc->hbrBackground).c_str(), ResourceName(wc->lpszMenuName).c_str());
        detail = Quote(wc->lpszClassName) + extra;
    }
    if (auto error = m.Enter("RegisterClassA", detail, ERROR_NOT_ENOUGH_MEMORY))
        return Fail(*error, ATOM(0));
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc)
        return Fail(ERROR_INVALID_PARAMETER, ATOM(0));
    const std::string key = Upper(wc->lpszClassName);
    if (m.classes.count(key))
        return Fail(ERROR_CLASS_ALREADY_EXISTS, ATOM(0));
    m.classes[key] =
        WindowClass{wc->lpszClassName, wc->lpfnWndProc, wc->hbrBackground, wc->hInstance};
    return static_cast<ATOM>(0xC000 + m.classes.size());
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID) {
    Machine& m = M();
    const std::string detail =
        "ex=" + Hex32(exStyle) + " " + Quote(className) + " " + Quote(windowName) +
        " style=" + Hex32(style) + " " + std::to_string(x) + "," + std::to_string(y) + " " +
        std::to_string(width) + "x" + std::to_string(height) +
        " parent=" + (parent ? "set" : "NULL") + " menu=" + (menu ? "set" : "NULL") +
        " instance=" + Hex32(static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(instance)));
    if (auto error = m.Enter("CreateWindowExA", detail, ERROR_NOT_ENOUGH_MEMORY))
        return Fail(*error, HWND(nullptr));
    if (!className)
        return Fail(ERROR_INVALID_PARAMETER, HWND(nullptr));
    auto cls = m.classes.find(Upper(className));
    if (cls == m.classes.end())
        return Fail(ERROR_CANNOT_FIND_WND_CLASS, HWND(nullptr));
    Window w;
    w.hwnd = NewHandle();
    w.className = cls->second.name;
    w.title = windowName ? windowName : "";
    w.style = style;
    w.x = x, w.y = y, w.width = width, w.height = height;
    w.proc = cls->second.proc;
    w.parent = parent;
    const int frame = (style & WS_THICKFRAME) ? FrameSize : 0;
    const int caption = ((style & WS_CAPTION) == WS_CAPTION) ? CaptionHeight : 0;
    const int clientWidth = width - 2 * frame, clientHeight = height - 2 * frame - caption;
    w.client = Surface(clientWidth > 0 ? clientWidth : 0, clientHeight > 0 ? clientHeight : 0,
                       White | BackgroundFlag);
    const HWND hwnd = AddWindow(std::move(w)).hwnd;
    if (!parent && !m.mainWindow)
        m.mainWindow = hwnd;
    m.Say("window created: " + Quote(windowName) + ", class " + Quote(className) + ", at " +
          std::to_string(x) + "," + std::to_string(y) + ", size " + std::to_string(width) + "x" +
          std::to_string(height));
    if (CallProc(*m.FindWindow(hwnd), WM_CREATE, 0, 0) == -1) {
        DestroyWindowNow(*m.FindWindow(hwnd));
        if (m.mainWindow == hwnd)
            m.mainWindow = nullptr;
        return Fail(ERROR_NOT_ENOUGH_MEMORY, HWND(nullptr));
    }
    return hwnd;
}

BOOL WINAPI ShowWindow(HWND hwnd, int command) {
    Machine& m = M();
    if (auto error = m.Enter("ShowWindow", std::to_string(command), ERROR_INVALID_WINDOW_HANDLE))
        return Fail(*error, FALSE);
    Window* w = m.FindWindow(hwnd);
    if (!w)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    const BOOL wasVisible = w->visible;
    w->showCommand = command;
    w->visible = command != SW_HIDE;
    if (w->visible && !wasVisible)
        w->needsPaint = w->needsErase = true;
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    Machine& m = M();
    if (auto error = m.Enter("UpdateWindow", "", ERROR_INVALID_WINDOW_HANDLE))
        return Fail(*error, FALSE);
    Window* w = m.FindWindow(hwnd);
    if (!w)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    if (w->visible && w->needsPaint)
        CallProc(*w, WM_PAINT, 0, 0);
    return TRUE;
}

UINT WINAPI RegisterWindowMessageA(LPCSTR name) {
    Machine& m = M();
    if (auto error = m.Enter("RegisterWindowMessageA", Quote(name), ERROR_NOT_ENOUGH_MEMORY))
        return Fail(*error, 0u);
    if (!name || !*name)
        return Fail(ERROR_INVALID_PARAMETER, 0u);
    const std::string key = Upper(name);
    auto it = m.registeredMessages.find(key);
    if (it != m.registeredMessages.end())
        return it->second;
    return m.registeredMessages[key] = m.nextMessage++;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Machine& m = M();
    if (auto error = m.Enter("SendMessageA", Hex32(message), ERROR_INVALID_WINDOW_HANDLE))
        return Fail(*error, LRESULT(0));
    Window* w = m.FindWindow(hwnd);
    if (!w)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT(0));
    return CallProc(*w, message, wParam, lParam);
}

BOOL WINAPI GetMessageA(LPMSG message, HWND hwnd, UINT, UINT) {
    Machine& m = M();
    // A loop that keeps asking after errors would spin for ever on a real PC.
    if (++m.getMessageCalls > MaxEmptyGets)
        throw Stuck{"the message loop keeps asking for messages"};
    if (auto error = m.Enter("GetMessageA", "", ERROR_INVALID_PARAMETER))
        return Fail(*error, BOOL(-1));
    for (int empty = 0; empty < MaxEmptyGets; ++empty) {
        // Posted messages first, then the quit request, then paint requests.
        for (auto it = m.posted.begin(); it != m.posted.end(); ++it) {
            if (hwnd && it->hwnd != hwnd)
                continue;
            *message = *it;
            m.posted.erase(it);
            return TRUE;
        }
        if (m.quitPosted) {
            m.quitPosted = false;
            *message = MSG{};
            message->message = WM_QUIT;
            message->wParam = static_cast<WPARAM>(m.quitCode);
            return FALSE;
        }
        for (auto& [value, w] : m.windows)
            if (!w.destroyed && w.visible && w.needsPaint && (!hwnd || w.hwnd == hwnd)) {
                *message = MSG{};
                message->hwnd = w.hwnd;
                message->message = WM_PAINT;
                return TRUE;
            }
        // Nothing to do: the program idles with its window open, and the user closes it.
        Window* main = m.FindWindow(m.mainWindow);
        if (!main)
            throw Stuck{"the message loop waits, and there is no window left to close"};
        m.Say("idle: the user closes the main window");
        CallProc(*main, WM_CLOSE, 0, 0);
    }
    throw Stuck{"the message loop never ends"};
}

BOOL WINAPI TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    Machine& m = M();
    if (!message)
        return 0;
    Window* w = m.FindWindow(message->hwnd);
    if (!w)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT(0));
    return CallProc(*w, message->message, message->wParam, message->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    Machine& m = M();
    Window* w = m.FindWindow(hwnd);
    if (!w)
        return 0;
    switch (message) {
    case WM_ERASEBKGND: {
        auto cls = m.classes.find(Upper(w->className));
        if (cls == m.classes.end() || !cls->second.background)
            return 0;
        const auto brush = reinterpret_cast<std::uintptr_t>(cls->second.background);
        FillSurface(w->client, 0, 0, w->client.width, w->client.height,
                    (brush == 0x8000 + BLACK_BRUSH ? Black : White) | BackgroundFlag);
        (void)wParam;
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint{}; // BeginPaint may fail and leave it as it was
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
        return 0;
    }
    case WM_CLOSE:
        DestroyWindowNow(*w);
        return 0;
    default:
        return 0;
    }
}

void WINAPI PostQuitMessage(int exitCode) {
    Machine& m = M();
    m.Enter("PostQuitMessage", std::to_string(exitCode), 0);
    m.quitPosted = true;
    m.quitCode = exitCode;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
    Machine& m = M();
    if (auto error = m.Enter("BeginPaint", "", ERROR_INVALID_WINDOW_HANDLE))
        return Fail(*error, HDC(nullptr));
    Window* w = m.FindWindow(hwnd);
    if (!w || !paint)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, HDC(nullptr));
    const HDC dc = NewWindowDC(hwnd, true);
    *paint = PAINTSTRUCT{};
    paint->hdc = dc;
    paint->rcPaint = RECT{0, 0, w->client.width, w->client.height};
    const bool erase = w->needsErase;
    w->needsPaint = w->needsErase = false;
    if (erase)
        paint->fErase = CallProc(*w, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    return dc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
    Machine& m = M();
    m.Enter("EndPaint", "", 0);
    if (paint)
        ReleaseWindowDC(paint->hdc);
    if (Window* w = m.FindWindow(hwnd))
        m.Painted(*w);
    return TRUE;
}

HDC WINAPI GetDC(HWND hwnd) {
    Machine& m = M();
    if (auto error = m.Enter("GetDC", "", ERROR_INVALID_WINDOW_HANDLE))
        return Fail(*error, HDC(nullptr));
    if (hwnd && !m.FindWindow(hwnd))
        return Fail(ERROR_INVALID_WINDOW_HANDLE, HDC(nullptr));
    return NewWindowDC(hwnd, false);
}

int WINAPI ReleaseDC(HWND, HDC dc) {
    if (M().Enter("ReleaseDC", "", 0))
        return 0;
    ReleaseWindowDC(dc);
    return 1;
}

int WINAPI GetSystemMetrics(int index) {
    if (M().Enter("GetSystemMetrics", std::to_string(index), 0))
        return 0;
    switch (index) {
    case SM_CXSCREEN:
        return ScreenWidth;
    case SM_CYSCREEN:
        return ScreenHeight;
    default:
        return 0;
    }
}

namespace {
HICON LoadStock(const char* call, HINSTANCE instance, LPCSTR name) {
    Machine& m = M();
    if (auto error = m.Enter(call, ResourceName(name), ErrorResourceNotFound))
        return Fail(*error, HICON(nullptr));
    // Only the system's predefined icons and cursors are available, from no module.
    if (instance || !IS_INTRESOURCE(name) || reinterpret_cast<std::uintptr_t>(name) != 32512)
        return Fail(ErrorResourceNotFound, HICON(nullptr));
    return reinterpret_cast<HICON>(StockIconBase + 32512);
}
} // namespace

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    return LoadStock("LoadIconA", instance, name);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    return LoadStock("LoadCursorA", instance, name);
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT*, BOOL erase) {
    Machine& m = M();
    if (auto error = m.Enter("InvalidateRect", erase ? "erase" : "", ERROR_INVALID_WINDOW_HANDLE))
        return Fail(*error, FALSE);
    if (!hwnd) {
        for (auto& [value, w] : m.windows)
            if (!w.destroyed) {
                w.needsPaint = true;
                w.needsErase = w.needsErase || erase;
            }
        return TRUE;
    }
    Window* w = m.FindWindow(hwnd);
    if (!w)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    w->needsPaint = true;
    w->needsErase = w->needsErase || erase;
    return TRUE;
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam) {
    Machine& m = M();
    if (auto error = m.Enter("DialogBoxParamA", ResourceName(templateName), ErrorResourceNotFound))
        return Fail(*error, INT_PTR(-1));
    if (owner && !m.FindWindow(owner))
        return Fail(ERROR_INVALID_WINDOW_HANDLE, INT_PTR(0));
    // Resources come from the program's own module only.
    if (instance != ProgramInstance() || !IS_INTRESOURCE(templateName) || !dialogProc)
        return Fail(ErrorResourceNotFound, INT_PTR(-1));
    const int id = static_cast<int>(reinterpret_cast<std::uintptr_t>(templateName));
    std::optional<DialogTemplate> tmpl = ProgramDialog(id);
    if (!tmpl)
        return Fail(ErrorResourceNotFound, INT_PTR(-1));

    Window d;
    d.hwnd = NewHandle();
    d.className = "#32770";
    d.title = tmpl->caption;
    d.style = tmpl->style;
    d.x = tmpl->x, d.y = tmpl->y, d.width = tmpl->cx, d.height = tmpl->cy;
    d.dialogProc = dialogProc;
    d.owner = owner;
    d.visible = true;
    d.controls = tmpl->controls;
    for (Control& c : d.controls) {
        c.hwnd = NewHandle();
        Window child;
        child.hwnd = c.hwnd;
        child.className = c.className;
        child.title = c.text;
        child.style = c.style;
        child.parent = d.hwnd;
        AddWindow(std::move(child));
    }
    const HWND hwnd = AddWindow(std::move(d)).hwnd;
    Window* ownerWindow = m.FindWindow(owner);
    if (ownerWindow)
        ownerWindow->enabled = false;

    HWND firstTab = nullptr;
    for (const Control& c : m.FindWindow(hwnd)->controls)
        if (!firstTab && (c.style & WS_TABSTOP))
            firstTab = c.hwnd;
    CallProc(*m.FindWindow(hwnd), WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), initParam);
    m.Say("dialog " + std::to_string(id) + " " + Quote(tmpl->caption.c_str()) + " opened; " +
          CheckedButtons(*m.FindWindow(hwnd)));

    // The user acts until the dialog's procedure ends it.
    const bool ended = m.ModalLoop(
        "dialog " + std::to_string(id), [&m, hwnd] { return m.FindWindow(hwnd)->dialogEnded; },
        [&m, hwnd] {
            if (m.nextDialogAction >= m.setup.dialogActions.size())
                throw Stuck{"the port dialog is open and the user has nothing more to do"};
            Act(hwnd, m.setup.dialogActions[m.nextDialogAction++]);
            Window* dialog = m.FindWindow(hwnd);
            if (!dialog->dialogEnded)
                m.Say("dialog still open; " + CheckedButtons(*dialog));
        });
    Window* dialog = m.FindWindow(hwnd);
    const INT_PTR result = ended ? dialog->dialogResult : 0;
    m.Say("dialog closed; " + CheckedButtons(*dialog));
    for (Control& c : dialog->controls)
        if (Window* child = m.FindWindow(c.hwnd))
            child->destroyed = true;
    dialog->destroyed = true;
    if ((ownerWindow = m.FindWindow(owner)))
        ownerWindow->enabled = true;
    return result;
}

LRESULT WINAPI SendDlgItemMessageA(HWND hwnd, int id, UINT message, WPARAM wParam, LPARAM) {
    Machine& m = M();
    if (auto error =
            m.Enter("SendDlgItemMessageA",
                    std::to_string(id) + " " + Hex32(message) + " " + std::to_string(wParam),
                    ErrorControlIdNotFound))
        return Fail(*error, LRESULT(0));
    Window* dialog = m.FindWindow(hwnd);
    if (!dialog)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT(0));
    for (Control& c : dialog->controls) {
        if (c.id != id)
            continue;
        if (c.className != "Button")
            return 0;
        if (message == BM_SETCHECK) {
            c.check = static_cast<int>(wParam); // no effect on the rest of the group
            return 0;
        }
        if (message == BM_GETCHECK)
            return c.check;
        return 0;
    }
    return Fail(ErrorControlIdNotFound, LRESULT(0));
}

BOOL WINAPI EndDialog(HWND hwnd, INT_PTR result) {
    Machine& m = M();
    if (auto error = m.Enter("EndDialog", std::to_string(result), ERROR_INVALID_WINDOW_HANDLE))
        return Fail(*error, FALSE);
    Window* dialog = m.FindWindow(hwnd);
    if (!dialog || !dialog->dialogProc)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    dialog->dialogEnded = true;
    dialog->dialogResult = result;
    return TRUE;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    Machine& m = M();
    if (auto error = m.Enter("MessageBoxA",
                             Quote(caption) + " " + Quote(text) + " owner=" +
                                 (owner ? "set" : "NULL") + " type=" + std::to_string(type),
                             ERROR_NOT_ENOUGH_MEMORY))
        return Fail(*error, 0);
    if (owner && !m.FindWindow(owner))
        return Fail(ERROR_INVALID_WINDOW_HANDLE, 0);
    MessageBoxRecord box;
    box.caption = caption ? caption : "Error";
    box.text = text ? text : "";
    box.owner = !owner ? "none" : owner == m.mainWindow ? "the main window" : "another window";
    box.type = type;
    const std::string name = "message box \"" + Escape(box.caption) + "\"";
    m.Say(name + " (" + BoxStyle(type) + (owner ? ", owned by " + box.owner : ", no owner") +
          "): " + Escape(box.text));
    // An owned box disables its owner for as long as it is shown.
    Window* ownerWindow = m.FindWindow(owner);
    if (ownerWindow)
        ownerWindow->enabled = false;
    const bool first = m.messageBoxes.empty();
    m.messageBoxes.push_back(box);
    const std::size_t index = m.messageBoxes.size() - 1;

    // The user looks at the box; while the first one is shown, the user may size the main
    // window; then presses the box's first button.
    bool resizePending = first && m.setup.resizeMainWindow.has_value();
    bool pressed = false;
    const bool ended = m.ModalLoop(
        name, [&pressed] { return pressed; },
        [&] {
            if (resizePending) {
                resizePending = false;
                m.ResizeMainWindow(m.setup.resizeMainWindow->first,
                                   m.setup.resizeMainWindow->second);
                return;
            }
            m.Say(name + " dismissed: the user presses " + FirstButton(type).name);
            pressed = true;
        });
    if ((ownerWindow = m.FindWindow(owner)))
        ownerWindow->enabled = true;
    if (!ended) {
        m.messageBoxes[index].endedByQuit = true;
        return 0;
    }
    return FirstButton(type).id;
}
