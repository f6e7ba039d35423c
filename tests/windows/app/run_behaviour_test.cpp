// The window during a run: Start runs the dimension run with the link and
// this window, and a second press during it is ignored; Close waits for the run
// to end; Help during a run holds it; the task-bar button belongs to the
// application and restores the minimised window.
#include <functional>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "dimension/run.h"
#include "support/errors.h"

namespace tarvel::app::testing {
namespace {

using RunBehaviour = AppTest;

TEST_F(RunBehaviour, RealRunMinimisesRestoresAndIgnoresANestedPress) {
    run = &tarvel::RunDimension;
    std::vector<bool> iconicWhileAsked;
    link.onActivate = [&] {
        iconicWhileAsked.push_back(IsIconic(main->Handle()) != FALSE);
        return true;
    };
    link.onReadPrompt = [&] {
        // The user presses Start again while the run waits on AutoCAD; the
        // prompt line is unreadable, so the capture ends at once.
        PostMessageW(MainControl(L"bStart"), BM_CLICK, 0, 0);
        return std::string();
    };
    Click(MainControl(L"bStart"));
    EXPECT_EQ(link.activations, 1) << "the nested press started no second run";
    EXPECT_EQ(iconicWhileAsked, std::vector<bool>{true});
    EXPECT_FALSE(IsIconic(main->Handle()));
    EXPECT_TRUE(IsWindowVisible(main->Handle()));
    Click(MainControl(L"bStart"));
    EXPECT_EQ(link.activations, 2);
}

TEST_F(RunBehaviour, CloseDuringARunEndsTheProgramWhenTheRunReturns) {
    HWND window = main->Handle();
    std::vector<std::string> steps;
    int calls = 0;
    run = [&](tarvel::CadLink&, tarvel::RunWindow& w) {
        if (++calls > 1) return false;  // as the real run refuses a nested start
        w.Minimize();
        w.ProcessMessages();
        w.Restore();
        // A press of Start first: ignored, it must not end the run's hold on
        // the window either.
        PostMessageW(MainControl(L"bStart"), BM_CLICK, 0, 0);
        w.ProcessMessages();
        PostMessageW(window, WM_CLOSE, 0, 0);  // the user closes the window
        w.ProcessMessages();
        if (IsWindow(window) && IsWindowVisible(window)) steps.push_back("window kept");
        w.Sleep(1);
        w.Minimize();
        w.ProcessMessages();
        w.Restore();
        w.ProcessMessages();
        steps.push_back("run ended");
        return true;
    };
    PostMessageW(MainControl(L"bStart"), BM_CLICK, 0, 0);
    application->Run();  // returns once the program is to end
    EXPECT_EQ(steps, (std::vector<std::string>{"window kept", "run ended"}));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(application->Terminated());
}

TEST_F(RunBehaviour, CloseWithoutARunEndsTheProgram) {
    HWND window = main->Handle();
    PostMessageW(window, WM_CLOSE, 0, 0);
    application->Run();
    EXPECT_TRUE(application->Terminated());
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(RunBehaviour, HelpDuringARunHoldsTheRunUntilClosed) {
    std::vector<std::string> steps;
    run = [&](tarvel::CadLink&, tarvel::RunWindow& w) {
        w.Minimize();
        w.ProcessMessages();
        ShowWindow(main->Handle(), SW_RESTORE);  // the user restores the window
        TimerScript::Play({
            [&] {
                if (IsWindowVisible(about->Handle()) && !IsWindowEnabled(main->Handle())) {
                    steps.push_back("help shown modally");
                }
            },
            [&] { SendMessageW(about->Control(L"OKButton"), BM_CLICK, 0, 0); },
        });
        PostMessageW(MainControl(L"bHelp"), BM_CLICK, 0, 0);
        w.ProcessMessages();
        steps.push_back(IsWindowVisible(about->Handle()) ? "help still shown" : "run goes on");
        return true;
    };
    Click(MainControl(L"bStart"));
    EXPECT_EQ(steps, (std::vector<std::string>{"help shown modally", "run goes on"}));
    EXPECT_TRUE(IsWindowEnabled(main->Handle()));
}

TEST_F(RunBehaviour, TaskBarButtonBelongsToTheApplicationAndRestoresTheWindow) {
    HWND app = application->Handle();
    HWND window = main->Handle();
    EXPECT_EQ(WindowText(app), L"Tarvel");
    EXPECT_TRUE(IsWindowVisible(app));
    EXPECT_EQ(GetWindow(app, GW_OWNER), nullptr);
    EXPECT_FALSE(GetWindowLongPtrW(app, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    // Owned and without WS_EX_APPWINDOW: the main window has no button.
    EXPECT_EQ(GetWindow(window, GW_OWNER), app);
    EXPECT_FALSE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(GetWindow(about->Handle(), GW_OWNER), window);

    struct Case {
        const char* how;
        UINT message;
        WPARAM wparam;
    };
    for (const Case& c : {Case{"restore from the button", WM_SYSCOMMAND, SC_RESTORE},
                          Case{"button clicked", WM_ACTIVATE, WA_CLICKACTIVE}}) {
        SCOPED_TRACE(c.how);
        ShowWindow(window, SW_MINIMIZE);  // outside a run
        ASSERT_TRUE(IsIconic(window));
        SendMessageW(app, c.message, c.wparam, 0);
        EXPECT_FALSE(IsIconic(window));
        EXPECT_TRUE(IsWindowVisible(window));
    }
}

// Windows activates the next window in the z-order from inside
// ShowWindow(SW_MINIMIZE), for an owned popup its owner, the application
// window; the user may activate it too (Alt+Tab, the task-bar button) while
// a pick waits. None of it may bring the window back during the run.
WNDPROC g_mainProc = nullptr;
HWND g_appWindow = nullptr;

LRESULT CALLBACK ActivateOwnerWhenMinimised(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const LRESULT result = CallWindowProcW(g_mainProc, window, message, wparam, lparam);
    if (message == WM_SIZE && wparam == SIZE_MINIMIZED) SetActiveWindow(g_appWindow);
    return result;
}

TEST_F(RunBehaviour, ActivatingTheApplicationWindowDuringARunLeavesTheWindowMinimised) {
    HWND app = application->Handle();
    HWND window = main->Handle();
    struct Way {
        const char* what;
        std::function<void()> activate;
    };
    const std::vector<Way> ways = {
        {"activated as Windows does", [&] { SetActiveWindow(app); }},
        {"brought to the foreground (Alt+Tab)", [&] { SetForegroundWindow(app); }},
        {"task-bar button clicked", [&] { SendMessageW(app, WM_ACTIVATE, WA_CLICKACTIVE, 0); }},
        {"restored from the task-bar button", [&] { SendMessageW(app, WM_SYSCOMMAND, SC_RESTORE, 0); }},
    };
    run = &tarvel::RunDimension;
    std::vector<std::string> seen;
    std::size_t polls = 0;
    link.onReadPrompt = [&] {
        // The entry test, then one poll a way while the start point waits,
        // then the idle prompt: every wait ends and nothing is picked.
        if (polls > 0 && polls <= ways.size()) {
            const Way& way = ways[polls - 1];
            way.activate();
            Pump(20);
            seen.push_back(std::string(way.what) + (IsIconic(window) ? ": minimised" : ": shown"));
        }
        ++polls;
        return std::string(polls == 1 || polls > ways.size() ? "コマンド: " : "点を指定: ");
    };
    // The owner is activated from inside the minimise, as on Windows.
    g_appWindow = app;
    g_mainProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ActivateOwnerWhenMinimised)));
    link.onActivate = [&] {
        seen.push_back(IsIconic(window) ? "after the minimise: minimised" : "after the minimise: shown");
        return true;
    };
    Click(MainControl(L"bStart"));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_mainProc));

    std::vector<std::string> expected = {"after the minimise: minimised"};
    for (const Way& way : ways) expected.push_back(std::string(way.what) + ": minimised");
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(IsIconic(window)) << "the run restores it";
    EXPECT_TRUE(IsWindowVisible(window));

    // Outside a run the task-bar button brings it back again.
    ShowWindow(window, SW_MINIMIZE);
    SendMessageW(app, WM_ACTIVATE, WA_CLICKACTIVE, 0);
    EXPECT_FALSE(IsIconic(window));
}

TEST_F(RunBehaviour, AfterARunThatEndedInAnErrorTheTaskBarButtonRestoresTheWindow) {
    run = [](tarvel::CadLink&, tarvel::RunWindow& w) -> bool {
        w.Minimize();
        throw tarvel::SilentAbort();
    };
    Click(MainControl(L"bStart"));
    ASSERT_TRUE(IsIconic(main->Handle())) << "an error leaves the window minimised";
    SendMessageW(application->Handle(), WM_ACTIVATE, WA_CLICKACTIVE, 0);
    EXPECT_FALSE(IsIconic(main->Handle()));
}

}  // namespace
}  // namespace tarvel::app::testing
