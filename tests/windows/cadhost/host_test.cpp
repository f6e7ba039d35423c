// cadhost.exe driven from another process, as Tarvel drives AutoCAD.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/win32/text.h"
#include "tests/windows/support/files.h"
#include "tests/windows/support/test_host.h"
#include "tools/common/files.h"
#include "tools/common/wait.h"
#include "tools/common/window_list.h"

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const std::wstring kIdle = L"コマンド: ";
const std::wstring kIdPrompt = L"点を指定: ";
const std::wstring kPick = L"\x03ID ";

using tarvel::common::ClassName;
using tarvel::common::Title;
using tarvel::win32::FromUtf8;
using tarvel::win32::ToBytes;
using tarvel::win32::ToUtf8;
using wintest::HostSession;

// The JSON lines of the log's records of one kind.
std::vector<std::string> LinesOf(const HostSession& host, const char* kind) {
    std::vector<std::string> lines;
    for (const tarvel::driver::LogRecord& record : host.LogOf(kind)) lines.push_back(record.Raw());
    return lines;
}

// ---- windows, in every layout and encoding ----

struct LayoutCase {
    std::vector<std::wstring> args;
    bool unicode;
    const char* where;  // "frame", "floating" or "text"
};

class HostLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(HostLayouts, PresentsAutoCadWindows) {
    const LayoutCase& c = GetParam();
    START_HOST(host, c.args);

    EXPECT_EQ(Title(host.Frame()), L"AutoCAD 2004 - [Drawing1.dwg]");
    EXPECT_THAT(ClassName(host.Frame()), AllOf(::testing::StartsWith(L"Afx:"), HasSubstr(L":8:")));
    EXPECT_EQ(IsWindowUnicode(host.Frame()) != FALSE, c.unicode);
    EXPECT_EQ(GetAncestor(host.Frame(), GA_PARENT), GetDesktopWindow());

    EXPECT_EQ(Title(host.TextWindow()), L"AutoCAD テキスト ウィンドウ - Drawing1.dwg");
    EXPECT_THAT(ClassName(host.TextWindow()), AllOf(::testing::StartsWith(L"Afx:"), HasSubstr(L":b:")));

    // Another process reads the stored names; only a sent WM_GETTEXT gets
    // the prompt line.
    EXPECT_EQ(Title(host.Headlands()), L"Headlands");
    EXPECT_EQ(Title(host.MountTam()), L"MountTam");
    EXPECT_EQ(host.Prompt(), kIdle);
    EXPECT_EQ(host.PromptW(), kIdle);
    EXPECT_EQ(host.PromptA(), ToBytes(kIdle));

    const std::string where = c.where;
    if (where == "frame") {
        EXPECT_EQ(host.PaneParent(), host.Frame());
        EXPECT_NE(GetParent(host.Headlands()), host.Frame()) << "docked panes sit deeper than the frame's children";
        EXPECT_EQ(host.Floating(), nullptr);
    } else if (where == "floating") {
        ASSERT_NE(host.Floating(), nullptr);
        EXPECT_EQ(host.PaneParent(), host.Floating());
        EXPECT_THAT(Title(host.Floating()), HasSubstr(L"コマンド ライン"));
        EXPECT_FALSE(IsChild(host.Frame(), host.Headlands()));
    } else {
        EXPECT_EQ(host.PaneParent(), host.TextWindow());
        EXPECT_FALSE(IsChild(host.Frame(), host.Headlands()));
    }

    // A whole pick answered in this arrangement and encoding.
    host.Type(L"id 12.5,-3 ");
    EXPECT_EQ(host.LastHistoryLine(), L"X = 12.5000     Y = -3.0000     Z = 0.0000");
    EXPECT_EQ(host.Close(), 0u);
    const auto commands = LinesOf(host, "command");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_THAT(commands[0], HasSubstr(c.unicode ? "\"enc\":\"W\",\"cbData\":24," : "\"enc\":\"A\",\"cbData\":12,"));
}

INSTANTIATE_TEST_SUITE_P(AllArrangements, HostLayouts,
                         ::testing::Values(LayoutCase{{}, true, "frame"},
                                           LayoutCase{{L"--layout", L"docked", L"--ansi"}, false, "frame"},
                                           LayoutCase{{L"--layout", L"floating"}, true, "floating"},
                                           LayoutCase{{L"--layout", L"floating", L"--ansi"}, false, "floating"},
                                           LayoutCase{{L"--layout", L"text"}, true, "text"},
                                           LayoutCase{{L"--layout", L"text", L"--ansi"}, false, "text"}));

