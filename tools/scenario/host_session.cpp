#include "tools/scenario/host_session.h"

#include "support/win32/owner.h"
#include "support/win32/text.h"
#include "tools/common/clip_sample.h"
#include "tools/common/wait.h"
#include "tools/common/window_list.h"

namespace tarvel::driver {

using common::ClassName;
using common::Title;
using common::WaitFor;
using win32::ToUtf8;

namespace {

constexpr DWORD kMessageTimeoutMs = 5000;
constexpr DWORD kClipboardRetryMs = 1000;
constexpr WPARAM kCopyHistoryCommand = 32781;

bool StartsWith(const std::wstring& s, const wchar_t* prefix) { return s.rfind(prefix, 0) == 0; }
bool Contains(const std::wstring& s, const wchar_t* part) { return s.find(part) != std::wstring::npos; }

// The pair of panes under `parent`, when it holds both.
bool FindPanes(HWND parent, HWND& headlands, HWND& mounttam) {
    headlands = mounttam = nullptr;
    for (HWND window : common::Descendants(parent)) {
        const std::wstring title = Title(window);
        if (title == L"Headlands") headlands = window;
        if (title == L"MountTam") mounttam = window;
    }
    return headlands && mounttam;
}

}  // namespace

// ---- the host ----

Host::~Host() {
    if (process_.Running() && !Close(10000).empty()) process_.Kill();
    if (clip_owner_) DestroyWindow(clip_owner_);
}

bool Host::FindWindows() {
    frame_ = text_ = floating_ = headlands_ = mounttam_ = pane_parent_ = nullptr;
    for (HWND top : common::TopLevelWindowsOf(process_.Id())) {
        const std::wstring title = Title(top), cls = ClassName(top);
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
        if (parent && FindPanes(parent, headlands_, mounttam_)) {
            pane_parent_ = parent;
            return true;
        }
    }
    return false;
}

std::string Host::Start(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& folder,
                        DWORD timeout_ms) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == L"--log") log_ = args[i + 1];
    }
    if (!process_.Start(exe, args, folder)) {
        return "cadhost.exe did not start (CreateProcess failed, error " + std::to_string(GetLastError()) + ")";
    }
    const bool up = WaitFor(timeout_ms, [&] {
        return !process_.Running() || (FindWindows() && common::WindowText(headlands_, 3000) == kIdlePrompt);
    });
    if (!process_.Running()) {
        return "cadhost.exe ended before its windows appeared (exit code " + std::to_string(process_.ExitCode()) + ")";
    }
    if (up) return {};
    std::string seen;
    for (HWND top : common::TopLevelWindowsOf(process_.Id())) {
        seen += " [" + ToUtf8(ClassName(top)) + " \"" + ToUtf8(Title(top)) + "\"]";
    }
    std::string line = "not found";
    if (headlands_) line = std::string(1, '"').append(ToUtf8(common::WindowText(headlands_))).append(1, '"');
    if (seen.empty()) seen = " none";
    return "cadhost.exe did not show its idle prompt line within " + std::to_string(timeout_ms / 1000) +
           " s (prompt line " + line + "; its windows:" + seen + ")";
}

