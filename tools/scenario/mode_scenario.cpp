// tarvel-check.exe scenario: the Windows half of scripts/scenario.
//
// Starts the scripted CAD host and Tarvel.exe, waits for their windows,
// checks Tarvel's tier option, presses bStart with a sent BM_CLICK (which
// returns when the run is over) as many times as asked, lets the caller take
// a screenshot, then closes both programs with WM_CLOSE. Every wait is
// bounded. The outcome goes to a report file of key=value lines (UTF-8),
// because the driver runs under `explorer /desktop=...`, which keeps neither
// its exit status nor its output.
//
//   tarvel-check.exe scenario --report FILE [--tarvel EXE] [--host EXE] [--host-arg A]...
//       [--option 0|1|2|3] [--runs N] [--cwd DIR] [--ready FILE --go FILE]
//       [--start-timeout S] [--run-timeout S] [--work-files] [--no-watch] [--back N]
//
// Without --tarvel (and with --runs 0) only the host is started: a caller
// that wants the host up and idle for something of its own does it between
// --ready and --go.
//
// --no-watch leaves Tarvel unwatched during the runs (the benchmarks measure
// what Tarvel costs the window server); minimized_seen and foreign_windows
// are then not reported.
//
// --back N plays a user at the desk during the first run: once the host's
// log shows the first "wait" of its pick script (a pick left unanswered),
// the user brings Tarvel's window back (Alt+Tab to its application window),
// checks tier option N, presses the help button, and closes the
// instructions window a while later. The back_* keys say what was seen,
// among them how many commands reached the host while the instructions
// were shown.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "support/win32/text.h"
#include "tools/common/files.h"
#include "tools/common/process.h"
#include "tools/common/wait.h"
#include "tools/common/window_list.h"
#include "tools/scenario/arguments.h"
#include "tools/scenario/host_log.h"
#include "tools/scenario/host_session.h"
#include "tools/scenario/modes.h"
#include "tools/scenario/observer.h"
#include "tools/scenario/report.h"

