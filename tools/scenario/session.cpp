#include "tools/scenario/session.h"

#include <cstdio>

#include "support/win32/files.h"
#include "support/win32/text.h"
#include "support/win32/windows.h"

namespace tarvel::driver {

using win32::ClassName;
using win32::Title;
using win32::ToUtf8;

ULONGLONG Now() { return GetTickCount64(); }

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// ---- the report ----

void Report::Set(const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto& entry : entries_) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    entries_.emplace_back(key, value);
}

std::string Report::Get(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto& entry : entries_) {
        if (entry.first == key) return entry.second;
    }
    return {};
}

bool Report::Write(const std::wstring& path) const {
    std::lock_guard<std::mutex> lock(mu_);
    const std::wstring temporary = path + L".tmp";
    std::string lines;
    for (const auto& [key, value] : entries_) {
        lines += key + "=";
        for (char c : value) lines += (c == '\n' || c == '\r') ? ' ' : c;
        lines += "\n";
    }
    return win32::WriteWholeFile(temporary, lines) &&
           MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// ---- the host ----

HWND HostPromptLine(DWORD process) {
    for (HWND top : win32::TopLevelWindowsOf(process)) {
        for (HWND w : win32::Descendants(top)) {
            if (Title(w) == L"Headlands") return w;
        }
    }
    return nullptr;
}

HWND HostMainFrame(DWORD process) {
    for (HWND top : win32::TopLevelWindowsOf(process)) {
        const std::wstring title = Title(top);
        if (title.rfind(L"AutoCAD ", 0) == 0 && title.find(L"テキスト ウィンドウ") == std::wstring::npos) return top;
    }
    return nullptr;
}

bool WaitHostIdle(const win32::Process& host, DWORD timeout_ms) {
    return WaitFor(timeout_ms, [&] {
        if (!host.Running()) return false;
        const HWND prompt = HostPromptLine(host.Id());
        return prompt && HostMainFrame(host.Id()) && win32::WindowText(prompt, 3000) == L"コマンド: ";
    });
}

std::string StartHost(win32::Process& host, const std::wstring& exe, const std::vector<std::wstring>& args,
                      const std::wstring& folder, DWORD timeout_ms) {
    if (!host.Start(exe, args, folder)) {
        return "cadhost.exe did not start (CreateProcess failed, error " + std::to_string(GetLastError()) + ")";
    }
    HWND prompt = nullptr;
    const bool up = WaitFor(timeout_ms, [&] {
        if (!host.Running()) return true;
        prompt = HostPromptLine(host.Id());
        return prompt && HostMainFrame(host.Id()) && win32::WindowText(prompt) == L"コマンド: ";
    });
    if (!host.Running()) {
        return "cadhost.exe ended before its windows appeared (exit code " + std::to_string(host.ExitCode()) + ")";
    }
    if (up) return {};
    std::string seen;
    for (HWND top : win32::TopLevelWindowsOf(host.Id())) {
        seen += " [" + ToUtf8(ClassName(top)) + " \"" + ToUtf8(Title(top)) + "\"]";
    }
    std::string line = "not found";
    if (prompt) line = std::string(1, '"').append(ToUtf8(win32::WindowText(prompt))).append(1, '"');
    if (seen.empty()) seen = " none";
    std::string failure = "cadhost.exe did not show its idle prompt line within ";
    failure += std::to_string(timeout_ms / 1000) + " s (prompt line " + line + "; its windows:" + seen + ")";
    return failure;
}

// ---- Tarvel ----

HWND FindTarvelWindow(DWORD process) {
    HWND found = nullptr;
    for (HWND top : win32::TopLevelWindowsOf(process)) {
        if (ClassName(top) == L"TTarvelF") found = top;
    }
    return found;
}

HWND Control(HWND main, const std::wstring& caption, int left, int top) {
    const std::vector<HWND> children = win32::Descendants(main);
    for (HWND c : children) {
        if (GetParent(c) == main && Title(c) == caption) return c;
    }
    for (HWND c : children) {
        if (GetParent(c) != main) continue;
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&r), 2);
        if (r.left == left && r.top == top) return c;
    }
    return nullptr;
}

