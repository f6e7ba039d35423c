// Acad11ACtrl: the CAD link. Finds AutoCAD's windows and keeps them, types
// commands into AutoCAD with WM_COPYDATA, reads its prompt line and its
// command history, and reads system variables. Win32 only.
//
// 8-bit texts are std::string of code-page bytes (Shift-JIS on the target
// machines); command texts are UTF-16 std::u16string.
#pragma once

#include <windows.h>

#include <string>

namespace tarvel::Acad11ACtrl {

// What has been found, kept for the life of the process. The handles name
// windows of another process: never owned, never freed.
struct ModuleState {
    HWND AcadWnd = nullptr;         // the main frame window
    DWORD AcadProcessId = 0;        // the process that owns AcadWnd
    HWND TextWnd = nullptr;         // the text window
    HWND CmdLineWnd = nullptr;      // the floating command-line window
    HWND PromptLineWnd = nullptr;   // "Headlands": its text is the prompt line
    HWND HistoryPaneWnd = nullptr;  // "MountTam": the history pane
};

ModuleState& State();

// Every wait on one of AutoCAD's windows is bounded by this, long enough
// for a busy AutoCAD; a window that does not answer in time counts as not
// reached.
constexpr UINT kHostReplyTimeoutMs = 10000;

// Opening the clipboard is retried this long while another program holds it.
constexpr DWORD kClipboardOpenRetryMs = 1000;

// The history copy command of the text window.
constexpr WPARAM kCopyHistoryCommand = 32781;

// Window discovery.
HWND FindAcadWindow();
bool AcadIsRunning();
HWND FindTextWindow();
HWND FindPromptLine();
HWND FindHistoryPane();

// How one top-level window fares in the search for AutoCAD's main window:
// the very tests MatchAcadWindow makes, and nothing recorded.
struct MainWindowTests {
    std::string title;          // as the search reads it (8-bit, at most 254 bytes)
    std::string class_name;     // the same
    bool title_passes = false;  // begins with "AutoCAD ", "Autodesk " or "ACAD"
    // The first class test it passes: 1 begins "Afx:" and contains ":8:",
    // 2 contains "AfxMDIFrame90u", 3 contains "AfxMDIFrame100u"; 0 none.
    int class_test = 0;
    bool Taken() const { return title_passes && class_test != 0; }
};
MainWindowTests TestMainWindow(HWND window);

// The tests MatchTextWindow makes of a window's title and class, all but
// the one of its process: title beginning "AutoCAD " and containing
// "テキスト ウィンドウ", class beginning "Afx:" and containing ":b:".
bool LooksLikeTextWindow(HWND window);

// What a run would find of AutoCAD's windows now: the same searches
// (FindAcadWindow, FindPromptLine, FindHistoryPane, FindTextWindow) from a
// fresh state, and what the link keeps is left as it was. Only titles and
// class names are read; nothing is sent to AutoCAD.
ModuleState SurveyAcadWindows();

BOOL CALLBACK MatchAcadWindow(HWND window, LPARAM value);
BOOL CALLBACK MatchTextWindow(HWND window, LPARAM value);
BOOL CALLBACK MatchCmdLineWindow(HWND window, LPARAM value);
BOOL CALLBACK MatchPaneWindow(HWND window, LPARAM value);

// The text tests of the window search that need the locale.
// `n` bytes of the text compared with the literal by CompareStringA.
bool BeginsWithByLocale(const std::string& text, const std::string& literal, int n);
// The literal found at a character boundary and equal by CompareStringA.
bool ContainsDbcsAware(const std::string& text, const std::string& literal);

// Command sending: true when the message was delivered to AutoCAD's main
// window within the bound, false when no main window was found (nothing
// was sent) or it did not answer in time. Every message to AutoCAD's
// windows that Windows refuses for lack of privilege (AutoCAD runs as
// administrator, Tarvel does not) raises AcadElevatedError.
bool SendCommand(const std::u16string& command);
bool SendCommandAs(const std::u16string& command, bool wide);
bool ActivateAcad();

// Command-line reading; each first empties its output.
void ReadWindowText(HWND window, std::string& text);
void ReadPromptLine(std::string& text);
// Puts what the user had on the clipboard back afterwards. A clipboard that
// cannot be used (held by another program, or its owner does not render
// what it offered within the bound) raises SilentAbort.
void CopyHistoryText(std::string& text);
void LastHistoryLine(std::string& line);

// System variable query.
void QuerySysVarAs(const std::string& name, bool wide, std::string& value);
void QuerySysVar(const std::string& name, std::string& value);

}  // namespace tarvel::Acad11ACtrl
