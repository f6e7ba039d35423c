// Starting another program and keeping hold of it: the command line quoted
// the way CommandLineToArgvW and the C runtime read it back, the handles
// closed when the owner goes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarvel::win32 {

// One argument as the receiving program's command-line parser reads it back
// whole: quoted when it holds a blank, a tab or a quote (or is empty), with
// the backslashes before a quote doubled.
std::wstring QuoteArgument(const std::wstring& argument);

// The program's path and its arguments as one command line.
std::wstring CommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);

class Process {
public:
    Process() = default;
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    // Starts `program` with `arguments` in `folder` (empty: ours). False,
    // with GetLastError kept, when it could not be started.
    bool Start(const std::wstring& program, const std::vector<std::wstring>& arguments,
               const std::wstring& folder = {});

    bool Started() const { return info_.hProcess != nullptr; }
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    bool Running() const;
    // True when it has ended within `ms` (or was never started).
    bool WaitExit(DWORD ms) const;
    // The exit code; STILL_ACTIVE while it runs.
    DWORD ExitCode() const;
    // Ends it at once when it still runs, and waits for it.
    void Kill(UINT code = 99) const;

private:
    void Close();
    PROCESS_INFORMATION info_{};
};

}  // namespace tarvel::win32
