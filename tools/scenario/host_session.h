// One session of Tarvel against the scripted CAD host, driven from outside
// as a user would have it: cadhost.exe started with its options and its log
// and waited for, its windows found, typed into, its prompt line and history
// read, its log read back; Tarvel.exe started, its window and buttons found
// and pressed; both closed. Every wait is bounded; a step that fails gives
// back a text saying what did not happen. tarvel-check's modes, the Windows
// tests and the benchmarks all drive the programs through here.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/common/process.h"
#include "tools/scenario/host_log.h"

namespace tarvel::driver {

// The idle prompt of the host's prompt line.
inline constexpr wchar_t kIdlePrompt[] = L"コマンド: ";

// cadhost.exe as AutoCAD, seen from another process.
class Host {
public:
    Host() = default;
    // Closed (WM_CLOSE) and, when it does not go in time, ended.
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Starts `exe` with `args` in `folder` and waits until its windows are
    // all there and its prompt line reads the idle prompt. The log is the
    // file of a --log among the arguments. Empty on success, else what did
    // not happen.
    std::string Start(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& folder,
                      DWORD timeout_ms);

    common::Process& Process() { return process_; }
    const common::Process& Process() const { return process_; }
    DWORD Pid() const { return process_.Id(); }
    bool Running() const { return process_.Running(); }

    HWND Frame() const { return frame_; }
    HWND TextWindow() const { return text_; }
    HWND Floating() const { return floating_; }
    HWND Headlands() const { return headlands_; }
    HWND MountTam() const { return mounttam_; }
    // The window whose descendants hold "Headlands" and "MountTam".
    HWND PaneParent() const { return pane_parent_; }

    // Raw WM_COPYDATA to the main frame; the result of the message, -1 when
    // it did not return in time.
    LRESULT SendRaw(const void* data, DWORD cb, ULONG_PTR dw_data = 1) const;
    // Typed text in the frame's encoding, terminator counted as Tarvel does.
    LRESULT Type(const std::wstring& text) const;
    LRESULT TypeWide(const std::wstring& text) const;
    LRESULT TypeAnsi(const std::string& bytes) const;

    // The prompt line through SendMessageA (code-page bytes, as Tarvel reads
    // it) and through SendMessageW.
    std::string PromptA() const;
    std::wstring PromptW() const;
    std::wstring Prompt() const;  // PromptA converted
    // Waits until the prompt line reads `want` (the idle prompt).
    bool WaitPrompt(const std::wstring& want, DWORD timeout_ms = 5000) const;
    bool WaitIdle(DWORD timeout_ms) const { return WaitPrompt(kIdlePrompt, timeout_ms); }

    // The history through WM_COMMAND 32781 and the clipboard, which is
    // emptied first (opened on a window of this thread).
    std::wstring HistoryW() const;  // CF_UNICODETEXT
    std::string HistoryA() const;   // CF_TEXT
    std::vector<std::wstring> HistoryLines() const;
    std::wstring LastHistoryLine() const;

    // The log's complete records so far, all or of one kind.
    const std::wstring& LogPath() const { return log_; }
    std::vector<LogRecord> Log() const;
    std::vector<LogRecord> LogOf(const char* kind) const;
    // Waits until the log has a record of `kind` after its first `skip`
    // records.
    bool WaitForLog(const char* kind, std::size_t skip, DWORD timeout_ms = 5000) const;

    // Closes the main frame (WM_CLOSE) and waits for the process to end;
    // empty when it did, else what did not happen.
    std::string Close(DWORD timeout_ms);
    void Kill() { process_.Kill(); }

private:
    bool FindWindows();
    bool CopyHistory() const;
    HWND ClipboardOwner() const;

    common::Process process_;
    std::wstring log_;
    HWND frame_ = nullptr, text_ = nullptr, floating_ = nullptr;
    HWND headlands_ = nullptr, mounttam_ = nullptr, pane_parent_ = nullptr;
    mutable HWND clip_owner_ = nullptr;
};

// Tarvel.exe, seen from another process.
class TarvelApp {
public:
    TarvelApp() = default;
    ~TarvelApp() { process_.Kill(); }
    TarvelApp(const TarvelApp&) = delete;
    TarvelApp& operator=(const TarvelApp&) = delete;

    // Starts `exe` in `folder` and waits until its main window shows Start.
    std::string Start(const std::wstring& exe, const std::wstring& folder, DWORD timeout_ms);

    common::Process& Process() { return process_; }
    DWORD Pid() const { return process_.Id(); }
    bool Running() const { return process_.Running(); }

    HWND Main() const { return main_; }              // class TTarvelF
    HWND StartButton() const { return start_; }      // "開始"
    HWND ApplicationWindow() const;                  // class TApplication: the task-bar button's
    HWND TopLevel(const wchar_t* class_name) const;  // a window of its process by class
    // A control of the main window by caption, else by its designed
    // position in client pixels.
    HWND Control(const std::wstring& caption, int left, int top) const;

    // Checks tier option 1 ("２段(上付)"), 2 ("２段(中間)") or 3 ("1段") with a
    // click, and makes sure the other two are unchecked.
    std::string CheckOption(int option) const;
    // Presses Start; returns when the run is over. A failure reads "did not
    // end within N s" or "BM_CLICK on bStart failed (error E)".
    std::string PressStart(DWORD timeout_ms) const;
    // Closes it (WM_CLOSE to its main window) and waits for the end.
    std::string Close(DWORD timeout_ms);
    void Kill() { process_.Kill(); }

private:
    common::Process process_;
    HWND main_ = nullptr;
    HWND start_ = nullptr;
};

}  // namespace tarvel::driver