std::string StartTarvel(win32::Process& tarvel, const std::wstring& exe, const std::wstring& folder, DWORD timeout_ms,
                        TarvelWindow& found) {
    if (!tarvel.Start(exe, {}, folder)) {
        return "Tarvel.exe did not start (CreateProcess failed, error " + std::to_string(GetLastError()) + ")";
    }
    const bool shown = WaitFor(timeout_ms, [&] {
        if (!tarvel.Running()) return true;
        found.main = FindTarvelWindow(tarvel.Id());
        found.start = found.main && IsWindowVisible(found.main) ? Control(found.main, L"開始", 8, 32) : nullptr;
        return found.start != nullptr;
    });
    if (!tarvel.Running()) {
        return "Tarvel.exe ended before its window appeared (exit code " + std::to_string(tarvel.ExitCode()) + ")";
    }
    if (!shown && !found.main) {
        return "Tarvel.exe showed no window of class TTarvelF within " + std::to_string(timeout_ms / 1000) + " s";
    }
    if (!shown) return "Tarvel's window has no bStart button (\"開始\" at 8,32)";
    return {};
}

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

std::string CheckOption(HWND main, int option) {
    if (option < 1 || option > 3) return "no tier option " + std::to_string(option);
    const OptionButton& ob = kOptions[option - 1];
    HWND radio = Control(main, ob.caption, ob.left, ob.top);
    if (!radio) return std::string("Tarvel's window has no ") + ob.name + " (\"" + ToUtf8(ob.caption) + "\")";
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(radio, BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &ignored)) {
        return std::string("BM_CLICK on ") + ob.name + " did not return";
    }
    if (SendMessageW(radio, BM_GETCHECK, 0, 0) != BST_CHECKED)
        return std::string(ob.name) + " is not checked after its click";
    for (const OptionButton& other : kOptions) {
        if (&other == &ob) continue;
        HWND w = Control(main, other.caption, other.left, other.top);
        if (w && SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED) {
            return std::string(other.name) + " is still checked after " + ob.name + " was clicked";
        }
    }
    return {};
}

std::string PressStart(HWND start, DWORD timeout_ms) {
    DWORD_PTR ignored = 0;
    SetLastError(0);
    if (SendMessageTimeoutW(start, BM_CLICK, 0, 0, SMTO_NORMAL, timeout_ms, &ignored)) return {};
    const DWORD error = GetLastError();
    if (error == ERROR_TIMEOUT) return "did not end within " + std::to_string(timeout_ms / 1000) + " s";
    return "BM_CLICK on bStart failed (error " + std::to_string(error) + ")";
}

std::string CloseTarvel(win32::Process& tarvel, HWND main, DWORD timeout_ms) {
    PostMessageW(main, WM_CLOSE, 0, 0);
    if (!tarvel.WaitExit(timeout_ms)) {
        return "Tarvel.exe did not end within " + std::to_string(timeout_ms / 1000) + " s of WM_CLOSE";
    }
    return {};
}

std::string CloseHost(win32::Process& host, DWORD timeout_ms) {
    if (!host.Running()) return {};
    if (HWND frame = HostMainFrame(host.Id())) PostMessageW(frame, WM_CLOSE, 0, 0);
    if (!host.WaitExit(timeout_ms)) {
        return "cadhost.exe did not end within " + std::to_string(timeout_ms / 1000) + " s of WM_CLOSE";
    }
    return {};
}

// ---- the observer ----

void Observer::Start() {
    stop_ = false;
    ready_ = false;
    thread_ = std::thread([this] { Loop(); });
    // Watching from before the first run begins.
    WaitFor(
        5000, [&] { return ready_.load(); }, 1);
}

void Observer::RunStarting() {
    fast_until_ = Now() + kFastMs;
    // Woken from a slow wait at once.
    if (const DWORD id = thread_id_) PostThreadMessageW(id, WM_NULL, 0, 0);
}

void Observer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::string Observer::Foreign() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::string all;
    for (const std::string& s : foreign_) all += (all.empty() ? "" : "; ") + s;
    return all;
}

