// The fault options of cadhost.exe and the clipboard holder: their command
// lines and texts in the portable core, and what a running host (or holder)
// does from another process, with the times measured.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/win32/text.h"
#include "tests/windows/support/files.h"
#include "tests/windows/support/test_host.h"
#include "tools/cadhost/interpreter.h"
#include "tools/cadhost/options.h"
#include "tools/common/clip_sample.h"
#include "tools/common/process.h"
#include "tools/common/wait.h"

using ::testing::HasSubstr;

namespace {

using cadhost::HistoryEol;
using tarvel::common::ClipboardText;
using tarvel::common::WaitFor;
using tarvel::win32::ToBytes;
using ::testing::PrintToString;

std::string U8(const std::u16string& s) { return cadhost::ToUtf8(s); }

// ---- the portable core ----

TEST(FaultOptions, Accepted) {
    struct Case {
        std::vector<std::u16string> args;
        cadhost::Options want;
    };
    auto with = [](auto change) {
        cadhost::Options o;
        change(o);
        return o;
    };
    const Case cases[] = {
        {{u"--hang-after", u"3", u"--hang-ms", u"2500"}, with([](auto& o) { o.hang_after = 3, o.hang_ms = 2500; })},
        {{u"--hang-ms=1", u"--hang-after=1"}, with([](auto& o) { o.hang_after = 1, o.hang_ms = 1; })},
        {{u"--close-after-pick", u"2"}, with([](auto& o) { o.close_after_pick = 2; })},
        {{u"--delay", u"0"}, with([](auto& o) { o.delay_ms = 0; })},
        {{u"--delay", u"600000"}, with([](auto& o) { o.delay_ms = 600000; })},
        {{u"--prompt-pad", u"100000"}, with([](auto& o) { o.prompt_pad = 100000; })},
        {{u"--history-eol", u"cr"}, with([](auto& o) { o.history_eol = HistoryEol::Cr; })},
        {{u"--history-eol", u"lf"}, with([](auto& o) { o.history_eol = HistoryEol::Lf; })},
        {{u"--history-eol", u"crlf"}, with([](auto& o) { o.history_eol = HistoryEol::CrLf; })},
        {{u"--lastpoint", u""}, with([](auto& o) { o.lastpoint = u""; })},
        {{u"--lastpoint", u"{x}\\x03,\\t{y}"}, with([](auto& o) { o.lastpoint = u"{x}\x03,\t{y}"; })},
        {{u"--log-times"}, with([](auto& o) { o.log_times = true; })},
    };
    for (const Case& c : cases) {
        std::u16string err;
        const auto o = cadhost::ParseOptions(c.args, err);
        ASSERT_TRUE(o) << U8(c.args[0]) << ": " << U8(err);
        EXPECT_EQ(o->hang_after, c.want.hang_after) << U8(c.args[0]);
        EXPECT_EQ(o->hang_ms, c.want.hang_ms) << U8(c.args[0]);
        EXPECT_EQ(o->close_after_pick, c.want.close_after_pick) << U8(c.args[0]);
        EXPECT_EQ(o->delay_ms, c.want.delay_ms) << U8(c.args[0]);
        EXPECT_EQ(o->prompt_pad, c.want.prompt_pad) << U8(c.args[0]);
        EXPECT_EQ(o->history_eol, c.want.history_eol) << U8(c.args[0]);
        EXPECT_EQ(o->lastpoint, c.want.lastpoint) << U8(c.args[0]);
        EXPECT_EQ(o->log_times, c.want.log_times) << U8(c.args[0]);
    }
    // None of them is on by default.
    std::u16string err;
    const auto plain = cadhost::ParseOptions({}, err);
    EXPECT_EQ(plain->hang_after + plain->hang_ms + plain->close_after_pick + plain->delay_ms + plain->prompt_pad, 0);
    EXPECT_FALSE(plain->lastpoint);
    EXPECT_FALSE(plain->log_times);
}

TEST(FaultOptions, Refused) {
    const std::vector<std::vector<std::u16string>> bad = {
        {u"--hang-after", u"2"},                        // without --hang-ms
        {u"--hang-ms", u"100"},                         // without --hang-after
        {u"--hang-after", u"0", u"--hang-ms", u"100"},  // commands count from 1
        {u"--hang-after", u"1", u"--hang-ms", u"600001"},
        {u"--close-after-pick", u"0"},
        {u"--close-after-pick", u"-1"},
        {u"--delay", u"1.5"},
        {u"--delay"},
        {u"--prompt-pad", u"1000001"},
        {u"--history-eol", u"CRLF"},
        {u"--history-eol", u"nl"},
        {u"--lastpoint", u"bad\\q"},
        {u"--lastpoint", u"\\x0"},
        {u"--lastpoint"},
        {u"--log-times=1"},
    };
    for (const auto& args : bad) {
        std::u16string err;
        EXPECT_FALSE(cadhost::ParseOptions(args, err)) << U8(args[0]) << " " << (args.size() > 1 ? U8(args[1]) : "");
        EXPECT_THAT(U8(err), HasSubstr("cadhost:"));
    }
}

TEST(FaultTexts, EscapesPlaceholdersAndLineEnds) {
    const struct {
        std::u16string in;
        std::optional<std::u16string> out;
    } escapes[] = {
        {u"plain", u"plain"},
        {u"a\\tb\\rc\\nd\\\\e", u"a\tb\rc\nd\\e"},
        {u"\\x03\\x7f\\x41",
         u"\x03\x7f"
         u"A"},
        {u"\\u30b3\\u0000", std::u16string(u"コ") + u'\0'},
        {u"\\", std::nullopt},
        {u"\\x4", std::nullopt},
        {u"\\xg0", std::nullopt},
        {u"\\u12", std::nullopt},
        {u"\\a", std::nullopt},
    };
    for (const auto& e : escapes) EXPECT_EQ(cadhost::DecodeEscapes(e.in), e.out) << U8(e.in);

    const cadhost::Point p{1.5, -2, 1e6};
    const struct {
        std::u16string templ, want;
    } expand[] = {
        {u"{x},{y},{z}", u"1.5000,-2.0000,1000000.0000"},
        {u"{x},{y}", u"1.5000,-2.0000"},
        {u"junk", u"junk"},
        {u"{y}{y}", u"-2.0000-2.0000"},
        {u"{w},{x", u"{w},{x"},
        {u"", u""},
    };
    for (const auto& e : expand) EXPECT_EQ(cadhost::ExpandLastPoint(e.templ, p), e.want) << U8(e.templ);

    const std::vector<std::u16string> lines = {u"a", u"", u"b"};
    EXPECT_EQ(cadhost::JoinHistory(lines, HistoryEol::CrLf), u"a\r\n\r\nb");
    EXPECT_EQ(cadhost::JoinHistory(lines, HistoryEol::Cr), u"a\r\rb");
    EXPECT_EQ(cadhost::JoinHistory(lines, HistoryEol::Lf), u"a\n\nb");
    EXPECT_EQ(cadhost::JoinHistory({}, HistoryEol::Lf), u"");
    // The default form is the one the interpreter has always copied.
    cadhost::Interpreter in;
    in.Type(u"ID ");
    in.Pick({1, 2, 0});
    in.Type(u"frob ");
    EXPECT_EQ(cadhost::JoinHistory(in.History(), HistoryEol::CrLf), in.HistoryText());
}

TEST(FaultInterpreter, LastPointTextAndPaddedPrompts) {
    cadhost::Interpreter in;
    in.SetLastPointText(u"{x},{y}\x03");
    in.SetPromptPad(5);
    in.Type(u"ID ");
    EXPECT_EQ(in.PromptLine(), u"点を指定:      ");
    in.Pick({10, 20, 30});
    EXPECT_EQ(in.History().back(), u"X = 10.0000     Y = 20.0000     Z = 30.0000") << "the pick itself is as ever";
    in.Type(u"'SETVAR LASTPOINT\r");
    EXPECT_EQ(in.PromptLine(), u"LASTPOINT の新しい値を入力 <     10.0000,20.0000\x03>: ");
    in.Type(u"\x03");
    EXPECT_TRUE(in.Idle());
    EXPECT_EQ(in.LastPoint().x, 10) << "the real point is kept";
    // Without the faults: the point in the usual form, no blanks.
    cadhost::Interpreter plain;
    plain.Type(u"ID ");
    EXPECT_EQ(plain.PromptLine(), u"点を指定: ");
    plain.Pick({10, 20, 30});
    plain.Type(u"'SETVAR LASTPOINT\r");
    EXPECT_EQ(plain.PromptLine(), u"LASTPOINT の新しい値を入力 <10.0000,20.0000,30.0000>: ");
}

// ---- the running host ----

// The time one call takes, in ms.
template <class F>
ULONGLONG Timed(F f) {
    const ULONGLONG t = GetTickCount64();
    f();
    return GetTickCount64() - t;
}

TEST(FaultHost, HelpNamesEveryFault) {
    EXPECT_EQ(wintest::RunHostToEnd({L"--help"}).exit_code, 0u);
    // --help writes to stdout; the usage text is the core's.
    const std::string usage = U8(cadhost::UsageText());
    for (const char* option : {"--hang-after N --hang-ms MS", "--close-after-pick N", "--delay MS", "--lastpoint TEXT",
                               "--history-eol crlf|cr|lf", "--prompt-pad N", "--log-times"})
        EXPECT_THAT(usage, HasSubstr(option));
}

TEST(FaultHost, HangsAfterTheNthCommandForTheTimeGiven) {
    START_HOST(host, {L"--hang-after", L"2", L"--hang-ms", L"3000"});
    EXPECT_LT(Timed([&] { EXPECT_EQ(host.Type(L"ID "), TRUE); }), 1000u);
    // The second command is answered at once, then the host blocks.
    EXPECT_LT(Timed([&] { EXPECT_EQ(host.Type(L"\x03"), TRUE); }), 1000u);
    DWORD_PTR len = 0;
    EXPECT_FALSE(SendMessageTimeoutW(host.Headlands(), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 500, &len))
        << "a hung host does not answer";
    // A patient sender gets its answer when the hang is over.
    const ULONGLONG waited = Timed(
        [&] { EXPECT_TRUE(SendMessageTimeoutW(host.Headlands(), WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &len)); });
    EXPECT_GE(waited, 1800u);
    EXPECT_LE(waited, 3500u);
    EXPECT_EQ(host.Prompt(), L"コマンド: ");
    EXPECT_LT(Timed([&] { host.Type(L"ID "); }), 1000u) << "it hangs once only";
    EXPECT_EQ(host.LogOf("fault").size(), 2u);
}

TEST(FaultHost, ClosesAfterTheNthPick) {
    START_HOST(host, {L"--close-after-pick", L"2", L"--think", L"0"}, L"pick 1,1\npick 2,2\npick 3,3\n");
    host.Type(L"\x03ID ");
    ASSERT_TRUE(host.WaitPrompt(L"コマンド: "));
    // The host logs the fault and closes in the handler of the pick itself,
    // before it can answer for the idle prompt.
    EXPECT_TRUE(host.LogOf("fault").empty()) << "closing after the first pick";
    EXPECT_TRUE(IsWindow(host.Frame())) << "still there after the first pick";
    host.Type(L"\x03ID ");
    EXPECT_TRUE(WaitFor(5000, [&] { return !IsWindow(host.Frame()); })) << "the host ends after the second pick";
    EXPECT_EQ(host.LogOf("identified").size(), 2u);
    EXPECT_EQ(host.LogOf("fault").size(), 1u);
    EXPECT_EQ(host.LogOf("exit").size(), 1u) << "it ended as a closed host does, outputs written";
}

TEST(FaultHost, DelaysEveryAnswer) {
    START_HOST(host, {L"--delay", L"400"});
    struct Case {
        const char* what;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"WM_COPYDATA", [&] { host.Type(L"ID "); }},
        {"prompt line", [&] { host.PromptW(); }},  // WM_GETTEXTLENGTH and WM_GETTEXT: twice the delay
        {"history copy", [&] { host.HistoryW(); }},
    };
    for (const Case& c : cases) {
        const ULONGLONG t = Timed(c.call);
        EXPECT_GE(t, 380u) << c.what;
        EXPECT_LT(t, 2500u) << c.what;
    }
    START_HOST(quick);
    EXPECT_LT(Timed([&] { quick.Type(L"ID "); }), 300u) << "no delay without the option";
}

