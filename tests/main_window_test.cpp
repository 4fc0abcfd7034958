// The main window: class and window as created, the canvas that shows status lines only after a
// repaint, and the process's end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app.h"
#include "ports/ports.h"
#include "res/resource.h"
#include "harness.h"
#include "machine.h"

namespace {

using qxtest::Describe;
using qxtest::DescribeWithTrace;
using qxtest::Find;

// What the main window shows now, read off its client area.
std::string Visible() {
    std::string text;
    sim::Machine& m = sim::M();
    for (const sim::TextRun& run : sim::ReadText(m.FindWindow(m.mainWindow)->client))
        text += (text.empty() ? "" : " | ") + std::to_string(run.y) + ": " + run.text;
    return "[" + text + "]";
}

// Builds the main window as the program does, then draws on it step by step.
sim::Outcome WithMainWindowThen(const std::function<void()>& steps,
                                const sim::Setup& setup = sim::Setup()) {
    return sim::RunFresh(setup, [&steps] {
        AppInstance = sim::ProgramInstance();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = MainWndProc;
        wc.hInstance = AppInstance;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = "QX310 DevID Update";
        RegisterClassA(&wc);
        MainWindow = CreateWindowExA(0, wc.lpszClassName, "T", WS_OVERLAPPEDWINDOW, 20, 20, 400,
                                     400, NULL, NULL, AppInstance, NULL);
        ShowWindow(MainWindow, SW_SHOWDEFAULT);
        UpdateWindow(MainWindow);
        steps();
        return 0;
    });
}

sim::Outcome WithMainWindow(const std::function<void()>& steps) {
    return WithMainWindowThen(steps);
}

TEST(MainWindow, ClassAndWindowAsDesigned) {
    sim::Setup setup;
    setup.showCommand = SW_SHOWNORMAL;
    const sim::Outcome o = sim::RunFresh(setup);
    const std::vector<std::string> trace = o.Trace();
    EXPECT_GE(Find(trace, "RegisterClassA#1 \"QX310 DevID Update\" style=0 extra=0,0 "
                          "instance=0x00400000 icon=32512 cursor=32512 background=WHITE_BRUSH "
                          "menu=NULL"),
              0)
        << DescribeWithTrace(o);
    EXPECT_GE(Find(trace, "CreateWindowExA#1 ex=0x00000000 \"QX310 DevID Update\" \"QX310 Device "
                          "ID Update V2.2\" style=0x00CF0000 20,20 400x400 parent=NULL "
                          "menu=NULL instance=0x00400000"),
              0)
        << DescribeWithTrace(o);
    EXPECT_GE(Find(trace, "LoadIconA#1 #32512"), 0) << DescribeWithTrace(o);
    EXPECT_GE(Find(trace, "LoadCursorA#1 #32512"), 0) << DescribeWithTrace(o);
    // The start-up show command reaches the window, which is painted before the update starts.
    const long show = Find(trace, "ShowWindow#1 1");
    const long paint = Find(trace, "BeginPaint#1");
    const long start = Find(trace, "SendMessageA#1");
    const long version = Find(trace, "GetVersionExA#1");
    EXPECT_TRUE(show >= 0 && show < paint && paint < start && start < version)
        << DescribeWithTrace(o);
    EXPECT_GE(Find(trace, "RegisterWindowMessageA#1 \"StartProgram\""), 0);
}

TEST(MainWindow, ProcessEndsWithExitCodeZeroWhenTheLastBoxIsDismissed) {
    const sim::Outcome o = sim::RunFresh(sim::Setup());
    const std::vector<std::string> t = o.Transcript();
    EXPECT_EQ(o.exitCode, 0) << Describe(o);
    EXPECT_EQ(t.back(), "exit 0");
    // The message loop ends at its first message: the quit request posted after the update.
    const std::vector<std::string> trace = o.Trace();
    EXPECT_EQ(Find(trace, "GetMessageA#2"), -1) << DescribeWithTrace(o);
    EXPECT_LT(Find(trace, "PostQuitMessage#1 0"), Find(trace, "GetMessageA#1"));
}

// The user sizes the main window while the outcome is shown: whatever the size, up to the whole
// screen, the window shows the program's canvas all over, and the text stays where it was drawn.
TEST(MainWindow, ASizedWindowShowsTheCanvasAllOver) {
    const struct {
        int width, height;
        int clientWidth, clientHeight; // less the sizing frame and the caption
    } cases[] = {
        {800, 600, 792, 573},
        {1024, 768, 1016, 741}, // larger, up to the screen
        {401, 768, 393, 741},
        {300, 200, 292, 173}, // one side only; smaller
    };
    for (const auto& c : cases) {
        sim::Setup setup;
        setup.resizeMainWindow = std::make_pair(c.width, c.height);
        const sim::Outcome o = sim::RunFresh(setup);
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        SCOPED_TRACE(size);
        const sim::WindowView& view = o.mainWindow;
        EXPECT_EQ(view.width, c.width) << Describe(o);
        EXPECT_EQ(view.height, c.height) << Describe(o);
        EXPECT_EQ(view.clientWidth, c.clientWidth) << Describe(o);
        EXPECT_EQ(view.clientHeight, c.clientHeight) << Describe(o);
        EXPECT_EQ(view.paintedWidth, c.clientWidth) << Describe(o);
        EXPECT_EQ(view.paintedHeight, c.clientHeight) << Describe(o);
        const std::vector<std::string> t = o.Transcript();
        const long sized = Find(t, "the user sizes the main window to " + size);
        const long painted = Find(t, "main window painted at " + size +
                                         ": the program's painting fills the client area");
        const long dismissed = Find(t, "message box \"Success\" dismissed");
        EXPECT_TRUE(sized >= 0 && sized < painted && painted < dismissed) << Describe(o);
        // The text is where it was drawn, as far as the window still shows it.
        const std::vector<std::string> visible = {"10,10: OS = 9X", "10,40: CheckDeviceID ( ) = 1",
                                                  "10,70: Found BRAXEL QX310 printer on LPT2:"};
        EXPECT_EQ(o.visibleLines, visible) << Describe(o);
    }
}

// As the platform documents its modal loops: a quit request waiting in the queue ends a message
// box or a dialog at once, before it paints anything or the user can act, and stays posted for
// the next loop out.
TEST(MainWindow, AWaitingQuitRequestEndsModalLoopsAtOnce) {
    sim::Setup setup;
    setup.family = sim::Family::NT;
    setup.dialogActions = {"click:LPT3", "click:OK"};
    const sim::Outcome o = WithMainWindowThen(
        [] {
            ShowStatus(10, "drawn");
            RefreshWindow();
            PostQuitMessage(7);
            sim::Note("box returns " + std::to_string(MessageBoxA(NULL, "text", "caption", MB_OK)));
            sim::Note("dialog returns " +
                      std::to_string(DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_PORTDIALOG),
                                                     MainWindow, PortDlgProc, 0)));
            MSG message = {};
            const BOOL got = GetMessageA(&message, NULL, 0, 0);
            sim::Note("GetMessageA returns " + std::to_string(got) + ", code " +
                      std::to_string(message.wParam));
        },
        setup);
    const std::vector<std::string> t = o.Transcript();
    EXPECT_GE(Find(t, "message box \"caption\" ended at once: a quit request"), 0) << Describe(o);
    EXPECT_GE(Find(t, "note: box returns 0"), 0) << Describe(o);
    EXPECT_GE(Find(t, "dialog 101 ended at once: a quit request"), 0) << Describe(o);
    EXPECT_GE(Find(t, "note: dialog returns 0"), 0) << Describe(o);
    EXPECT_GE(Find(t, "note: GetMessageA returns 0, code 7"), 0) << Describe(o);
    EXPECT_EQ(Find(t, "dialog click"), -1) << "the user never got to act\n" << Describe(o);
    EXPECT_EQ(Find(t, "dismissed"), -1) << Describe(o);
    EXPECT_TRUE(o.visibleLines.empty()) << "nothing was painted\n" << Describe(o);
    EXPECT_EQ(o.modalLoopsEndedByQuit, 2);
    ASSERT_EQ(o.messageBoxes.size(), 1u);
    EXPECT_TRUE(o.messageBoxes[0].endedByQuit);
}

