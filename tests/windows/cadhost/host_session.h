// A running cadhost.exe seen from another process, as Tarvel sees it: found
// by its windows, typed into with WM_COPYDATA, read with WM_GETTEXT and
// through the clipboard. Every wait is bounded; the destructor closes the
// host (and ends it by its process handle if it does not go).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/win32/process.h"

class HostSession {
public:
    // Starts the host with `args` (a --log is added) and waits for its windows.
    explicit HostSession(const std::wstring& args = L"", const std::wstring& picks = L"");
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    bool ok() const { return frame_ != nullptr && headlands_ != nullptr && text_ != nullptr; }
    const std::wstring& error() const { return error_; }

    HWND frame() const { return frame_; }
    HWND text_window() const { return text_; }
    HWND floating() const { return floating_; }
    HWND headlands() const { return headlands_; }
    HWND mounttam() const { return mounttam_; }
    // The window whose descendants hold "Headlands" and "MountTam".
    HWND pane_parent() const { return pane_parent_; }

    // Raw WM_COPYDATA to the main frame; the result of the message.
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
    // Waits (bounded) until the prompt line reads `want`.
    bool WaitPrompt(const std::wstring& want, DWORD timeout_ms = 5000) const;

    // The history through WM_COMMAND 32781 and the clipboard.
    std::wstring HistoryW() const;  // CF_UNICODETEXT
    std::string HistoryA() const;   // CF_TEXT
    std::vector<std::wstring> HistoryLines() const;
    std::wstring LastHistoryLine() const;

    // The log's lines so far (UTF-8 JSON objects).
    std::vector<std::string> LogLines() const;
    std::vector<std::string> LogOf(const std::string& kind) const;

    // Posts WM_CLOSE and waits for the process to end; its exit code.
    DWORD Close();

    std::wstring dir() const { return dir_; }

private:
    bool FindWindows();

    std::wstring dir_;
    std::wstring log_;
    PROCESS_INFORMATION pi_{};
    HWND frame_ = nullptr, text_ = nullptr, floating_ = nullptr;
    HWND headlands_ = nullptr, mounttam_ = nullptr, pane_parent_ = nullptr;
    HWND clip_owner_ = nullptr;
    std::wstring error_;
    bool closed_ = false;
};

// Runs cadhost.exe with `args` to its end (bounded): its exit code and what
// it printed.
tarvel::win32::RunResult RunHostToEnd(const std::vector<std::wstring>& args);

// The host's path as a Windows path.
std::wstring HostExe();

// A fresh folder under the temporary folder.
std::wstring MakeTempDir();

void WriteTextFile(const std::wstring& path, const std::string& content);
std::string ReadTextFile(const std::wstring& path);

std::wstring Utf8ToWide(const std::string& s);
std::string WideToUtf8(const std::wstring& s);
std::string WideToAnsi(const std::wstring& s);
std::wstring AnsiToWide(const std::string& s);
