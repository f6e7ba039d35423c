#include "tests/windows/cadhost/host_session.h"

#include <atomic>
#include <cstring>

namespace {

constexpr DWORD kStartTimeoutMs = 15000;
constexpr DWORD kMessageTimeoutMs = 5000;
constexpr DWORD kRunToEndTimeoutMs = 15000;
constexpr WPARAM kCopyHistoryCommand = 32781;

std::wstring Quote(const std::wstring& s) { return L"\"" + s + L"\""; }

bool StartsWith(const std::wstring& s, const std::wstring& p) { return s.compare(0, p.size(), p) == 0; }
bool Contains(const std::wstring& s, const std::wstring& p) { return s.find(p) != std::wstring::npos; }

std::wstring TitleW(HWND h) {
    wchar_t buf[512] = {};
    InternalGetWindowText(h, buf, 511);
    return buf;
}
std::wstring ClassW(HWND h) {
    wchar_t buf[512] = {};
    GetClassNameW(h, buf, 511);
    return buf;
}

bool OpenClipboardBounded(HWND owner) {
    for (int i = 0; i < 100; ++i) {
        if (OpenClipboard(owner)) return true;
        Sleep(10);
    }
    return false;
}

}  // namespace

std::wstring Utf8ToWide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}
std::string WideToUtf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}
std::string WideToAnsi(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}
std::wstring AnsiToWide(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::wstring HostExe() {
    std::wstring p = Utf8ToWide(CADHOST_EXE);
    if (!p.empty() && p[0] == L'/') {  // a Unix path: Wine's Z: drive
        for (auto& c : p)
            if (c == L'/') c = L'\\';
        p = L"Z:" + p;
    }
    return p;
}

std::wstring MakeTempDir() {
    // A new, empty folder: Wine reuses process ids from one test run to the
    // next, so a folder of an earlier run may have the same name.
    static std::atomic<int> counter{0};
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    for (;;) {
        const std::wstring dir = std::wstring(base) + L"cadhost-test-" + std::to_wstring(GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(dir.c_str(), nullptr) || GetLastError() != ERROR_ALREADY_EXISTS) return dir;
    }
}

void WriteTextFile(const std::wstring& path, const std::string& content) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(f);
}

std::string ReadTextFile(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return {};
    std::string out;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    CloseHandle(f);
    return out;
}

HostSession::HostSession(const std::wstring& args, const std::wstring& picks) {
    dir_ = MakeTempDir();
    log_ = dir_ + L"\\log.jsonl";
    std::wstring cmd = Quote(HostExe()) + L" --log " + Quote(log_);
    if (!picks.empty()) {
        const std::wstring picks_path = dir_ + L"\\test.picks";
        WriteTextFile(picks_path, WideToUtf8(picks));
        cmd += L" --picks " + Quote(picks_path);
    }
    if (!args.empty()) cmd += L" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring mutable_cmd = cmd;
    if (!CreateProcessW(nullptr, mutable_cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) {
        error_ = L"CreateProcess failed for " + cmd;
        closed_ = true;
        return;
    }
    clip_owner_ = CreateWindowW(L"STATIC", L"cadhost test clipboard", 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    const DWORD start = GetTickCount();
    while (!FindWindows()) {
        if (WaitForSingleObject(pi_.hProcess, 20) == WAIT_OBJECT_0) {
            error_ = L"the host ended at once: " + cmd;
            return;
        }
        if (GetTickCount() - start > kStartTimeoutMs) {
            error_ = L"the host's windows did not appear: " + cmd;
            return;
        }
    }
}

HostSession::~HostSession() {
    Close();
    if (pi_.hProcess) CloseHandle(pi_.hProcess);
    if (pi_.hThread) CloseHandle(pi_.hThread);
    if (clip_owner_) DestroyWindow(clip_owner_);
}

bool HostSession::FindWindows() {
    struct Found {
        DWORD pid;
        HWND frame = nullptr, text = nullptr, floating = nullptr;
    } found{pi_.dwProcessId};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto* f = reinterpret_cast<Found*>(lp);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid != f->pid) return TRUE;
            const std::wstring title = TitleW(h), cls = ClassW(h);
            if (!StartsWith(cls, L"Afx:")) return TRUE;
            if (Contains(cls, L":b:") && Contains(title, L"テキスト ウィンドウ"))
                f->text = h;
            else if (Contains(cls, L":8:") && StartsWith(title, L"AutoCAD "))
                f->frame = h;
            else if (Contains(cls, L":8:") && Contains(title, L"コマンド ライン"))
                f->floating = h;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (!found.frame || !found.text) return false;
    frame_ = found.frame;
    text_ = found.text;
    floating_ = found.floating;
    struct Panes {
        HWND headlands = nullptr, mounttam = nullptr;
    };
    for (HWND parent : {frame_, floating_, text_}) {
        if (!parent) continue;
        Panes panes;
        EnumChildWindows(
            parent,
            [](HWND h, LPARAM lp) -> BOOL {
                auto* p = reinterpret_cast<Panes*>(lp);
                char buf[256] = {};
                GetWindowTextA(h, buf, 255);
                if (std::strcmp(buf, "Headlands") == 0) p->headlands = h;
                if (std::strcmp(buf, "MountTam") == 0) p->mounttam = h;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&panes));
        if (panes.headlands && panes.mounttam) {
            headlands_ = panes.headlands;
            mounttam_ = panes.mounttam;
            pane_parent_ = parent;
            return true;
        }
    }
    return false;
}

LRESULT HostSession::SendRaw(const void* data, DWORD cb, ULONG_PTR dw_data) {
    COPYDATASTRUCT cds{};
    cds.dwData = dw_data;
    cds.cbData = cb;
    cds.lpData = const_cast<void*>(data);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(frame_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG,
                             kMessageTimeoutMs, &result))
        return -1;
    return static_cast<LRESULT>(result);
}

