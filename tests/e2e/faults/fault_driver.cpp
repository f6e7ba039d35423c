// fault-driver.exe: two presses of Tarvel's Start against a scripted CAD
// host with a fault, and what each left behind.
//
//   fault-driver.exe --report FILE --tarvel EXE --host EXE --cwd DIR
//       [--host-arg A]...          the first host's arguments (the fault)
//       [--second-host-arg A]...   a fresh host's arguments for the second run
//       [--second same|fresh]      the second run against the first host, if
//                                  it is still there, or always a fresh one
//       [--clip-text T --clip-format NAME --clip-data D]
//       [--with-owns 1]            wait until the --with program owns the clipboard
//       [--second-after-with 1]    the second run once the --with program has ended
//       [--run-timeout S] [--start-timeout S]
//       [--with EXE [--with-arg A]...]  another program, started just before
//                                  the first run (a clipboard holder, say)
//
// Before the first run the user's clipboard gets a text, a registered
// format and four pictures (an enhanced metafile, a metafile picture, a
// bitmap, a palette); after each run the driver looks whether all are still
// there.
// While a run is under way a watcher takes any message box (class #32770)
// that Tarvel's process shows: its caption and text go to the report, the
// main window's state at that moment too, and OK is pressed. Times are GetTickCount64
// values, the clock every process shares. Every wait is bounded; whatever
// is still running at the end is ended by its process handle. The report is
// key=value lines, UTF-8, written at the end and after every step.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/scenario/user_clipboard.h"

namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

// Control characters of a text as \xHH, so a report line stays one line.
std::string Escaped(const std::wstring& w) {
    std::string out;
    for (char c : Utf8(w)) {
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

ULONGLONG Now() { return GetTickCount64(); }

DWORD PidOf(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return pid;
}

std::wstring ClassOf(HWND w) {
    wchar_t buf[256] = {};
    const int n = GetClassNameW(w, buf, 255);
    return std::wstring(buf, n > 0 ? n : 0);
}

std::wstring Title(HWND w) {
    wchar_t buf[512] = {};
    const int n = GetWindowTextW(w, buf, 511);
    return std::wstring(buf, n > 0 ? n : 0);
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

template <class Pred>
bool WaitFor(ULONGLONG timeout_ms, Pred pred) {
    const ULONGLONG end = Now() + timeout_ms;
    for (;;) {
        if (pred()) return true;
        if (Now() >= end) return false;
        Sleep(25);
    }
}

struct Report {
    std::wstring path;
    std::mutex mu;
    std::vector<std::pair<std::string, std::string>> entries;
    void Set(const std::string& key, const std::string& value) {
        std::lock_guard<std::mutex> lock(mu);
        for (auto& e : entries) {
            if (e.first == key) { e.second = value; return; }
        }
        entries.emplace_back(key, value);
    }
    void Set(const std::string& key, long long value) { Set(key, std::to_string(value)); }
    void Write() {
        std::lock_guard<std::mutex> lock(mu);
        const std::wstring tmp = path + L".tmp";
        FILE* f = _wfopen(tmp.c_str(), L"wb");
        if (!f) return;
        for (const auto& [k, v] : entries) {
            const std::string line = k + "=" + v + "\n";
            fwrite(line.data(), 1, line.size(), f);
        }
        fclose(f);
        MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
};

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
    DWORD pid() const { return pi.dwProcessId; }
    bool Running() const { return started && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
    bool WaitExit(DWORD ms) const { return !started || WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0; }
    void Kill() const {
        if (Running()) {
            TerminateProcess(pi.hProcess, 99);
            WaitForSingleObject(pi.hProcess, 5000);
        }
    }
};

HWND HostPromptLine(DWORD pid) {
    for (HWND top : TopWindowsOf(pid))
        for (HWND w : ChildrenOf(top))
            if (Title(w) == L"Headlands") return w;
    return nullptr;
}

HWND HostMainFrame(DWORD pid) {
    for (HWND top : TopWindowsOf(pid)) {
        const std::wstring t = Title(top);
        if (t.rfind(L"AutoCAD ", 0) == 0 && t.find(L"テキスト ウィンドウ") == std::wstring::npos) return top;
    }
    return nullptr;
}

// The prompt line's text, bounded; a host that is late or hung gives "".
std::wstring PromptText(HWND w, DWORD timeout_ms) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, timeout_ms, &len) || len > 64) return L"?";
    wchar_t buf[80] = {};
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, 79, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, timeout_ms, &got))
        return L"?";
    return std::wstring(buf, got);
}