// ---- the ID dialogue from a pick script ----

TEST(HostPicks, IdDialogueWithPickEndAndCancel) {
    START_HOST(host, {L"--think", L"150"}, L"# the four answers\npick 100,200\n\nend\ncancel\npick -0.00001,5.5,3\n");

    // Tarvel's pick: Ctrl-C and "ID ". The message returns at once; the
    // scripted click comes later.
    host.Type(kPick);
    EXPECT_EQ(host.Prompt(), kIdPrompt);
    ASSERT_TRUE(host.WaitPrompt(kIdle));
    EXPECT_EQ(host.LastHistoryLine(), L"X = 100.0000     Y = 200.0000     Z = 0.0000");

    // LASTPOINT through 'SETVAR, then cancelled as Tarvel does.
    host.Type(L"'SETVAR LASTPOINT\r");
    EXPECT_EQ(host.Prompt(), L"LASTPOINT の新しい値を入力 <100.0000,200.0000,0.0000>: ");
    host.Type(L"\x03");
    EXPECT_EQ(host.Prompt(), kIdle);
    EXPECT_THAT(host.LastHistoryLine(), HasSubstr(L"*キャンセル*"));

    // A right-click: the prompt ends with neither a point nor a cancel.
    host.Type(kPick);
    ASSERT_TRUE(host.WaitPrompt(kIdle));
    EXPECT_EQ(host.LastHistoryLine(), kIdPrompt);

    // Esc.
    host.Type(kPick);
    ASSERT_TRUE(host.WaitPrompt(kIdle));
    EXPECT_EQ(host.LastHistoryLine(), kIdPrompt + L"*キャンセル*");

    // A coordinate that rounds to zero is written without its sign; LASTPOINT
    // follows the pick.
    host.Type(kPick);
    ASSERT_TRUE(host.WaitPrompt(kIdle));
    EXPECT_EQ(host.LastHistoryLine(), L"X = 0.0000     Y = 5.5000     Z = 3.0000");
    host.Type(L"'SETVAR LASTPOINT\r");
    EXPECT_EQ(host.Prompt(), L"LASTPOINT の新しい値を入力 <0.0000,5.5000,3.0000>: ");
    host.Type(L"\x03");

    // The whole history as Tarvel's Ctrl-C before each ID leaves it; the idle
    // prompt being shown is not part of it.
    const auto lines = host.HistoryLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], L"コマンド: *キャンセル*");
    EXPECT_EQ(lines[1], L"コマンド: ID");
    EXPECT_EQ(lines[2], kIdPrompt);
    EXPECT_EQ(lines[3], L"X = 100.0000     Y = 200.0000     Z = 0.0000");
    EXPECT_NE(lines.back(), kIdle);

    EXPECT_EQ(host.Close(), 0u);
    EXPECT_EQ(LinesOf(host, "pick").size(), 2u);
    EXPECT_EQ(LinesOf(host, "end").size(), 1u);
    EXPECT_THAT(LinesOf(host, "cancel"), ::testing::Contains(HasSubstr("\"source\":\"script\"")));
}

TEST(HostPicks, ScriptWaitsForThinkTimeAndOnlyAnswersId) {
    constexpr DWORD kThinkMs = 400;
    START_HOST(host, {L"--think", std::to_wstring(kThinkMs)}, L"pick 1,2\n");
    // DIMLINEAR's point prompts are the user's, not the script's: no pick is
    // logged within the think time, by which the script would have answered.
    const std::size_t seen = host.Log().size();
    host.Type(L"dimlinear ");
    EXPECT_FALSE(host.WaitForLog("pick", seen, kThinkMs + 200)) << "the script answered DIMLINEAR";
    EXPECT_EQ(host.Prompt(), L"1 本目の寸法補助線の起点を指定 または <オブジェクトを選択>: ");
    host.Type(L"\x03");
    const ULONGLONG start = tarvel::common::Now();
    host.Type(kPick);
    ASSERT_TRUE(host.WaitPrompt(kIdle));
    EXPECT_GE(tarvel::common::Now() - start, kThinkMs - 50);
    EXPECT_EQ(host.LastHistoryLine(), L"X = 1.0000     Y = 2.0000     Z = 0.0000");
}

