// The link against cadhost.exe in another process, in every layout and both
// encodings: what the host receives, the prompt line, the history through
// the clipboard, and the system variable query.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/link_testing.h"
#include "support/win32/text.h"
#include "tests/windows/support/test_host.h"
#include "tests/windows/support/test_windows.h"
#include "tools/common/clip_sample.h"
#include "tools/common/wait.h"

namespace {

using namespace tarvel::Acad11ACtrl;
using tarvel::driver::LogRecord;

const std::wstring kPicks = L"# the ID picks of the tests\npick 100,200\npick -5.5,3.25,7\nend\ncancel\n";
const std::string kIdle = "コマンド: ";

using Param = std::tuple<const wchar_t*, bool>;  // layout, ansi

class AgainstCadHost : public testing::TestWithParam<Param> {
protected:
    void SetUp() override {
        seams::ResetForTests();
        std::vector<std::wstring> args = {L"--layout", std::get<0>(GetParam()), L"--think", L"50"};
        if (ansi()) args.push_back(L"--ansi");
        host_ = std::make_unique<wintest::HostSession>(args, kPicks);
        ASSERT_TRUE(host_->Ok()) << host_->Error();
        ASSERT_TRUE(AcadIsRunning());
        ASSERT_EQ(State().AcadProcessId, host_->Pid());
        ASSERT_EQ(IsWindowUnicode(State().AcadWnd) != FALSE, !ansi());
    }
    void TearDown() override {
        host_.reset();
        seams::ResetForTests();
    }
    bool ansi() const { return std::get<1>(GetParam()); }
    std::vector<LogRecord> Commands() const { return host_->LogOf("command"); }

    // Waits for the prompt line, read through the link, to read `text`.
    bool WaitForPrompt(const std::string& text) {
        return tarvel::common::WaitFor(5000, [&] {
            std::string prompt;
            ReadPromptLine(prompt);
            return prompt == text;
        });
    }

    std::unique_ptr<wintest::HostSession> host_;
};

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

TEST_P(AgainstCadHost, CommandsArriveWholeWithTheirTerminator) {
    struct Case {
        const char* what;
        std::u16string command;
        std::u16string arrives;
    };
    // A dimlinear whose text makes the command exactly `units` long.
    auto dimlinear = [](std::size_t units) {
        const std::u16string head = u"dimlinear 0,0 100,0 H T ";
        const std::u16string tail = u"\r50,-20\r";
        return head + std::u16string(units - head.size() - tail.size(), u'w') + tail;
    };
    const std::vector<Case> cases = {
        {"empty", u"", u""},
        {"cancel", u"\x03\x03", u"\x03\x03"},
        {"exactly 255 units", dimlinear(255), dimlinear(255)},
        {"300 units", dimlinear(300), dimlinear(300)},
        {"outside the code page", u"\x03\x03\u20ac\u4e02\x03", u"\x03\x03??\x03"},
        // 128 double-byte characters: 256 bytes in the 8-bit form.
        {"double-byte past 255 bytes", u"\x03" + std::u16string(128, u'寸') + u"\x03",
         u"\x03" + std::u16string(128, u'寸') + u"\x03"},
    };
    for (const Case& c : cases) {
        const std::size_t before = Commands().size();
        ASSERT_TRUE(SendCommand(c.command)) << c.what;
        const std::vector<LogRecord> commands = Commands();
        ASSERT_EQ(commands.size(), before + 1) << c.what << ": logged before SendCommand returned";
        const LogRecord& got = commands.back();
        std::wstring text;
        ASSERT_TRUE(got.Text("text", text)) << got.Raw();
        EXPECT_EQ(text, Wide(c.arrives)) << c.what;
        EXPECT_EQ(got.Text("enc"), ansi() ? L"A" : L"W") << c.what;
        const std::size_t bytes =
            ansi() ? tarvel::win32::ToBytes(std::u16string_view(c.arrives)).size() + 1 : 2 * (c.command.size() + 1);
        EXPECT_EQ(got.Number("cbData"), static_cast<long long>(bytes)) << c.what;
    }
    // The two long ones made dimensions with their whole texts.
    std::vector<std::wstring> texts;
    for (const LogRecord& e : host_->LogOf("dimension")) {
        std::wstring t;
        if (e.Text("text", t)) texts.push_back(t);
    }
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].size(), 255u - 24u - 8u);
    EXPECT_EQ(texts[1].size(), 300u - 24u - 8u);
    EXPECT_TRUE(WaitForPrompt(kIdle));
}

TEST_P(AgainstCadHost, PromptLine) {
    std::string prompt = "stale";
    ReadPromptLine(prompt);
    EXPECT_EQ(prompt, kIdle);
    SendCommand(u"'SETVAR LASTPOINT\r");
    ReadPromptLine(prompt);
    EXPECT_EQ(prompt, "LASTPOINT の新しい値を入力 <0.0000,0.0000,0.0000>: ");
    SendCommand(u"\x03");
    ReadPromptLine(prompt);
    EXPECT_EQ(prompt, kIdle);
}

