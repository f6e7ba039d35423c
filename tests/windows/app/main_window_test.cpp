// The main window as laid out: class, caption, frame, band, client size,
// controls, the radio group, tab order, tooltip, font and dpi scaling.
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "app/control_ids.h"
#include "app_fixture.h"

namespace tarvel::app::testing {
namespace {

using MainWindow = AppTest;

TEST_F(MainWindow, ClassCaptionFrameAndBand) {
    HWND window = main->Handle();
    EXPECT_TRUE(IsDialogFrame(window, L"TTarvelF", L"Tarvel", 169, 62));
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT frame{};
    GetWindowRect(window, &frame);
    EXPECT_EQ(frame.left, 196);
    EXPECT_EQ(frame.top, 115);
}

struct ControlCase {
    const wchar_t* name;
    int id;
    RECT rect;
    const wchar_t* caption;
    LONG type;
    bool checked;
};

TEST_F(MainWindow, ControlsAsLaidOut) {
    const ControlCase cases[] = {
        {L"RadioButton3", kIdRadioButton3, {8, 8, 57, 25}, L"1段", BS_AUTORADIOBUTTON, false},
        {L"RadioButton1", kIdRadioButton1, {88, 8, 161, 25}, L"２段(上付)", BS_AUTORADIOBUTTON, false},
        {L"RadioButton2", kIdRadioButton2, {88, 32, 161, 49}, L"２段(中間)", BS_AUTORADIOBUTTON, true},
        {L"bStart", kIdStart, {8, 32, 55, 57}, L"開始", BS_PUSHBUTTON, false},
        {L"bHelp", kIdHelp, {56, 32, 81, 57}, L"?", BS_PUSHBUTTON, false},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "control " << std::string(c.name, c.name + wcslen(c.name)));
        HWND control = MainControl(c.name);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(GetDlgItem(main->Handle(), c.id), control);
        EXPECT_EQ(ClassName(control), L"Button");
        const RECT r = RectInParent(control);
        EXPECT_EQ(r.left, c.rect.left);
        EXPECT_EQ(r.top, c.rect.top);
        EXPECT_EQ(r.right, c.rect.right);
        EXPECT_EQ(r.bottom, c.rect.bottom);
        EXPECT_EQ(WindowText(control), c.caption);
        EXPECT_EQ(GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK, c.type);
        EXPECT_EQ(SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED, c.checked);
    }
}

std::vector<std::wstring> ChildOrder(const Form& form) {
    std::vector<std::wstring> names;
    for (HWND child = GetWindow(form.Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        for (const std::wstring& name : form.ControlNames()) {
            if (form.Control(name) == child) names.push_back(name);
        }
    }
    return names;
}

std::vector<std::wstring> TabCycle(const Form& form, const wchar_t* from) {
    std::vector<std::wstring> names;
    HWND at = form.Control(from);
    for (int i = 0; i < 6 && at; ++i) {
        for (const std::wstring& name : form.ControlNames()) {
            if (form.Control(name) == at) names.push_back(name);
        }
        at = GetNextDlgTabItem(form.Handle(), at, FALSE);
    }
    return names;
}

TEST_F(MainWindow, FocusOrderAndTheCheckedRadioAsTheGroupsTabStop) {
    EXPECT_EQ(ChildOrder(*main),
              (std::vector<std::wstring>{L"bStart", L"RadioButton1", L"RadioButton2", L"RadioButton3", L"bHelp"}));
    EXPECT_EQ(TabCycle(*main, L"bStart"),
              (std::vector<std::wstring>{L"bStart", L"RadioButton2", L"bHelp", L"bStart", L"RadioButton2", L"bHelp"}));
    Click(MainControl(L"RadioButton3"));
    EXPECT_EQ(TabCycle(*main, L"bStart"),
              (std::vector<std::wstring>{L"bStart", L"RadioButton3", L"bHelp", L"bStart", L"RadioButton3", L"bHelp"}));
}

TEST_F(MainWindow, RadioButtonsAreOneGroupAndTheRunReadsThem) {
    struct Case {
        const wchar_t* click;
        bool one, two, three;
    };
    const Case cases[] = {
        {L"RadioButton1", true, false, false},
        {L"RadioButton3", false, false, true},
        {L"RadioButton2", false, true, false},
        {L"RadioButton1", true, false, false},
    };
    for (const Case& c : cases) {
        Click(MainControl(c.click));
        auto checked = [&](const wchar_t* name) {
            return SendMessageW(MainControl(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
        };
        EXPECT_EQ(checked(L"RadioButton1"), c.one);
        EXPECT_EQ(checked(L"RadioButton2"), c.two);
        EXPECT_EQ(checked(L"RadioButton3"), c.three);
        EXPECT_EQ(main->RadioButton1Checked(), c.one);
        EXPECT_EQ(main->RadioButton2Checked(), c.two);
    }
}

TEST_F(MainWindow, TooltipOnStartOnlyMadeWhenTheMouseFirstComes) {
    // The mouse coming over bStart: the button hands WM_SETCURSOR to its
    // parent first, and the hint must be there for that very hover.
    SendMessageW(MainControl(L"bStart"), WM_SETCURSOR, reinterpret_cast<WPARAM>(MainControl(L"bStart")),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    HWND tooltip = main->Tooltip();
    ASSERT_NE(tooltip, nullptr);
    SendMessageW(main->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(main->Handle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(main->Tooltip(), tooltip) << "made once";
    EXPECT_EQ(ClassName(tooltip), L"tooltips_class32");
    ASSERT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);
    wchar_t text[128] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.lpszText = text;
    ASSERT_TRUE(SendMessageW(tooltip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(reinterpret_cast<HWND>(tool.uId), MainControl(L"bStart"));
    text[0] = 0;
    tool.lpszText = text;
    SendMessageW(tooltip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(std::wstring(text), L"押下後、表の図形を選択します");
}

LOGFONTW ControlFont(HWND control) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

TEST_F(MainWindow, FontAndItsScalingWithTheDpi) {
    LOGFONTW font = ControlFont(MainControl(L"bStart"));
    EXPECT_EQ(std::wstring(font.lfFaceName), L"ＭＳ Ｐゴシック");
    EXPECT_EQ(font.lfHeight, -12);
    EXPECT_EQ(font.lfCharSet, SHIFTJIS_CHARSET);

    // Moved to a 144-dpi screen: the window's client area, every control
    // and the font grow by half.
    RECT suggested{300, 200, 600, 400};
    SendMessageW(main->Handle(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    const RECT client = ClientRect(main->Handle());
    EXPECT_EQ(client.right, 254);
    EXPECT_EQ(client.bottom, 93);
    RECT frame{};
    GetWindowRect(main->Handle(), &frame);
    EXPECT_EQ(frame.left, 300);
    EXPECT_EQ(frame.top, 200);
    const RECT help = RectInParent(MainControl(L"bHelp"));
    EXPECT_EQ(help.left, 84);
    EXPECT_EQ(help.top, 48);
    EXPECT_EQ(help.right - help.left, 38);
    EXPECT_EQ(ControlFont(MainControl(L"RadioButton1")).lfHeight, -18);

    SendMessageW(main->Handle(), WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(ClientRect(main->Handle()).right, 169);
    EXPECT_EQ(RectInParent(MainControl(L"bHelp")).left, 56);
    EXPECT_EQ(ControlFont(MainControl(L"bStart")).lfHeight, -12);
}

TEST_F(MainWindow, KeyboardTabMovesFocusAndEnterPressesTheFocusedButton) {
    int runs = 0;
    run = [&](tarvel::CadLink&, tarvel::RunWindow&) {
        ++runs;
        return true;
    };
    SetForegroundWindow(main->Handle());
    SetFocus(MainControl(L"bStart"));
    ASSERT_EQ(GetFocus(), MainControl(L"bStart"));
    PostMessageW(MainControl(L"bStart"), WM_KEYDOWN, VK_TAB, 0);
    application->ProcessMessages();
    EXPECT_EQ(GetFocus(), MainControl(L"RadioButton2"));

    SetFocus(MainControl(L"bStart"));
    PostMessageW(MainControl(L"bStart"), WM_KEYDOWN, VK_RETURN, 0);
    application->ProcessMessages();
    EXPECT_EQ(runs, 1);

    // Enter on a radio button presses nothing.
    SetFocus(MainControl(L"RadioButton2"));
    PostMessageW(MainControl(L"RadioButton2"), WM_KEYDOWN, VK_RETURN, 0);
    application->ProcessMessages();
    EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace tarvel::app::testing
