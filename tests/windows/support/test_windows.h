// Windows made by the link's tests: AutoCAD look-alikes in this process and
// in a child process (the test program started again with --child).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/win32/owner.h"
#include "tools/common/process.h"

namespace wintest {

constexpr const char* kMainClass = "Afx:00400000:8:00010003:00000000:00000000";
constexpr const char* kTextClass = "Afx:00400000:b:00010003:00000006:00000000";
constexpr const char* kFloatClass = "Afx:00400000:8:00010005:00000000:00000000";
constexpr const char* kPaneClass = "Afx:00400000:0:00010005:00000000:00000000";
constexpr const char* kThirdProgramClass = "TarvelTestThirdProgram";
constexpr UINT kThirdProgramWrite = WM_APP + 17;

// A window of ours: DestroyWindow, unless it is gone already.
struct WindowTraits {
    using Value = HWND;
    static bool Holds(HWND window) { return window != nullptr; }
    static void Free(HWND window) {
        if (IsWindow(window)) DestroyWindow(window);
    }
};

// A window of this process, destroyed when dropped. The title is 8-bit
// (Shift-JIS) text set through the A functions, byte for byte.
class TestWindow {
public:
    TestWindow() = default;
    TestWindow(const std::string& window_class, const std::string& title, HWND parent = nullptr, DWORD style = 0,
               bool unicode = false);

    HWND Get() const { return window_.value(); }
    void Destroy() { window_.reset(); }

private:
    tarvel::win32::Owner<WindowTraits> window_;
};

// Index in a list, or -1.
int IndexOf(const std::vector<HWND>& list, HWND window);
// Puts a window at the top of the z-order, without activating it.
void BringToTop(HWND window);

// A top-level window of a process with exactly this title, or null.
HWND FindTopLevel(DWORD process, const std::string& title);
// A descendant of a window with exactly this title, or null.
HWND FindChild(HWND parent, const std::string& title);

// The test program started again as a child with --child READY QUIT items.
// Items: main, text, floating, dbcstext, holdclip=MS (the text window keeps
// the clipboard open after the copy), slow=MS (each command takes that
// long), hang=MS (no messages handled for that long after start),
// thirdparty (right after the copy the text window sends kThirdProgramWrite
// to the window of class kThirdProgramClass, which then writes the clipboard).
class ChildHost {
public:
    explicit ChildHost(const std::vector<std::string>& items);
    ~ChildHost();
    ChildHost(const ChildHost&) = delete;
    ChildHost& operator=(const ChildHost&) = delete;

    bool Ready() const { return ready_; }
    DWORD Pid() const { return process_.Id(); }
    // Tells the child to end and waits; the child's exit code (the number of
    // WM_COPYDATA its main window received), or -1.
    int Finish(DWORD wait_ms = 20000);

private:
    tarvel::common::Process process_;
    tarvel::win32::Handle ready_event_;
    tarvel::win32::Handle quit_event_;
    bool ready_ = false;
    bool finished_ = false;
    int exit_code_ = -1;
};

// The child's side; returns its exit code.
int RunChild(int argc, char** argv);

// The history the child's text window puts on the clipboard.
extern const char* const kChildHistory;
extern const char* const kChildMainTitle;
extern const char* const kChildTextTitle;
extern const char* const kFalseTextTitle;  // "テキスト ウィンドウ"'s bytes from a trail byte on
extern const char* const kFalseCmdLineTitle;

}  // namespace wintest
