// scenario-driver.exe: the Windows half of scripts/scenario.
//
// Starts the scripted CAD host and Tarvel.exe, waits for their windows,
// checks Tarvel's tier option, presses bStart with a sent BM_CLICK (which
// returns when the run is over) as many times as asked, lets the caller take
// a screenshot, then closes both programs with WM_CLOSE. Every wait is
// bounded. The outcome goes to a report file of key=value lines (UTF-8),
// because the driver runs under `explorer /desktop=...`, which keeps neither
// its exit status nor its output.
//
//   scenario-driver.exe --report FILE --tarvel EXE [--host EXE] [--host-arg A]...
//       [--option 0|1|2|3] [--runs N] [--cwd DIR] [--ready FILE --go FILE]
//       [--start-timeout S] [--run-timeout S] [--work-files]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- small helpers ---------------------------------------------------------

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring WindowText(HWND w) {
    wchar_t buf[512] = {};
    DWORD_PTR got = 0;
    // Bounded: a window of a hung program must not hang the driver.
    if (!SendMessageTimeoutW(w, WM_GETTEXT, 511, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, &got))
        return {};
    return std::wstring(buf, got);
}

// The title the system keeps for a window. For a window of another process
// it is read without asking the window, so the host's prompt line answers
// "Headlands" here and its prompt text to WM_GETTEXT.
std::wstring Title(HWND w) {
    wchar_t buf[512] = {};
    const int n = GetWindowTextW(w, buf, 511);
    return std::wstring(buf, n > 0 ? n : 0);
}

std::wstring ClassOf(HWND w) {
    wchar_t buf[256] = {};
    const int n = GetClassNameW(w, buf, 255);
    return std::wstring(buf, n > 0 ? n : 0);
}

DWORD PidOf(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return pid;
}

