// tarvel-check.exe --probe: whether Tarvel fits the AutoCAD that is open,
// found by looking only, for a user who wants to know before he tries it on
// a drawing.
//
//   tarvel-check.exe --probe [--lang ja|en]
//
// It finds AutoCAD's windows with the CAD link's own search, run on a state
// of its own, reads the prompt line with one bounded WM_GETTEXT, and
// compares AutoCAD's integrity level with its own. It sends AutoCAD no
// command (WM_COPYDATA) and no WM_COMMAND, paints nothing and leaves the
// clipboard alone. Every window whose title begins like AutoCAD's but which
// Tarvel would not take is listed with the test it fails. Exit status: 0
// when Tarvel would find the main window, the prompt line and the text
// window (a missing history pane is a warning); 1 when a window like
// AutoCAD's is there but something Tarvel needs is missing, or AutoCAD runs
// with more privileges than this program; 2 when no window looks like
// AutoCAD's. The output is Japanese or English as the user's Windows is
// (--lang chooses).
#include <windows.h>

#include <string>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "support/errors.h"
#include "support/win32/owner.h"
#include "support/win32/text.h"
#include "tarvel_version.h"
#include "tools/common/window_list.h"
#include "tools/scenario/console.h"
#include "tools/scenario/modes.h"

namespace tarvel::driver {

namespace {

namespace link = Acad11ACtrl;

constexpr std::size_t kLabelColumns = 21;

// An 8-bit text of the search, as the user sees it.
std::wstring Quoted(const std::string& bytes) { return L"\"" + win32::ToWide(bytes) + L"\""; }
std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

bool BeginsNoCase(const std::wstring& text, const wchar_t* prefix) {
    const std::size_t n = wcslen(prefix);
    return text.size() >= n && _wcsnicmp(text.c_str(), prefix, n) == 0;
}

// The mandatory integrity level of a process (the last part of its label,
// 0x2000 medium, 0x3000 high); 0 when Windows does not let us read it.
DWORD IntegrityLevel(HANDLE process) {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &raw)) return 0;
    const win32::Handle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.value(), TokenIntegrityLevel, nullptr, 0, &size);
    if (size == 0) return 0;
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.value(), TokenIntegrityLevel, buffer.data(), size, &size)) return 0;
    const PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    const UCHAR parts = *GetSidSubAuthorityCount(sid);
    return parts ? *GetSidSubAuthority(sid, parts - 1u) : 0;
}

DWORD IntegrityLevelOf(DWORD process_id) {
    const win32::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
    return process ? IntegrityLevel(process.value()) : 0;
}

class Probe {
public:
    explicit Probe(const Console& console) : c_(console) {}
    int Run();

private:
    void Row(const wchar_t* label_en, const wchar_t* label_ja, const std::wstring& text) {
        c_.Print(Padded(c_.Say(label_en, label_ja), kLabelColumns) + text + L"\n");
    }
    void More(const std::wstring& text) { c_.Print(std::wstring(kLabelColumns, L' ') + text + L"\n"); }
    void Missing(const std::wstring& what) { missing_.push_back(what); }

    void MainWindow();
    void CommandLine();
    void PromptLine();
    void TextWindowAndPane();
    void Privileges();
    void NearMisses();
    int Verdict();

    const Console& c_;
    link::ModuleState found_;
    bool elevated_ = false;
    int near_misses_ = 0;
    std::vector<std::wstring> missing_;
    std::vector<std::wstring> warnings_;
};

