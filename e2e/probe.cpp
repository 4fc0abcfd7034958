// Looks at the program under test from beside it, through the same window system: what the
// screen cannot tell reliably, such as a window's outer frame or a message box's text.
//   probe windows         one line per visible top-level window, frames in screen pixels:
//                         title|class|left,top,width,height|x,y of its OK button's centre|its text
//                         (the last two only for dialog boxes, message boxes among them)
//   probe checked TITLE   the text of each checked button of the window titled TITLE, one a line
//   probe client TITLE    the client area of the visible window titled TITLE, in screen pixels:
//                         left,top,width,height (with Wine drawing the frames, the X window
//                         holds the frame too)
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr char DialogClass[] = "#32770";
// The static control that carries a message box's text.
constexpr int MessageBoxTextId = 0xFFFF;

BOOL CALLBACK PrintWindow(HWND window, LPARAM) {
    if (!IsWindowVisible(window))
        return TRUE;
    char title[256] = "", className[64] = "", text[512] = "", okCentre[32] = "";
    GetWindowTextA(window, title, sizeof title);
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, DialogClass) == 0) {
        GetDlgItemTextA(window, MessageBoxTextId, text, sizeof text);
        RECT ok;
        HWND okButton = GetDlgItem(window, IDOK);
        if (okButton != NULL && GetWindowRect(okButton, &ok))
            std::snprintf(okCentre, sizeof okCentre, "%ld,%ld", (ok.left + ok.right) / 2,
                          (ok.top + ok.bottom) / 2);
    }
    // Line breaks in the text would split the record.
    for (char* c = text; *c; ++c)
        if (*c == '\r' || *c == '\n')
            *c = '/';
    RECT frame;
    GetWindowRect(window, &frame);
    std::printf("%s|%s|%ld,%ld,%ld,%ld|%s|%s\n", title, className, frame.left, frame.top,
                frame.right - frame.left, frame.bottom - frame.top, okCentre, text);
    return TRUE;
}

BOOL CALLBACK PrintIfChecked(HWND child, LPARAM) {
    char className[64] = "", text[256] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Button") == 0 &&
        SendMessageA(child, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        GetWindowTextA(child, text, sizeof text);
        std::printf("%s\n", text);
    }
    return TRUE;
}

int PrintClientArea(const char* title) {
    HWND window = FindWindowA(NULL, title);
    RECT client;
    POINT origin = {0, 0};
    if (window == NULL || !IsWindowVisible(window) || !GetClientRect(window, &client) ||
        !ClientToScreen(window, &origin))
        return 1;
    std::printf("%ld,%ld,%ld,%ld\n", origin.x, origin.y, client.right, client.bottom);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "windows") == 0) {
        EnumWindows(PrintWindow, 0);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "checked") == 0) {
        HWND window = FindWindowA(NULL, argv[2]);
        if (window == NULL) {
            std::fprintf(stderr, "probe: no window titled \"%s\"\n", argv[2]);
            return 1;
        }
        EnumChildWindows(window, PrintIfChecked, 0);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "client") == 0)
        return PrintClientArea(argv[2]);
    std::fprintf(stderr, "usage: probe windows | probe checked TITLE | probe client TITLE\n");
    return 2;
}
