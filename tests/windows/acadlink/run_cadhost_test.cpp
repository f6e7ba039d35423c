// A whole dimension run over the real link against cadhost.exe: the picks
// are stored in chain order and the dimlinear commands reach the host; a
// message Windows refuses for lack of privilege ends the run with its error
// and nothing is sent after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/acad_cad_link.h"
#include "acadlink/link_testing.h"
#include "dimension/point_table.h"
#include "dimension/run.h"
#include "dimension/run_window.h"
#include "support/errors.h"
#include "support/win32/text.h"
#include "tests/windows/support/test_host.h"
#include "tools/common/wait.h"

namespace {

// The main window as the run sees it: nothing to minimise here, the
// messages of this thread pumped, real sleeps, the tier option given.
class TestRunWindow final : public tarvel::RunWindow {
public:
    explicit TestRunWindow(int tier) : tier_(tier) {}
    void Minimize() override { ++minimized; }
    void Restore() override { ++restored; }
    void ProcessMessages() override { tarvel::common::PumpMessages(); }
    void Sleep(std::uint32_t milliseconds) override {
        if (on_sleep) on_sleep();
        ::Sleep(milliseconds);
    }
    void DeleteWorkFile(const std::string&) override {}
    bool RadioButton1Checked() override { return tier_ == 1; }
    bool RadioButton2Checked() override { return tier_ == 2; }

    int minimized = 0;
    int restored = 0;
    std::function<void()> on_sleep;  // at each poll's sleep

private:
    int tier_;
};

// The bottom edge of the demo: four spans of 500 and one of 300, picked
// start, end, then the intermediate points in any order.
const std::wstring kChain =
    L"pick 0,0\npick 2300,0\npick 1500,0\npick 500,0\npick 2000,0\npick 1000,0\nend\npick 1000,-400\n";

// The host in a layout and encoding, picking the chain.
std::vector<std::wstring> HostArgs(const wchar_t* layout, bool ansi) {
    std::vector<std::wstring> args = {L"--layout", layout, L"--think", L"50"};
    if (ansi) args.push_back(L"--ansi");
    return args;
}

// The text of each command the host was given.
std::vector<std::wstring> CommandTexts(const wintest::HostSession& host) {
    std::vector<std::wstring> texts;
    for (const tarvel::driver::LogRecord& r : host.LogOf("command")) texts.push_back(r.Text("text"));
    return texts;
}

using RunParam = std::tuple<const wchar_t*, bool, int>;  // layout, ansi, tier

class RunAgainstCadHost : public testing::TestWithParam<RunParam> {};

TEST_P(RunAgainstCadHost, StoresThePicksAndSendsTheDimensions) {
    const auto [layout, ansi, tier] = GetParam();
    tarvel::Acad11ACtrl::seams::ResetForTests();
    tarvel::ResetPointTable();
    START_HOST(host, HostArgs(layout, ansi), kChain);

    tarvel::AcadCadLink link;
    TestRunWindow window(tier);
    ASSERT_TRUE(tarvel::RunDimension(link, window));
    EXPECT_EQ(window.minimized, 1);
    EXPECT_EQ(window.restored, 1);

    const std::vector<std::string> stored = {
        "0.0000,0.0000,0.0000",    "500.0000,0.0000,0.0000",  "1000.0000,0.0000,0.0000",    "1500.0000,0.0000,0.0000",
        "2000.0000,0.0000,0.0000", "2300.0000,0.0000,0.0000", "1000.0000,-400.0000,0.0000",
    };
    ASSERT_EQ(tarvel::Points().PointCount, static_cast<std::int32_t>(stored.size()));
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(tarvel::Points().PointText[static_cast<std::int32_t>(i + 1)], stored[i]) << "point " << i + 1;
    }

    const std::wstring tier_code = tier == 1 ? L"\\P" : tier == 2 ? L"\\X" : L"";
    const std::vector<std::wstring> expected = {
        L"dimlinear 0.0000,0.0000,0.0000 2000.0000,0.0000,0.0000 H T 4@500" + tier_code +
            L"=<>\r1000.0000,-400.0000,0.0000\r",
        L"dimlinear 2000.0000,0.0000,0.0000 2300.0000,0.0000,0.0000 H 1000.0000,-400.0000,0.0000\r",
    };
    const std::vector<std::wstring> commands = CommandTexts(host);
    ASSERT_GE(commands.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(commands[commands.size() - expected.size() + i], expected[i]) << "command " << i + 1;
    }
    // Every pick began with Ctrl-C and ID; every accepted one was read back.
    EXPECT_EQ(std::count(commands.begin(), commands.end(), L"\x03ID "), 8);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), L"'SETVAR LASTPOINT\r"), 7);

    std::vector<long long> measured;
    for (const tarvel::driver::LogRecord& e : host.LogOf("dimension")) measured.push_back(e.Number("measurement"));
    EXPECT_EQ(measured, (std::vector<long long>{2000, 300}));
}