void Probe::MainWindow() {
    if (!found_.AcadWnd) {
        Row(L"Main window", L"メイン ウィンドウ",
            c_.Say(L"not found: no top-level window passes the title and class tests",
                   L"見つかりません: タイトルとクラスの条件に合うトップレベル ウィンドウがありません"));
        Missing(c_.Say(L"AutoCAD's main window was not found", L"AutoCAD のメイン ウィンドウが見つかりません"));
        return;
    }
    static const wchar_t* const kTests[] = {L"", L"begins \"Afx:\" and contains \":8:\"",
                                            L"contains \"AfxMDIFrame90u\"", L"contains \"AfxMDIFrame100u\""};
    static const wchar_t* const kTestsJa[] = {L"", L"\"Afx:\" で始まり \":8:\" を含む", L"\"AfxMDIFrame90u\" を含む",
                                              L"\"AfxMDIFrame100u\" を含む"};
    const link::MainWindowTests tests = link::TestMainWindow(found_.AcadWnd);
    Row(L"Main window", L"メイン ウィンドウ", Quoted(tests.title));
    More(c_.Say(L"class ", L"クラス ") + Quoted(tests.class_name));
    More(c_.Say(L"passes class test ", L"クラスの条件 ") + std::to_wstring(tests.class_test) + L" (" +
         c_.Say(kTests[tests.class_test], kTestsJa[tests.class_test]) + L")" + c_.Say(L"", L" に合格"));
    const bool unicode = IsWindowUnicode(found_.AcadWnd) != FALSE;
    More(std::wstring(unicode ? c_.Say(L"Unicode window (commands go as UTF-16)",
                                       L"Unicode ウィンドウ (コマンドは UTF-16 で送ります)")
                              : c_.Say(L"ANSI window (commands go as 8-bit Shift-JIS text)",
                                       L"ANSI ウィンドウ (コマンドは 8 ビットの Shift-JIS で送ります)")) +
         c_.Say(L", process ", L"、プロセス ") + std::to_wstring(found_.AcadProcessId));
}

void Probe::CommandLine() {
    const HWND prompt = found_.PromptLineWnd;
    std::wstring where;
    if (!prompt) {
        where = c_.Say(L"not found", L"見つかりません");
    } else if (found_.AcadWnd && IsChild(found_.AcadWnd, prompt)) {
        where = c_.Say(L"docked (under the main window)", L"ドッキング (メイン ウィンドウの中)");
    } else if (found_.CmdLineWnd && IsChild(found_.CmdLineWnd, prompt)) {
        where = c_.Say(L"floating, in the window ", L"フローティング、ウィンドウ ") +
                Quoted(common::Title(found_.CmdLineWnd));
    } else if (found_.TextWnd && IsChild(found_.TextWnd, prompt)) {
        where = c_.Say(L"in the text window", L"テキスト ウィンドウの中");
    } else {
        where =
            c_.Say(L"a top-level window titled \"Headlands\"", L"タイトルが \"Headlands\" のトップレベル ウィンドウ");
    }
    Row(L"Command line", L"コマンドライン", where);
}

void Probe::PromptLine() {
    if (!found_.PromptLineWnd) {
        Row(L"Prompt line", L"プロンプト行",
            c_.Say(L"not found: no window titled \"Headlands\" under the main window, a floating \"コマンド ライン\" "
                   L"window or the text window; a run would end at once",
                   L"見つかりません: メイン ウィンドウ、フローティングの「コマンド ライン」、テキスト ウィンドウの"
                   L"どこにも \"Headlands\" がありません。「開始」を押しても何もしません"));
        if (found_.AcadWnd) Missing(c_.Say(L"the prompt line was not found", L"プロンプト行が見つかりません"));
        return;
    }
    std::string text;
    const ULONGLONG start = GetTickCount64();
    try {
        link::ReadWindowText(found_.PromptLineWnd, text);
    } catch (const AcadElevatedError&) {
        elevated_ = true;
        Row(L"Prompt line", L"プロンプト行",
            c_.Say(L"Windows refused to let this program read it: AutoCAD runs as administrator",
                   L"Windows が読み取りを拒否しました: AutoCAD が管理者として実行されています"));
        return;
    }
    if (text.empty()) {
        const bool late = GetTickCount64() - start >= link::kHostReplyTimeoutMs;
        Row(L"Prompt line", L"プロンプト行",
            late ? c_.Say(L"AutoCAD did not answer within 10 s; a run would end at once",
                          L"AutoCAD が 10 秒以内に応答しません。「開始」を押しても何もしません")
                 : c_.Say(L"empty; a run would end at once", L"空です。「開始」を押しても何もしません"));
        Missing(c_.Say(L"the prompt line cannot be read", L"プロンプト行を読めません"));
        return;
    }
    if (text == "コマンド: ") {
        Row(L"Prompt line", L"プロンプト行", Quoted(text) + c_.Say(L" (AutoCAD is idle)", L" (AutoCAD は待機中)"));
    } else {
        Row(L"Prompt line", L"プロンプト行", Quoted(text));
        More(c_.Say(L"AutoCAD is inside a command (idle it reads \"コマンド: \"): press Esc in AutoCAD before 開始",
                    L"AutoCAD はコマンドの途中です (待機中は \"コマンド: \")。「開始」の前に AutoCAD で Esc を"
                    L"押してください"));
    }
}