TEST_P(AgainstCadHost, PickThenLastPointAndTheHistory) {
    const std::vector<std::pair<std::string, std::string>> picks = {
        {"X = 100.0000     Y = 200.0000     Z = 0.0000", "100.0000,200.0000,0.0000"},
        {"X = -5.5000     Y = 3.2500     Z = 7.0000", "-5.5000,3.2500,7.0000"},
    };
    for (const auto& [line, lastpoint] : picks) {
        SendCommand(u"\x03\x03ID ");
        ASSERT_TRUE(WaitForPrompt(kIdle)) << "the scripted pick did not come";
        std::string last = "stale";
        LastHistoryLine(last);
        EXPECT_EQ(last, line);
        const std::size_t before = Commands().size();
        std::string value = "stale";
        QuerySysVar("LASTPOINT", value);
        EXPECT_EQ(value, lastpoint);
        const std::vector<LogRecord> commands = Commands();
        ASSERT_EQ(commands.size(), before + 2) << "the query and its Ctrl-C";
        EXPECT_EQ(commands[before].Text("text"), L"'SETVAR LASTPOINT\r");
        EXPECT_EQ(commands[before + 1].Text("text"), L"\x03");
        std::string prompt;
        ReadPromptLine(prompt);
        EXPECT_EQ(prompt, kIdle) << "left at the command prompt";
    }
    // A right-click and an Esc: neither "X" nor a point.
    SendCommand(u"\x03\x03ID ");
    ASSERT_TRUE(WaitForPrompt(kIdle));
    std::string last;
    LastHistoryLine(last);
    EXPECT_EQ(last.find('X'), std::string::npos) << last;
    SendCommand(u"\x03\x03ID ");
    ASSERT_TRUE(WaitForPrompt(kIdle));
    LastHistoryLine(last);
    EXPECT_NE(last.find("キャンセル"), std::string::npos) << last;
}

TEST_P(AgainstCadHost, ReadOnlyAnswersFromTheHistory) {
    for (const char* name : {"ACADVER", "acadver", "AcadVer"}) {
        const std::size_t before = Commands().size();
        std::string value = "stale";
        QuerySysVar(name, value);
        EXPECT_EQ(value, "\"16.0s (LMS Tech)\"") << name;
        const std::vector<LogRecord> commands = Commands();
        ASSERT_EQ(commands.size(), before + 1) << name << ": no Ctrl-C after a history answer";
        EXPECT_EQ(commands[before].Text("text"), tarvel::win32::ToWide(std::string(name) + "\r")) << name;
    }
    // Another read-only variable through 'SETVAR.
    std::string value;
    QuerySysVar("DWGNAME", value);
    EXPECT_EQ(value, "\"Drawing1.dwg\"");
    // No reply form at all.
    const std::size_t before = Commands().size();
    value = "stale";
    QuerySysVar("NOSUCHVAR", value);
    EXPECT_EQ(value, "");
    EXPECT_EQ(Commands().size(), before + 1);
    EXPECT_TRUE(WaitForPrompt(kIdle));
}

TEST_P(AgainstCadHost, TheUsersClipboardIsKept) {
    wintest::TestWindow user("TarvelTestCadHostUser", "user");
    const tarvel::common::ClipSample mine{L"利用者のクリップボード", L"Tarvel Test CadHost Format",
                                          std::string("\x09\x08\x07\0\x06", 5), false};
    ASSERT_TRUE(tarvel::common::PutClip(user.Get(), mine));

    SendCommand(u"\x03\x03ID ");
    ASSERT_TRUE(WaitForPrompt(kIdle));
    std::string line;
    LastHistoryLine(line);
    EXPECT_EQ(line, "X = 100.0000     Y = 200.0000     Z = 0.0000");
    EXPECT_EQ(tarvel::common::CheckClip(user.Get(), mine), "same") << "the text and the registered format's bytes";
}

TEST_P(AgainstCadHost, HostClosedMeansNotRunning) {
    host_->Close();
    EXPECT_FALSE(AcadIsRunning());
    EXPECT_FALSE(SendCommand(u"ID "));
    EXPECT_FALSE(ActivateAcad());
    std::string text = "stale";
    ReadPromptLine(text);
    EXPECT_EQ(text, "");
    LastHistoryLine(text);
    EXPECT_EQ(text, "");
    QuerySysVar("LASTPOINT", text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(FindHistoryPane(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Layouts, AgainstCadHost,
                         testing::Combine(testing::Values(L"docked", L"floating", L"text"), testing::Bool()),
                         [](const testing::TestParamInfo<Param>& p) {
                             return tarvel::win32::ToUtf8(std::get<0>(p.param)) +
                                    (std::get<1>(p.param) ? "Ansi" : "Wide");
                         });

}  // namespace