// Waits until the host shows its idle prompt.
bool HostIdle(const Program& host, ULONGLONG timeout_ms) {
    return WaitFor(timeout_ms, [&] {
        if (!host.Running()) return false;
        HWND p = HostPromptLine(host.pid());
        return p && HostMainFrame(host.pid()) && PromptText(p, 3000) == L"コマンド: ";
    });
}

// Takes Tarvel's message boxes while a run is under way.
class BoxWatcher {
public:
    BoxWatcher(Report& rep, DWORD pid, HWND main, std::string prefix)
        : rep_(rep), pid_(pid), main_(main), prefix_(std::move(prefix)) {}
    void Start() {
        thread_ = std::thread([this] { Loop(); });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    ~BoxWatcher() { Stop(); }

private:
    void Loop() {
        int boxes = 0;
        while (!stop_) {
            for (HWND w : TopWindowsOf(pid_)) {
                if (w == main_ || !IsWindowVisible(w) || ClassOf(w) != L"#32770") continue;
                std::wstring text;
                HWND ok = nullptr;
                for (HWND c : ChildrenOf(w)) {
                    const std::wstring cls = ClassOf(c);
                    if (_wcsicmp(cls.c_str(), L"Static") == 0 && !Title(c).empty()) text = Title(c);
                    if (_wcsicmp(cls.c_str(), L"Button") == 0) ok = c;
                }
                ++boxes;
                const std::string k = prefix_ + "box" + std::to_string(boxes);
                rep_.Set(k + "_caption", Escaped(Title(w)));
                rep_.Set(k + "_text", Escaped(text));
                rep_.Set(k + "_at", static_cast<long long>(Now()));
                rep_.Set(k + "_main_iconic", IsIconic(main_) ? 1 : 0);
                rep_.Set(k + "_owner_is_tarvel", PidOf(GetWindow(w, GW_OWNER)) == pid_ ? 1 : 0);
                rep_.Write();
                if (ok) PostMessageW(ok, BM_CLICK, 0, 0);
                else PostMessageW(w, WM_COMMAND, IDOK, 0);
                WaitFor(3000, [&] { return !IsWindow(w) || !IsWindowVisible(w); });
            }
            Sleep(30);
        }
        rep_.Set(prefix_ + "boxes", boxes);
    }

    Report& rep_;
    DWORD pid_;
    HWND main_;
    std::string prefix_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Options {
    std::wstring report, tarvel, host, cwd, with;
    std::vector<std::wstring> host_args, second_args, with_args;
    bool second_fresh = true;
    // The user's clipboard: a text, a registered format and four pictures.
    tarvel::driver::ClipSample clip{L"利用者の文 user text", L"Tarvel Fault Test Format", "user-bytes-0123", true};
    bool with_owns = false;   // wait until the --with program owns the clipboard
    bool second_after_with = false;  // the second run only after the --with program has ended
    DWORD run_timeout_ms = 120000, start_timeout_ms = 30000;
};

bool Parse(int argc, wchar_t** argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (i + 1 >= argc) { error = "missing value after " + Utf8(a); return false; }
        const std::wstring v = argv[++i];
        if (a == L"--report") o.report = v;
        else if (a == L"--tarvel") o.tarvel = v;
        else if (a == L"--host") o.host = v;
        else if (a == L"--cwd") o.cwd = v;
        else if (a == L"--host-arg") o.host_args.push_back(v);
        else if (a == L"--second-host-arg") o.second_args.push_back(v);
        else if (a == L"--second") o.second_fresh = v != L"same";
        else if (a == L"--clip-text") o.clip.text = v;
        else if (a == L"--clip-format") o.clip.format_name = v;
        else if (a == L"--clip-data") o.clip.data = Utf8(v);
        else if (a == L"--with-owns") o.with_owns = v == L"1";
        else if (a == L"--second-after-with") o.second_after_with = v == L"1";
        else if (a == L"--run-timeout") o.run_timeout_ms = 1000u * static_cast<DWORD>(_wtoi(v.c_str()));
        else if (a == L"--start-timeout") o.start_timeout_ms = 1000u * static_cast<DWORD>(_wtoi(v.c_str()));
        else if (a == L"--with") o.with = v;
        else if (a == L"--with-arg") o.with_args.push_back(v);
        else { error = "unknown argument " + Utf8(a); return false; }
    }
    if (o.report.empty() || o.tarvel.empty() || o.host.empty()) {
        error = "--report, --tarvel and --host are needed";
        return false;
    }
    return true;
}

HWND TarvelWindow(DWORD pid) {
    for (HWND top : TopWindowsOf(pid))
        if (ClassOf(top) == L"TTarvelF") return top;
    return nullptr;
}

HWND StartButton(HWND main) {
    for (HWND c : ChildrenOf(main))
        if (GetParent(c) == main && Title(c) == L"開始") return c;
    return nullptr;
}

std::string Drive(const Options& o, Report& rep, Program& host1, Program& host2, Program& tarvel, Program& with,
                  HWND owner) {
    if (!tarvel::driver::PutClip(owner, o.clip)) return "the user's clipboard content could not be put there";
    rep.Set("clip_before", tarvel::driver::CheckClip(owner, o.clip));

    if (!host1.Start(o.host, o.host_args, o.cwd)) return "the first host did not start";
    rep.Set("host1_pid", host1.pid());
    if (!HostIdle(host1, o.start_timeout_ms)) return "the first host did not show its idle prompt";
    rep.Set("t_host1_idle", static_cast<long long>(Now()));

    if (!tarvel.Start(o.tarvel, {}, o.cwd)) return "Tarvel.exe did not start";
    rep.Set("tarvel_pid", tarvel.pid());
    HWND main = nullptr, start = nullptr;
    if (!WaitFor(o.start_timeout_ms, [&] {
            main = tarvel.Running() ? TarvelWindow(tarvel.pid()) : nullptr;
            start = main && IsWindowVisible(main) ? StartButton(main) : nullptr;
            return start != nullptr;
        }))
        return "Tarvel's window with its Start button did not appear";
    rep.Set("t_tarvel_ready", static_cast<long long>(Now()));
    rep.Write();

    Program* host = &host1;
    for (int run = 1; run <= 2; ++run) {
        const std::string r = "run" + std::to_string(run) + "_";
        if (run == 2) {
            if (o.second_after_with && with.started) {
                if (!with.WaitExit(60000)) return "the program of --with did not end before the second run";
                rep.Set("with_ended", static_cast<long long>(Now()));
            }
            const bool fresh = o.second_fresh || !host1.Running();
            rep.Set("run2_fresh_host", fresh ? 1 : 0);
            if (fresh) {
                if (host1.Running()) {
                    if (HWND f = HostMainFrame(host1.pid())) PostMessageW(f, WM_CLOSE, 0, 0);
                    if (!host1.WaitExit(30000)) host1.Kill();
                }
                if (!host2.Start(o.host, o.second_args, o.cwd)) return "the second host did not start";
                rep.Set("host2_pid", host2.pid());
                host = &host2;
            }
            const ULONGLONG t = Now();
            if (!HostIdle(*host, 60000)) return "the host was not idle before the second run";
            rep.Set("run2_host_idle_wait_ms", static_cast<long long>(Now() - t));
        }
        if (run == 1) {
            // Under Wine the clipboard may still be emptied a moment after
            // the process that owned it last has ended (the programs of an
            // earlier scenario): put the user's content there again until it
            // stays, so what the run finds is what the user left.
            int puts = 1;
            while (tarvel::driver::CheckClip(owner, o.clip) != "same" && puts < 5) {
                if (!tarvel::driver::PutClip(owner, o.clip)) return "the user's clipboard content could not be put there";
                ++puts;
                Sleep(1500);
            }
            rep.Set("clip_puts", puts);
        }
        rep.Set(r + "clip_before", tarvel::driver::CheckClip(owner, o.clip));
        BoxWatcher boxes(rep, tarvel.pid(), main, r);
        boxes.Start();
        if (run == 1 && !o.with.empty()) {
            if (!with.Start(o.with, o.with_args, o.cwd)) return "the program of --with did not start";
            rep.Set("with_started", static_cast<long long>(Now()));
            // Taking the clipboard tells its owner, the driver's window,
            // which must answer meanwhile.
            if (o.with_owns && !WaitFor(8000, [&] {
                    MSG msg;
                    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
                    return PidOf(GetClipboardOwner()) == with.pid();
                }))
                return "the program of --with did not take the clipboard";
            rep.Set("with_owns", static_cast<long long>(Now()));
        }
        const ULONGLONG t0 = Now();
        rep.Set(r + "start", static_cast<long long>(t0));
        rep.Write();
        DWORD_PTR ignored = 0;
        const bool returned =
            SendMessageTimeoutW(start, BM_CLICK, 0, 0, SMTO_NORMAL, o.run_timeout_ms, &ignored) != 0;
        const ULONGLONG t1 = Now();
        boxes.Stop();
        rep.Set(r + "end", static_cast<long long>(t1));
        rep.Set(r + "ms", static_cast<long long>(t1 - t0));
        rep.Set(r + "returned", returned ? 1 : 0);
        rep.Set(r + "tarvel_running", tarvel.Running() ? 1 : 0);
        rep.Set(r + "host_running", host->Running() ? 1 : 0);
        rep.Set(r + "main_iconic", IsIconic(main) ? 1 : 0);
        rep.Set(r + "main_visible", IsWindowVisible(main) ? 1 : 0);
        rep.Set(r + "clip_after", tarvel::driver::CheckClip(owner, o.clip));
        rep.Write();
        if (!returned) return "run " + std::to_string(run) + " did not end within the run timeout";
        if (!tarvel.Running()) return "Tarvel.exe ended during run " + std::to_string(run);
        if (run == 1 && IsIconic(main)) {
            // A run that ended in an error leaves the window minimised; the
            // user restores it before pressing Start again.
            ShowWindow(main, SW_RESTORE);
        }
    }

    if (with.started) {
        if (!with.WaitExit(60000)) return "the program of --with did not end";
        DWORD code = 0;
        GetExitCodeProcess(with.pi.hProcess, &code);
        rep.Set("with_exit", static_cast<long long>(code));
    }
    rep.Set("t_close", static_cast<long long>(Now()));
    // Tarvel still answers. It is then ended by its handle: closing it
    // costs Wine seconds without a window manager and tells nothing here.
    // The driver takes the clipboard over first, so the end of Tarvel,
    // which owns it since its last restore, does not disturb it.
    DWORD_PTR answer = 0;
    rep.Set("tarvel_answers", SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) ? 1 : 0);
    tarvel::driver::PutClip(owner, o.clip);
    tarvel.Kill();
    rep.Set("t_tarvel_gone", static_cast<long long>(Now()));
    for (Program* h : {&host1, &host2}) {
        if (!h->Running()) continue;
        if (HWND f = HostMainFrame(h->pid())) PostMessageW(f, WM_CLOSE, 0, 0);
        if (!h->WaitExit(30000)) return "a host did not end within 30 s of WM_CLOSE";
    }
    rep.Set("t_hosts_gone", static_cast<long long>(Now()));
    return {};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    std::string error;
    if (!Parse(argc, argv, o, error)) {
        fprintf(stderr, "fault-driver: %s\n", error.c_str());
        return 2;
    }
    Report rep;
    rep.path = o.report;
    HWND owner = CreateWindowW(L"STATIC", L"fault-driver", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    Program host1, host2, tarvel, with;
    rep.Set("t_driver", static_cast<long long>(Now()));
    const std::string failure = Drive(o, rep, host1, host2, tarvel, with, owner);
    with.Kill();
    tarvel.Kill();
    host1.Kill();
    host2.Kill();
    rep.Set("result", failure.empty() ? "ok" : "fail");
    if (!failure.empty()) rep.Set("error", failure);
    rep.Write();
    if (owner) DestroyWindow(owner);
    if (!failure.empty()) fprintf(stderr, "fault-driver: %s\n", failure.c_str());
    return failure.empty() ? 0 : 1;
}
