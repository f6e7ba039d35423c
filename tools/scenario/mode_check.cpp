// tarvel-check.exe (check): the self-check of the release, for a real Windows.
//
// Started in the unpacked folder, it runs cadhost.exe and Tarvel.exe from
// that folder, presses Tarvel's buttons itself, reads what the host
// received, and prints one row per check and "N passed, M failed" (that
// last line in every language: scripts read it). Exit status 0 only when
// every check passed, 1 when one failed, 2 when it could not check at all
// (a program missing, or a window open that Tarvel would take for AutoCAD:
// nothing is ever typed into a real drawing).
//
//   tarvel-check.exe [--keep] [--lang ja|en]   --keep leaves the work folder in %TEMP%
//
// The user's clipboard is saved before and put back at the end; Tarvel runs
// in a work folder of its own, so no file of the user's is touched.
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/kept_clipboard.h"
#include "support/win32/text.h"
#include "tarvel_version.h"
#include "tools/common/clip_sample.h"
#include "tools/common/files.h"
#include "tools/common/process.h"
#include "tools/common/wait.h"
#include "tools/common/window_list.h"
#include "tools/scenario/console.h"
#include "tools/scenario/host_log.h"
#include "tools/scenario/host_session.h"
#include "tools/scenario/modes.h"
#include "tools/scenario/observer.h"
#include "tools/scenario/report.h"

