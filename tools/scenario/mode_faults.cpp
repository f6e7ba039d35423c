// tarvel-check.exe faults: two presses of Tarvel's Start against a scripted
// CAD host with a fault, and what each left behind.
//
//   tarvel-check.exe faults --report FILE --tarvel EXE --host EXE --cwd DIR
//       [--host-arg A]...          the first host's arguments (the fault)
//       [--second-host-arg A]...   a fresh host's arguments for the second run
//       [--second same|fresh]      the second run against the first host, if
//                                  it is still there, or always a fresh one
//       [--clip-text T --clip-format NAME --clip-data D]
//       [--run-timeout S] [--start-timeout S]
//       [--with EXE [--with-arg A]...]  another program, started just before
//                                  the first run (a clipboard holder, say)
//       [--with-owns 1]            wait until the --with program owns the clipboard
//       [--second-after-with 1]    the second run once the --with program has ended
//
// Before the first run the user's clipboard gets a text, a registered
// format and four pictures; after each run the driver looks whether all are
// still there. While a run is under way the observer takes any message box
// Tarvel's process shows: its caption and text go to the report, the main
// window's state at that moment too, and OK is pressed. Times are tick
// counts, the clock every process shares. Every wait is bounded; whatever
// still runs at the end is ended by its process handle. The report is
// key=value lines, UTF-8, written at the end and after every step.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/win32/text.h"
#include "tools/common/clip_sample.h"
#include "tools/common/process.h"
#include "tools/common/wait.h"
#include "tools/common/window_list.h"
#include "tools/scenario/arguments.h"
#include "tools/scenario/host_session.h"
#include "tools/scenario/modes.h"
#include "tools/scenario/observer.h"
#include "tools/scenario/report.h"

namespace tarvel::driver {

namespace {

using common::CheckClip;
using common::ClipSample;
using common::Escaped;
using common::Now;
using common::Process;
using common::PumpMessages;
using common::PutClip;
using common::WaitFor;
using win32::ToUtf8;

struct Options {
    std::wstring report, tarvel, host, cwd, with;
    std::vector<std::wstring> host_args, second_args, with_args;
    bool second_fresh = true;
    ClipSample clip{L"利用者の文 user text", L"Tarvel Fault Test Format", "user-bytes-0123", true};
    bool with_owns = false;
    bool second_after_with = false;
    DWORD run_timeout_ms = 120000, start_timeout_ms = 30000;
};

bool Parse(int argc, wchar_t** argv, Options& o, std::string& error) {
    std::wstring second = L"fresh", with_owns, second_after_with;
    ArgumentTable table;
    table.Text(L"--report", o.report)
        .Text(L"--tarvel", o.tarvel)
        .Text(L"--host", o.host)
        .Text(L"--cwd", o.cwd)
        .Texts(L"--host-arg", o.host_args)
        .Texts(L"--second-host-arg", o.second_args)
        .Text(L"--second", second)
        .Text(L"--clip-text", o.clip.text)
        .Text(L"--clip-format", o.clip.format_name)
        .Each(L"--clip-data", [&](const std::wstring& v) { o.clip.data = ToUtf8(v); })
        .Text(L"--with-owns", with_owns)
        .Text(L"--second-after-with", second_after_with)
        .Seconds(L"--run-timeout", o.run_timeout_ms)
        .Seconds(L"--start-timeout", o.start_timeout_ms)
        .Text(L"--with", o.with)
        .Texts(L"--with-arg", o.with_args);
    if (!table.Read(argc, argv, error)) return false;
    o.second_fresh = second != L"same";
    o.with_owns = with_owns == L"1";
    o.second_after_with = second_after_with == L"1";
    if (o.report.empty() || o.tarvel.empty() || o.host.empty()) {
        error = "--report, --tarvel and --host are needed";
        return false;
    }
    return true;
}

class FaultRuns {
public:
    FaultRuns(const Options& o, HWND owner) : o_(o), owner_(owner) {}