// The frame's drawing view: the untitled Afx child of a top-level window.
HWND DrawingView(HWND frame) {
    for (HWND h : tarvel::common::Descendants(frame)) {
        if (ClassName(h).rfind(L"Afx:", 0) == 0 && Title(h).empty() && GetParent(h) == GetAncestor(h, GA_ROOT)) {
            return h;
        }
    }
    return nullptr;
}

TEST(HostPicks, MouseAnswersWhenTheScriptHasRunOut) {
    START_HOST(host, {L"--think", L"0"}, L"pick 7,8\n");
    const HWND view = DrawingView(host.Frame());
    ASSERT_NE(view, nullptr);
    host.Type(kPick);
    ASSERT_TRUE(host.WaitPrompt(kIdle));
    EXPECT_EQ(host.LastHistoryLine(), L"X = 7.0000     Y = 8.0000     Z = 0.0000");

    // Left button: a point somewhere in the view.
    host.Type(kPick);
    PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 150));
    ASSERT_TRUE(host.WaitPrompt(kIdle));
    EXPECT_THAT(host.LastHistoryLine(), ::testing::StartsWith(L"X = "));
    // Right button: ends the prompt without a point.
    host.Type(kPick);
    PostMessageW(view, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(200, 150));
    ASSERT_TRUE(host.WaitPrompt(kIdle));
    EXPECT_EQ(host.LastHistoryLine(), kIdPrompt);
    // Esc.
    host.Type(kPick);
    PostMessageW(view, WM_CHAR, 27, 0);
    ASSERT_TRUE(host.WaitPrompt(kIdle));
    EXPECT_EQ(host.LastHistoryLine(), kIdPrompt + L"*キャンセル*");
    // A click while the host is idle picks nothing. An Esc posted after it
    // is handled after it: once the Esc is logged, so has the click been.
    const std::size_t seen = host.Log().size();
    PostMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(view, WM_CHAR, 27, 0);
    ASSERT_TRUE(host.WaitForLog("cancel", seen));
    const std::vector<std::wstring> lines = host.HistoryLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], kIdPrompt + L"*キャンセル*") << "a point between the two cancels";
    EXPECT_EQ(lines.back(), L"コマンド: *キャンセル*");

    host.Close();
    EXPECT_THAT(LinesOf(host, "pick"),
                ElementsAre(HasSubstr("\"source\":\"script\""), HasSubstr("\"source\":\"mouse\"")));
    EXPECT_THAT(LinesOf(host, "end"), ElementsAre(HasSubstr("\"source\":\"mouse\"")));
    EXPECT_THAT(LinesOf(host, "cancel"), ::testing::Contains(HasSubstr("\"source\":\"keyboard\"")));
}

// ---- system variables ----

TEST(HostVariables, ReadOnlyVariablesAnswerInTheHistory) {
    START_HOST(host);
    const std::wstring acadver = L"ACADVER = \"16.0s (LMS Tech)\" (読み込み専用)";
    struct {
        const wchar_t* typed;
    } cases[] = {{L"ACADVER\r"}, {L"acadver\r"}, {L"'SETVAR ACADVER\r"}, {L"setvar AcadVer "}};
    for (const auto& c : cases) {
        host.Type(c.typed);
        EXPECT_EQ(host.Prompt(), kIdle) << ToUtf8(c.typed);
        EXPECT_EQ(host.LastHistoryLine(), acadver) << ToUtf8(c.typed);
    }
    // The history reads the same through CF_TEXT in the code page.
    const std::string a = host.HistoryA();
    EXPECT_THAT(a, HasSubstr(ToBytes(acadver)));
}

TEST(HostVariables, SetvarTransparentInsideIdResumesIt) {
    START_HOST(host);
    host.Type(L"ID 1,2 ");
    host.Type(L"ID ");
    host.Type(L"'SETVAR LASTPOINT\r");
    EXPECT_EQ(host.Prompt(), L">>LASTPOINT の新しい値を入力 <1.0000,2.0000,0.0000>: ");
    host.Type(L"\r");
    EXPECT_EQ(host.Prompt(), kIdPrompt);
    EXPECT_EQ(host.LastHistoryLine(), L"ID コマンドを再開します。");
    // Ctrl-C ends both.
    host.Type(L"'SETVAR LASTPOINT\r\x03");
    EXPECT_EQ(host.Prompt(), kIdle);
}