namespace tarvel::driver {

namespace {

using common::CheckClip;
using common::ClipSample;
using common::Now;
using common::PumpMessages;
using common::PutClip;
using common::WaitFor;
using win32::ToUtf8;

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kRunTimeoutMs = 60000;
constexpr DWORD kCloseTimeoutMs = 15000;
constexpr int kWaitMs = 800;  // one pick left unanswered this long

// ---- output ----

// Control characters shown as in the README: \r, ^C.
std::wstring Shown(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\r')
            out += L"\\r";
        else if (c == L'\x03')
            out += L"^C";
        else
            out += c;
    }
    return out;
}

std::wstring Number(std::size_t n) { return std::to_wstring(n); }

std::wstring Folder(const std::wstring& path) {
    const std::size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? L"." : path.substr(0, at);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// ---- what a check found ----

struct Check {
    explicit Check(std::wstring what) : name(std::move(what)) {}
    std::wstring name;
    bool pass = true;
    std::wstring detail;
    int seen = 0;  // how many times it was looked at
    void Fail(const std::wstring& why) {
        if (pass) detail = why;
        pass = false;
    }
    // A failure the session library told in UTF-8.
    void Fail(const std::string& why) { Fail(win32::FromUtf8(why)); }
    void Saw(const std::wstring& what) {
        ++seen;
        if (pass) detail = what;
    }
};

// Every top-level window that Tarvel would take for AutoCAD's main window,
// by the very tests Tarvel makes.
std::vector<HWND> AcadCandidates() {
    std::vector<HWND> found;
    for (HWND w : common::TopLevelWindows()) {
        if (Acad11ACtrl::TestMainWindow(w).Taken()) found.push_back(w);
    }
    return found;
}

std::wstring Describe(const Console& c, HWND window) {
    return L"\"" + common::Title(window) + L"\" (" + c.Say(L"process ", L"プロセス ") +
           std::to_wstring(common::ProcessOf(window)) + L")";
}

// ---- the sessions ----

struct Session {
    const wchar_t* layout;
    bool ansi;
    int option;        // the tier option checked
    bool nothing_run;  // a second run that sends nothing
};

const Session kSessions[] = {
    {L"docked", false, 2, true},   {L"docked", true, 1, false}, {L"floating", false, 3, false},
    {L"floating", true, 2, false}, {L"text", false, 1, false},  {L"text", true, 3, false},
};

// The tier options with the dimension text each gives.
const wchar_t* const kOptionNames[] = {L"", L"1 (\\P)", L"2 (\\X)", L"3 (1 line)"};
const wchar_t* const kOptionNamesJa[] = {L"", L"1 (\\P)", L"2 (\\X)", L"3 (1 行)"};

// The bottom edge of the demo: four spans of 500 and one of 300, the
// intermediate points picked out of order, one of them after a pause.
std::string WorkedChain() {
    return "pick 0,0\npick 2300,0\npick 1500,0\nwait " + std::to_string(kWaitMs) +
           "\npick 500,0\npick 2000,0\npick 1000,0\nend\npick 1000,-400\n";
}
// Start, end and placement only: nothing to send.
const char kNothingChain[] = "pick 0,0\npick 1000,0\nend\npick 500,-200\n";

std::vector<std::wstring> Expected(int option) {
    const std::wstring tier = option == 1 ? L"\\P" : option == 2 ? L"\\X" : L"";
    return {
        L"dimlinear 0.0000,0.0000,0.0000 2000.0000,0.0000,0.0000 H T 4@500" + tier +
            L"=<>\r1000.0000,-400.0000,0.0000\r",
        L"dimlinear 2000.0000,0.0000,0.0000 2300.0000,0.0000,0.0000 H 1000.0000,-400.0000,0.0000\r",
    };
}

struct Checks {
    explicit Checks(const Console& c)
        : nothing(c.Say(L"a run that sends nothing (3 points)", L"何も送らない実行 (3 点)")),
          minimised(
              c.Say(L"window minimised while a pick waits, then restored", L"点の指示中は最小化、終われば元に戻る")),
          clipboard(c.Say(L"user's clipboard kept (text, private, pictures)",
                          L"利用者のクリップボードが残る (文字、独自形式、図)")),
          ansi(c.Say(L"ANSI host: 8-bit commands, cbData of their bytes",
                     L"ANSI の host: 8 ビットのコマンド、cbData はそのバイト数")),
          windows(
              c.Say(L"no message box, no other window of Tarvel's", L"メッセージ ボックスも他のウィンドウも出ない")),
          closed(c.Say(L"Tarvel and cadhost closed, nothing left running", L"Tarvel と cadhost が閉じ、何も残らない")) {
    }
    std::vector<Check> chains;
    Check nothing;
    Check minimised;
    Check clipboard;
    Check ansi;
    Check windows;
    Check closed;
};

// One press of Start: when, and which records of the host's log it made
// (the host logs a command before the send returns, so the log read right
// after the run holds all of them).
struct Run {
    ULONGLONG start = 0, end = 0;
    std::size_t first = 0, last = 0;  // [first, last) in the log
};

std::vector<LogRecord> RecordsOf(const std::vector<LogRecord>& log, const Run& run) {
    const std::size_t last = run.last < log.size() ? run.last : log.size();
    if (run.first >= last) return {};
    return std::vector<LogRecord>(log.begin() + static_cast<std::ptrdiff_t>(run.first),
                                  log.begin() + static_cast<std::ptrdiff_t>(last));
}

std::vector<std::wstring> DimlinearsIn(const std::vector<LogRecord>& log, const Run& run) {
    std::vector<std::wstring> found;
    for (const LogRecord& r : OfKind(RecordsOf(log, run), "command")) {
        const std::wstring text = r.Text("text");
        if (text.rfind(L"dimlinear", 0) == 0) found.push_back(text);
    }
    return found;
}

// The main window was seen minimised at every look from the first pick
// command of the run to its placement pick, the unanswered pick included.
void CheckMinimised(const Console& c, const std::vector<LogRecord>& log, const std::vector<Observer::Sample>& samples,
                    const Run& run, bool restored, Check& check) {
    long long first_pick = -1, placement = -1, wait = -1;
    for (const LogRecord& r : RecordsOf(log, run)) {
        const long long ms = r.Number("ms");
        if (r.kind == "command" && first_pick < 0 && r.Text("text") == L"\x03ID ") first_pick = ms;
        if (r.kind == "wait") wait = ms;
        if (r.kind == "pick") placement = ms;  // the last pick is the placement
    }
    if (first_pick < 0 || placement < 0 || wait < 0) {
        check.Fail(c.Say(L"the host's log lacks the run's picks", L"host のログに点の指示がありません"));
        return;
    }
    int looks = 0, during_wait = 0;
    for (const Observer::Sample& s : samples) {
        const long long at = static_cast<long long>(s.at);
        if (at < first_pick || at > placement) continue;
        ++looks;
        if (at >= wait && at <= wait + kWaitMs) ++during_wait;
        if (!s.iconic) {
            check.Fail(c.Say(L"shown again ", L"最初の点の指示から ") + std::to_wstring(at - first_pick) +
                       c.Say(L" ms after the first pick command", L" ms で再表示されました"));
            return;
        }
    }
    if (during_wait == 0) {
        check.Fail(c.Say(L"not looked at while the pick waited", L"指示を待つ間に確かめられませんでした"));
        return;
    }
    if (!restored) {
        check.Fail(c.Say(L"not restored after the run", L"実行の後で元に戻りませんでした"));
        return;
    }
    check.Saw(c.Japanese()
                  ? std::to_wstring(looks) + L" 回確認、うち指示待ちの間 " + std::to_wstring(during_wait) + L" 回"
                  : std::to_wstring(looks) + L" looks, " + std::to_wstring(during_wait) +
                        L" during the unanswered pick");
}

// Every command in the host's encoding with its whole cbData; empty when
// so, else what was wrong.
std::wstring WrongCommand(const Console& c, const std::vector<LogRecord>& log, const Session& s) {
    for (const LogRecord& r : OfKind(log, "command")) {
        const std::wstring text = r.Text("text");
        const std::wstring enc = r.Text("enc");
        const long long expected = s.ansi ? static_cast<long long>(win32::ToBytes(std::wstring_view(text)).size()) + 1
                                          : 2 * (static_cast<long long>(text.size()) + 1);
        if (enc != (s.ansi ? L"A" : L"W")) {
            return c.Say(L"a command arrived as ", L"コマンドの形式が ") + enc + L": " + Shown(text);
        }
        if (r.Number("cbData") != expected) {
            return L"cbData " + std::to_wstring(r.Number("cbData")) + c.Say(L" for ", L": ") + Shown(text) +
                   c.Say(L" (expected ", L" (正しくは ") + std::to_wstring(expected) + L")";
        }
    }
    return {};
}

// Puts the user's content on the clipboard and makes sure it stays there.
// Under Wine the clipboard may still be emptied a moment after the process
// that owned it last (the previous session's Tarvel) has ended: the content
// is put there again until it stays.
bool PutUsersClipboard(HWND owner, const ClipSample& sample) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (PutClip(owner, sample)) {
            Sleep(300);
            PumpMessages();
            if (CheckClip(owner, sample) == "same") return true;
        }
        Sleep(700);
    }
    return false;
}