namespace tarvel::driver {

namespace {
using common::Now;
using common::Process;
using common::WaitFor;
using win32::ToUtf8;

struct Options {
    std::wstring report, tarvel, host, cwd, ready, go;
    std::vector<std::wstring> host_args;
    int option = 0;
    int runs = 1;
    DWORD start_timeout_ms = 20000;
    DWORD run_timeout_ms = 90000;
    bool work_files = false;
    bool watch = true;    // --no-watch: Tarvel is not watched (for measuring it)
    int back_option = 0;  // --back N: the user brings the window back during the first run
};

// The host's log, from its --log argument.
std::wstring HostLogPath(const Options& o) {
    for (std::size_t i = 0; i + 1 < o.host_args.size(); ++i) {
        if (o.host_args[i] == L"--log") return o.host_args[i + 1];
    }
    return {};
}

bool ParseArgs(int argc, wchar_t** argv, Options& o, std::string& error) {
    ArgumentTable table;
    table.Text(L"--report", o.report)
        .Text(L"--tarvel", o.tarvel)
        .Text(L"--host", o.host)
        .Texts(L"--host-arg", o.host_args)
        .Text(L"--cwd", o.cwd)
        .Text(L"--ready", o.ready)
        .Text(L"--go", o.go)
        .Number(L"--option", o.option)
        .Number(L"--runs", o.runs)
        .Seconds(L"--start-timeout", o.start_timeout_ms)
        .Seconds(L"--run-timeout", o.run_timeout_ms)
        .Flag(L"--work-files", o.work_files)
        .Flag(L"--no-watch", o.watch, false)
        .Number(L"--back", o.back_option);
    if (!table.Read(argc, argv, error)) return false;
    if (o.report.empty() || (o.tarvel.empty() && (o.host.empty() || o.runs != 0))) {
        error = "--report and --tarvel are needed (without --tarvel: --host and --runs 0)";
        return false;
    }
    if (o.option < 0 || o.option > 3) {
        error = "--option takes 1, 2 or 3";
        return false;
    }
    if (o.runs < 0 || o.runs > 50) {
        error = "--runs takes 0 to 50";
        return false;
    }
    if (o.back_option < 0 || o.back_option > 3) {
        error = "--back takes 1, 2 or 3";
        return false;
    }
    if (o.back_option != 0 && HostLogPath(o).empty()) {
        error = "--back needs the host's --log";
        return false;
    }
    return true;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string RectText(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

bool Shown(HWND window) { return IsWindowVisible(window) && !IsIconic(window); }

std::size_t CommandsIn(const std::vector<LogRecord>& log, std::size_t from) {
    std::size_t n = 0;
    for (std::size_t i = from; i < log.size(); ++i) n += log[i].kind == "command" ? 1 : 0;
    return n;
}

// The user at the desk while a pick waits (--back): Tarvel's window brought
// back with Alt+Tab, an option checked, the instructions opened and closed.
// Runs beside the press of Start, which returns only when the run is over.
std::string BringBackDuringAPick(const Options& o, const TarvelApp& tarvel, const std::atomic<bool>& run_over,
                                 Report& rep) {
    const HWND main = tarvel.Main();
    const std::wstring log = HostLogPath(o);
    const bool waiting = WaitFor(
        o.run_timeout_ms, [&] { return run_over || !OfKind(ReadHostLog(log), "wait").empty(); }, 50);
    if (!waiting || run_over) {
        return "the host's log shows no unanswered pick (\"wait\") to bring the window back in";
    }
    rep.Set("back_minimised_before", IsIconic(main) ? 1 : 0);
    const HWND app = tarvel.ApplicationWindow();
    if (!app) return "Tarvel has no application window (class TApplication)";
    SetForegroundWindow(app);  // what Alt+Tab does
    const bool back = WaitFor(5000, [&] { return Shown(main); });
    rep.Set("back_restored", back ? 1 : 0);
    if (!back) return "Tarvel's window did not come back when its application window was activated";
    rep.Set("back_rect", RectText(main));

    std::string failure = tarvel.CheckOption(o.back_option);
    if (!failure.empty()) return "while the pick waited: " + failure;
    rep.Set("back_option", o.back_option);

    const HWND help = tarvel.Control(L"?", 56, 32);
    if (!help) return "Tarvel's window has no help button (\"?\" at 56,32)";
    PostMessageW(help, BM_CLICK, 0, 0);
    HWND box = nullptr;
    const bool shown = WaitFor(5000, [&] {
        box = tarvel.TopLevel(L"TAboutBox");
        return box && IsWindowVisible(box);
    });
    rep.Set("back_help_shown", shown ? 1 : 0);
    if (!shown) return "the instructions window did not show after the help button was pressed";
    const std::size_t before = ReadHostLog(log).size();
    // Longer than the host's wait and several of Tarvel's polls: a run that
    // went on under the instructions would have typed its next pick.
    constexpr DWORD kHelpShownMs = 2500;
    Sleep(kHelpShownMs);
    rep.Set("back_commands_during_help", static_cast<long long>(CommandsIn(ReadHostLog(log), before)));
    rep.Set("back_main_enabled_under_help", IsWindowEnabled(main) ? 1 : 0);
    HWND ok = nullptr;
    for (HWND c : common::Descendants(box)) {
        if (common::Title(c) == L"閉じる") ok = c;
    }
    if (!ok) return "the instructions window has no 閉じる button";
    PostMessageW(ok, BM_CLICK, 0, 0);
    const bool closed = WaitFor(5000, [&] { return !IsWindowVisible(box); });
    rep.Set("back_help_closed", closed ? 1 : 0);
    if (!closed) return "the instructions window did not close";
    return {};
}

// The steps of one scenario; returns an empty text on success, else what
// went wrong. Programs still running are killed by the caller.
std::string Drive(const Options& o, Report& rep, Host& host, TarvelApp& tarvel) {
    const ULONGLONG t0 = Now();
    if (!o.host.empty()) {
        // Its id goes to the report as soon as it is known, so the script
        // can end what a driver that never reports left behind.
        std::string failure = host.Start(o.host, o.host_args, o.cwd, o.start_timeout_ms);
        if (host.Process().Started()) {
            rep.Set("host_pid", host.Pid());
            rep.Write(o.report);
        }
        if (!failure.empty()) return failure;
        rep.Set("host_ready_ms", static_cast<long long>(Now() - t0));
    }

    const std::wstring dxf = o.cwd + L"\\TARVEL.dxf", csv = o.cwd + L"\\TARVEL.csv";
    if (o.work_files) {
        for (const auto& f : {dxf, csv}) common::WriteWholeFile(f, "left by an earlier run\n");
    }

    std::string failure;
    if (!o.tarvel.empty()) {
        const ULONGLONG t1 = Now();
        failure = tarvel.Start(o.tarvel, o.cwd, o.start_timeout_ms);
        if (tarvel.Process().Started()) {
            rep.Set("tarvel_pid", tarvel.Pid());
            rep.Write(o.report);
        }
        if (!failure.empty()) return failure;
        rep.Set("tarvel_ready_ms", static_cast<long long>(Now() - t1));
    }

    if (o.option != 0) {
        failure = tarvel.CheckOption(o.option);
        if (!failure.empty()) return failure;
        rep.Set("option_checked", "RadioButton" + std::to_string(o.option));
    }

    Observer watch(tarvel.Pid(), tarvel.Main());
    if (o.back_option != 0) watch.Allow(L"TAboutBox");
    const bool watching = o.watch && !o.tarvel.empty();
    if (watching) watch.Start();
    for (int run = 1; run <= o.runs && failure.empty(); ++run) {
        const ULONGLONG tr = Now();
        watch.RunStarting();
        std::string back;
        std::atomic<bool> run_over{false};
        std::thread user;
        if (run == 1 && o.back_option != 0) {
            user = std::thread([&] { back = BringBackDuringAPick(o, tarvel, run_over, rep); });
        }
        failure = tarvel.PressStart(o.run_timeout_ms);
        run_over = true;
        if (user.joinable()) user.join();
        if (failure.empty() && !back.empty()) failure = back;
        if (!failure.empty()) failure = "run " + std::to_string(run) + " " + failure;
        rep.Set("run" + std::to_string(run) + "_ms", static_cast<long long>(Now() - tr));
        if (!tarvel.Running()) failure = "Tarvel.exe ended during run " + std::to_string(run);
        if (!o.host.empty() && !host.Running()) failure = "cadhost.exe ended during run " + std::to_string(run);
    }
    watch.Stop();
    rep.Set("runs_done", o.runs);
    if (watching) {
        watch.Look();
        rep.Set("minimized_seen", watch.MinimizedSeen() ? 1 : 0);
        rep.Set("foreign_windows", watch.Foreign());
    }
    if (!o.tarvel.empty()) {
        rep.Set("restored", Shown(tarvel.Main()) ? 1 : 0);
        rep.Set("final_rect", RectText(tarvel.Main()));
    }
    if (o.work_files) rep.Set("work_files_left", (FileExists(dxf) ? 1 : 0) + (FileExists(csv) ? 1 : 0));
    if (!failure.empty()) return failure;

    // The caller takes its screenshot (or does what it needs of the host)
    // between these two files.
    if (!o.ready.empty()) {
        Report ready;
        ready.Set("ready", 1);
        if (!ready.Write(o.ready)) return "cannot write " + ToUtf8(o.ready);
        if (!WaitFor(60000, [&] { return FileExists(o.go); })) return "no signal to go on within 60 s";
    }

    const ULONGLONG t2 = Now();
    if (!o.tarvel.empty()) {
        failure = tarvel.Close(15000);
        if (!failure.empty()) return failure;
        rep.Set("tarvel_exit", tarvel.Process().ExitCode());
    }
    if (!o.host.empty()) {
        failure = host.Close(15000);
        if (!failure.empty()) return failure;
        rep.Set("host_exit", host.Process().ExitCode());
    }
    rep.Set("close_ms", static_cast<long long>(Now() - t2));
    return {};
}

}  // namespace

int RunScenario(int argc, wchar_t** argv) {
    Options o;
    std::string error;
    Report rep;
    if (!ParseArgs(argc, argv, o, error)) {
        fprintf(stderr, "tarvel-check scenario: %s\n", error.c_str());
        if (!o.report.empty()) {
            rep.Set("result", "fail");
            rep.Set("error", error);
            rep.Write(o.report);
        }
        return 2;
    }
    Host host;
    TarvelApp tarvel;
    rep.Set("driver_pid", static_cast<long long>(GetCurrentProcessId()));
    rep.Write(o.report);
    const std::string failure = Drive(o, rep, host, tarvel);
    // Nothing is left running after a failure.
    tarvel.Kill();
    host.Kill();
    rep.Set("result", failure.empty() ? "ok" : "fail");
    if (!failure.empty()) rep.Set("error", failure);
    rep.Write(o.report);
    if (!failure.empty()) fprintf(stderr, "tarvel-check scenario: %s\n", failure.c_str());
    return failure.empty() ? 0 : 1;
}

}  // namespace tarvel::driver