LRESULT HostSession::TypeWide(const std::wstring& text) {
    return SendRaw(text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LRESULT HostSession::TypeAnsi(const std::string& bytes) {
    return SendRaw(bytes.c_str(), static_cast<DWORD>(bytes.size() + 1));
}

LRESULT HostSession::Type(const std::wstring& text) {
    return IsWindowUnicode(frame_) ? TypeWide(text) : TypeAnsi(WideToAnsi(text));
}

std::string HostSession::PromptA() const {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutA(headlands_, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &len) ||
        static_cast<LONG_PTR>(len) <= 0)
        return {};
    std::string buf(2 * len + 2, '\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutA(headlands_, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                        kMessageTimeoutMs, &got);
    return std::string(buf.c_str());
}

std::wstring HostSession::PromptW() const {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(headlands_, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &len) ||
        static_cast<LONG_PTR>(len) <= 0)
        return {};
    std::wstring buf(len + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(headlands_, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                        kMessageTimeoutMs, &got);
    return std::wstring(buf.c_str());
}

std::wstring HostSession::Prompt() const { return AnsiToWide(PromptA()); }

bool HostSession::WaitPrompt(const std::wstring& want, DWORD timeout_ms) const {
    const DWORD start = GetTickCount();
    while (Prompt() != want) {
        if (GetTickCount() - start > timeout_ms) return false;
        Sleep(20);
    }
    return true;
}

std::wstring HostSession::HistoryW() const {
    if (!OpenClipboardBounded(clip_owner_)) return L"<clipboard busy>";
    EmptyClipboard();
    CloseClipboard();
    DWORD_PTR r = 0;
    SendMessageTimeoutA(text_, WM_COMMAND, kCopyHistoryCommand, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &r);
    if (!OpenClipboardBounded(clip_owner_)) return L"<clipboard busy>";
    std::wstring text;
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
            text = p;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return text;
}

std::string HostSession::HistoryA() const {
    if (!OpenClipboardBounded(clip_owner_)) return "<clipboard busy>";
    EmptyClipboard();
    CloseClipboard();
    DWORD_PTR r = 0;
    SendMessageTimeoutA(text_, WM_COMMAND, kCopyHistoryCommand, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &r);
    if (!OpenClipboardBounded(clip_owner_)) return "<clipboard busy>";
    std::string text;
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        if (const auto* p = static_cast<const char*>(GlobalLock(h))) {
            text = p;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return text;
}

std::vector<std::wstring> HostSession::HistoryLines() const {
    std::vector<std::wstring> lines;
    const std::wstring text = HistoryW();
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) break;
        start = end + 2;
    }
    return lines;
}

std::wstring HostSession::LastHistoryLine() const {
    const auto lines = HistoryLines();
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (!it->empty()) return *it;
    return {};
}

std::vector<std::string> HostSession::LogLines() const {
    std::vector<std::string> lines;
    const std::string text = ReadTextFile(log_);
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) break;  // a line is whole only with its line feed
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> HostSession::LogOf(const std::string& kind) const {
    std::vector<std::string> out;
    const std::string tag = "{\"kind\":\"" + kind + "\"";
    for (const auto& l : LogLines())
        if (l.compare(0, tag.size(), tag) == 0) out.push_back(l);
    return out;
}

DWORD HostSession::Close() {
    if (closed_) {
        DWORD code = 0;
        if (pi_.hProcess) GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }
    closed_ = true;
    if (frame_) PostMessageW(frame_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi_.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(pi_.hProcess, 99);
        WaitForSingleObject(pi_.hProcess, 5000);
    }
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

tarvel::win32::RunResult RunHostToEnd(const std::vector<std::wstring>& args) {
    return tarvel::win32::RunToEnd(HostExe(), args, kRunToEndTimeoutMs);
}
