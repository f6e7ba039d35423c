#include "tools/common/process.h"

#include <algorithm>
#include <utility>

#include "support/win32/owner.h"

namespace tarvel::common {

using win32::Handle;

namespace {

// The pipe of RunToEnd: room for what a program prints between two reads.
constexpr DWORD kPipeBytes = 64 * 1024;
// How long RunToEnd waits for the program's end between two reads.
constexpr DWORD kReadEveryMs = 10;

// Appends what the pipe holds now, without waiting for more.
void ReadAvailable(HANDLE pipe, std::string& out) {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available == 0) return;
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0) return;
        out.append(buffer, got);
    }
}

}  // namespace

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

bool Process::Start(const std::wstring& program, const std::vector<std::wstring>& arguments, const std::wstring& folder,
                    HANDLE output) {
    Close();
    std::wstring line = CommandLine(program, arguments);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    DWORD flags = 0;
    std::vector<unsigned char> attributes;
    if (output) {
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdOutput = output;
        startup.StartupInfo.hStdError = output;
        // Only this handle is inherited, not every inheritable one of ours.
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        attributes.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &output, sizeof output, nullptr,
                                       nullptr)) {
            const DWORD error = GetLastError();
            DeleteProcThreadAttributeList(list);
            SetLastError(error);
            return false;
        }
        startup.lpAttributeList = list;
        flags = EXTENDED_STARTUPINFO_PRESENT;
    }
    PROCESS_INFORMATION info{};
    // Under load Wine now and then fails a start with ERROR_INTERNAL_ERROR
    // (the new process did not come up); a later try succeeds.
    BOOL started = FALSE;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt) Sleep(500);
        started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, output != nullptr, flags, nullptr,
                                 folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &info);
        error = GetLastError();
        if (started || error != ERROR_INTERNAL_ERROR) break;
    }
    if (startup.lpAttributeList) DeleteProcThreadAttributeList(startup.lpAttributeList);
    SetLastError(error);
    if (!started) return false;
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

RunResult RunToEnd(const std::wstring& program, const std::vector<std::wstring>& arguments, DWORD timeout_ms,
                   const std::wstring& folder) {
    RunResult result;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE read_end = nullptr, write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inheritable, kPipeBytes)) return result;
    const Handle reader(read_end);
    Handle writer(write_end);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    Process process;
    result.started = process.Start(program, arguments, folder, write_end);
    writer.reset();  // the program's copy is the only write end left
    if (!result.started) return result;
    // Read before and while waiting: a program whose output fills the pipe
    // would wait for a reader forever.
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    for (;;) {
        ReadAvailable(read_end, result.output);
        if (process.WaitExit(kReadEveryMs)) {
            result.ended = true;
            break;
        }
        if (GetTickCount64() >= deadline) {
            process.Kill();
            break;
        }
    }
    ReadAvailable(read_end, result.output);  // what it wrote last
    result.exit_code = process.ExitCode();
    return result;
}

}  // namespace tarvel::common