TEST(FaultHost, ShowsTheLastPointTextGiven) {
    const struct {
        std::vector<std::wstring> args;
        std::wstring value;
    } cases[] = {
        {{L"--lastpoint", L"junk"}, L"junk"},
        {{L"--lastpoint", L""}, L""},
        {{L"--lastpoint", L"{x},{y}"}, L"12.0000,34.0000"},
        {{L"--lastpoint", L"{x},{y},{z},9"}, L"12.0000,34.0000,0.0000,9"},
        {{L"--lastpoint", L" \\t{x} ,{y},{z}\\t "}, L" \t12.0000 ,34.0000,0.0000\t "},
        {{L"--lastpoint", L"{x}\\x03,{y},{z}"}, L"12.0000\x03,34.0000,0.0000"},
        {{L"--ansi", L"--lastpoint", L"{x}\\u30b3,{y}"}, L"12.0000コ,34.0000"},
    };
    for (const auto& c : cases) {
        START_HOST(host, c.args, L"pick 12,34\n");
        host.Type(L"\x03ID ");
        ASSERT_TRUE(host.WaitPrompt(L"コマンド: ")) << PrintToString(c.args);
        host.Type(L"'SETVAR LASTPOINT\r");
        EXPECT_EQ(host.Prompt(), L"LASTPOINT の新しい値を入力 <" + c.value + L">: ") << PrintToString(c.args);
    }
}