// One host session: runs, then what they left. False when the check must
// stop (another AutoCAD-like window turned up).
bool RunSession(const Console& c, const Session& s, std::size_t index, const std::wstring& folder,
                const std::wstring& work, HWND clip_owner, Checks& checks) {
    Check& chain = checks.chains[index];
    const std::wstring tag = std::to_wstring(index + 1);
    const std::wstring picks = work + L"\\session-" + tag + L".picks";
    const std::wstring log_path = work + L"\\session-" + tag + L".jsonl";
    if (!common::WriteWholeFile(picks, WorkedChain() + (s.nothing_run ? kNothingChain : ""))) {
        chain.Fail(c.Say(L"cannot write ", L"書けません: ") + picks);
        return true;
    }
    const ClipSample sample;
    if (!PutUsersClipboard(clip_owner, sample)) {
        checks.clipboard.Fail(c.Say(L"the user's content could not be put on the clipboard",
                                    L"利用者の内容をクリップボードに置けませんでした"));
    }

    std::vector<std::wstring> args = {L"--picks", picks,          L"--log",   log_path, L"--layout",
                                      s.layout,   L"--log-times", L"--think", L"50"};
    if (s.ansi) args.push_back(L"--ansi");
    Host host;
    TarvelApp tarvel;
    std::string failure = host.Start(folder + L"\\cadhost.exe", args, work, kStartTimeoutMs);
    const std::vector<HWND> candidates = AcadCandidates();
    for (HWND w : candidates) {
        if (common::ProcessOf(w) != host.Pid()) {
            chain.Fail(c.Say(L"another window that Tarvel would take for AutoCAD: ",
                             L"Tarvel が AutoCAD と見なす別のウィンドウがあります: ") +
                       Describe(c, w));
            host.Kill();
            return false;
        }
    }
    if (failure.empty()) failure = tarvel.Start(folder + L"\\Tarvel.exe", work, kStartTimeoutMs);
    if (failure.empty()) failure = tarvel.CheckOption(s.option);
    Run runs[2];
    bool restored = false;
    const HWND main = tarvel.Main();
    Observer watch(tarvel.Pid(), main, true);
    if (failure.empty()) {
        watch.Start();
        for (int r = 0; r < (s.nothing_run ? 2 : 1) && failure.empty(); ++r) {
            runs[r].first = r == 0 ? ReadHostLog(log_path).size() : runs[r - 1].last;
            runs[r].start = Now();
            watch.RunStarting();
            failure = tarvel.PressStart(kRunTimeoutMs);
            runs[r].end = Now();
            runs[r].last = ReadHostLog(log_path).size();
            if (r == 0) restored = IsWindowVisible(main) && !IsIconic(main);
            if (!failure.empty()) failure = "run " + std::to_string(r + 1) + " " + failure;
        }
        watch.Stop();
        watch.Look();
    }
    const std::string clip = CheckClip(clip_owner, sample);

    // Closed as a user closes them; nothing of theirs may stay.
    if (tarvel.Running()) {
        const std::string closing = tarvel.Close(kCloseTimeoutMs);
        if (!closing.empty()) checks.closed.Fail(closing);
    }
    const std::string closing = host.Close(kCloseTimeoutMs);
    if (!closing.empty()) checks.closed.Fail(closing);
    const DWORD ids[] = {tarvel.Pid(), host.Pid()};
    tarvel.Kill();
    host.Kill();
    for (DWORD id : ids) {
        if (id && !common::TopLevelWindowsOf(id).empty()) {
            checks.closed.Fail(c.Say(L"a window was left open", L"ウィンドウが残りました"));
        }
    }
    if (checks.closed.pass) checks.closed.Saw(c.Say(L"all closed by WM_CLOSE", L"すべて WM_CLOSE で閉じました"));

    if (!failure.empty()) {
        chain.Fail(failure);
        return true;
    }
    const std::vector<LogRecord> log = ReadHostLog(log_path);
    const std::vector<std::wstring> sent = DimlinearsIn(log, runs[0]);
    const std::vector<std::wstring> expected = Expected(s.option);
    std::wstring wrong;
    if (sent != expected) {
        wrong = std::to_wstring(sent.size()) + c.Say(L" dimlinear command(s)", L" 件の dimlinear");
        for (std::size_t i = 0; i < sent.size() && i < expected.size(); ++i) {
            if (sent[i] != expected[i]) {
                wrong += c.Say(L"; got ", L"。受信 ") + Shown(sent[i]) + c.Say(L", expected ", L"、正しくは ") +
                         Shown(expected[i]);
                break;
            }
        }
    }
    const std::wstring encoding = WrongCommand(c, log, s);
    if (s.ansi) {
        if (encoding.empty()) {
            checks.ansi.Saw(c.Say(L"every command 8-bit, whole", L"すべて 8 ビット、欠けなし"));
        } else {
            checks.ansi.Fail(encoding);
        }
    }
    if (wrong.empty()) wrong = encoding;
    if (wrong.empty()) {
        wchar_t took[32];
        std::swprintf(took, 32, L"%.1f", static_cast<double>(runs[0].end - runs[0].start) / 1000.0);
        chain.Saw(c.Japanese() ? std::wstring(L"dimlinear 2 件とも正確 (実行 ") + took + L" 秒)"
                               : std::wstring(L"both dimlinear commands exact (run ") + took + L" s)");
    } else {
        chain.Fail(wrong);
    }
    if (s.nothing_run) {
        const std::vector<std::wstring> none = DimlinearsIn(log, runs[1]);
        if (none.empty()) {
            checks.nothing.Saw(c.Say(L"no dimlinear command", L"dimlinear なし"));
        } else {
            checks.nothing.Fail(std::to_wstring(none.size()) + c.Say(L" dimlinear command(s): ", L" 件の dimlinear: ") +
                                Shown(none[0]));
        }
    }
    CheckMinimised(c, log, watch.Samples(), runs[0], restored, checks.minimised);
    if (clip == "same") {
        checks.clipboard.Saw(c.Say(L"the same after every run", L"どの実行の後も同じ"));
    } else {
        checks.clipboard.Fail(clip);
    }
    const std::string foreign = watch.Foreign();
    if (foreign.empty()) {
        checks.windows.Saw(c.Say(L"none seen", L"出ませんでした"));
    } else {
        checks.windows.Fail(foreign);
    }
    return true;
}

void RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") DeleteFileW((folder + L"\\" + name).c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

int RunCheck(int argc, wchar_t** argv, Console& c) {
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--keep") {
            keep = true;
        } else if (a == L"--lang" && i + 1 < argc && c.Choose(argv[i + 1])) {
            ++i;
        } else {
            c.Print(
                c.Say(L"usage: tarvel-check.exe [--keep] [--lang ja|en]\n"
                      L"Checks Tarvel.exe against cadhost.exe of the same folder. Close AutoCAD first.\n"
                      L"tarvel-check.exe --probe looks at the AutoCAD that is open and tells whether Tarvel "
                      L"fits it.\n",
                      L"使い方: tarvel-check.exe [--keep] [--lang ja|en]\n"
                      L"同じフォルダの cadhost.exe を相手に Tarvel.exe を確かめます。先に AutoCAD を閉じてください。\n"
                      L"tarvel-check.exe --probe は、開いている AutoCAD を見て Tarvel が使えるかを表示します。\n"));
            return a == L"--help" || a == L"/?" ? 0 : 2;
        }
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring folder = Folder(self);
    for (const wchar_t* exe : {L"Tarvel.exe", L"cadhost.exe"}) {
        if (!Exists(folder + L"\\" + exe)) {
            c.Print(L"tarvel-check: " + std::wstring(exe) +
                    c.Say(L" is missing in ", L" が次のフォルダにありません: ") + folder +
                    c.Say(L": unpack the whole zip and start tarvel-check.exe in its folder.\n",
                          L"\nzip をすべて展開し、そのフォルダの tarvel-check.exe を起動してください。\n"));
            return 2;
        }
    }
    const std::vector<HWND> open = AcadCandidates();
    if (!open.empty()) {
        c.Print(
            c.Say(L"tarvel-check: a window that Tarvel would take for AutoCAD is open: ",
                  L"tarvel-check: Tarvel が AutoCAD と見なすウィンドウが開いています: ") +
            Describe(c, open.front()) +
            c.Say(L".\nClose it (and every AutoCAD) first: the check types commands into the window Tarvel "
                  L"finds.\nTo look at your AutoCAD without typing into it: tarvel-check.exe --probe\n",
                  L"\n先にそのウィンドウ (とすべての AutoCAD) を閉じてください。この確認は Tarvel が見つけた"
                  L"ウィンドウにコマンドを入力します。\nAutoCAD に入力せずに見るだけなら: tarvel-check.exe --probe\n"));
        return 2;
    }

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring work = std::wstring(temp) + L"tarvel-check-" + std::to_wstring(GetCurrentProcessId());
    if (!CreateDirectoryW(work.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        c.Print(c.Say(L"tarvel-check: cannot make the work folder ", L"tarvel-check: 作業フォルダを作れません: ") +
                work + L"\n");
        return 2;
    }

    // The user's own clipboard is kept the way Tarvel keeps it, and goes
    // back at the end over the checks' own content.
    const HWND owner = clipboard::OwnerWindow();
    clipboard::KeptClipboard users(owner, 0, 3000, 10000);
    users.Keep();

    c.Print(c.Say(L"Tarvel " TARVEL_VERSION_W L" self-check in ", L"Tarvel " TARVEL_VERSION_W L" の動作確認: ") +
            folder + L"\n");
    Checks checks(c);
    for (const Session& s : kSessions) {
        const std::wstring layout = c.Japanese() ? (s.layout == std::wstring(L"docked")     ? L"ドッキング"
                                                    : s.layout == std::wstring(L"floating") ? L"フローティング"
                                                                                            : L"テキスト ウィンドウ")
                                                 : s.layout;
        checks.chains.push_back(Check{c.Japanese()
                                          ? L"作図例、" + layout + L"、" + (s.ansi ? L"ANSI" : L"Unicode") +
                                                L" の host、オプション " + kOptionNamesJa[s.option]
                                          : L"worked chain, " + layout + L", " + (s.ansi ? L"ANSI" : L"Unicode") +
                                                L" host, option " + kOptionNames[s.option]});
    }
    bool refused = false;
    for (std::size_t i = 0; i < std::size(kSessions) && !refused; ++i) {
        refused = !RunSession(c, kSessions[i], i, folder, work, owner, checks);
    }

    users.PutBackOverAnything();

    std::vector<const Check*> rows;
    for (const Check& check : checks.chains) rows.push_back(&check);
    for (const Check* check :
         {&checks.nothing, &checks.minimised, &checks.clipboard, &checks.ansi, &checks.windows, &checks.closed}) {
        rows.push_back(check);
    }
    int passed = 0, failed = 0;
    c.Print(Padded(L" #", 4) + Padded(c.Say(L"check", L"確認"), 60) + Padded(c.Say(L"result", L"結果"), 8) +
            c.Say(L"detail\n", L"詳細\n"));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Check& check = *rows[i];
        const bool pass = check.pass && check.seen > 0;
        (pass ? passed : failed)++;
        const std::wstring detail =
            check.seen == 0 && check.pass ? std::wstring(c.Say(L"not reached", L"未到達")) : check.detail;
        c.Print(Padded(Number(i + 1), 4) + Padded(check.name, 60) +
                Padded(pass ? c.Say(L"pass", L"合格") : c.Say(L"FAIL", L"不合格"), 8) + detail + L"\n");
    }
    c.Print(std::to_wstring(passed) + L" passed, " + std::to_wstring(failed) + L" failed\n");
    if (failed == 0 && !keep) {
        RemoveFolder(work);
    } else {
        c.Print(c.Say(L"The host's logs are in ", L"host のログの場所: ") + work + L"\n");
    }
    if (refused) return 2;
    return failed == 0 ? 0 : 1;
}

}  // namespace tarvel::driver