LRESULT Host::SendRaw(const void* data, DWORD cb, ULONG_PTR dw_data) const {
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

LRESULT Host::TypeWide(const std::wstring& text) const {
    return SendRaw(text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LRESULT Host::TypeAnsi(const std::string& bytes) const {
    return SendRaw(bytes.c_str(), static_cast<DWORD>(bytes.size() + 1));
}

LRESULT Host::Type(const std::wstring& text) const {
    return IsWindowUnicode(frame_) ? TypeWide(text) : TypeAnsi(win32::ToBytes(text));
}

std::string Host::PromptA() const {
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

std::wstring Host::PromptW() const {
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

std::wstring Host::Prompt() const { return win32::ToWide(PromptA()); }

bool Host::WaitPrompt(const std::wstring& want, DWORD timeout_ms) const {
    return WaitFor(
        timeout_ms, [&] { return process_.Running() && Prompt() == want; }, 20);
}

HWND Host::ClipboardOwner() const {
    if (!clip_owner_) {
        clip_owner_ = CreateWindowW(L"STATIC", L"host session", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
    }
    return clip_owner_;
}

bool Host::CopyHistory() const {
    {
        const win32::ClipboardOpen open = win32::OpenClipboardRetrying(ClipboardOwner(), kClipboardRetryMs);
        if (!open) return false;
        EmptyClipboard();
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(text_, WM_COMMAND, kCopyHistoryCommand, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &ignored);
    return true;
}

std::wstring Host::HistoryW() const { return CopyHistory() ? common::ClipboardText(ClipboardOwner()) : L"<busy>"; }

std::string Host::HistoryA() const { return CopyHistory() ? common::ClipboardAnsiText(ClipboardOwner()) : "<busy>"; }

std::vector<std::wstring> Host::HistoryLines() const {
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

std::wstring Host::LastHistoryLine() const {
    const std::vector<std::wstring> lines = HistoryLines();
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (!it->empty()) return *it;
    }
    return {};
}

std::vector<LogRecord> Host::Log() const { return ReadHostLog(log_); }

std::vector<LogRecord> Host::LogOf(const char* kind) const { return OfKind(Log(), kind); }

bool Host::WaitForLog(const char* kind, std::size_t skip, DWORD timeout_ms) const {
    return WaitFor(
        timeout_ms,
        [&] {
            const std::vector<LogRecord> records = Log();
            for (std::size_t i = skip; i < records.size(); ++i) {
                if (records[i].kind == kind) return true;
            }
            return false;
        },
        20);
}

std::string Host::Close(DWORD timeout_ms) {
    if (!process_.Running()) return {};
    HWND frame = frame_;
    for (HWND top : common::TopLevelWindowsOf(process_.Id())) {
        const std::wstring title = Title(top);
        if (!frame && StartsWith(title, L"AutoCAD ") && !Contains(title, L"テキスト ウィンドウ")) frame = top;
    }
    if (frame) PostMessageW(frame, WM_CLOSE, 0, 0);
    if (!process_.WaitExit(timeout_ms)) {
        return "cadhost.exe did not end within " + std::to_string(timeout_ms / 1000) + " s of WM_CLOSE";
    }
    return {};
}

// ---- Tarvel ----

namespace {

struct OptionButton {
    const char* name;
    const wchar_t* caption;
    int left, top;
};
const OptionButton kOptions[] = {
    {"RadioButton1", L"２段(上付)", 88, 8},
    {"RadioButton2", L"２段(中間)", 88, 32},
    {"RadioButton3", L"1段", 8, 8},
};

}  // namespace

HWND TarvelApp::TopLevel(const wchar_t* class_name) const {
    HWND found = nullptr;
    for (HWND top : common::TopLevelWindowsOf(process_.Id())) {
        if (ClassName(top) == class_name) found = top;
    }
    return found;
}

HWND TarvelApp::ApplicationWindow() const { return TopLevel(L"TApplication"); }

HWND TarvelApp::Control(const std::wstring& caption, int left, int top) const {
    const std::vector<HWND> children = common::Descendants(main_);
    for (HWND c : children) {
        if (GetParent(c) == main_ && Title(c) == caption) return c;
    }
    for (HWND c : children) {
        if (GetParent(c) != main_) continue;
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(HWND_DESKTOP, main_, reinterpret_cast<POINT*>(&r), 2);
        if (r.left == left && r.top == top) return c;
    }
    return nullptr;
}

std::string TarvelApp::Start(const std::wstring& exe, const std::wstring& folder, DWORD timeout_ms) {
    if (!process_.Start(exe, {}, folder)) {
        return "Tarvel.exe did not start (CreateProcess failed, error " + std::to_string(GetLastError()) + ")";
    }
    const bool shown = WaitFor(timeout_ms, [&] {
        if (!process_.Running()) return true;
        main_ = TopLevel(L"TTarvelF");
        start_ = main_ && IsWindowVisible(main_) ? Control(L"開始", 8, 32) : nullptr;
        return start_ != nullptr;
    });
    if (!process_.Running()) {
        return "Tarvel.exe ended before its window appeared (exit code " + std::to_string(process_.ExitCode()) + ")";
    }
    if (!shown && !main_) {
        return "Tarvel.exe showed no window of class TTarvelF within " + std::to_string(timeout_ms / 1000) + " s";
    }
    if (!shown) return "Tarvel's window has no bStart button (\"開始\" at 8,32)";
    return {};
}

std::string TarvelApp::CheckOption(int option) const {
    if (option < 1 || option > 3) return "no tier option " + std::to_string(option);
    const OptionButton& ob = kOptions[option - 1];
    HWND radio = Control(ob.caption, ob.left, ob.top);
    if (!radio) return std::string("Tarvel's window has no ") + ob.name + " (\"" + ToUtf8(ob.caption) + "\")";
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(radio, BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &ignored)) {
        return std::string("BM_CLICK on ") + ob.name + " did not return";
    }
    if (SendMessageW(radio, BM_GETCHECK, 0, 0) != BST_CHECKED)
        return std::string(ob.name) + " is not checked after its click";
    for (const OptionButton& other : kOptions) {
        if (&other == &ob) continue;
        HWND w = Control(other.caption, other.left, other.top);
        if (w && SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED) {
            return std::string(other.name) + " is still checked after " + ob.name + " was clicked";
        }
    }
    return {};
}

std::string TarvelApp::PressStart(DWORD timeout_ms) const {
    DWORD_PTR ignored = 0;
    SetLastError(0);
    if (SendMessageTimeoutW(start_, BM_CLICK, 0, 0, SMTO_NORMAL, timeout_ms, &ignored)) return {};
    const DWORD error = GetLastError();
    if (error == ERROR_TIMEOUT) return "did not end within " + std::to_string(timeout_ms / 1000) + " s";
    return "BM_CLICK on bStart failed (error " + std::to_string(error) + ")";
}

std::string TarvelApp::Close(DWORD timeout_ms) {
    if (!process_.Running()) return {};
    PostMessageW(main_, WM_CLOSE, 0, 0);
    if (!process_.WaitExit(timeout_ms)) {
        return "Tarvel.exe did not end within " + std::to_string(timeout_ms / 1000) + " s of WM_CLOSE";
    }
    return {};
}

}  // namespace tarvel::driver