TEST(HostVariables, UnknownVariableIsRefused) {
    START_HOST(host);
    host.Type(L"'SETVAR NOSUCHVAR\r");
    EXPECT_EQ(host.Prompt(), kIdle);
    EXPECT_THAT(host.LastHistoryLine(), HasSubstr(L"不明な変数名です。"));
    EXPECT_EQ(LinesOf(host, "complaint").size(), 1u);
}

// ---- DIMLINEAR ----

TEST(HostDimlinear, SingleAndRunFormsAreLogged) {
    START_HOST(host);
    struct Case {
        std::wstring command;
        const char* dir;
        const char* measurement;
        const char* text;  // JSON of the override
    } cases[] = {
        {L"dimlinear 0.0000,0.0000,0.0000 2000.0000,0.0000,0.0000 H T 4@500\\X=<>\r500.0000,-200.0000,0.0000\r", "H",
         "2000", "\"4@500\\\\X=<>\""},
        {L"dimlinear 2000.0000,0.0000,0.0000 2300.0000,0.0000,0.0000 H 500.0000,-200.0000,0.0000\r", "H", "300",
         "null"},
        {L"DIMLINEAR 2300,1800 2300,0 V T 3@600\\P=<>\r2700,900\r", "V", "1800", "\"3@600\\\\P=<>\""},
        {L"DimLinear 0,0 12.5,7 V 30,3\r", "V", "7", "null"},
        // Without H or V the position decides: above the points, horizontal.
        {L"dimlinear 0,0 12.5,7 6,20\r", "H", "12.5", "null"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(host.Type(c.command), TRUE);
        EXPECT_EQ(host.Prompt(), kIdle) << ToUtf8(c.command);
    }
    EXPECT_EQ(host.LastHistoryLine(), L"寸法値 = 12.5");
    EXPECT_EQ(host.Close(), 0u);
    const auto dims = LinesOf(host, "dimension");
    ASSERT_EQ(dims.size(), std::size(cases));
    for (size_t i = 0; i < dims.size(); ++i) {
        EXPECT_THAT(dims[i], HasSubstr(std::string("\"dir\":\"") + cases[i].dir + "\"")) << i;
        EXPECT_THAT(dims[i], HasSubstr(std::string("\"measurement\":") + cases[i].measurement + ",")) << i;
        EXPECT_THAT(dims[i], HasSubstr(std::string("\"text\":") + cases[i].text + ",")) << i;
    }
    EXPECT_THAT(dims[0], HasSubstr("\"p1\":[0,0,0],\"p2\":[2000,0,0]"));
    EXPECT_THAT(dims[0], HasSubstr("\"pos\":[500,-200,0]"));
    EXPECT_THAT(dims[0], HasSubstr("\"shown\":\"4@500\\\\X=2000\""));
}

TEST(HostDimlinear, FreeTextKeepsBlanksUntilCarriageReturn) {
    START_HOST(host);
    host.Type(L"dimlinear 0,0 100,0 H T ");
    EXPECT_EQ(host.Prompt(), L"寸法値を入力 <100>: ");
    host.Type(L"A B <> ");
    EXPECT_EQ(host.Prompt(), L"寸法値を入力 <100>: A B <> ");
    host.Type(L"\r0,-10\r");
    EXPECT_EQ(host.Prompt(), kIdle);
    host.Close();
    EXPECT_THAT(LinesOf(host, "dimension").at(0), HasSubstr("\"text\":\"A B <> \""));
}

TEST(HostDimlinear, ArrivesInPiecesAsTyped) {
    START_HOST(host, {L"--ansi"});
    for (const char* piece : {"dimli", "near 0,0", " 10", "0,0 ", "H", " ", "T 2@50\\X=<>", "\r", "0,-5", "\r"})
        host.TypeAnsi(piece);
    EXPECT_EQ(host.Prompt(), kIdle);
    host.Close();
    const auto dims = LinesOf(host, "dimension");
    ASSERT_EQ(dims.size(), 1u);
    EXPECT_THAT(dims[0], HasSubstr("\"measurement\":100,"));
    EXPECT_THAT(dims[0], HasSubstr("\"text\":\"2@50\\\\X=<>\""));
}

// ---- what AutoCAD would refuse ----

TEST(HostRefuses, MalformedInputGetsComplaintAndReprompt) {
    START_HOST(host);
    struct Case {
        const wchar_t* typed;
        const wchar_t* complaint;  // the last history line must contain it
        const wchar_t* prompt;     // the prompt afterwards
    } cases[] = {
        {L"XYZ ", L"不明なコマンド \"XYZ\"。 F1 キーを押してヘルプを参照してください。", L"コマンド: "},
        {L"\x01ID ", L"不明なコマンド \"^AID\"", L"コマンド: "},
        {L"dimlinear 1,2,3,4 ", L"点または オプション キーワードが必要です。",
         L"1 本目の寸法補助線の起点を指定 または <オブジェクトを選択>: "},
        {L"\x03"
         L"dimlinear 0,0 1,x ",
         L"無効な点です。", L"2 本目の寸法補助線の起点を指定: "},
        {L"\x03"
         L"dimlinear 0,0 10,0 Q ",
         L"点または オプション キーワードが必要です。",
         L"寸法線の位置を指定 または [マルチテキスト(M)/寸法値(T)/寸法値の角度(A)/水平(H)/垂直(V)/回転(R)]: "},
        // After H the orientation is fixed: V is no longer an option.
        {L"H V ", L"点または オプション キーワードが必要です。",
         L"寸法線の位置を指定 または [マルチテキスト(M)/寸法値(T)/寸法値の角度(A)]: "},
        {L"\x03ID 1e999,0 ", L"無効な点です。", L"点を指定: "},
        {L"\x03"
         L"'SETVAR LASTPOINT\rabc ",
         L"2D 点または 3D 点が必要です。", L"LASTPOINT の新しい値を入力 <10.0000,0.0000,0.0000>: "},
    };
    for (const Case& c : cases) {
        host.Type(c.typed);
        EXPECT_THAT(host.LastHistoryLine(), HasSubstr(c.complaint)) << ToUtf8(c.typed);
        EXPECT_EQ(host.Prompt(), c.prompt) << ToUtf8(c.typed);
    }
    host.Type(L"\x03");
    EXPECT_EQ(host.Prompt(), kIdle);
    EXPECT_EQ(host.Close(), 0u);
    EXPECT_EQ(LinesOf(host, "complaint").size(), std::size(cases));
    EXPECT_TRUE(LinesOf(host, "dimension").empty());
}

// ---- the raw WM_COPYDATA record ----

TEST(HostCopyData, RecordIsDecodedByItsLengthAndTheFramesKind) {
    START_HOST(host);
    // Odd cbData: the odd byte is no character.
    const wchar_t id[] = L"ID ";
    EXPECT_EQ(host.SendRaw(id, 7), TRUE);
    EXPECT_EQ(host.Prompt(), kIdPrompt);
    // No terminator: the length alone ends the text.
    const wchar_t point[] = {L'1', L',', L'2', L' ', L'9', L'9'};
    host.SendRaw(point, 8);  // "1,2 " of it
    EXPECT_EQ(host.LastHistoryLine(), L"X = 1.0000     Y = 2.0000     Z = 0.0000");
    // Text after a zero character is not typed.
    const wchar_t early_end[] = {L'I', L'D', 0, L'X', L' '};
    host.SendRaw(early_end, sizeof early_end);
    EXPECT_EQ(host.Prompt(), L"コマンド: ID");
    host.Type(L"\x03");
    // Empty commands change nothing.
    const std::vector<std::wstring> before = host.HistoryLines();
    EXPECT_EQ(host.SendRaw(L"", 2), TRUE);
    EXPECT_EQ(host.SendRaw(nullptr, 0), TRUE);
    EXPECT_EQ(host.HistoryLines(), before);
    // Another dwData is not typed input.
    EXPECT_EQ(host.SendRaw(L"ID ", 8, 2), FALSE);
    EXPECT_EQ(host.Prompt(), kIdle);
    // WM_NULL, as Tarvel posts after every command, is harmless.
    EXPECT_EQ(SendMessageW(host.Frame(), WM_NULL, 0, 0), 0);

    EXPECT_EQ(host.Close(), 0u);
    const auto commands = LinesOf(host, "command");
    ASSERT_EQ(commands.size(), 7u);
    EXPECT_THAT(commands[0], HasSubstr("\"enc\":\"W\",\"cbData\":7,\"text\":\"ID \""));
    EXPECT_THAT(commands[1], HasSubstr("\"cbData\":8,\"text\":\"1,2 \""));
    EXPECT_THAT(commands[2], HasSubstr("\"cbData\":10,\"text\":\"ID\""));
    EXPECT_THAT(commands[3], HasSubstr("\"cbData\":4,\"text\":\"\\u0003\""));
    EXPECT_THAT(commands[4], HasSubstr("\"cbData\":2,\"text\":\"\""));
    EXPECT_THAT(commands[5], HasSubstr("\"cbData\":0,\"text\":\"\""));
    EXPECT_THAT(commands[6], HasSubstr("\"cbData\":8,\"text\":\"ID \",\"dwData\":2,\"ignored\":true"));
}

TEST(HostCopyData, AnsiFrameTakesCodePageBytes) {
    START_HOST(host, {L"--ansi"});
    // Shift-JIS bytes of a Japanese text in a free-text answer, unterminated.
    const std::string cmd = ToBytes(L"dimlinear 0,0 0,30 V T 高さ<>\r-10,15\r");
    EXPECT_EQ(host.SendRaw(cmd.data(), static_cast<DWORD>(cmd.size())), TRUE);
    EXPECT_EQ(host.Prompt(), kIdle);
    host.TypeAnsi("\x03");
    host.Close();
    const auto commands = LinesOf(host, "command");
    ASSERT_EQ(commands.size(), 2u);
    // (The log is UTF-8; the test's own 8-bit literals are code-page bytes.)
    EXPECT_THAT(commands[0], HasSubstr("\"enc\":\"A\",\"cbData\":" + std::to_string(cmd.size()) +
                                       ",\"text\":\"dimlinear 0,0 0,30 V T " + ToUtf8(L"高さ") + "<>\\r-10,15\\r\""));
    EXPECT_THAT(commands[1], HasSubstr("\"enc\":\"A\",\"cbData\":2,\"text\":\"\\u0003\""));
    EXPECT_THAT(LinesOf(host, "dimension").at(0), HasSubstr("\"shown\":\"" + ToUtf8(L"高さ") + "30\""));
}

TEST(HostCopyData, AnsiPromptIsCutToTheCallersBuffer) {
    START_HOST(host, {L"--ansi"});
    host.Type(L"ID ");
    char small[5] = {};
    // "点を" is four bytes in the code page; a fifth byte would split "指".
    const LRESULT n = SendMessageA(host.Headlands(), WM_GETTEXT, sizeof small, reinterpret_cast<LPARAM>(small));
    EXPECT_LE(n, 4);
    EXPECT_EQ(std::string(small), ToBytes(L"点を"));
}

// ---- command line and files ----

TEST(HostCommandLine, HelpAndBadOptions) {
    struct Case {
        std::vector<std::wstring> args;
        DWORD exit_code;
        const char* says;
    };
    const Case cases[] = {
        {{L"--help"}, 0, "usage: cadhost.exe"},
        {{L"--bogus"}, 2, "unknown option --bogus"},
        {{L"--layout", L"sideways"}, 2, "--layout must be docked, floating or text"},
        {{L"--think", L"-5"}, 2, "--think needs a whole number"},
        {{L"--log"}, 2, "--log needs a file name"},
        {{L"--picks", L"Z:\\no\\such\\file.picks"}, 2, "cannot read the pick script"},
    };
    for (const Case& c : cases) {
        const tarvel::common::RunResult run = wintest::RunHostToEnd(c.args);
        ASSERT_TRUE(run.ended) << ::testing::PrintToString(c.args);
        EXPECT_EQ(run.exit_code, c.exit_code) << ::testing::PrintToString(c.args);
        EXPECT_THAT(run.output, HasSubstr(c.says)) << ::testing::PrintToString(c.args);
    }
}

TEST(HostCommandLine, MalformedPickScriptIsRefusedWithItsLine) {
    const std::wstring dir = wintest::MakeTempDir();
    const std::wstring picks = dir + L"\\bad.picks";
    tarvel::common::WriteWholeFile(picks, "pick 1,2\n# fine so far\npick 3 4\n");
    const tarvel::common::RunResult run = wintest::RunHostToEnd({L"--picks", picks});
    EXPECT_EQ(run.exit_code, 2u);
    EXPECT_THAT(run.output, HasSubstr("line 3"));
}

TEST(HostFiles, ClosingWritesDxfAndSvg) {
    const std::wstring dir = wintest::MakeTempDir();
    const std::wstring dxf = dir + L"\\out.dxf", svg = dir + L"\\out.svg";
    {
        START_HOST(host, {L"--dxf", dxf, L"--svg", svg});
        host.Type(L"dimlinear 0,0 500,0 H T 2@250\\X=<>\r250,-100\r");
        EXPECT_EQ(wintest::ReadTextFile(dxf), "") << "written only when the host closes";
        EXPECT_EQ(host.Close(), 0u);
    }
    const std::string d = wintest::ReadTextFile(dxf), s = wintest::ReadTextFile(svg);
    EXPECT_THAT(d, HasSubstr("\nDIMENSION\n"));
    EXPECT_THAT(d, HasSubstr("\n2@250\\X=<>\n"));
    EXPECT_THAT(d, ::testing::EndsWith("\nEOF\n"));
    EXPECT_THAT(s, HasSubstr(">2@250</text>"));
    EXPECT_THAT(s, HasSubstr(">=500</text>"));
}

// Writes the drawing that check_drawing.sh reads back with ezdxf: run only
// from there (it names the folder).
TEST(HostDrawingRun, SeveralDimensions) {
    const char* out = std::getenv("CADHOST_DRAWING_OUT");
    if (!out) GTEST_SKIP() << "CADHOST_DRAWING_OUT not set";
    const std::wstring dir = wintest::WindowsPath(out);
    START_HOST(host, {L"--dxf", dir + L"\\drawing.dxf", L"--svg", dir + L"\\drawing.svg"});
    for (const wchar_t* cmd : {
             L"dimlinear 0.0000,0.0000,0.0000 2000.0000,0.0000,0.0000 H T 4@500\\X=<>\r1000.0000,-400.0000,0.0000\r",
             L"dimlinear 2000.0000,0.0000,0.0000 2300.0000,0.0000,0.0000 H 1000.0000,-400.0000,0.0000\r",
             L"dimlinear 2300.0000,1800.0000,0.0000 2300.0000,0.0000,0.0000 V T "
             L"3@600\\P=<>\r2700.0000,900.0000,0.0000\r",
             L"dimlinear 0,1800 900,1800 H 1000,2200\r",
             L"dimlinear 0,0 0,1800 V T <>\r-400,900\r",
         }) {
        host.Type(cmd);
        EXPECT_EQ(host.Prompt(), kIdle);
    }
    EXPECT_EQ(host.Close(), 0u);
    EXPECT_EQ(LinesOf(host, "dimension").size(), 5u);
}

}  // namespace