void Probe::TextWindowAndPane() {
    if (found_.TextWnd) {
        Row(L"Text window", L"テキスト ウィンドウ", Quoted(link::TestMainWindow(found_.TextWnd).title));
    } else {
        Row(L"Text window", L"テキスト ウィンドウ",
            c_.Say(L"not found: the history cannot be copied, so every pick would end at once",
                   L"見つかりません: ヒストリをコピーできないので、点の指示はすぐに終わってしまいます"));
        if (found_.AcadWnd) Missing(c_.Say(L"the text window was not found", L"テキスト ウィンドウが見つかりません"));
    }
    if (found_.HistoryPaneWnd) {
        Row(L"History pane", L"ヒストリ",
            c_.Say(L"found (the pick prompts show on it)", L"見つかりました (点の指示の案内がここに表示されます)"));
    } else {
        Row(L"History pane", L"ヒストリ",
            c_.Say(L"not found (warning): the picks work, but the prompts do not show",
                   L"見つかりません (警告): 点の指示はできますが、案内は表示されません"));
        if (found_.AcadWnd) warnings_.push_back(c_.Say(L"no prompts shown", L"案内が表示されません"));
    }
}

std::wstring LevelName(const Console& c, DWORD level) {
    if (level >= SECURITY_MANDATORY_SYSTEM_RID) return c.Say(L"system", L"システム");
    if (level >= SECURITY_MANDATORY_HIGH_RID) return c.Say(L"high (administrator)", L"高 (管理者)");
    if (level >= SECURITY_MANDATORY_MEDIUM_RID) return c.Say(L"medium", L"中");
    return c.Say(L"low", L"低");
}

void Probe::Privileges() {
    if (!found_.AcadWnd) return;
    const DWORD ours = IntegrityLevel(GetCurrentProcess());
    const DWORD theirs = IntegrityLevelOf(found_.AcadProcessId);
    std::wstring text;
    if (theirs == 0 && ours != 0) {
        // An elevated process does not let a lesser one read its token.
        elevated_ = true;
        text = c_.Say(L"Windows does not let this program read AutoCAD's level: AutoCAD probably runs as administrator",
                      L"AutoCAD の整合性レベルを読めません: AutoCAD は管理者として実行されているようです");
    } else if (theirs > ours) {
        elevated_ = true;
        text = c_.Say(L"AutoCAD runs at a higher integrity level (", L"AutoCAD の整合性レベルの方が高い (") +
               LevelName(c_, theirs) + L" > " + LevelName(c_, ours) + L")";
    } else {
        text = c_.Say(L"AutoCAD runs at the same integrity level as this program, or lower (",
                      L"AutoCAD の整合性レベルはこのプログラムと同じか低い (") +
               LevelName(c_, theirs) + L")";
    }
    Row(L"Privileges", L"権限", text);
    if (elevated_) {
        More(c_.Say(L"Windows would refuse Tarvel's messages: start Tarvel with \"Run as administrator\" too",
                    L"Windows が Tarvel からの入力を拒否します。Tarvel も「管理者として実行」で起動してください"));
        Missing(c_.Say(L"AutoCAD runs as administrator", L"AutoCAD が管理者として実行されています"));
    }
}

