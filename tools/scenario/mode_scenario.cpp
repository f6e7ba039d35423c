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
//   tarvel-check.exe scenario --report FILE --tarvel EXE [--host EXE] [--host-arg A]...
//       [--option 0|1|2|3] [--runs N] [--cwd DIR] [--ready FILE --go FILE]
//       [--start-timeout S] [--run-timeout S] [--work-files] [--no-watch]
//
// --no-watch leaves Tarvel unwatched during the runs (the benchmarks measure
// what Tarvel costs the window server); minimized_seen and foreign_windows
// are then not reported.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "support/win32/files.h"
#include "support/win32/process.h"
#include "support/win32/text.h"
#include "tools/scenario/modes.h"
#include "tools/scenario/session.h"

namespace tarvel::driver {

namespace {
using win32::Process;
using win32::ToUtf8;

struct Options {
    std::wstring report, tarvel, host, cwd, ready, go;
    std::vector<std::wstring> host_args;
    int option = 0;
    int runs = 1;
    DWORD start_timeout_ms = 20000;
    DWORD run_timeout_ms = 90000;
    bool work_files = false;
    bool watch = true;  // --no-watch: Tarvel is not watched (for measuring it)
};

bool ParseArgs(int argc, wchar_t** argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        auto value = [&]() -> std::wstring {
            if (i + 1 >= argc) {
                error = "missing value after " + ToUtf8(a);
                return {};
            }
            return argv[++i];
        };
        if (a == L"--report")
            o.report = value();
        else if (a == L"--tarvel")
            o.tarvel = value();
        else if (a == L"--host")
            o.host = value();
        else if (a == L"--host-arg")
            o.host_args.push_back(value());
        else if (a == L"--cwd")
            o.cwd = value();
        else if (a == L"--ready")
            o.ready = value();
        else if (a == L"--go")
            o.go = value();
        else if (a == L"--option")
            o.option = _wtoi(value().c_str());
        else if (a == L"--runs")
            o.runs = _wtoi(value().c_str());
        else if (a == L"--start-timeout")
            o.start_timeout_ms = 1000u * static_cast<DWORD>(_wtoi(value().c_str()));
        else if (a == L"--run-timeout")
            o.run_timeout_ms = 1000u * static_cast<DWORD>(_wtoi(value().c_str()));
        else if (a == L"--work-files")
            o.work_files = true;
        else if (a == L"--no-watch")
            o.watch = false;
        else {
            error = "unknown argument " + ToUtf8(a);
            return false;
        }
        if (!error.empty()) return false;
    }
    if (o.report.empty() || o.tarvel.empty()) {
        error = "--report and --tarvel are needed";
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
    return true;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The steps of one scenario; returns an empty text on success, else what
// went wrong. Programs still running are killed by the caller.
std::string Drive(const Options& o, Report& rep, Process& host, Process& tarvel) {
    const ULONGLONG t0 = Now();
    if (!o.host.empty()) {
        // Its id goes to the report as soon as it is known, so the script
        // can end what a driver that never reports left behind.
        std::string failure = StartHost(host, o.host, o.host_args, o.cwd, o.start_timeout_ms);
        if (host.Started()) {
            rep.Set("host_pid", host.Id());
            rep.Write(o.report);
        }
        if (!failure.empty()) return failure;
        rep.Set("host_ready_ms", static_cast<long long>(Now() - t0));
    }

    const std::wstring dxf = o.cwd + L"\\TARVEL.dxf", csv = o.cwd + L"\\TARVEL.csv";
    if (o.work_files) {
        for (const auto& f : {dxf, csv}) win32::WriteWholeFile(f, "left by an earlier run\n");
    }

    const ULONGLONG t1 = Now();
    TarvelWindow window;
    std::string failure = StartTarvel(tarvel, o.tarvel, o.cwd, o.start_timeout_ms, window);
    if (tarvel.Started()) {
        rep.Set("tarvel_pid", tarvel.Id());
        rep.Write(o.report);
    }
    if (!failure.empty()) return failure;
    rep.Set("tarvel_ready_ms", static_cast<long long>(Now() - t1));

    if (o.option != 0) {
        failure = CheckOption(window.main, o.option);
        if (!failure.empty()) return failure;
        rep.Set("option_checked", "RadioButton" + std::to_string(o.option));
    }

    Observer watch(tarvel.Id(), window.main);
    if (o.watch) watch.Start();
    for (int run = 1; run <= o.runs && failure.empty(); ++run) {
        const ULONGLONG tr = Now();
        watch.RunStarting();
        failure = PressStart(window.start, o.run_timeout_ms);
        if (!failure.empty()) failure = "run " + std::to_string(run) + " " + failure;
        rep.Set("run" + std::to_string(run) + "_ms", static_cast<long long>(Now() - tr));
        if (!tarvel.Running()) failure = "Tarvel.exe ended during run " + std::to_string(run);
        if (!o.host.empty() && !host.Running()) failure = "cadhost.exe ended during run " + std::to_string(run);
    }
    watch.Stop();
    if (o.watch) watch.Look();
    rep.Set("runs_done", o.runs);
    if (o.watch) {
        rep.Set("minimized_seen", watch.MinimizedSeen() ? 1 : 0);
        rep.Set("foreign_windows", watch.Foreign());
    }
    rep.Set("restored", (IsWindowVisible(window.main) && !IsIconic(window.main)) ? 1 : 0);
    if (o.work_files) rep.Set("work_files_left", (FileExists(dxf) ? 1 : 0) + (FileExists(csv) ? 1 : 0));
    if (!failure.empty()) return failure;

    // The caller takes its screenshot between these two files.
    if (!o.ready.empty()) {
        Report ready;
        ready.Set("ready", 1);
        if (!ready.Write(o.ready)) return "cannot write " + ToUtf8(o.ready);
        if (!WaitFor(60000, [&] { return FileExists(o.go); })) return "no screenshot signal within 60 s";
    }

    const ULONGLONG t2 = Now();
    failure = CloseTarvel(tarvel, window.main, 15000);
    if (!failure.empty()) return failure;
    if (!o.host.empty()) {
        failure = CloseHost(host, 15000);
        if (!failure.empty()) return failure;
        rep.Set("host_exit", host.ExitCode());
    }
    rep.Set("tarvel_exit", tarvel.ExitCode());
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
    Process host, tarvel;
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
