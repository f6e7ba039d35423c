// tarvel-check.exe (check): the self-check of the release, for a real Windows.
//
// Started in the unpacked folder, it runs cadhost.exe and Tarvel.exe from
// that folder, presses Tarvel's buttons itself, reads what the host
// received, and prints one row per check and "N passed, M failed". Exit
// status 0 only when every check passed, 1 when one failed, 2 when it could
// not check at all (a program missing, or a window open that Tarvel would
// take for AutoCAD: nothing is ever typed into a real drawing).
//
//   tarvel-check.exe [--keep]     --keep leaves the work folder in %TEMP%
//
// The user's clipboard is saved before and put back at the end; Tarvel runs
// in a work folder of its own, so no file of the user's is touched.
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/clipboard_store.h"
#include "acadlink/link_testing.h"
#include "support/win32/files.h"
#include "support/win32/process.h"
#include "support/win32/text.h"
#include "support/win32/windows.h"
#include "tools/scenario/host_log.h"
#include "tools/scenario/modes.h"
#include "tools/scenario/session.h"
#include "tools/scenario/user_clipboard.h"

namespace tarvel::driver {

namespace {

using win32::Process;
using win32::ToUtf8;

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kRunTimeoutMs = 60000;
constexpr DWORD kCloseTimeoutMs = 15000;
constexpr int kWaitMs = 800;  // one pick left unanswered this long

// ---- output ----

void Print(const std::string& utf8) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (out && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
        const std::wstring text = win32::FromUtf8(utf8);
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else if (out && out != INVALID_HANDLE_VALUE) {
        WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

// The text and at least two blanks, filled up to `width`.
std::string Padded(std::string text, std::size_t width) {
    text.append(text.size() + 2 < width ? width - text.size() : 2, ' ');
    return text;
}

// Control characters shown as in the README: \r, ^C.
std::string Shown(const std::wstring& text) {
    std::string out;
    for (char c : ToUtf8(text)) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\x03')
            out += "^C";
        else
            out += c;
    }
    return out;
}

std::wstring Folder(const std::wstring& path) {
    const std::size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? L"." : path.substr(0, at);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// ---- what a check found ----

struct Check {
    explicit Check(std::string what) : name(std::move(what)) {}
    std::string name;
    bool pass = true;
    std::string detail;
    int seen = 0;  // how many times it was looked at
    void Fail(const std::string& why) {
        if (pass) detail = why;
        pass = false;
    }
    void Saw(const std::string& what) {
        ++seen;
        if (pass) detail = what;
    }
};

// Every top-level window that Tarvel would take for AutoCAD's main window,
// by the very test Tarvel makes.
std::vector<HWND> AcadCandidates() {
    std::vector<HWND> found;
    for (HWND w : win32::TopLevelWindows()) {
        Acad11ACtrl::seams::ResetForTests();
        if (Acad11ACtrl::MatchAcadWindow(w, 0) == 0) found.push_back(w);
    }
    Acad11ACtrl::seams::ResetForTests();
    return found;
}

std::string Describe(HWND window) {
    return "\"" + ToUtf8(win32::Title(window)) + "\" (process " + std::to_string(win32::ProcessOf(window)) + ")";
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
const char* const kOptionNames[] = {"", "option 1 (\\P)", "option 2 (\\X)", "option 3 (1 line)"};

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
    std::vector<Check> chains;
    Check nothing{"a run that sends nothing (3 points)"};
    Check minimised{"window minimised while a pick waits, then restored"};
    Check clipboard{"user's clipboard kept (text, private, pictures)"};
    Check ansi{"ANSI host: 8-bit commands, cbData of their bytes"};
    Check windows{"no message box, no other window of Tarvel's"};
    Check closed{"Tarvel and cadhost closed, nothing left running"};
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
void CheckMinimised(const std::vector<LogRecord>& log, const std::vector<Observer::Sample>& samples, const Run& run,
                    bool restored, Check& check) {
    long long first_pick = -1, placement = -1, wait = -1;
    for (const LogRecord& r : RecordsOf(log, run)) {
        const long long ms = r.Number("ms");
        if (r.kind == "command" && first_pick < 0 && r.Text("text") == L"\x03ID ") first_pick = ms;
        if (r.kind == "wait") wait = ms;
        if (r.kind == "pick") placement = ms;  // the last pick is the placement
    }
    if (first_pick < 0 || placement < 0 || wait < 0) {
        check.Fail("the host's log lacks the run's picks");
        return;
    }
    int looks = 0, during_wait = 0;
    for (const Observer::Sample& s : samples) {
        const long long at = static_cast<long long>(s.at);
        if (at < first_pick || at > placement) continue;
        ++looks;
        if (at >= wait && at <= wait + kWaitMs) ++during_wait;
        if (!s.iconic) {
            check.Fail("shown again " + std::to_string(at - first_pick) + " ms after the first pick command");
            return;
        }
    }
    if (during_wait == 0) {
        check.Fail("not looked at while the pick waited");
        return;
    }
    if (!restored) {
        check.Fail("not restored after the run");
        return;
    }
    check.Saw(std::to_string(looks) + " looks, " + std::to_string(during_wait) + " during the unanswered pick");
}

void CheckCommands(const std::vector<LogRecord>& log, const Session& s, Check& ansi, std::string& wrong) {
    for (const LogRecord& r : OfKind(log, "command")) {
        const std::wstring text = r.Text("text");
        const std::wstring enc = r.Text("enc");
        const long long expected = s.ansi ? static_cast<long long>(win32::ToBytes(std::wstring_view(text)).size()) + 1
                                          : 2 * (static_cast<long long>(text.size()) + 1);
        if (enc != (s.ansi ? L"A" : L"W")) {
            wrong = "a command arrived as " + ToUtf8(enc) + ": " + Shown(text);
        } else if (r.Number("cbData") != expected) {
            wrong = "cbData " + std::to_string(r.Number("cbData")) + " for " + Shown(text) + " (expected " +
                    std::to_string(expected) + ")";
        }
        if (!wrong.empty()) break;
    }
    if (s.ansi) {
        if (wrong.empty()) {
            ansi.Saw("every command 8-bit, whole");
        } else {
            ansi.Fail(wrong);
        }
    }
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
bool RunSession(const Session& s, std::size_t index, const std::wstring& folder, const std::wstring& work,
                HWND clip_owner, Checks& checks) {
    const std::string layout = ToUtf8(s.layout);
    Check& chain = checks.chains[index];
    const std::wstring tag = std::to_wstring(index + 1);
    const std::wstring picks = work + L"\\session-" + tag + L".picks";
    const std::wstring log_path = work + L"\\session-" + tag + L".jsonl";
    if (!win32::WriteWholeFile(picks, WorkedChain() + (s.nothing_run ? kNothingChain : ""))) {
        chain.Fail("cannot write " + ToUtf8(picks));
        return true;
    }
    const ClipSample sample;
    if (!PutUsersClipboard(clip_owner, sample)) {
        checks.clipboard.Fail("the user's content could not be put on the clipboard");
    }

    std::vector<std::wstring> args = {L"--picks", picks,          L"--log",   log_path, L"--layout",
                                      s.layout,   L"--log-times", L"--think", L"50"};
    if (s.ansi) args.push_back(L"--ansi");
    Process host, tarvel;
    std::string failure = StartHost(host, folder + L"\\cadhost.exe", args, work, kStartTimeoutMs);
    const std::vector<HWND> candidates = AcadCandidates();
    for (HWND w : candidates) {
        if (win32::ProcessOf(w) != host.Id()) {
            chain.Fail("another window that Tarvel would take for AutoCAD: " + Describe(w));
            host.Kill();
            return false;
        }
    }
    TarvelWindow window;
    if (failure.empty()) failure = StartTarvel(tarvel, folder + L"\\Tarvel.exe", work, kStartTimeoutMs, window);
    if (failure.empty()) failure = CheckOption(window.main, s.option);
    Run runs[2];
    bool restored = false;
    Observer watch(tarvel.Id(), window.main, true);
    if (failure.empty()) {
        watch.Start();
        for (int r = 0; r < (s.nothing_run ? 2 : 1) && failure.empty(); ++r) {
            runs[r].first = r == 0 ? ReadHostLog(log_path).size() : runs[r - 1].last;
            runs[r].start = Now();
            watch.RunStarting();
            failure = PressStart(window.start, kRunTimeoutMs);
            runs[r].end = Now();
            runs[r].last = ReadHostLog(log_path).size();
            if (r == 0) restored = IsWindowVisible(window.main) && !IsIconic(window.main);
            if (!failure.empty()) failure = "run " + std::to_string(r + 1) + " " + failure;
        }
        watch.Stop();
        watch.Look();
    }
    const std::string clip = CheckClip(clip_owner, sample);

    // Closed as a user closes them; nothing of theirs may stay.
    if (tarvel.Running()) {
        const std::string closing = CloseTarvel(tarvel, window.main, kCloseTimeoutMs);
        if (!closing.empty()) checks.closed.Fail(closing);
    }
    const std::string closing = CloseHost(host, kCloseTimeoutMs);
    if (!closing.empty()) checks.closed.Fail(closing);
    const DWORD ids[] = {tarvel.Id(), host.Id()};
    tarvel.Kill();
    host.Kill();
    for (DWORD id : ids) {
        if (id && !win32::TopLevelWindowsOf(id).empty()) checks.closed.Fail("a window was left open");
    }
    if (checks.closed.pass) checks.closed.Saw("all closed by WM_CLOSE");

    if (!failure.empty()) {
        chain.Fail(failure);
        return true;
    }
    const std::vector<LogRecord> log = ReadHostLog(log_path);
    const std::vector<std::wstring> sent = DimlinearsIn(log, runs[0]);
    const std::vector<std::wstring> expected = Expected(s.option);
    std::string wrong;
    if (sent != expected) {
        wrong = std::to_string(sent.size()) + " dimlinear command(s)";
        for (std::size_t i = 0; i < sent.size() && i < expected.size(); ++i) {
            if (sent[i] != expected[i]) {
                wrong += "; got " + Shown(sent[i]) + ", expected " + Shown(expected[i]);
                break;
            }
        }
    }
    CheckCommands(log, s, checks.ansi, wrong);
    if (wrong.empty()) {
        char took[32];
        std::snprintf(took, sizeof took, "%.1f s", static_cast<double>(runs[0].end - runs[0].start) / 1000.0);
        chain.Saw(std::string("both dimlinear commands exact (run ") + took + ")");
    } else {
        chain.Fail(wrong);
    }
    if (s.nothing_run) {
        const std::vector<std::wstring> none = DimlinearsIn(log, runs[1]);
        if (none.empty()) {
            checks.nothing.Saw("no dimlinear command");
        } else {
            checks.nothing.Fail(std::to_string(none.size()) + " dimlinear command(s): " + Shown(none[0]));
        }
    }
    CheckMinimised(log, watch.Samples(), runs[0], restored, checks.minimised);
    if (clip == "same") {
        checks.clipboard.Saw("the same after every run");
    } else {
        checks.clipboard.Fail(clip);
    }
    const std::string foreign = watch.Foreign();
    if (foreign.empty()) {
        checks.windows.Saw("none seen");
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

int RunCheck(int argc, wchar_t** argv) {
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--keep") {
            keep = true;
        } else {
            Print(
                "usage: tarvel-check.exe [--keep]\n"
                "Checks Tarvel.exe against cadhost.exe of the same folder. Close AutoCAD first.\n"
                "(tarvel-check.exe scenario ... and faults ... drive the project's own tests.)\n");
            return a == L"--help" || a == L"/?" ? 0 : 2;
        }
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring folder = Folder(self);
    for (const wchar_t* exe : {L"Tarvel.exe", L"cadhost.exe"}) {
        if (!Exists(folder + L"\\" + exe)) {
            Print("tarvel-check: " + ToUtf8(exe) + " is missing in " + ToUtf8(folder) +
                  ": unpack the whole zip and start tarvel-check.exe in its folder.\n");
            return 2;
        }
    }
    const std::vector<HWND> open = AcadCandidates();
    if (!open.empty()) {
        Print("tarvel-check: a window that Tarvel would take for AutoCAD is open: " + Describe(open.front()) +
              ".\nClose it (and every AutoCAD) first: the check types commands into the window Tarvel finds.\n");
        return 2;
    }

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring work = std::wstring(temp) + L"tarvel-check-" + std::to_wstring(GetCurrentProcessId());
    if (!CreateDirectoryW(work.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        Print("tarvel-check: cannot make the work folder " + ToUtf8(work) + "\n");
        return 2;
    }

    // The user's own clipboard goes back at the end.
    const HWND owner = clipboard::OwnerWindow();
    clipboard::SavedClipboard users;
    bool saved = false;
    if (const win32::ClipboardOpen clip = win32::OpenClipboardRetrying(owner, 3000)) {
        users = clipboard::SaveOpenClipboard();
        saved = true;
    }

    Print("Tarvel self-check in " + ToUtf8(folder) + "\n");
    Checks checks;
    for (const Session& s : kSessions) {
        checks.chains.push_back(Check{std::string("worked chain, ") + ToUtf8(s.layout) + ", " +
                                      (s.ansi ? "ANSI" : "Unicode") + " host, " + kOptionNames[s.option]});
    }
    bool refused = false;
    for (std::size_t i = 0; i < std::size(kSessions) && !refused; ++i) {
        refused = !RunSession(kSessions[i], i, folder, work, owner, checks);
    }

    if (saved) {
        if (const win32::ClipboardOpen clip = win32::OpenClipboardRetrying(owner, 3000)) {
            clipboard::RestoreOpenClipboard(users);
        }
    }

    std::vector<const Check*> rows;
    for (const Check& c : checks.chains) rows.push_back(&c);
    for (const Check* c :
         {&checks.nothing, &checks.minimised, &checks.clipboard, &checks.ansi, &checks.windows, &checks.closed}) {
        rows.push_back(c);
    }
    int passed = 0, failed = 0;
    Print(Padded(" #", 4) + Padded("check", 52) + Padded("result", 8) + "detail\n");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Check& c = *rows[i];
        const bool pass = c.pass && c.seen > 0;
        (pass ? passed : failed)++;
        const std::string detail = c.seen == 0 && c.pass ? "not reached" : c.detail;
        Print(Padded(std::to_string(i + 1), 4) + Padded(c.name, 52) + Padded(pass ? "pass" : "FAIL", 8) + detail +
              "\n");
    }
    Print(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed\n");
    if (failed == 0 && !keep) {
        RemoveFolder(work);
    } else {
        Print("The host's logs are in " + ToUtf8(work) + "\n");
    }
    if (refused) return 2;
    return failed == 0 ? 0 : 1;
}

}  // namespace tarvel::driver
