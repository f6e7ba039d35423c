#include "support/win32/process.h"

#include <utility>

namespace tarvel::win32 {

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        // Backslashes before a quote are doubled and the quote escaped;
        // elsewhere they stand for themselves.
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');  // before the closing quote
    return out + L"\"";
}

std::wstring CommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    std::wstring line = QuoteArgument(program);
    for (const std::wstring& argument : arguments) line += L" " + QuoteArgument(argument);
    return line;
}

Process::Process(Process&& other) noexcept : info_(std::exchange(other.info_, PROCESS_INFORMATION{})) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Close();
        info_ = std::exchange(other.info_, PROCESS_INFORMATION{});
    }
    return *this;
}

Process::~Process() { Close(); }

void Process::Close() {
    const DWORD error = GetLastError();
    if (info_.hThread) CloseHandle(info_.hThread);
    if (info_.hProcess) CloseHandle(info_.hProcess);
    info_ = PROCESS_INFORMATION{};
    SetLastError(error);
}

bool Process::Start(const std::wstring& program, const std::vector<std::wstring>& arguments,
                    const std::wstring& folder) {
    Close();
    std::wstring line = CommandLine(program, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        return false;
    }
    info_ = info;
    return true;
}

bool Process::Running() const { return Started() && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

bool Process::WaitExit(DWORD ms) const {
    return !Started() || WaitForSingleObject(info_.hProcess, ms) == WAIT_OBJECT_0;
}

DWORD Process::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (Started()) GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

void Process::Kill(UINT code) const {
    if (!Running()) return;
    TerminateProcess(info_.hProcess, code);
    WaitForSingleObject(info_.hProcess, 5000);
}

}  // namespace tarvel::win32
