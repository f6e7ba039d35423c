#include "tests/windows/support/host_session.h"

#include "support/win32/files.h"
#include "support/win32/owner.h"
#include "support/win32/text.h"
#include "support/win32/windows.h"
#include "tests/windows/support/clipboard.h"
#include "tests/windows/support/files.h"
#include "tools/scenario/session.h"

namespace wintest {

namespace win32 = tarvel::win32;
namespace driver = tarvel::driver;

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kCloseTimeoutMs = 10000;
constexpr DWORD kMessageTimeoutMs = 5000;
constexpr DWORD kClipboardRetryMs = 1000;
constexpr DWORD kRunToEndTimeoutMs = 15000;
constexpr WPARAM kCopyHistoryCommand = 32781;

bool StartsWith(const std::wstring& s, const wchar_t* prefix) { return s.rfind(prefix, 0) == 0; }
bool Contains(const std::wstring& s, const wchar_t* part) { return s.find(part) != std::wstring::npos; }

}  // namespace

HostSession::HostSession(const std::vector<std::wstring>& args, const std::wstring& picks)
    : folder_(MakeTempDir()), log_(folder_ + L"\\log.jsonl"), clip_owner_("TarvelTestClipboardOwner", "host session") {
    std::vector<std::wstring> all = {L"--log", log_};
    if (!picks.empty()) {
        picks_ = folder_ + L"\\test.picks";
        win32::WriteWholeFile(picks_, win32::ToUtf8(picks));
        all.insert(all.end(), {L"--picks", picks_});
    }
    all.insert(all.end(), args.begin(), args.end());
    error_ = driver::StartHost(process_, CadHostExe(), all, folder_, kStartTimeoutMs);
    if (error_.empty() && !FindWindows()) error_ = "cadhost.exe's windows were not all found";
    if (!error_.empty()) error_ += " (" + win32::ToUtf8(win32::CommandLine(CadHostExe(), all)) + ")";
}

HostSession::~HostSession() {
    Close();
    DeleteFileW(log_.c_str());
    if (!picks_.empty()) DeleteFileW(picks_.c_str());
    RemoveDirectoryW(folder_.c_str());
}

bool HostSession::FindWindows() {
    for (HWND top : win32::TopLevelWindowsOf(process_.Id())) {
        const std::wstring title = win32::Title(top), cls = win32::ClassName(top);
        if (!StartsWith(cls, L"Afx:")) continue;
        if (Contains(cls, L":b:") && Contains(title, L"テキスト ウィンドウ")) {
            text_ = top;
        } else if (Contains(cls, L":8:") && StartsWith(title, L"AutoCAD ")) {
            frame_ = top;
        } else if (Contains(cls, L":8:") && Contains(title, L"コマンド ライン")) {
            floating_ = top;
        }
    }
    if (!frame_ || !text_) return false;
    for (HWND parent : {frame_, floating_, text_}) {
        if (!parent) continue;
        HWND headlands = nullptr, mounttam = nullptr;
        for (HWND window : win32::Descendants(parent)) {
            const std::wstring title = win32::Title(window);
            if (title == L"Headlands") headlands = window;
            if (title == L"MountTam") mounttam = window;
        }
        if (headlands && mounttam) {
            headlands_ = headlands;
            mounttam_ = mounttam;
            pane_parent_ = parent;
            return true;
        }
    }
    return false;
}

LRESULT HostSession::SendRaw(const void* data, DWORD cb, ULONG_PTR dw_data) {
    COPYDATASTRUCT record{};
    record.dwData = dw_data;
    record.cbData = cb;
    record.lpData = const_cast<void*>(data);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(frame_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record), SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &result)) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

LRESULT HostSession::TypeWide(const std::wstring& text) {
    return SendRaw(text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LRESULT HostSession::TypeAnsi(const std::string& bytes) {
    return SendRaw(bytes.c_str(), static_cast<DWORD>(bytes.size() + 1));
}

LRESULT HostSession::Type(const std::wstring& text) {
    return IsWindowUnicode(frame_) ? TypeWide(text) : TypeAnsi(win32::ToBytes(text));
}

std::string HostSession::PromptA() const {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(headlands_, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length) ||
        static_cast<LONG_PTR>(length) <= 0) {
        return {};
    }
    std::string buffer(2 * length + 2, '\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutA(headlands_, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, kMessageTimeoutMs, &got);
    return buffer.substr(0, buffer.find('\0'));
}

std::wstring HostSession::PromptW() const {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(headlands_, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &length) ||
        static_cast<LONG_PTR>(length) <= 0) {
        return {};
    }
    std::wstring buffer(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(headlands_, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, kMessageTimeoutMs, &got);
    return buffer.substr(0, buffer.find(L'\0'));
}

std::wstring HostSession::Prompt() const { return win32::ToWide(PromptA()); }

bool HostSession::WaitPrompt(const std::wstring& want, DWORD timeout_ms) const {
    return driver::WaitFor(
        timeout_ms, [&] { return Prompt() == want; }, 20);
}

bool HostSession::CopyHistory() const {
    {
        const win32::ClipboardOpen open = win32::OpenClipboardRetrying(clip_owner_.Get(), kClipboardRetryMs);
        if (!open) return false;
        EmptyClipboard();
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(text_, WM_COMMAND, kCopyHistoryCommand, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &ignored);
    return true;
}

std::wstring HostSession::HistoryW() const { return CopyHistory() ? ClipboardText(clip_owner_.Get()) : L"<busy>"; }

std::string HostSession::HistoryA() const { return CopyHistory() ? ClipboardAnsiText(clip_owner_.Get()) : "<busy>"; }

std::vector<std::wstring> HostSession::HistoryLines() const {
    std::vector<std::wstring> lines;
    const std::wstring text = HistoryW();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) break;
        start = end + 2;
    }
    return lines;
}

std::wstring HostSession::LastHistoryLine() const {
    const std::vector<std::wstring> lines = HistoryLines();
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (!it->empty()) return *it;
    }
    return {};
}

std::vector<driver::LogRecord> HostSession::Log() const { return driver::ReadHostLog(log_); }

std::vector<driver::LogRecord> HostSession::LogOf(const char* kind) const { return driver::OfKind(Log(), kind); }

bool HostSession::WaitForLog(const char* kind, std::size_t skip, DWORD timeout_ms) const {
    return driver::WaitFor(
        timeout_ms,
        [&] {
            const std::vector<driver::LogRecord> records = Log();
            for (std::size_t i = skip; i < records.size(); ++i) {
                if (records[i].kind == kind) return true;
            }
            return false;
        },
        20);
}

DWORD HostSession::Close() {
    if (!driver::CloseHost(process_, kCloseTimeoutMs).empty()) process_.Kill();
    return process_.ExitCode();
}

win32::RunResult RunHostToEnd(const std::vector<std::wstring>& args) {
    return win32::RunToEnd(CadHostExe(), args, kRunToEndTimeoutMs);
}

}  // namespace wintest