TEST(MainWindow, AFailingMessageLoopEndsInsteadOfSpinning) {
    sim::Setup setup;
    setup.faults.push_back({"GetMessageA", 0, 0}); // every call returns -1
    const sim::Outcome o = sim::RunFresh(setup);
    EXPECT_FALSE(o.stuck) << Describe(o);
    EXPECT_EQ(o.exitCode, 0) << Describe(o);
    ASSERT_EQ(o.messageBoxes.size(), 1u) << Describe(o);
    EXPECT_EQ(o.messageBoxes[0].caption, "Success");
}

TEST(MainWindow, FailingToRegisterOrCreateEndsQuietly) {
    for (const char* call : {"RegisterClassA", "CreateWindowExA"}) {
        sim::Setup setup;
        setup.faults.push_back({call, 1, 0});
        const sim::Outcome o = sim::RunFresh(setup);
        SCOPED_TRACE(call);
        EXPECT_EQ(o.exitCode, 0) << DescribeWithTrace(o);
        EXPECT_FALSE(o.stuck);
        EXPECT_TRUE(o.messageBoxes.empty()) << DescribeWithTrace(o);
        EXPECT_EQ(Find(o.Trace(), "GetVersionExA"), -1) << "no update may start";
        for (const std::string& bytes : o.portBytes)
            EXPECT_EQ(bytes, "");
        EXPECT_EQ(Find(o.Transcript(), "window created"), -1) << DescribeWithTrace(o);
    }
}

