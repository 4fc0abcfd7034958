// Entry point and main window: a status board painted from an off-screen canvas.
#include <windows.h>

#include <cstring>

#include "app/app.h"
#include "update/update.h"

HINSTANCE AppInstance;
HWND MainWindow;

namespace {

constexpr char ClassName[] = "QX310 DevID Update";
constexpr char WindowTitle[] = "QX310 Device ID Update V2.2";
constexpr char StartMessageName[] = "StartProgram";
constexpr int WindowX = 20, WindowY = 20, WindowWidth = 400, WindowHeight = 400;
constexpr int StatusX = 10;

UINT StartProgramMessage;
int ScreenWidth, ScreenHeight;
// The canvas is screen-sized, so enlarging the window never loses drawn text.
HDC CanvasDC;
HBITMAP CanvasBitmap;
HBRUSH CanvasBrush;

void OnCreate(HWND window) {
    ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    ScreenHeight = GetSystemMetrics(SM_CYSCREEN);
    HDC windowDC = GetDC(window);
    CanvasDC = CreateCompatibleDC(windowDC);
    CanvasBitmap = CreateCompatibleBitmap(windowDC, ScreenWidth, ScreenHeight);
    SelectObject(CanvasDC, CanvasBitmap);
    CanvasBrush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    SelectObject(CanvasDC, CanvasBrush);
    PatBlt(CanvasDC, 0, 0, ScreenWidth, ScreenHeight, PATCOPY);
    ReleaseDC(window, windowDC);
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint = {};
    HDC dc = BeginPaint(window, &paint);
    BitBlt(dc, 0, 0, ScreenWidth, ScreenHeight, CanvasDC, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
}

} // namespace

void ShowStatus(int y, const char* text) {
    TextOutA(CanvasDC, StatusX, y, text, static_cast<int>(std::strlen(text)));
}

void RefreshWindow() {
    InvalidateRect(MainWindow, NULL, TRUE);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The start message is registered at run time, so it cannot be a case label.
    if (StartProgramMessage != 0 && message == StartProgramMessage) {
        UpdateDeviceID();
        PostQuitMessage(0);
        return 0;
    }
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    AppInstance = instance;

    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = ClassName;
    if (!RegisterClassA(&windowClass))
        return 0;

    MainWindow = CreateWindowExA(0, ClassName, WindowTitle, WS_OVERLAPPEDWINDOW, WindowX, WindowY,
                                 WindowWidth, WindowHeight, NULL, NULL, instance, NULL);
    if (MainWindow == NULL)
        return 0;

    StartProgramMessage = RegisterWindowMessageA(StartMessageName);
    // The message only ever goes from us to our own window, so should the system have no
    // registered number to give, one of the application's private range does the same work;
    // without it the update would never start and nothing would be reported.
    if (StartProgramMessage == 0)
        StartProgramMessage = WM_APP;
    ShowWindow(MainWindow, showCommand);
    UpdateWindow(MainWindow);
    SendMessageA(MainWindow, StartProgramMessage, 0, 0);

    // GetMessageA returns -1 on an error, which would only repeat: only a message keeps us going.
    MSG message = {};
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
