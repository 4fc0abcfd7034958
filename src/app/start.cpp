// The program's entry point, where the system starts the process: the show command from the
// start-up information, WinMain, then the end of the process with WinMain's result. Nothing else
// runs first (no constructors, no thread-local storage, no exit handlers), so on an old system
// nothing can fail before the main window is up.
#include <windows.h>

namespace {

// The program takes no arguments.
char NoArguments[] = "";

} // namespace

// The entry point the linker expects of a GUI program: called with no arguments, never returns.
extern "C" void WinMainCRTStartup() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int showCommand =
        (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(NULL), NULL, NoArguments, showCommand)));
}