TEST(Canvas, TextBecomesVisibleOnlyAfterRefreshAndAPaint) {
    const sim::Outcome o = WithMainWindow([] {
        ShowStatus(10, "OS = NT");
        sim::Note("drawn " + Visible());
        MessageBoxA(NULL, "a", "b", MB_OK); // a modal loop, but nothing asked to repaint
        sim::Note("after a box without refresh " + Visible());
        RefreshWindow();
        sim::Note("refreshed " + Visible());
        MessageBoxA(NULL, "a", "b", MB_OK);
        sim::Note("after a box " + Visible());
    });
    const std::vector<std::string> t = o.Transcript();
    EXPECT_GE(Find(t, "note: drawn []"), 0) << Describe(o);
    EXPECT_GE(Find(t, "note: after a box without refresh []"), 0) << Describe(o);
    EXPECT_GE(Find(t, "note: refreshed []"), 0) << Describe(o);
    EXPECT_GE(Find(t, "note: after a box [10: OS = NT]"), 0) << Describe(o);
}

TEST(Canvas, ALaterLineOverwritesWithoutErasing) {
    const sim::Outcome o = WithMainWindow([] {
        ShowStatus(70, "Found BRAXEL QX310 printer on LPT2:");
        ShowStatus(70, "Selected LPT3:");
        ShowStatus(100, "x");
        RefreshWindow();
        MessageBoxA(NULL, "a", "b", MB_OK);
        sim::Note(Visible());
    });
    EXPECT_GE(Find(o.Transcript(), "note: [70: Selected LPT3:X310 printer on LPT2: | 100: x]"), 0)
        << Describe(o);
}

TEST(Canvas, FailingCanvasCallsOnlyLoseTheText) {
    for (const char* call : {"CreateCompatibleDC", "CreateCompatibleBitmap", "TextOutA"}) {
        sim::Setup setup;
        setup.faults.push_back({call, 0, 0});
        const sim::Outcome o = sim::RunFresh(setup);
        SCOPED_TRACE(call);
        EXPECT_TRUE(o.visibleLines.empty()) << Describe(o);
        ASSERT_EQ(o.messageBoxes.size(), 1u) << Describe(o);
        EXPECT_EQ(o.messageBoxes[0].caption, "Success");
        EXPECT_EQ(o.exitCode, 0);
    }
}

} // namespace
