// What the dimension run needs of the CAD link. The Windows program passes
// an adapter over the real Acad11ACtrl functions; tests pass scripted fakes.
#pragma once

#include <string>

namespace tarvel {

// An opaque window handle of the CAD host (an HWND in the Windows build).
using WindowHandle = void*;

class CadLink {
public:
    virtual ~CadLink() = default;

    // True when AutoCAD's main window was found; it was then asked to come
    // to the foreground.
    virtual bool ActivateAcad() = 0;

    // The current prompt line, 8-bit code-page text; empty when unreadable.
    virtual void ReadPromptLine(std::string& text) = 0;

    // The last non-empty history line; empty when unreadable.
    // May throw SilentAbort.
    virtual void LastHistoryLine(std::string& line) = 0;

    // Types a UTF-16 command; false when AutoCAD was not found.
    virtual bool SendCommand(const std::u16string& command) = 0;

    // The trimmed value of a system variable; empty when unreadable.
    // May throw SilentAbort.
    virtual void QuerySysVar(const std::string& name, std::string& value) = 0;

    // The history pane, or nullptr.
    virtual WindowHandle FindHistoryPane() = 0;

    // Paints an 8-bit text at the bottom-left of the window.
    virtual void DrawPromptText(WindowHandle window, const std::string& message) = 0;

    // Turns 8-bit code-page text into UTF-16 with the calling thread's ANSI
    // code page (MultiByteToWideChar with CP_THREAD_ACP on Windows).
    virtual std::u16string AnsiToWide(const std::string& text) = 0;
};

}  // namespace tarvel
