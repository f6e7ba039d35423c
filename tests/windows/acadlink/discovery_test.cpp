// Finding AutoCAD's windows: title and class tests, EnumWindows order, the
// text window's process, where the command-line windows are looked for, and
// kept handles that go stale.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/link_testing.h"
#include "acadlink/linktext.h"
#include "tests/windows/support/test_windows.h"
#include "tools/common/window_list.h"

namespace {

using namespace tarvel::Acad11ACtrl;
using wintest::TestWindow;

// The two panes of a command line under `parent`: the prompt line
// "Headlands" and the history "MountTam".
struct Panes {
    explicit Panes(HWND parent)
        : prompt(wintest::kPaneClass, "Headlands", parent), history(wintest::kPaneClass, "MountTam", parent) {}
    TestWindow prompt;
    TestWindow history;
};

class Discovery : public testing::Test {
protected:
    void SetUp() override { seams::ResetForTests(); }
    void TearDown() override { seams::ResetForTests(); }
};

struct MainWindowCase {
    const char* title;
    const char* window_class;
    bool found;
};

TEST_F(Discovery, MainWindowTitleAndClassTests) {
    const char* const afx = wintest::kMainClass;
    const char* const title = "Autodesk AutoCAD 2010";
    const std::vector<MainWindowCase> cases = {
        // the title's beginning
        {"AutoCAD 2004 - [Drawing1.dwg]", afx, true},
        {"Autodesk AutoCAD 2010 - [a.dwg]", afx, true},
        {"ACAD", afx, true},
        {"ACADx", afx, true},
        {"AutoCAD", afx, false},  // no trailing blank
        {"autocad 2004", afx, false},
        {"AUTOCAD 2004", afx, false},
        {"Autodesk", afx, false},
        {"Acad 2004", afx, false},
        {" AutoCAD 2004", afx, false},
        {"", afx, false},
        // the class: an Afx frame of style 8 or an MDI frame of MFC 9 or later
        {title, "Afx:00400000:8:00010003:00000000:00000000", true},
        {title, "Afx:8:", true},
        {title, "Afx:00400000:b:00010003:00000000:00000000", false},
        {title, "afx:00400000:8:00010003", false},
        {title, "XAfx:00400000:8:00010003", false},
        {title, "Afx:00400000:80:00010003", false},
        {title, "AfxMDIFrame90u", true},
        {title, "SomeAfxMDIFrame90uMore", true},
        {title, "AfxMDIFrame100u", true},
        {title, "MyAfxMDIFrame100u", true},
        {title, "AfxMDIFrame80u", false},
        {title, "AfxFrameOrView90u", false},
    };
    // Class names are registered case-insensitively, so the lower-case
    // cases use names no other window of this program has.
    for (const MainWindowCase& c : cases) {
        seams::ResetForTests();
        TestWindow w(c.window_class, c.title);
        ASSERT_TRUE(w.Get()) << c.window_class;
        const std::string which = std::string(c.title) + " / " + c.window_class;
        EXPECT_EQ(FindAcadWindow(), c.found ? w.Get() : nullptr) << which;
        EXPECT_EQ(AcadIsRunning(), c.found) << which;
        if (c.found) {
            EXPECT_EQ(State().AcadProcessId, GetCurrentProcessId()) << which;
        }
    }
}

TEST_F(Discovery, PassedOverWindowLetsTheSearchGoOn) {
    TestWindow good(wintest::kMainClass, "AutoCAD 2004 - [b.dwg]");
    TestWindow bad("Afx:00400000:0:00010003", "AutoCAD 2004 - [a.dwg]");
    wintest::BringToTop(bad.Get());
    const auto order = tarvel::common::TopLevelWindows();
    ASSERT_LT(wintest::IndexOf(order, bad.Get()), wintest::IndexOf(order, good.Get()));
    EXPECT_EQ(FindAcadWindow(), good.Get());
}

TEST_F(Discovery, FirstInEnumOrderWinsAndIsKeptWhileItLives) {
    TestWindow a(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    TestWindow b("AfxMDIFrame100u", "ACAD b");
    wintest::BringToTop(b.Get());
    ASSERT_LT(wintest::IndexOf(tarvel::common::TopLevelWindows(), b.Get()),
              wintest::IndexOf(tarvel::common::TopLevelWindows(), a.Get()));
    EXPECT_EQ(FindAcadWindow(), b.Get());

    // Now a is first, but the kept window still names one: no search.
    wintest::BringToTop(a.Get());
    EXPECT_EQ(FindAcadWindow(), b.Get());

    // The kept window goes: the next call searches again.
    b.Destroy();
    EXPECT_EQ(FindAcadWindow(), a.Get());
}

TEST_F(Discovery, StaleMainWindowIsKeptButNotRunning) {
    TestWindow w(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    const HWND kept = w.Get();
    ASSERT_TRUE(AcadIsRunning());
    w.Destroy();
    EXPECT_EQ(FindAcadWindow(), kept) << "not cleared when nothing matches";
    EXPECT_FALSE(AcadIsRunning());
    EXPECT_FALSE(SendCommand(u"ID "));
    EXPECT_FALSE(ActivateAcad());
    EXPECT_EQ(FindPromptLine(), nullptr);
    std::string text = "stale";
    ReadPromptLine(text);
    EXPECT_EQ(text, "");
}

// The command-line windows' places: docked, floating, text window, and a
// null parent.
TEST_F(Discovery, DockedPanesAreFoundUnderTheMainWindowFirst) {
    TestWindow main(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    TestWindow frame(wintest::kPaneClass, "frame", main.Get());
    const Panes panes(frame.Get());  // a grandchild
    TestWindow floating(wintest::kFloatClass, "コマンド ライン");
    const Panes floating_panes(floating.Get());

    EXPECT_EQ(FindPromptLine(), panes.prompt.Get());
    EXPECT_EQ(FindHistoryPane(), panes.history.Get());
    EXPECT_EQ(State().CmdLineWnd, nullptr) << "no floating search when docked";
}

TEST_F(Discovery, FloatingPanesComeBeforeTheTextWindow) {
    TestWindow main(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    TestWindow text(wintest::kTextClass, "AutoCAD テキスト ウィンドウ - a.dwg");
    const Panes text_panes(text.Get());
    TestWindow floating(wintest::kFloatClass, "コマンド ライン", nullptr, 0, true);
    const Panes floating_panes(floating.Get());

    EXPECT_EQ(FindHistoryPane(), floating_panes.history.Get());
    EXPECT_EQ(State().PromptLineWnd, floating_panes.prompt.Get()) << "the other is recorded on the way";
    EXPECT_EQ(State().CmdLineWnd, floating.Get());
    EXPECT_EQ(State().TextWnd, nullptr) << "the text window is not looked for";
}

TEST_F(Discovery, TextWindowPanesWhenNothingFloats) {
    TestWindow main(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    TestWindow text(wintest::kTextClass, "AutoCAD テキスト ウィンドウ - a.dwg");
    const Panes text_panes(text.Get());
    EXPECT_EQ(FindPromptLine(), text_panes.prompt.Get());
    EXPECT_EQ(State().HistoryPaneWnd, text_panes.history.Get());
    EXPECT_EQ(State().TextWnd, text.Get());
}

TEST_F(Discovery, NullParentSearchFindsTopLevelPanes) {
    TestWindow main(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    const Panes panes(nullptr);
    EXPECT_EQ(FindPromptLine(), panes.prompt.Get());
    EXPECT_EQ(FindHistoryPane(), panes.history.Get());
    EXPECT_EQ(State().TextWnd, nullptr);
}

TEST_F(Discovery, HeadlandsWithoutMountTam) {
    TestWindow main(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    TestWindow first(wintest::kPaneClass, "Headlands", main.Get());
    TestWindow second(wintest::kPaneClass, "Headlands", main.Get());
    const auto order = tarvel::common::Descendants(main.Get());
    const HWND later =
        wintest::IndexOf(order, first.Get()) > wintest::IndexOf(order, second.Get()) ? first.Get() : second.Get();
    EXPECT_EQ(FindHistoryPane(), nullptr);
    EXPECT_EQ(State().PromptLineWnd, later) << "a later window of the same title replaces the earlier";
    EXPECT_EQ(FindPromptLine(), later);
}

TEST_F(Discovery, KeptPanesUntilTheyGo) {
    TestWindow main(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    TestWindow floating(wintest::kFloatClass, "コマンド ライン");
    const Panes floating_panes(floating.Get());
    ASSERT_EQ(FindPromptLine(), floating_panes.prompt.Get());

    // Docked now as well: the kept handles still name windows, no search.
    const Panes docked_panes(main.Get());
    EXPECT_EQ(FindPromptLine(), floating_panes.prompt.Get());
    EXPECT_EQ(FindHistoryPane(), floating_panes.history.Get());

    // The floating window closes: the next search finds the docked ones.
    floating.Destroy();
    EXPECT_EQ(FindHistoryPane(), docked_panes.history.Get());
    EXPECT_EQ(FindPromptLine(), docked_panes.prompt.Get());
}

TEST_F(Discovery, NoPaneSearchWithoutTheMainWindow) {
    TestWindow prompt(wintest::kPaneClass, "Headlands");
    EXPECT_EQ(FindPromptLine(), nullptr);
    EXPECT_EQ(State().PromptLineWnd, nullptr);
}

// The text window.
TEST_F(Discovery, TextWindowTests) {
    struct Case {
        const char* what;
        const char* title;
        const char* window_class;
        bool found;
    };
    const std::vector<Case> cases = {
        {"as AutoCAD names it", "AutoCAD テキスト ウィンドウ - a.dwg", wintest::kTextClass, true},
        {"lower-case prefix", "autocad テキスト ウィンドウ - a.dwg", wintest::kTextClass, false},
        {"prefix without blank", "AutoCADテキスト ウィンドウ", wintest::kTextClass, false},
        {"no :b: in the class", "AutoCAD テキスト ウィンドウ - a.dwg", wintest::kMainClass, false},
        {"class not beginning Afx:", "AutoCAD テキスト ウィンドウ - a.dwg", "MyAfx:00400000:b:", false},
        {"marker missing", "AutoCAD テキスト - a.dwg", wintest::kTextClass, false},
        {"marker's bytes from a trail byte on", wintest::kFalseTextTitle, wintest::kTextClass, false},
        {"a false hit, then the real one", "AutoCAD 宴eキスト ウィンドウ テキスト ウィンドウ", wintest::kTextClass,
         true},
    };
    TestWindow main(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    ASSERT_TRUE(AcadIsRunning());
    for (const Case& c : cases) {
        TestWindow text(c.window_class, c.title);
        EXPECT_EQ(FindTextWindow(), c.found ? text.Get() : nullptr) << c.what;
    }
    // The bytes are there; only the character-aware test refuses them.
    EXPECT_TRUE(tarvel::linktext::ContainsBytes(wintest::kFalseTextTitle, "テキスト ウィンドウ"));
}

TEST_F(Discovery, TextWindowNeedsTheMainWindowFoundFirst) {
    TestWindow text(wintest::kTextClass, "AutoCAD テキスト ウィンドウ - a.dwg");
    EXPECT_EQ(FindTextWindow(), nullptr);
    TestWindow main(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    ASSERT_TRUE(AcadIsRunning());
    EXPECT_EQ(FindTextWindow(), text.Get());
    text.Destroy();
    EXPECT_EQ(FindTextWindow(), nullptr) << "cleared and searched anew every time";
}

TEST_F(Discovery, FloatingCommandLineTitleIsTestedByCharacter) {
    TestWindow main(wintest::kMainClass, "AutoCAD 2004 - [a.dwg]");
    {
        TestWindow false_float(wintest::kFloatClass, wintest::kFalseCmdLineTitle);
        TestWindow p(wintest::kPaneClass, "Headlands", false_float.Get());
        EXPECT_EQ(FindPromptLine(), nullptr);
        EXPECT_EQ(State().CmdLineWnd, nullptr);
        EXPECT_TRUE(tarvel::linktext::ContainsBytes(wintest::kFalseCmdLineTitle, "コマンド ライン"));
    }
    {
        TestWindow wrong_class(wintest::kTextClass, "コマンド ライン");
        FindPromptLine();
        EXPECT_EQ(State().CmdLineWnd, nullptr);
    }
    TestWindow floating(wintest::kFloatClass, "xコマンド ラインx");
    TestWindow p(wintest::kPaneClass, "Headlands", floating.Get());
    EXPECT_EQ(FindPromptLine(), p.Get());
    EXPECT_EQ(State().CmdLineWnd, floating.Get());
}

TEST_F(Discovery, ContainsByCharacter) {
    struct Case {
        const char* text;
        const char* literal;
        bool found;
    };
    const std::vector<Case> cases = {
        {"AutoCAD テキスト ウィンドウ", "テキスト ウィンドウ", true},
        {wintest::kFalseTextTitle, "テキスト ウィンドウ", false},
        {"宴e", "テ", false},
        {"宴eテ", "テ", true},
        {"テ", "テ", true},
        {"", "テ", false},
        {"abc", "", false},
        {"ab", "abc", false},
        {"xab", "ab", true},
    };
    for (const Case& c : cases) EXPECT_EQ(ContainsDbcsAware(c.text, c.literal), c.found) << c.text;
}

// Windows of another process.
TEST_F(Discovery, ChildProcessWindowsAreFoundByTheirStoredNames) {
    wintest::ChildHost child({"main", "text", "floating"});
    ASSERT_TRUE(child.Ready());
    const HWND main = wintest::FindTopLevel(child.Pid(), wintest::kChildMainTitle);
    ASSERT_TRUE(main);
    wintest::BringToTop(main);
    EXPECT_EQ(FindAcadWindow(), main);
    EXPECT_EQ(State().AcadProcessId, child.Pid());
    EXPECT_EQ(FindTextWindow(), wintest::FindTopLevel(child.Pid(), wintest::kChildTextTitle));
    // Headlands is docked in the child's main window; MountTam floats.
    EXPECT_EQ(FindPromptLine(), wintest::FindChild(main, "Headlands"));
    const HWND floating = wintest::FindTopLevel(child.Pid(), "コマンド ライン");
    ASSERT_TRUE(floating);
    EXPECT_EQ(FindHistoryPane(), wintest::FindChild(floating, "MountTam"));
    EXPECT_EQ(State().CmdLineWnd, floating);
}

TEST_F(Discovery, ChildProcessTitleWithTheMarkerAcrossACharacter) {
    wintest::ChildHost child({"main", "dbcstext"});
    ASSERT_TRUE(child.Ready());
    ASSERT_TRUE(AcadIsRunning());
    ASSERT_TRUE(wintest::FindTopLevel(child.Pid(), wintest::kFalseTextTitle));
    EXPECT_EQ(FindTextWindow(), nullptr);
}

TEST_F(Discovery, TwoHostsTheTextWindowBelongsToTheMainWindowsProcess) {
    wintest::ChildHost child({"main", "text", "floating"});
    ASSERT_TRUE(child.Ready());
    const HWND child_main = wintest::FindTopLevel(child.Pid(), wintest::kChildMainTitle);
    const HWND child_text = wintest::FindTopLevel(child.Pid(), wintest::kChildTextTitle);
    ASSERT_TRUE(child_main && child_text);

    TestWindow own_text(wintest::kTextClass, "AutoCAD テキスト ウィンドウ - own.dwg");
    TestWindow own_main(wintest::kMainClass, "AutoCAD 2004 - [own.dwg]");

    // Ours first: the text window must be ours, though the child's comes
    // earlier in the enumeration.
    wintest::BringToTop(own_text.Get());
    wintest::BringToTop(child_text);
    wintest::BringToTop(own_main.Get());
    auto order = tarvel::common::TopLevelWindows();
    ASSERT_LT(wintest::IndexOf(order, own_main.Get()), wintest::IndexOf(order, child_main));
    ASSERT_LT(wintest::IndexOf(order, child_text), wintest::IndexOf(order, own_text.Get()));
    EXPECT_EQ(FindAcadWindow(), own_main.Get());
    EXPECT_EQ(FindTextWindow(), own_text.Get());
    // A floating command line of the other process is taken.
    EXPECT_EQ(FindPromptLine(), wintest::FindChild(wintest::FindTopLevel(child.Pid(), "コマンド ライン"), "Headlands"));

    // The child's first: its own text window.
    seams::ResetForTests();
    wintest::BringToTop(own_text.Get());
    wintest::BringToTop(child_main);
    order = tarvel::common::TopLevelWindows();
    ASSERT_LT(wintest::IndexOf(order, child_main), wintest::IndexOf(order, own_main.Get()));
    EXPECT_EQ(FindAcadWindow(), child_main);
    EXPECT_EQ(FindTextWindow(), child_text);
}

}  // namespace