std::vector<Observer::Sample> Observer::Samples() const {
    std::lock_guard<std::mutex> lock(mu_);
    return samples_;
}

std::vector<Observer::Box> Observer::Boxes() const {
    std::lock_guard<std::mutex> lock(mu_);
    return boxes_;
}

std::string Escaped(const std::wstring& text) {
    std::string out;
    for (char c : ToUtf8(text)) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

void Observer::TakeSample() {
    const bool iconic = IsIconic(main_) != FALSE;
    if (iconic) minimized_ = true;
    std::lock_guard<std::mutex> lock(mu_);
    samples_.push_back(Sample{Now(), iconic, IsWindowVisible(main_) != FALSE});
}

void Observer::Scan() {
    for (HWND w : win32::TopLevelWindowsOf(process_)) {
        if (w == main_ || !IsWindowVisible(w)) continue;
        const std::wstring cls = ClassName(w);
        // The application's own window (it carries the task-bar button),
        // tooltips and the input method's windows belong to every start.
        if (cls == L"TApplication" || cls == L"tooltips_class32" || cls == L"IME") continue;
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (allowed_.count(cls)) continue;
            foreign_.insert(ToUtf8(cls) + " \"" + ToUtf8(Title(w)) + "\"");
        }
        if (dismiss_ && cls == L"#32770") Answer(w);
    }
}

void Observer::Look() {
    TakeSample();
    Scan();
}

void Observer::Answer(HWND box) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (!answered_.insert(box).second) return;  // closing already
    }
    Box seen;
    seen.caption = Title(box);
    HWND ok = nullptr;
    for (HWND c : win32::Descendants(box)) {
        const std::wstring cls = ClassName(c);
        if (_wcsicmp(cls.c_str(), L"Static") == 0 && !Title(c).empty()) seen.text = Title(c);
        if (_wcsicmp(cls.c_str(), L"Button") == 0) ok = c;
    }
    seen.at = Now();
    seen.main_iconic = IsIconic(main_) != FALSE;
    seen.owned_by_process = win32::ProcessOf(GetWindow(box, GW_OWNER)) == process_;
    {
        std::lock_guard<std::mutex> lock(mu_);
        boxes_.push_back(seen);
    }
    // OK, so the run can end.
    if (ok) {
        PostMessageW(ok, BM_CLICK, 0, 0);
    } else {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

void CALLBACK Observer::OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD, DWORD) {
    Observer* self = current_;
    if (!self || object != OBJID_WINDOW) return;
    if (window == self->main_) {
        // The main window minimised or shown again: looked at the moment it
        // happens.
        if (event == EVENT_SYSTEM_MINIMIZESTART) self->minimized_ = true;
        self->TakeSample();
    } else if (event == EVENT_OBJECT_SHOW && window && GetAncestor(window, GA_ROOT) == window) {
        self->Scan();  // a new top-level window of Tarvel's
    }
}

void Observer::Loop() {
    current_ = this;
    thread_id_ = GetCurrentThreadId();
    // Out of context: the callbacks run on this thread while it pumps. The
    // events say when something happens; the slow looks between them cost
    // the window server little, so the run is watched, not disturbed.
    HWINEVENTHOOK minimise = SetWinEventHook(EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZEEND, nullptr, OnEvent,
                                             process_, 0, WINEVENT_OUTOFCONTEXT);
    HWINEVENTHOOK shown =
        SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr, OnEvent, process_, 0, WINEVENT_OUTOFCONTEXT);
    ULONGLONG next_scan = 0;
    TakeSample();
    ready_ = true;
    while (!stop_) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, Now() < fast_until_ ? 1 : kSampleMs, QS_ALLINPUT);
        PumpMessages();
        TakeSample();
        if (Now() >= next_scan) {
            Scan();
            next_scan = Now() + kScanMs;
        }
    }
    if (minimise) UnhookWinEvent(minimise);
    if (shown) UnhookWinEvent(shown);
    current_ = nullptr;
}

}  // namespace tarvel::driver
