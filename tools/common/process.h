// Starting another program and keeping hold of it: the command line quoted
// the way CommandLineToArgvW and the C runtime read it back, the handles
// closed when the owner goes; and a program run to its end with what it
// printed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarvel::common {

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

    // Starts `program` with `arguments` in `folder` (empty: ours). With
    // `output`, an inheritable handle, its standard output and error go there
    // and that handle is the only one it inherits. A start that fails with
    // ERROR_INTERNAL_ERROR (Wine's, under load) is tried twice more. False,
    // with GetLastError kept, when it could not be started.
    bool Start(const std::wstring& program, const std::vector<std::wstring>& arguments, const std::wstring& folder = {},
               HANDLE output = nullptr);

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

struct RunResult {
    bool started = false;  // false: it could not be started
    bool ended = false;    // it ended by itself within the time given; false: it was killed
    DWORD exit_code = STILL_ACTIVE;
    std::string output;  // its standard output and error, the bytes as written
};

// Runs `program` to its end with its standard output and error read through
// a pipe while it runs, so a program that writes more than the pipe holds
// goes on. One that runs longer than `timeout_ms` is killed.
RunResult RunToEnd(const std::wstring& program, const std::vector<std::wstring>& arguments, DWORD timeout_ms,
                   const std::wstring& folder = {});

}  // namespace tarvel::common