namespace {

// Holds a host with a few picks and dimensions on the screen for a
// screenshot: run only when CADHOST_SCREENSHOT_HOLD_MS is set (see the
// host's notes in the report of its build).
TEST(HostScreenshot, HoldsADrawingOnScreen) {
    const char* hold = std::getenv("CADHOST_SCREENSHOT_HOLD_MS");
    if (!hold) GTEST_SKIP() << "CADHOST_SCREENSHOT_HOLD_MS not set";
    const char* layout = std::getenv("CADHOST_SCREENSHOT_LAYOUT");
    START_HOST(host, {L"--think", L"50", L"--layout", FromUtf8(layout ? layout : "docked")},
               L"pick 0,0\npick 2300,0\npick 1500,0\npick 500,0\npick 2000,0\npick 1000,0\nend\n");
    for (int i = 0; i < 7; ++i) {
        host.Type(kPick);
        ASSERT_TRUE(host.WaitPrompt(kIdle));
    }
    for (const wchar_t* cmd : {
             L"dimlinear 0.0000,0.0000,0.0000 2000.0000,0.0000,0.0000 H T 4@500\\X=<>\r1000.0000,-400.0000,0.0000\r",
             L"dimlinear 2000.0000,0.0000,0.0000 2300.0000,0.0000,0.0000 H 1000.0000,-400.0000,0.0000\r",
             L"dimlinear 2300,1800 2300,0 V T 3@600\\P=<>\r2700,900\r",
             L"dimlinear 0,1800 900,1800 H 1000,2200\r",
             L"xyz ",
             L"ID ",
         })
        host.Type(cmd);
    Sleep(static_cast<DWORD>(std::atoi(hold)));
}

}  // namespace