TEST(FaultHost, HistoryLineEnds) {
    const struct {
        std::vector<std::wstring> args;
        const wchar_t* eol;
    } cases[] = {{{}, L"\r\n"},
                 {{L"--history-eol", L"crlf"}, L"\r\n"},
                 {{L"--history-eol", L"cr"}, L"\r"},
                 {{L"--history-eol", L"lf"}, L"\n"},
                 {{L"--ansi", L"--history-eol", L"lf"}, L"\n"}};
    for (const auto& c : cases) {
        START_HOST(host, c.args);
        host.Type(L"frob ");
        host.Type(L"ID 1,2 ");
        const std::wstring want = L"コマンド: frob" + std::wstring(c.eol) +
                                  L"不明なコマンド \"FROB\"。 F1 キーを押してヘルプを参照してください。" + c.eol +
                                  L"コマンド: ID" + c.eol + L"点を指定: 1,2" + c.eol +
                                  L"X = 1.0000     Y = 2.0000     Z = 0.0000";
        EXPECT_EQ(host.HistoryW(), want) << PrintToString(c.args);
        EXPECT_EQ(host.HistoryA(), ToBytes(want)) << PrintToString(c.args);
    }
}

TEST(FaultHost, VeryLongPromptLine) {
    START_HOST(host, {L"--prompt-pad", L"100000", L"--think", L"0"}, L"pick 5,6\n");
    host.Type(L"\x03ID ");
    // While ID waits the prompt line is the prompt and the blanks; the
    // script answers it at once, so read the line the SETVAR shows.
    ASSERT_TRUE(host.WaitPrompt(L"コマンド: "));
    host.Type(L"'SETVAR LASTPOINT\r");
    const std::wstring want = L"LASTPOINT の新しい値を入力 <" + std::wstring(100000, L' ') + L"5.0000,6.0000,0.0000>: ";
    EXPECT_EQ(host.PromptW(), want);
    EXPECT_EQ(host.PromptA(), ToBytes(want)) << "whole in the 8-bit form too";
    host.Type(L"\x03");
    host.Type(L"ID ");
    const std::wstring id = host.PromptW();
    EXPECT_EQ(id.size(), 100006u);
    EXPECT_EQ(id.substr(0, 6), L"点を指定: ");
    EXPECT_EQ(id.find_first_not_of(L' ', 6), std::wstring::npos);
}