void Probe::NearMisses() {
    std::vector<std::wstring> lines;
    for (const HWND w : common::TopLevelWindows()) {
        if (w == found_.AcadWnd || w == found_.TextWnd || w == found_.CmdLineWnd) continue;
        const link::MainWindowTests tests = link::TestMainWindow(w);
        const std::wstring title = win32::ToWide(tests.title);
        if (!tests.title_passes && !BeginsNoCase(title, L"autocad") && !BeginsNoCase(title, L"autodesk")) continue;
        std::wstring why;
        if (!tests.title_passes) {
            why = c_.Say(
                L"its title does not begin exactly with \"AutoCAD \", \"Autodesk \" or \"ACAD\" (letter case "
                L"and the blank count)",
                L"タイトルが \"AutoCAD \"、\"Autodesk \"、\"ACAD\" のどれでも正確に始まりません "
                L"(大文字小文字と空白も区別します)");
        } else if (tests.Taken()) {
            why = c_.Say(L"it passes as a main window, but Tarvel takes the first such window in Windows' order",
                         L"メイン ウィンドウの条件に合いますが、Tarvel は Windows の順で最初のものを使います");
        } else if (link::LooksLikeTextWindow(w)) {
            why = found_.AcadWnd
                      ? c_.Say(L"a text window of another process than the main window's",
                               L"メイン ウィンドウとは別のプロセスのテキスト ウィンドウです")
                      : c_.Say(L"a text window; Tarvel takes it only beside a main window of its process",
                               L"テキスト ウィンドウです。同じプロセスのメイン ウィンドウがあるときだけ使います");
        } else {
            why = c_.Say(
                L"its class passes none of the main window's class tests (begins \"Afx:\" and contains "
                L"\":8:\", contains \"AfxMDIFrame90u\", contains \"AfxMDIFrame100u\")",
                L"クラス名がメイン ウィンドウのクラスの条件 (\"Afx:\" で始まり \":8:\" を含む、"
                L"\"AfxMDIFrame90u\" を含む、\"AfxMDIFrame100u\" を含む) のどれにも合いません");
        }
        lines.push_back(L"  " + Quoted(title) + c_.Say(L", class ", L"、クラス ") + Quoted(common::ClassName(w)) +
                        c_.Say(L", process ", L"、プロセス ") + std::to_wstring(common::ProcessOf(w)) + L"\n    " +
                        why + L"\n");
    }
    near_misses_ = static_cast<int>(lines.size());
    if (lines.empty()) return;
    c_.Print(c_.Say(L"\nWindows titled like AutoCAD's that Tarvel does not take:\n",
                    L"\nタイトルは AutoCAD に似ていますが、Tarvel が使わないウィンドウ:\n"));
    for (const std::wstring& line : lines) c_.Print(line);
}

int Probe::Verdict() {
    c_.Print(L"\n");
    if (!found_.AcadWnd && near_misses_ == 0) {
        c_.Print(c_.Say(
            L"Verdict: no window looks like AutoCAD's. Start AutoCAD, then run this again.\n",
            L"判定: AutoCAD らしいウィンドウがありません。AutoCAD を起動してから、もう一度実行してください。\n"));
        return 2;
    }
    if (!missing_.empty()) {
        std::wstring reasons;
        for (const std::wstring& m : missing_) reasons += (reasons.empty() ? L"" : c_.Say(L"; ", L"。")) + m;
        c_.Print(c_.Say(L"Verdict: Tarvel would not work with this AutoCAD: ",
                        L"判定: この AutoCAD では Tarvel は動きません: ") +
                 reasons + c_.Say(L".\n", L"。\n"));
        return 1;
    }
    if (!warnings_.empty()) {
        c_.Print(c_.Say(L"Verdict: Tarvel would work with this AutoCAD, but the pick prompts would not show.\n",
                        L"判定: この AutoCAD で Tarvel は動きますが、点の指示の案内は表示されません。\n"));
    } else {
        c_.Print(
            c_.Say(L"Verdict: Tarvel would work with this AutoCAD.\n", L"判定: この AutoCAD で Tarvel は動きます。\n"));
    }
    return 0;
}

int Probe::Run() {
    c_.Print(c_.Say(
        L"Tarvel " TARVEL_VERSION_W L" probe: AutoCAD's windows as Tarvel finds them (nothing is sent to AutoCAD)\n\n",
        L"Tarvel " TARVEL_VERSION_W L" 確認: Tarvel から見た AutoCAD のウィンドウ (AutoCAD には何も送りません)\n\n"));
    found_ = link::SurveyAcadWindows();
    MainWindow();
    if (found_.AcadWnd) {
        CommandLine();
        PromptLine();
        TextWindowAndPane();
        Privileges();
    }
    NearMisses();
    return Verdict();
}

}  // namespace

int RunProbe(int argc, wchar_t** argv, Console& console) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--lang" && i + 1 < argc && console.Choose(argv[i + 1])) {
            ++i;
        } else if (a != L"--probe") {
            console.Print(L"usage: tarvel-check.exe --probe [--lang ja|en]\n");
            return 2;
        }
    }
    Probe probe(console);
    return probe.Run();
}

}  // namespace tarvel::driver
