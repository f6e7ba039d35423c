#include "app/TarvelU.h"

#include <commctrl.h>

#include <utility>

#include "app/About.h"
#include "app/control_ids.h"
#include "support/win32/text.h"

namespace tarvel::app {

TTarvelF* TarvelF = nullptr;

namespace {

constexpr wchar_t kStartHint[] = L"押下後、表の図形を選択します";

const FormLayout kMainLayout{L"TTarvelF",
                             L"Tarvel",
                             Rect96{196, 115, 169, 62},
                             kDialogFrameStyle,
                             kDialogFrameExStyle | WS_EX_TOPMOST,
                             FontChoice{L"ＭＳ Ｐゴシック", 12, SHIFTJIS_CHARSET}};

}  // namespace

void SetStayOnTop(HWND window, bool on) {
    SetWindowPos(window, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

TTarvelF::TTarvelF(Application& app, tarvel::CadLink& link, DimensionRun run)
    : Form(app, kMainLayout, app.Handle()), link_(link), run_(std::move(run)) {}

void TTarvelF::OnCreate() {
    // Created in the keyboard focus order: bStart, RadioButton1,
    // RadioButton2, RadioButton3, bHelp. The radio buttons form one group,
    // closed by the WS_GROUP of bHelp; RadioButton2, checked at start, is
    // its Tab stop (UpdateRadioTabStops keeps that so after each click).
    AddControl(L"bStart", L"BUTTON", L"開始", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, Rect96{8, 32, 47, 25}, kIdStart);
    AddControl(L"RadioButton1", L"BUTTON", L"２段(上付)", BS_AUTORADIOBUTTON | WS_GROUP, Rect96{88, 8, 73, 17},
               kIdRadioButton1);
    AddControl(L"RadioButton2", L"BUTTON", L"２段(中間)", BS_AUTORADIOBUTTON | WS_TABSTOP, Rect96{88, 32, 73, 17},
               kIdRadioButton2);
    AddControl(L"RadioButton3", L"BUTTON", L"1段", BS_AUTORADIOBUTTON, Rect96{8, 8, 49, 17}, kIdRadioButton3);
    AddControl(L"bHelp", L"BUTTON", L"?", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, Rect96{56, 32, 25, 25}, kIdHelp);
    SendMessageW(Control(L"RadioButton2"), BM_SETCHECK, BST_CHECKED, 0);
    FormCreate();
}

void TTarvelF::FormCreate() { SetStayOnTop(Handle(), true); }

void TTarvelF::CreateTooltip() {
    // The common controls are loaded for the tooltip alone, when the mouse
    // first comes over the window: it subclasses bStart and sees the mouse
    // moves of that first hover on, so the hint shows as it always would.
    const HMODULE common = LoadLibraryW(L"comctl32.dll");
    using Init = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto init =
        common ? reinterpret_cast<Init>(reinterpret_cast<void*>(GetProcAddress(common, "InitCommonControlsEx")))
               : nullptr;
    if (!init) return;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    init(&controls);
    tooltip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr, App().Instance(), nullptr);
    if (!tooltip_) return;
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(Control(L"bStart"));
    tool.lpszText = const_cast<wchar_t*>(kStartHint);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool TTarvelF::Checked(const wchar_t* name) const {
    HWND button = Control(name);
    return button && SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TTarvelF::UpdateRadioTabStops() {
    for (const wchar_t* name : {L"RadioButton1", L"RadioButton2", L"RadioButton3"}) {
        HWND button = Control(name);
        if (!button) continue;
        LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
        style = Checked(name) ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
        SetWindowLongPtrW(button, GWL_STYLE, style);
    }
}

void TTarvelF::OnCommand(int id, int code, HWND) {
    if (code != BN_CLICKED) return;
    switch (id) {
        case kIdStart:
            bStartClick();
            break;
        case kIdHelp:
            bHelpClick();
            break;
        case kIdRadioButton1:
        case kIdRadioButton2:
        case kIdRadioButton3:
            UpdateRadioTabStops();
            break;
    }
}

void TTarvelF::bStartClick() {
    // The run pumps messages while it waits, and Start stays enabled: a
    // press during a run lands here again and is ignored, as the run would
    // ignore it, since a second run would share the first one's point table.
    if (run_under_way_) return;
    struct UnderWay {
        TTarvelF& form;
        explicit UnderWay(TTarvelF& f) : form(f) { form.run_under_way_ = true; }
        ~UnderWay() {
            form.run_under_way_ = false;
            // Whichever way the run ended, the task-bar button brings the
            // window back from now on.
            form.App().HoldMainFormMinimised(false);
        }
    } under_way(*this);
    run_(link_, *this);
}

void TTarvelF::bHelpClick() {
    // The instructions window is made a moment after start-up; a press
    // before that has it made now.
    App().Settle();
    if (AboutBox) AboutBox->ShowModal();
}

LRESULT TTarvelF::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CLOSE && run_under_way_) {
        // Closing during a run ends the program once bStartClick returns;
        // until then the window and all the run uses stay.
        App().Terminate();
        return 0;
    }
    if (message == WM_SETCURSOR && !tooltip_) CreateTooltip();
    if (message == DM_GETDEFID) {
        // Enter presses the focused push button, as in a dialog.
        HWND focus = GetFocus();
        for (const wchar_t* name : {L"bStart", L"bHelp"}) {
            if (focus && focus == Control(name)) return MAKELRESULT(ControlId(name), DC_HASDEFID);
        }
        return 0;
    }
    return Form::HandleMessage(message, wparam, lparam);
}

// A run minimises the window so that it neither covers the drawing nor
// takes the keyboard from AutoCAD, and it stays so until the run restores
// it or the user brings it back. Windows activates the application window,
// the owner, from inside the minimise: that activation is not the user's,
// and must not restore the window. It is held off from before ShowWindow
// through the messages the run processes right after (see
// ProcessMessages); the run then hands the foreground to AutoCAD, and any
// later activation is the user's.
void TTarvelF::Minimize() {
    App().HoldMainFormMinimised(true);
    if (Handle()) ShowWindow(Handle(), SW_MINIMIZE);
}

void TTarvelF::Restore() {
    App().HoldMainFormMinimised(false);
    if (Handle()) ShowWindow(Handle(), SW_SHOWNORMAL);
}

void TTarvelF::ProcessMessages() {
    App().ProcessMessages();
    // What Windows made of the minimise has been handled; from here on the
    // task-bar button and Alt+Tab bring the window back.
    App().HoldMainFormMinimised(false);
}

void TTarvelF::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

void TTarvelF::DeleteWorkFile(const std::string& name) { DeleteFileW(win32::ToWide(name).c_str()); }

bool TTarvelF::RadioButton1Checked() { return Checked(L"RadioButton1"); }

bool TTarvelF::RadioButton2Checked() { return Checked(L"RadioButton2"); }

}  // namespace tarvel::app