std::vector<HWND> TopWindowsOf(DWORD pid) {
    struct Ctx { DWORD pid; std::vector<HWND> found; } ctx{pid, {}};
    EnumWindows([](HWND w, LPARAM p) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(p);
        if (PidOf(w) == c->pid) c->found.push_back(w);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, [](HWND w, LPARAM p) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool StartsWith(const std::wstring& s, const std::wstring& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

// Quotes one argument the way CommandLineToArgvW reads it back.
std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') { ++slashes; continue; }
        if (c == L'"') out.append(slashes * 2 + 1, L'\\');
        else out.append(slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

// Milliseconds on the monotonic tick count (<chrono> does not compile with
// the CP932 execution charset).
struct Clock {
    using time_point = ULONGLONG;
    static time_point now() { return GetTickCount64(); }
};

long long MsSince(Clock::time_point t) {
    return static_cast<long long>(Clock::now() - t);
}

// Polls pred every 25 ms until it holds or timeout_ms has passed.
template <class Pred>
bool WaitFor(DWORD timeout_ms, Pred pred) {
    const auto start = Clock::now();
    for (;;) {
        if (pred()) return true;
        if (MsSince(start) >= static_cast<long long>(timeout_ms)) return false;
        Sleep(25);
    }
}

// ---- the report ------------------------------------------------------------

struct Report {
    std::vector<std::pair<std::string, std::string>> entries;
    void Set(const std::string& key, const std::string& value) {
        for (auto& e : entries) {
            if (e.first == key) { e.second = value; return; }
        }
        entries.emplace_back(key, value);
    }
    void Set(const std::string& key, long long value) { Set(key, std::to_string(value)); }
    bool Write(const std::wstring& path) const {
        // Written to a temporary name and renamed, so the caller that polls
        // for the file never reads half of it.
        const std::wstring tmp = path + L".tmp";
        FILE* f = _wfopen(tmp.c_str(), L"wb");
        if (!f) return false;
        for (const auto& [k, v] : entries) {
            std::string line = k + "=";
            for (char c : v) line += (c == '\n' || c == '\r') ? ' ' : c;
            line += "\n";
            fwrite(line.data(), 1, line.size(), f);
        }
        fclose(f);
        return MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    }
};

// ---- the programs ----------------------------------------------------------

struct Program {
    PROCESS_INFORMATION pi{};
    bool started = false;

    bool Start(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& cwd) {
        std::wstring cmd = Quote(exe);
        for (const auto& a : args) cmd += L" " + Quote(a);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        started = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 cwd.empty() ? nullptr : cwd.c_str(), &si, &pi) != 0;
        return started;
    }
    bool Running() const {
        return started && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT;
    }
    bool WaitExit(DWORD ms) const {
        return !started || WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0;
    }
    DWORD ExitCode() const {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
    void Kill() const {
        if (Running()) {
            TerminateProcess(pi.hProcess, 99);
            WaitForSingleObject(pi.hProcess, 5000);
        }
    }
};

// The host is ready when one of its windows holds the prompt line "Headlands"
// and that line reads the idle prompt.
HWND HostPromptLine(DWORD pid) {
    for (HWND top : TopWindowsOf(pid)) {
        for (HWND w : ChildrenOf(top)) {
            if (Title(w) == L"Headlands") return w;
        }
    }
    return nullptr;
}

// The host's main frame: its top-level window titled "AutoCAD ..." that is
// not the text window.
HWND HostMainFrame(DWORD pid) {
    for (HWND top : TopWindowsOf(pid)) {
        const std::wstring title = Title(top);
        if (StartsWith(title, L"AutoCAD ") && title.find(L"テキスト ウィンドウ") == std::wstring::npos)
            return top;
    }
    return nullptr;
}

HWND TarvelWindow(DWORD pid) {
    HWND found = nullptr;
    for (HWND top : TopWindowsOf(pid)) {
        if (ClassOf(top) == L"TTarvelF") found = top;
    }
    return found;
}

// A control of Tarvel's main window, by caption, else by its designed
// position in client pixels.
HWND Control(HWND main, const std::wstring& caption, int left, int top) {
    const std::vector<HWND> children = ChildrenOf(main);
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

struct OptionButton { const wchar_t* name; const wchar_t* caption; int left, top; };
// Option 1 is "２段(上付)", 2 is "２段(中間)", 3 is "1段".
const OptionButton kOptions[] = {
    {L"RadioButton1", L"２段(上付)", 88, 8},
    {L"RadioButton2", L"２段(中間)", 88, 32},
    {L"RadioButton3", L"1段", 8, 8},
};

// Watches Tarvel while a run is under way: whether its main window was seen
// minimised, and every other visible top-level window its process shows
// (an error box would be one).
class Observer {
public:
    Observer(DWORD pid, HWND main) : pid_(pid), main_(main) {}
    void Start() {
        stop_ = false;
        thread_ = std::thread([this] { Loop(); });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool MinimizedSeen() const { return minimized_; }
    std::string Foreign() const {
        std::string all;
        for (const auto& s : foreign_) all += (all.empty() ? "" : "; ") + s;
        return all;
    }
    // Also called after the run, from the driver's thread.
    void Look() {
        if (IsIconic(main_)) minimized_ = true;
        for (HWND w : TopWindowsOf(pid_)) {
            if (w == main_ || !IsWindowVisible(w)) continue;
            const std::wstring cls = ClassOf(w);
            // The application's own window (it carries the task-bar button),
            // tooltips and the input method's windows belong to every start.
            if (cls == L"TApplication" || cls == L"tooltips_class32" || cls == L"IME") continue;
            std::lock_guard<std::mutex> lock(mu_);
            foreign_.insert(Utf8(cls) + " \"" + Utf8(Title(w)) + "\"");
        }
    }

private:
    static void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND w, LONG obj, LONG, DWORD, DWORD) {
        if (event == EVENT_SYSTEM_MINIMIZESTART && obj == OBJID_WINDOW && current_ && w == current_->main_)
            current_->minimized_ = true;
    }
    void Loop() {
        current_ = this;
        // Out of context: the callback runs on this thread while it pumps.
        HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZESTART, nullptr,
                                             OnEvent, pid_, 0, WINEVENT_OUTOFCONTEXT);
        while (!stop_) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
            Look();
        }
        if (hook) UnhookWinEvent(hook);
        current_ = nullptr;
    }

    DWORD pid_;
    HWND main_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> minimized_{false};
    std::mutex mu_;
    std::set<std::string> foreign_;
    std::thread thread_;
    static inline Observer* current_ = nullptr;
};

struct Options {
    std::wstring report, tarvel, host, cwd, ready, go;
    std::vector<std::wstring> host_args;
    int option = 0;
    int runs = 1;
    DWORD start_timeout_ms = 20000;
    DWORD run_timeout_ms = 90000;
    bool work_files = false;
};

bool ParseArgs(int argc, wchar_t** argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        auto value = [&]() -> std::wstring {
            if (i + 1 >= argc) { error = "missing value after " + Utf8(a); return {}; }
            return argv[++i];
        };
        if (a == L"--report") o.report = value();
        else if (a == L"--tarvel") o.tarvel = value();
        else if (a == L"--host") o.host = value();
        else if (a == L"--host-arg") o.host_args.push_back(value());
        else if (a == L"--cwd") o.cwd = value();
        else if (a == L"--ready") o.ready = value();
        else if (a == L"--go") o.go = value();
        else if (a == L"--option") o.option = _wtoi(value().c_str());
        else if (a == L"--runs") o.runs = _wtoi(value().c_str());
        else if (a == L"--start-timeout") o.start_timeout_ms = 1000u * static_cast<DWORD>(_wtoi(value().c_str()));
        else if (a == L"--run-timeout") o.run_timeout_ms = 1000u * static_cast<DWORD>(_wtoi(value().c_str()));
        else if (a == L"--work-files") o.work_files = true;
        else { error = "unknown argument " + Utf8(a); return false; }
        if (!error.empty()) return false;
    }
    if (o.report.empty() || o.tarvel.empty()) { error = "--report and --tarvel are needed"; return false; }
    if (o.option < 0 || o.option > 3) { error = "--option takes 1, 2 or 3"; return false; }
    if (o.runs < 0 || o.runs > 50) { error = "--runs takes 0 to 50"; return false; }
    return true;
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The steps of one scenario; returns an empty text on success, else what
// went wrong. Programs still running are killed by the caller.
std::string Drive(const Options& o, Report& rep, Program& host, Program& tarvel) {
    const auto t0 = Clock::now();
    if (!o.host.empty()) {
        if (!host.Start(o.host, o.host_args, o.cwd)) return "cadhost.exe did not start (CreateProcess failed)";
        rep.Set("host_pid", host.pi.dwProcessId);
        rep.Write(o.report);
        HWND prompt = nullptr;
        const bool up = WaitFor(o.start_timeout_ms, [&] {
            if (!host.Running()) return true;
            prompt = HostPromptLine(host.pi.dwProcessId);
            return prompt && HostMainFrame(host.pi.dwProcessId) && WindowText(prompt) == L"コマンド: ";
        });
        if (!host.Running()) return "cadhost.exe ended before its windows appeared (exit code " + std::to_string(host.ExitCode()) + ")";
        if (!up) {
            std::string seen;
            for (HWND top : TopWindowsOf(host.pi.dwProcessId))
                seen += " [" + Utf8(ClassOf(top)) + " \"" + Utf8(Title(top)) + "\"]";
            return "cadhost.exe did not show its idle prompt line within " + std::to_string(o.start_timeout_ms / 1000) +
                   " s (prompt line " + (prompt ? "\"" + Utf8(WindowText(prompt)) + "\"" : std::string("not found")) +
                   "; its windows:" + (seen.empty() ? " none" : seen) + ")";
        }
        rep.Set("host_ready_ms", MsSince(t0));
    }

    const std::wstring dxf = o.cwd + L"\\TARVEL.dxf", csv = o.cwd + L"\\TARVEL.csv";
    if (o.work_files) {
        for (const auto& f : {dxf, csv}) {
            FILE* w = _wfopen(f.c_str(), L"wb");
            if (w) { fputs("left by an earlier run\n", w); fclose(w); }
        }
    }

    const auto t1 = Clock::now();
    if (!tarvel.Start(o.tarvel, {}, o.cwd)) return "Tarvel.exe did not start (CreateProcess failed)";
    rep.Set("tarvel_pid", tarvel.pi.dwProcessId);
    rep.Write(o.report);
    HWND main = nullptr, start = nullptr;
    const bool shown = WaitFor(o.start_timeout_ms, [&] {
        if (!tarvel.Running()) return true;
        main = TarvelWindow(tarvel.pi.dwProcessId);
        start = main && IsWindowVisible(main) ? Control(main, L"開始", 8, 32) : nullptr;
        return start != nullptr;
    });
    if (!tarvel.Running()) return "Tarvel.exe ended before its window appeared (exit code " + std::to_string(tarvel.ExitCode()) + ")";
    if (!shown && !main) return "Tarvel.exe showed no window of class TTarvelF within " + std::to_string(o.start_timeout_ms / 1000) + " s";
    if (!shown) return "Tarvel's window has no bStart button (" + Utf8(L"\"開始\"") + " at 8,32)";
    rep.Set("tarvel_ready_ms", MsSince(t1));

    if (o.option != 0) {
        const OptionButton& ob = kOptions[o.option - 1];
        HWND radio = Control(main, ob.caption, ob.left, ob.top);
        if (!radio) return "Tarvel's window has no " + Utf8(ob.name) + " (\"" + Utf8(ob.caption) + "\")";
        DWORD_PTR r = 0;
        if (!SendMessageTimeoutW(radio, BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &r)) return "BM_CLICK on " + Utf8(ob.name) + " did not return";
        if (SendMessageW(radio, BM_GETCHECK, 0, 0) != BST_CHECKED) return Utf8(ob.name) + " is not checked after its click";
        for (const OptionButton& other : kOptions) {
            if (&other == &ob) continue;
            HWND w = Control(main, other.caption, other.left, other.top);
            if (w && SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED)
                return Utf8(other.name) + " is still checked after " + Utf8(ob.name) + " was clicked";
        }
        rep.Set("option_checked", Utf8(ob.name));
    }

    Observer watch(tarvel.pi.dwProcessId, main);
    watch.Start();
    std::string failure;
    for (int run = 1; run <= o.runs && failure.empty(); ++run) {
        const auto tr = Clock::now();
        DWORD_PTR r = 0;
        SetLastError(0);
        // A sent BM_CLICK returns when bStartClick has returned: the whole run.
        if (!SendMessageTimeoutW(start, BM_CLICK, 0, 0, SMTO_NORMAL, o.run_timeout_ms, &r)) {
            const DWORD err = GetLastError();
            failure = err == ERROR_TIMEOUT
                ? "run " + std::to_string(run) + " did not end within " + std::to_string(o.run_timeout_ms / 1000) + " s"
                : "BM_CLICK on bStart failed in run " + std::to_string(run) + " (error " + std::to_string(err) + ")";
        }
        rep.Set("run" + std::to_string(run) + "_ms", MsSince(tr));
        if (!tarvel.Running()) failure = "Tarvel.exe ended during run " + std::to_string(run);
        if (!o.host.empty() && !host.Running()) failure = "cadhost.exe ended during run " + std::to_string(run);
    }
    watch.Stop();
    watch.Look();
    rep.Set("runs_done", o.runs);
    rep.Set("minimized_seen", watch.MinimizedSeen() ? 1 : 0);
    rep.Set("restored", (IsWindowVisible(main) && !IsIconic(main)) ? 1 : 0);
    rep.Set("foreign_windows", watch.Foreign());
    if (o.work_files) rep.Set("work_files_left", (FileExists(dxf) ? 1 : 0) + (FileExists(csv) ? 1 : 0));
    if (!failure.empty()) return failure;

    // The caller takes its screenshot between these two files.
    if (!o.ready.empty()) {
        Report ready;
        ready.Set("ready", 1);
        if (!ready.Write(o.ready)) return "cannot write " + Utf8(o.ready);
        if (!WaitFor(60000, [&] { return FileExists(o.go); })) return "no screenshot signal within 60 s";
    }

    const auto t2 = Clock::now();
    PostMessageW(main, WM_CLOSE, 0, 0);
    if (!tarvel.WaitExit(15000)) return "Tarvel.exe did not end within 15 s of WM_CLOSE";
    if (!o.host.empty()) {
        HWND frame = HostMainFrame(host.pi.dwProcessId);
        if (frame) PostMessageW(frame, WM_CLOSE, 0, 0);
        if (!host.WaitExit(15000)) return "cadhost.exe did not end within 15 s of WM_CLOSE";
        rep.Set("host_exit", host.ExitCode());
    }
    rep.Set("tarvel_exit", tarvel.ExitCode());
    rep.Set("close_ms", MsSince(t2));
    return {};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    std::string error;
    Report rep;
    if (!ParseArgs(argc, argv, o, error)) {
        fprintf(stderr, "scenario-driver: %s\n", error.c_str());
        if (!o.report.empty()) {
            rep.Set("result", "fail");
            rep.Set("error", error);
            rep.Write(o.report);
        }
        return 2;
    }
    Program host, tarvel;
    rep.Set("driver_pid", static_cast<long long>(GetCurrentProcessId()));
    rep.Write(o.report);
    const std::string failure = Drive(o, rep, host, tarvel);
    // Nothing is left running after a failure.
    tarvel.Kill();
    host.Kill();
    rep.Set("result", failure.empty() ? "ok" : "fail");
    if (!failure.empty()) rep.Set("error", failure);
    rep.Write(o.report);
    if (!failure.empty()) fprintf(stderr, "scenario-driver: %s\n", failure.c_str());
    return failure.empty() ? 0 : 1;
}
