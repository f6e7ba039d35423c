// The window during a run: Start runs the dimension run with the link and
// this window, and a second press during it is ignored; Close waits for the run
// to end; Help during a run holds it; the task-bar button belongs to the
// application and restores the minimised window, during a run too, but
// Windows' own activation of it at the minimise does not.
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
        // The user clicks the task-bar button.
        SendMessageW(application->Handle(), WM_ACTIVATE, WA_CLICKACTIVE, 0);
        if (!IsIconic(main->Handle())) steps.push_back("window back");
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
    EXPECT_EQ(steps, (std::vector<std::string>{"window back", "help shown modally", "run goes on"}));
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
// window. Under Wine it does not, so the tests do it as Windows would, and
// post one more activation that the run's first pump finds pending.
WNDPROC g_mainProc = nullptr;
HWND g_appWindow = nullptr;

LRESULT CALLBACK ActivateOwnerWhenMinimised(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    const LRESULT result = CallWindowProcW(g_mainProc, window, message, wparam, lparam);
    if (message == WM_SIZE && wparam == SIZE_MINIMIZED) {
        SetActiveWindow(g_appWindow);
        PostMessageW(g_appWindow, WM_ACTIVATE, WA_ACTIVE, 0);
    }
    return result;
}

class OwnerActivatedAtMinimise : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        g_appWindow = application->Handle();
        g_mainProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(main->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ActivateOwnerWhenMinimised)));
    }
    void TearDown() override {
        SetWindowLongPtrW(main->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_mainProc));
        AppTest::TearDown();
    }
};

TEST_F(OwnerActivatedAtMinimise, WindowsOwnActivationLeavesTheWindowMinimised) {
    HWND window = main->Handle();
    run = &tarvel::RunDimension;
    std::vector<bool> iconic_when_acad_activated;
    link.onActivate = [&] {
        iconic_when_acad_activated.push_back(IsIconic(window) != FALSE);
        return false;  // no AutoCAD: the run restores the window at once
    };
    Click(MainControl(L"bStart"));
    EXPECT_EQ(iconic_when_acad_activated, std::vector<bool>{true});
    EXPECT_FALSE(IsIconic(window)) << "the run restores it";

    // The task-bar button's own minimise, outside a run, is not undone by
    // the same activation either; the next click brings the window back.
    SendMessageW(application->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    Pump(20);
    EXPECT_TRUE(IsIconic(window));
    SendMessageW(application->Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(window));
}

TEST_F(OwnerActivatedAtMinimise, TheUserBringsTheWindowBackWhileAPickWaits) {
    HWND app = application->Handle();
    HWND window = main->Handle();
    struct Way {
        const char* what;
        std::function<void()> activate;
    };
    const std::vector<Way> ways = {
        {"Alt+Tab", [&] { SetForegroundWindow(app); }},
        {"task-bar button clicked", [&] { SendMessageW(app, WM_ACTIVATE, WA_CLICKACTIVE, 0); }},
        {"Restore from the task-bar button's menu", [&] { SendMessageW(app, WM_SYSCOMMAND, SC_RESTORE, 0); }},
    };
    // AutoCAD takes the foreground when the run activates it.
    HWND acad = CreateWindowExW(0, L"STATIC", L"AutoCAD", WS_POPUP | WS_VISIBLE, 0, 0, 40, 40, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_TRUE(acad);
    run = &tarvel::RunDimension;
    link.onActivate = [&] {
        SetForegroundWindow(acad);
        return true;
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        std::vector<std::string> seen;
        int reads = 0;
        link.onReadPrompt = [&] {
            // The entry test, then the start point's first poll: the user
            // brings the window back while AutoCAD waits for the pick.
            if (++reads == 2) {
                seen.push_back(IsIconic(window) ? "minimised while the pick waits" : "shown too early");
                way.activate();
                Pump(20);
                seen.push_back(IsIconic(window) || !IsWindowVisible(window) ? "still minimised" : "shown");
            }
            return std::string("コマンド: ");
        };
        Click(MainControl(L"bStart"));
        EXPECT_EQ(seen, (std::vector<std::string>{"minimised while the pick waits", "shown"}));
        EXPECT_FALSE(IsIconic(window));
        EXPECT_TRUE(IsWindowVisible(window));
    }
    DestroyWindow(acad);
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