    std::string Drive();
    void EndAll() {
        with_.Kill();
        tarvel_.Kill();
        host1_.Kill();
        host2_.Kill();
    }
    Report& report() { return rep_; }

private:
    void Write() { rep_.Write(o_.report); }
    std::string Run(int run);
    void ReportBoxes(const std::string& prefix, const Observer& watch);

    const Options& o_;
    HWND owner_;
    Report rep_;
    Host host1_, host2_;
    TarvelApp tarvel_;
    Process with_;
    Host* host_ = &host1_;
};

void FaultRuns::ReportBoxes(const std::string& prefix, const Observer& watch) {
    const std::vector<Observer::Box> boxes = watch.Boxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const std::string k = prefix + "box" + std::to_string(i + 1);
        rep_.Set(k + "_caption", Escaped(boxes[i].caption));
        rep_.Set(k + "_text", Escaped(boxes[i].text));
        rep_.Set(k + "_at", static_cast<long long>(boxes[i].at));
        rep_.Set(k + "_main_iconic", boxes[i].main_iconic ? 1 : 0);
        rep_.Set(k + "_owner_is_tarvel", boxes[i].owned_by_process ? 1 : 0);
    }
    rep_.Set(prefix + "boxes", static_cast<long long>(boxes.size()));
}

std::string FaultRuns::Run(int run) {
    const std::string r = "run" + std::to_string(run) + "_";
    if (run == 2) {
        if (o_.second_after_with && with_.Started()) {
            if (!with_.WaitExit(60000)) return "the program of --with did not end before the second run";
            rep_.Set("with_ended", static_cast<long long>(Now()));
        }
        const bool fresh = o_.second_fresh || !host1_.Running();
        rep_.Set("run2_fresh_host", fresh ? 1 : 0);
        const ULONGLONG t = Now();
        if (fresh) {
            if (host1_.Running() && !host1_.Close(30000).empty()) host1_.Kill();
            const std::string failure = host2_.Start(o_.host, o_.second_args, o_.cwd, 60000);
            if (host2_.Process().Started()) rep_.Set("host2_pid", host2_.Pid());
            if (!failure.empty()) return "the second host: " + failure;
            host_ = &host2_;
        } else if (!host_->WaitIdle(60000)) {
            return "the host was not idle before the second run";
        }
        rep_.Set("run2_host_idle_wait_ms", static_cast<long long>(Now() - t));
    } else {
        // Under Wine the clipboard may still be emptied a moment after the
        // process that owned it last has ended (the programs of an earlier
        // case): put the user's content there again until it stays, so what
        // the run finds is what the user left.
        int puts = 1;
        while (CheckClip(owner_, o_.clip) != "same" && puts < 5) {
            if (!PutClip(owner_, o_.clip)) return "the user's clipboard content could not be put there";
            ++puts;
            Sleep(1500);
        }
        rep_.Set("clip_puts", puts);
    }
    rep_.Set(r + "clip_before", CheckClip(owner_, o_.clip));
    Observer watch(tarvel_.Pid(), tarvel_.Main(), true);
    watch.Start();
    if (run == 1 && !o_.with.empty()) {
        if (!with_.Start(o_.with, o_.with_args, o_.cwd)) return "the program of --with did not start";
        rep_.Set("with_started", static_cast<long long>(Now()));
        // Taking the clipboard tells its owner, the driver's window, which
        // must answer meanwhile.
        if (o_.with_owns && !WaitFor(8000, [&] {
                PumpMessages();
                return common::ProcessOf(GetClipboardOwner()) == with_.Id();
            })) {
            return "the program of --with did not take the clipboard";
        }
        rep_.Set("with_owns", static_cast<long long>(Now()));
    }
    const ULONGLONG t0 = Now();
    rep_.Set(r + "start", static_cast<long long>(t0));
    Write();
    watch.RunStarting();
    const bool returned = tarvel_.PressStart(o_.run_timeout_ms).empty();
    const ULONGLONG t1 = Now();
    watch.Stop();
    ReportBoxes(r, watch);
    const HWND main = tarvel_.Main();
    rep_.Set(r + "end", static_cast<long long>(t1));
    rep_.Set(r + "ms", static_cast<long long>(t1 - t0));
    rep_.Set(r + "returned", returned ? 1 : 0);
    rep_.Set(r + "tarvel_running", tarvel_.Running() ? 1 : 0);
    rep_.Set(r + "host_running", host_->Running() ? 1 : 0);
    rep_.Set(r + "main_iconic", IsIconic(main) ? 1 : 0);
    rep_.Set(r + "main_visible", IsWindowVisible(main) ? 1 : 0);
    rep_.Set(r + "clip_after", CheckClip(owner_, o_.clip));
    Write();
    if (!returned) return "run " + std::to_string(run) + " did not end within the run timeout";
    if (!tarvel_.Running()) return "Tarvel.exe ended during run " + std::to_string(run);
    if (run == 1 && IsIconic(main)) {
        // A run that ended in an error leaves the window minimised; the user
        // restores it before pressing Start again.
        ShowWindow(main, SW_RESTORE);
    }
    return {};
}

std::string FaultRuns::Drive() {
    rep_.Set("t_driver", static_cast<long long>(Now()));
    if (!PutClip(owner_, o_.clip)) return "the user's clipboard content could not be put there";
    rep_.Set("clip_before", CheckClip(owner_, o_.clip));

    std::string failure = host1_.Start(o_.host, o_.host_args, o_.cwd, o_.start_timeout_ms);
    if (host1_.Process().Started()) rep_.Set("host1_pid", host1_.Pid());
    if (!failure.empty()) return "the first host: " + failure;
    rep_.Set("t_host1_idle", static_cast<long long>(Now()));

    failure = tarvel_.Start(o_.tarvel, o_.cwd, o_.start_timeout_ms);
    if (tarvel_.Process().Started()) rep_.Set("tarvel_pid", tarvel_.Pid());
    if (!failure.empty()) return failure;
    rep_.Set("t_tarvel_ready", static_cast<long long>(Now()));
    Write();

    for (int run = 1; run <= 2 && failure.empty(); ++run) failure = Run(run);
    if (!failure.empty()) return failure;

    if (with_.Started()) {
        if (!with_.WaitExit(60000)) return "the program of --with did not end";
        rep_.Set("with_exit", static_cast<long long>(with_.ExitCode()));
    }
    rep_.Set("t_close", static_cast<long long>(Now()));
    // Tarvel still answers. It is then ended by its handle: closing it costs
    // Wine seconds without a window manager and tells nothing here. The
    // driver takes the clipboard over first, so the end of Tarvel, which
    // owns it since its last restore, does not disturb it.
    DWORD_PTR answer = 0;
    rep_.Set("tarvel_answers",
             SendMessageTimeoutW(tarvel_.Main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer) ? 1 : 0);
    PutClip(owner_, o_.clip);
    tarvel_.Kill();
    rep_.Set("t_tarvel_gone", static_cast<long long>(Now()));
    for (Host* h : {&host1_, &host2_}) {
        if (!h->Close(30000).empty()) return "a host did not end within 30 s of WM_CLOSE";
    }
    rep_.Set("t_hosts_gone", static_cast<long long>(Now()));
    return {};
}

}  // namespace

int RunFaults(int argc, wchar_t** argv) {
    Options o;
    std::string error;
    if (!Parse(argc, argv, o, error)) {
        std::fprintf(stderr, "tarvel-check faults: %s\n", error.c_str());
        return 2;
    }
    HWND owner = CreateWindowW(L"STATIC", L"tarvel-check", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    FaultRuns runs(o, owner);
    const std::string failure = runs.Drive();
    runs.EndAll();
    Report& rep = runs.report();
    rep.Set("result", failure.empty() ? "ok" : "fail");
    if (!failure.empty()) rep.Set("error", failure);
    rep.Write(o.report);
    if (owner) DestroyWindow(owner);
    if (!failure.empty()) std::fprintf(stderr, "tarvel-check faults: %s\n", failure.c_str());
    return failure.empty() ? 0 : 1;
}

}  // namespace tarvel::driver