TEST(FaultHost, LogTimesAreTheSharedTickCount) {
    const ULONGLONG before = GetTickCount64();
    START_HOST(host, {L"--log-times"});
    host.Type(L"ID 1,1 ");
    const ULONGLONG after = GetTickCount64();
    long long last = 0;
    const auto records = host.Log();
    ASSERT_GE(records.size(), 4u);
    for (const tarvel::driver::LogRecord& record : records) {
        const long long ms = record.Number("ms");
        ASSERT_GE(ms, 0) << record.Raw();
        EXPECT_GE(ms, static_cast<long long>(before) - 50);
        EXPECT_LE(ms, static_cast<long long>(after) + 50);
        EXPECT_GE(ms, last);
        last = ms;
    }
    START_HOST(plain);
    for (const auto& record : plain.Log()) EXPECT_THAT(record.Raw(), ::testing::Not(HasSubstr("\"ms\"")));
}

// ---- the clipboard holder ----

// clipholder.exe, ended when the test leaves.
class Holder {
public:
    bool Start(const std::vector<std::wstring>& args) { return process_.Start(wintest::ClipHolderExe(), args); }
    // The exit code once it has ended within `ms`; STILL_ACTIVE while it runs.
    DWORD Wait(DWORD ms) const {
        process_.WaitExit(ms);
        return process_.ExitCode();
    }
    DWORD Id() const { return process_.Id(); }
    ~Holder() { process_.Kill(9); }

private:
    tarvel::common::Process process_;
};

bool CanOpenClipboard() {
    if (!OpenClipboard(nullptr)) return false;
    CloseClipboard();
    return true;
}

TEST(ClipHolder, HoldsTheClipboardForTheTimeGiven) {
    Holder h;
    const ULONGLONG t0 = GetTickCount64();
    ASSERT_TRUE(h.Start({L"--hold", L"1500"}));
    ASSERT_TRUE(WaitFor(
        2000, [] { return !CanOpenClipboard(); }, 20))
        << "the holder never took the clipboard";
    // Free again no sooner than the time given after the start.
    ASSERT_TRUE(WaitFor(5000, CanOpenClipboard, 20)) << "never released";
    EXPECT_GE(GetTickCount64() - t0, 1500u) << "released early";
    EXPECT_EQ(h.Wait(5000), 0u);
    EXPECT_TRUE(CanOpenClipboard()) << "released at the end";
}

