// The port dialog: its layout as the resource script defines it, and how it behaves in a fresh
// process under the simulated user's hands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "ports/ports.h"
#include "rc.h"
#include "res/resource.h"

namespace {

using qxtest::Describe;
using qxtest::Find;

TEST(PortDialogLayout, MatchesTheDesign) {
    const std::optional<sim::DialogTemplate> d = sim::ProgramDialog(101);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(d->style,
              DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT));
    EXPECT_EQ((std::vector<int>{d->x, d->y, d->cx, d->cy}), (std::vector<int>{100, 100, 177, 95}));
    EXPECT_EQ(d->caption, "Select Printer Port");
    EXPECT_EQ(d->fontSize, 8);
    EXPECT_EQ(d->fontFace, "MS Sans Serif");

    const DWORD base = WS_CHILD | WS_VISIBLE;
    const struct {
        int id;
        const char* className;
        const char* text;
        int x, y, cx, cy;
        DWORD style;
    } expected[] = {
        {1, "Button", "OK", 110, 46, 45, 14, base | WS_TABSTOP | BS_DEFPUSHBUTTON},
        {1000, "Button", "LPT1", 31, 34, 33, 10, base | WS_TABSTOP | BS_AUTORADIOBUTTON},
        {1001, "Button", "LPT2", 31, 50, 33, 10, base | WS_TABSTOP | BS_AUTORADIOBUTTON},
        {1002, "Button", "LPT3", 31, 67, 33, 10, base | WS_TABSTOP | BS_AUTORADIOBUTTON},
        {-1, "Static", "Select the printer port the QX310 is connected to.", 18, 18, 152, 8,
         base | WS_GROUP | SS_LEFT},
    };
    ASSERT_EQ(d->controls.size(), std::size(expected));
    for (std::size_t i = 0; i < d->controls.size(); ++i) {
        const sim::Control& c = d->controls[i];
        SCOPED_TRACE("control " + std::to_string(i + 1) + " \"" + c.text + "\"");
        EXPECT_EQ(c.id, expected[i].id);
        EXPECT_EQ(c.className, expected[i].className);
        EXPECT_EQ(c.text, expected[i].text);
        EXPECT_EQ((std::vector<int>{c.x, c.y, c.cx, c.cy}),
                  (std::vector<int>{expected[i].x, expected[i].y, expected[i].cx, expected[i].cy}));
        EXPECT_EQ(c.style, expected[i].style);
    }
}

TEST(PortDialogLayout, ControlIdsMatchTheCode) {
    EXPECT_EQ(IDD_PORTDIALOG, 101);
    EXPECT_EQ((std::vector<int>{IDC_LPT1, IDC_LPT2, IDC_LPT3}),
              (std::vector<int>{1000, 1001, 1002}));
}

// Shows the port dialog in a fresh process with the given user actions and notes PortChoice.
sim::Outcome ShowDialog(std::vector<std::string> actions) {
    sim::Setup setup;
    setup.family = sim::Family::NT;
    setup.dialogActions = std::move(actions);
    return sim::RunFresh(setup, [] {
        const INT_PTR result =
            DialogBoxParamA(sim::ProgramInstance(), MAKEINTRESOURCEA(101), NULL, PortDlgProc, 0);
        sim::Note("result " + std::to_string(result) + ", choice " + std::to_string(PortChoice[0]) +
                  "," + std::to_string(PortChoice[1]) + "," + std::to_string(PortChoice[2]));
        return 0;
    });
}

TEST(PortDialog, OpensWithLpt1CheckedInAFreshProcess) {
    const sim::Outcome o = ShowDialog({"click:OK"});
    const std::vector<std::string> t = o.Transcript();
    EXPECT_EQ(t.at(0), "dialog 101 \"Select Printer Port\" opened; checked: LPT1") << Describe(o);
    EXPECT_GE(Find(t, "note: result 0, choice 1,0,0"), 0) << Describe(o);
}

TEST(PortDialog, UserChoiceIsStoredOnOk) {
    const struct {
        std::vector<std::string> actions;
        const char* note;
    } cases[] = {
        {{"click:LPT2", "click:OK"}, "note: result 0, choice 0,1,0"},
        {{"click:LPT3", "enter"}, "note: result 0, choice 0,0,1"},
        // The three buttons are one group: each click leaves exactly one checked.
        {{"click:LPT3", "click:LPT2", "click:LPT1", "click:LPT2", "click:OK"},
         "note: result 0, choice 0,1,0"},
    };
    for (const auto& c : cases) {
        const sim::Outcome o = ShowDialog(c.actions);
        EXPECT_GE(Find(o.Transcript(), c.note), 0) << Describe(o);
    }
}

TEST(PortDialog, EscapeAndTheCloseBoxLeaveItOpen) {
    const sim::Outcome o = ShowDialog({"click:LPT3", "escape", "close", "click:OK"});
    const std::vector<std::string> t = o.Transcript();
    const long escape = Find(t, "dialog key Escape");
    ASSERT_GE(escape, 0) << Describe(o);
    EXPECT_EQ(t.at(escape + 1), "dialog still open; checked: LPT3") << Describe(o);
    const long close = Find(t, "dialog close box");
    ASSERT_GE(close, 0) << Describe(o);
    EXPECT_EQ(t.at(close + 1), "dialog still open; checked: LPT3") << Describe(o);
    EXPECT_GE(Find(t, "note: result 0, choice 0,0,1"), 0) << Describe(o);
}

TEST(PortDialog, OnlyOkEndsIt) {
    // A user who only ever presses Escape never gets past the dialog.
    const sim::Outcome o = ShowDialog({"escape", "escape"});
    EXPECT_TRUE(o.stuck) << Describe(o);
    EXPECT_EQ(Find(o.Transcript(), "dialog closed"), -1) << Describe(o);
}

TEST(PortDialog, WholeRunShowsStatusLinesWhileTheDialogIsOpen) {
    sim::Setup setup;
    setup.family = sim::Family::NT;
    setup.dialogActions = {"click:LPT2", "click:OK"};
    const sim::Outcome o = sim::RunFresh(setup);
    const std::vector<std::string> t = o.Transcript();
    const long opened = Find(t, "dialog 101");
    const long status = Find(t, "status at 10,40: Dialog Selected");
    const long closed = Find(t, "dialog closed");
    EXPECT_TRUE(opened >= 0 && opened < status && status < closed) << Describe(o);
    // The selection line is drawn after the dialog closes, and seen at the next modal loop.
    EXPECT_GT(Find(t, "status at 10,70: Selected LPT2:"), closed) << Describe(o);
}

} // namespace
