// tarvel-check.exe --probe, the read-only look at a user's AutoCAD: beside
// the scripted host in every layout and both encodings, beside windows that
// are not quite AutoCAD's, and with none at all. It must find what a run
// finds, say what is missing, and send the host nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/win32/text.h"
#include "tests/windows/support/files.h"
#include "tests/windows/support/test_host.h"
#include "tests/windows/support/test_windows.h"
#include "tools/common/process.h"

namespace {

struct ProbeResult {
    DWORD status = 0;
    std::wstring out;
    bool Says(const std::wstring& part) const { return out.find(part) != std::wstring::npos; }
};

// The probe run to its end; no --lang: the user's language (Japanese here).
ProbeResult Probe(const std::vector<std::wstring>& lang = {L"--lang", L"en"}) {
    std::vector<std::wstring> args = {L"--probe"};
    args.insert(args.end(), lang.begin(), lang.end());
    const tarvel::common::RunResult run = tarvel::common::RunToEnd(wintest::TarvelCheckExe(), args, 40000);
    return {run.ended ? run.exit_code : 999u, tarvel::win32::FromUtf8(run.output)};
}

TEST(ProbeTest, BesideTheHostInEveryLayoutAndEncoding) {
    struct Case {
        const wchar_t* layout;
        bool ansi;
        const wchar_t* where;
    };
    const Case cases[] = {
        {L"docked", false, L"docked (under the main window)"},
        {L"docked", true, L"docked (under the main window)"},
        {L"floating", false, L"floating, in the window \"コマンド ライン\""},
        {L"floating", true, L"floating, in the window \"コマンド ライン\""},
        {L"text", false, L"in the text window"},
        {L"text", true, L"in the text window"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(tarvel::win32::ToUtf8(c.layout) + (c.ansi ? " ANSI" : " Unicode"));
        std::vector<std::wstring> args = {L"--layout", c.layout};
        if (c.ansi) args.push_back(L"--ansi");
        START_HOST(host, args);
        const ProbeResult probe = Probe();
        const std::string shown = tarvel::win32::ToUtf8(probe.out);
        EXPECT_EQ(probe.status, 0u) << shown;
        EXPECT_TRUE(probe.Says(L"\"AutoCAD 2004 - [Drawing1.dwg]\"")) << shown;
        EXPECT_TRUE(probe.Says(c.ansi ? L"ANSI window" : L"Unicode window")) << shown;
        EXPECT_TRUE(probe.Says(L"process " + std::to_wstring(host.Pid()))) << shown;
        EXPECT_TRUE(probe.Says(c.where)) << shown;
        EXPECT_TRUE(probe.Says(L"\"コマンド: \" (AutoCAD is idle)")) << shown;
        EXPECT_TRUE(probe.Says(L"Verdict: Tarvel would work with this AutoCAD.\n")) << shown;
        EXPECT_TRUE(host.LogOf("command").empty()) << "the probe typed into the host";
    }
}

TEST(ProbeTest, SaysWhenAutoCADIsInsideACommandInTheUsersLanguage) {
    START_HOST(host);
    host.Type(L"ID ");
    ASSERT_TRUE(host.WaitPrompt(L"点を指定: "));
    const ProbeResult probe = Probe({});
    const std::string shown = tarvel::win32::ToUtf8(probe.out);
    EXPECT_EQ(probe.status, 0u) << shown;
    EXPECT_TRUE(probe.Says(L"\"点を指定: \"")) << shown;
    EXPECT_TRUE(probe.Says(L"「開始」の前に AutoCAD で Esc を")) << shown;
    EXPECT_TRUE(probe.Says(L"判定: この AutoCAD で Tarvel は動きます。")) << shown;
    EXPECT_EQ(host.LogOf("command").size(), 1u) << "only the test's own ID";
}

TEST(ProbeTest, ListsWhatTarvelWouldNotTakeAndWhy) {
    // A main window of another release: its class passes none of the tests.
    wintest::TestWindow other("AfxFrameOrView140u", "AutoCAD 2025 - [Drawing1.dwg]");
    ProbeResult probe = Probe();
    std::string shown = tarvel::win32::ToUtf8(probe.out);
    EXPECT_EQ(probe.status, 1u) << shown;
    EXPECT_TRUE(probe.Says(L"\"AutoCAD 2025 - [Drawing1.dwg]\", class \"AfxFrameOrView140u\"")) << shown;
    EXPECT_TRUE(probe.Says(L"its class passes none of the main window's class tests")) << shown;
    EXPECT_TRUE(probe.Says(L"Verdict: Tarvel would not work with this AutoCAD")) << shown;
    other.Destroy();

    // A main window with its prompt line but no text window and no history
    // pane, in another process: the history cannot be copied.
    wintest::ChildHost child({"main"});
    ASSERT_TRUE(child.Ready());
    probe = Probe();
    shown = tarvel::win32::ToUtf8(probe.out);
    EXPECT_EQ(probe.status, 1u) << shown;
    EXPECT_TRUE(probe.Says(L"not found: the history cannot be copied")) << shown;
    EXPECT_TRUE(probe.Says(L"not found (warning): the picks work, but the prompts do not show")) << shown;
    EXPECT_TRUE(probe.Says(L"the text window was not found")) << shown;
    EXPECT_EQ(child.Finish(), 0) << "the probe sent the main window a command";
}

TEST(ProbeTest, NothingLikeAutoCAD) {
    const ProbeResult probe = Probe();
    EXPECT_EQ(probe.status, 2u) << tarvel::win32::ToUtf8(probe.out);
    EXPECT_TRUE(probe.Says(L"Verdict: no window looks like AutoCAD's.")) << tarvel::win32::ToUtf8(probe.out);
}

}  // namespace