TEST(ClipHolder, WritesAtTheMomentGiven) {
    Holder put;
    ASSERT_TRUE(put.Start({L"--put", L"before"}));
    ASSERT_EQ(put.Wait(5000), 0u);
    Holder h;
    const ULONGLONG t0 = GetTickCount64();
    ASSERT_TRUE(h.Start({L"--write-at", L"800", L"--text", L"written later"}));
    EXPECT_EQ(ClipboardText(), L"before");
    ASSERT_TRUE(WaitFor(
        5000, [] { return ClipboardText() == L"written later"; }, 20))
        << "never written";
    EXPECT_GE(GetTickCount64() - t0, 800u) << "written before the moment given";
    EXPECT_EQ(h.Wait(5000), 0u);
}

TEST(ClipHolder, PutsAndChecksPictures) {
    Holder put;
    ASSERT_TRUE(put.Start({L"--put", L"text", L"--pictures"}));
    ASSERT_EQ(put.Wait(5000), 0u);
    Holder same, plain;
    ASSERT_TRUE(same.Start({L"--check", L"text", L"--pictures"}));
    EXPECT_EQ(same.Wait(5000), 0u);
    Holder text;
    ASSERT_TRUE(text.Start({L"--put", L"text"}));
    ASSERT_EQ(text.Wait(5000), 0u);
    ASSERT_TRUE(plain.Start({L"--check", L"text", L"--pictures"}));
    EXPECT_EQ(plain.Wait(5000), 1u) << "the pictures are gone";
}

TEST(ClipHolder, OffersATextAndRendersItWhenAsked) {
    const struct {
        std::vector<std::wstring> args;
        ULONGLONG at_least_ms;
    } cases[] = {
        {{L"--offer", L"描画する文", L"--render-after", L"600", L"--for", L"8000"}, 550},
        {{L"--offer", L"描画する文", L"--hang", L"1500", L"--for", L"8000"}, 1000},
    };
    for (const auto& c : cases) {
        Holder h;
        ASSERT_TRUE(h.Start(c.args));
        HWND owner = nullptr;
        for (int i = 0; i < 100 && !(owner = GetClipboardOwner()); ++i) Sleep(20);
        DWORD pid = 0;
        GetWindowThreadProcessId(owner, &pid);
        ASSERT_EQ(pid, h.Id()) << "the holder offered nothing";
        const ULONGLONG t0 = GetTickCount64();
        EXPECT_EQ(ClipboardText(), L"描画する文") << PrintToString(c.args);
        EXPECT_GE(GetTickCount64() - t0, c.at_least_ms) << PrintToString(c.args);
    }
}

TEST(ClipHolder, PutsAndChecksAUsersContent) {
    const std::vector<std::wstring> content = {L"利用者 text", L"--format", L"Tarvel Holder Test", L"--data",
                                               L"abc 123"};
    auto with = [&](const wchar_t* mode) {
        std::vector<std::wstring> args = {mode};
        args.insert(args.end(), content.begin(), content.end());
        return args;
    };
    Holder put;
    ASSERT_TRUE(put.Start(with(L"--put")));
    ASSERT_EQ(put.Wait(5000), 0u);
    const struct {
        std::vector<std::wstring> args;
        DWORD code;
    } checks[] = {
        {with(L"--check"), 0},
        {{L"--check", L"利用者 text"}, 0},  // the text alone
        {{L"--check", L"other", L"--format", L"Tarvel Holder Test", L"--data", L"abc 123"}, 1},
        {{L"--check", L"利用者 text", L"--format", L"Tarvel Holder Test", L"--data", L"abc 12"}, 1},
        {{L"--check", L"利用者 text", L"--format", L"Tarvel Absent Format", L"--data", L"abc 123"}, 1},
        {{L"--hold"}, 2},
        {{L"--hold", L"60001"}, 2},
        {{L"--write-at", L"10"}, 2},
        {{L"--hold", L"10", L"--put", L"x"}, 2},
        {{L"--offer", L"x", L"--hang", L"60001"}, 2},
    };
    for (const auto& c : checks) {
        Holder h;
        ASSERT_TRUE(h.Start(c.args));
        EXPECT_EQ(h.Wait(5000), c.code) << PrintToString(c.args);
    }
}

}  // namespace