INSTANTIATE_TEST_SUITE_P(Runs, RunAgainstCadHost,
                         testing::Values(RunParam{L"docked", false, 2}, RunParam{L"docked", true, 1},
                                         RunParam{L"floating", false, 3}, RunParam{L"floating", true, 2},
                                         RunParam{L"text", false, 1}, RunParam{L"text", true, 2}),
                         [](const testing::TestParamInfo<RunParam>& p) {
                             return tarvel::win32::ToUtf8(std::get<0>(p.param)) +
                                    (std::get<1>(p.param) ? "Ansi" : "Wide") + "Tier" +
                                    std::to_string(std::get<2>(p.param));
                         });

// Windows refuses every message from a program of lower privilege to
// AutoCAD with ERROR_ACCESS_DENIED (never under Wine): from the first one
// that matches on, the link's messages are refused here.
struct Refusal {
    const char* what;
    UINT message;
    std::u16string command;  // for WM_COPYDATA: how the command begins
};
Refusal g_refusal;
int g_refused = 0;  // messages refused so far

bool Matches(UINT message, LPARAM lparam) {
    if (message != g_refusal.message) return false;
    if (message != WM_COPYDATA) return true;
    const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
    const auto* text = static_cast<const char16_t*>(record->lpData);  // the Unicode host
    const std::u16string sent(text, record->cbData / 2 - 1);
    return sent.rfind(g_refusal.command, 0) == 0;
}

BOOL RefusingSend(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool wide, UINT flags, UINT timeout_ms,
                  DWORD_PTR* result) {
    if (g_refused > 0 || Matches(message, lparam)) {
        ++g_refused;
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return wide ? SendMessageTimeoutW(window, message, wparam, lparam, flags, timeout_ms, result)
                : SendMessageTimeoutA(window, message, wparam, lparam, flags, timeout_ms, result);
}

TEST(RunAgainstAnElevatedHost, TheRefusedMessageEndsTheRunWithItsError) {
    const Refusal refusals[] = {
        {"the prompt line read of the entry test", WM_GETTEXTLENGTH, u""},
        {"the first pick", WM_COPYDATA, u"\x03ID "},
        {"the history copy", WM_COMMAND, u""},
        {"the LASTPOINT query", WM_COPYDATA, u"'SETVAR"},
        {"the first dimlinear", WM_COPYDATA, u"dimlinear"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        tarvel::Acad11ACtrl::seams::ResetForTests();
        tarvel::ResetPointTable();
        START_HOST(host, HostArgs(L"docked", false), kChain);
        g_refusal = refusal;
        g_refused = 0;
        const auto before = tarvel::Acad11ACtrl::seams::SetHostSend(&RefusingSend);
        tarvel::AcadCadLink link;
        TestRunWindow window(2);
        try {
            tarvel::RunDimension(link, window);
            ADD_FAILURE() << "the run ended without an error";
        } catch (const tarvel::AcadElevatedError& error) {
            EXPECT_EQ(error.message(), tarvel::kAcadElevatedMessage);
        }
        tarvel::Acad11ACtrl::seams::SetHostSend(before);
        EXPECT_EQ(g_refused, 1) << "a message was sent after the refused one";
        // Raised in the picking it leaves the window minimised; in the
        // sending, restored.
        EXPECT_EQ(window.restored, refusal.command == u"dimlinear" ? 1 : 0);
        for (const std::wstring& text : CommandTexts(host)) EXPECT_NE(text.rfind(L"dimlinear", 0), 0u) << "sent";
    }
}

// While a pick waits, each poll reads the prompt line through the kept
// handles only: no window of the desktop is enumerated. A pick that ends
// searches once, for the text window of the history copy.
TEST(RunAgainstCadHostPolls, WaitingPollsEnumerateNoWindows) {
    tarvel::Acad11ACtrl::seams::ResetForTests();
    tarvel::ResetPointTable();
    START_HOST(host, HostArgs(L"docked", false),
               L"pick 0,0\npick 2300,0\npick 1500,0\nwait 1500\npick 500,0\nend\npick 1000,-400\n");
    struct Poll {
        unsigned enumerations;
        std::size_t commands;
    };
    std::vector<Poll> polls;
    tarvel::AcadCadLink link;
    TestRunWindow window(2);
    window.on_sleep = [&] {
        polls.push_back({tarvel::Acad11ACtrl::seams::WindowEnumerationsForTests(), host.LogOf("command").size()});
    };
    ASSERT_TRUE(tarvel::RunDimension(link, window));
    int waiting = 0, finished = 0;
    for (std::size_t i = 1; i < polls.size(); ++i) {
        const unsigned enumerations = polls[i].enumerations - polls[i - 1].enumerations;
        if (polls[i].commands == polls[i - 1].commands) {
            ++waiting;
            EXPECT_EQ(enumerations, 0u) << "poll " << i << " while a pick waited";
        } else {
            ++finished;
            EXPECT_LE(enumerations, 1u) << "poll " << i << " that ended a pick";
        }
    }
    EXPECT_GE(waiting, 5) << "the unanswered pick was polled";
    EXPECT_GE(finished, 5);
}

}  // namespace
