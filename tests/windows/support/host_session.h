// cadhost.exe started by a test and seen from the test's process as Tarvel
// sees AutoCAD: found by its windows, typed into with WM_COPYDATA, its
// prompt line read with WM_GETTEXT and its history through the clipboard,
// and its log read back. Every wait is bounded; dropped, the session closes
// the host (and ends it when it does not go) and deletes its files.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/win32/process.h"
#include "tests/windows/support/test_windows.h"
#include "tools/scenario/host_log.h"

namespace wintest {

class HostSession {
public:
    // Starts the host in a new, empty folder with a --log there, `args` and,
    // when given, `picks` as its pick script (written as UTF-8); waits until
    // it shows its idle prompt.
    explicit HostSession(const std::vector<std::wstring>& args = {}, const std::wstring& picks = {});
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    bool Ok() const { return error_.empty(); }
    // Why the host is not there (UTF-8).
    const std::string& Error() const { return error_; }
    DWORD Pid() const { return process_.Id(); }

    HWND Frame() const { return frame_; }
    HWND TextWindow() const { return text_; }
    HWND Floating() const { return floating_; }
    HWND Headlands() const { return headlands_; }
    HWND MountTam() const { return mounttam_; }
    // The window whose descendants hold "Headlands" and "MountTam".
    HWND PaneParent() const { return pane_parent_; }

    // Raw WM_COPYDATA to the main frame; the result of the message, -1 when
    // it did not return in time.
    LRESULT SendRaw(const void* data, DWORD cb, ULONG_PTR dw_data = 1);
    // Typed text in the frame's encoding, terminator counted as Tarvel does.
    LRESULT Type(const std::wstring& text);
    LRESULT TypeWide(const std::wstring& text);
    LRESULT TypeAnsi(const std::string& bytes);

    // The prompt line through SendMessageA (code-page bytes, as Tarvel reads
    // it) and through SendMessageW.
    std::string PromptA() const;
    std::wstring PromptW() const;
    std::wstring Prompt() const;  // PromptA converted
    // Waits until the prompt line reads `want`.
    bool WaitPrompt(const std::wstring& want, DWORD timeout_ms = 5000) const;

    // The history through WM_COMMAND 32781 and the clipboard.
    std::wstring HistoryW() const;  // CF_UNICODETEXT
    std::string HistoryA() const;   // CF_TEXT
    std::vector<std::wstring> HistoryLines() const;
    std::wstring LastHistoryLine() const;

    // The log's complete records so far, all or of one kind.
    std::vector<tarvel::driver::LogRecord> Log() const;
    std::vector<tarvel::driver::LogRecord> LogOf(const char* kind) const;
    // Waits until the log has a record of `kind` after its first `skip`
    // records.
    bool WaitForLog(const char* kind, std::size_t skip, DWORD timeout_ms = 5000) const;

    // Closes the host's main frame and waits for the process to end (ends it
    // when it does not); its exit code.
    DWORD Close();

private:
    bool FindWindows();
    // Empties the clipboard and has the text window copy the history there.
    bool CopyHistory() const;

    std::wstring folder_;
    std::wstring log_;
    std::wstring picks_;
    tarvel::win32::Process process_;
    TestWindow clip_owner_;
    HWND frame_ = nullptr, text_ = nullptr, floating_ = nullptr;
    HWND headlands_ = nullptr, mounttam_ = nullptr, pane_parent_ = nullptr;
    std::string error_;
};

// Runs cadhost.exe with `args` to its end (bounded): its exit code and what
// it printed.
tarvel::win32::RunResult RunHostToEnd(const std::vector<std::wstring>& args);

}  // namespace wintest

// A session `var` started with the constructor's arguments; the test ends
// here when the host did not come up.
#define START_HOST(var, ...)                 \
    ::wintest::HostSession var{__VA_ARGS__}; \
    ASSERT_TRUE(var.Ok()) << var.Error()
