// The CAD link's text rules: history lines, the "<" ">" and "=" "("
// extraction, the query command, and the query's decisions over a scripted
// prompt line and history.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "acadlink/linktext.h"
#include "support/errors.h"

namespace tarvel::linktext {
namespace {

using Lines = std::vector<std::string>;

struct SplitCase {
    const char* what;
    std::string text;
    Lines lines;
};

TEST(HistoryLines, SplitByTheLineRules) {
    const std::vector<SplitCase> cases = {
        {"empty text", "", {}},
        {"one line, no break", "abc", {"abc"}},
        {"CR LF", "a\r\nb", {"a", "b"}},
        {"CR alone", "a\rb", {"a", "b"}},
        {"LF alone", "a\nb", {"a", "b"}},
        {"break at the end adds no line", "a\r\n", {"a"}},
        {"CR at the end", "a\r", {"a"}},
        {"LF at the end", "a\n", {"a"}},
        {"empty line kept before the end", "a\r\n\r\n", {"a", ""}},
        {"empty line inside", "a\r\n\r\nb", {"a", "", "b"}},
        {"only one break", "\r\n", {""}},
        {"only LFs", "\n\n", {"", ""}},
        {"LF then CR are two breaks", "a\n\rb", {"a", "", "b"}},
        {"CR then CR LF are two breaks", "a\r\r\nb", {"a", "", "b"}},
        {"blank line is a line with characters", "  \r\nx", {"  ", "x"}},
        {"zero byte ends the text", std::string("a\r\nb\0c\r\nd", 10), {"a", "b"}},
        {"zero byte right after a break", std::string("a\r\n\0b", 5), {"a"}},
        {"Shift-JIS text kept byte for byte", "コマンド: ID\r\n点を指定: ", {"コマンド: ID", "点を指定: "}},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(SplitHistoryLines(c.text), c.lines) << c.what;
    }
}

TEST(HistoryLines, LastNonEmptyLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"X = 100.0000     Y = 200.0000     Z = 0.0000\r\n", "X = 100.0000     Y = 200.0000     Z = 0.0000"},
        {"a\r\nb\r\n\r\n\r\n", "b"},
        {"a\nb\r\r", "b"},
        {"a\r\n   \r\n\r\n", "   "},
        {"\r\n\r\n", ""},
        {"\n", ""},
        {"", ""},
        {std::string("a\rb\0c\r\n", 7), "b"},
        {"点を指定: *キャンセル*", "点を指定: *キャンセル*"},
    };
    for (const auto& [history, line] : cases) {
        EXPECT_EQ(LastNonEmptyLine(history), line) << "history: " << history;
    }
}

TEST(HistoryLines, WalkLeavesTheLastLineRead) {
    std::string line = "before";
    EXPECT_EQ(FindLastNonEmptyLine({}, line), -1);
    EXPECT_EQ(line, "before") << "no lines: the text is left alone";
    EXPECT_EQ(FindLastNonEmptyLine({"", "", ""}, line), -1);
    EXPECT_EQ(line, "") << "all empty: ends at the empty first line";
    EXPECT_EQ(FindLastNonEmptyLine({"a", " ", ""}, line), 1);
    EXPECT_EQ(line, " ");
}

struct ExtractCase {
    const char* what;
    std::string text;
    char open;
    char close;
    std::string expected;  // starting from "keep"
};

TEST(ExtractBetween, TakesTheLastPairTrimmed) {
    const std::vector<ExtractCase> cases = {
        {"prompt value", "LASTPOINT の新しい値を入力 <100.0000,200.0000,0.0000>: ", '<', '>',
         "100.0000,200.0000,0.0000"},
        {"blanks inside trimmed", "<   12   >", '<', '>', "12"},
        {"control characters trimmed", "<\t\x01 v w \x1f>", '<', '>', "v w"},
        {"last of several pairs", "a <1> b <2>: ", '<', '>', "2"},
        {"last open after last close", "<1> b> <a", '<', '>', "keep"},
        {"only the open", "value <1", '<', '>', "keep"},
        {"only the close", "value 1>", '<', '>', "keep"},
        {"neither", "コマンド: ", '<', '>', "keep"},
        {"adjacent delimiters give empty", "<>", '<', '>', ""},
        {"only blanks between give empty", "<    >", '<', '>', ""},
        {"open at the first position", "<x>", '<', '>', "x"},
        {"read-only answer with parentheses in the value", "ACADVER = \"16.0s (LMS Tech)\" (読み込み専用)", '=', '(',
         "\"16.0s (LMS Tech)\""},
        {"value with = cut after its last =", "X = a=b (読み込み専用)", '=', '(', "b"},
        {"Shift-JIS between", "<寸法>", '<', '>', "寸法"},
        {"bytes above 0x80 are not trimmed", "< \x81\x40 >", '<', '>', "\x81\x40"},
    };
    for (const ExtractCase& c : cases) {
        std::string result = "keep";
        ExtractBetween(c.text, c.open, c.close, result);
        EXPECT_EQ(result, c.expected) << c.what;
    }
}

TEST(QueryCommand, AcadverInAnyCaseIsTypedAsItStands) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"ACADVER", "ACADVER\r"},
        {"acadver", "acadver\r"},
        {"AcadVer", "AcadVer\r"},
        {"LASTPOINT", "'SETVAR LASTPOINT\r"},
        {"lastpoint", "'SETVAR lastpoint\r"},
        {"ACADVE", "'SETVAR ACADVE\r"},
        {"ACADVERX", "'SETVAR ACADVERX\r"},
        {" ACADVER", "'SETVAR  ACADVER\r"},
        {"", "'SETVAR \r"},
    };
    for (const auto& [name, command] : cases) {
        EXPECT_EQ(SysVarCommand(name), command) << "name: " << name;
    }
}

TEST(QueryCommand, UpperCasesOnlyAToZ) {
    EXPECT_EQ(UpperAsciiLetters("az`{@[AZ09"), "AZ`{@[AZ09");
    // Bytes that other code pages would upper-case are left alone.
    EXPECT_EQ(UpperAsciiLetters("\xE1\xF1"), "\xE1\xF1");
}

// A scripted AutoCAD: answers the prompt line and the history with fixed
// texts and records what was typed.
class ScriptedHost final : public SysVarHost {
public:
    bool running = true;
    std::string prompt;
    std::string history;
    bool abort_history = false;

    std::vector<std::string> sent;
    int prompt_reads = 0;
    int history_reads = 0;

    bool IsRunning() override { return running; }
    void Send(const std::string& command) override { sent.push_back(command); }
    void ReadPromptLine(std::string& text) override {
        ++prompt_reads;
        text = prompt;
    }
    void CopyHistoryText(std::string& text) override {
        ++history_reads;
        if (abort_history) throw SilentAbort();
        text = history;
    }
};

struct QueryCase {
    const char* what;
    std::string name;
    std::string prompt;
    std::string history;
    std::string value;
    bool ctrl_c;  // a Ctrl-C follows the query command
    bool reads_history;
};

const std::string kIdle = "コマンド: ";
const std::string kReadOnly = "ACADVER = \"16.0s (LMS Tech)\" (読み込み専用)";
const std::string kVersion = "\"16.0s (LMS Tech)\"";

TEST(SysVarQuery, Decisions) {
    const std::vector<QueryCase> cases = {
        {"value on the prompt line", "LASTPOINT", "LASTPOINT の新しい値を入力 <100.0000,200.0000,0.0000>: ", "",
         "100.0000,200.0000,0.0000", true, false},
        {"blanks in the brackets trimmed", "LASTPOINT", "新しい値 <  5,6,0  >: ", "", "5,6,0", true, false},
        {"last pair of several", "X", "a <1> b <2>: ", "", "2", true, false},
        {"last > before last <: history, no Ctrl-C", "X", "<1> b> <a", "X = 7 (読み込み専用)", "7", false, true},
        {"empty pair counts as not found", "X", "<>", "X = 8 (読み込み専用)", "8", false, true},
        {"read-only answer on the last line", "ACADVER", kIdle, "コマンド: ACADVER\r\n" + kReadOnly + "\r\n", kVersion,
         false, true},
        {"empty lines at the end skipped", "ACADVER", kIdle, "コマンド: ACADVER\r\n" + kReadOnly + "\r\n\r\n\n\r",
         kVersion, false, true},
        {"value containing = cut after the last =", "X", kIdle, "X = a=b (読み込み専用)", "b", false, true},
        {"no reply form anywhere", "X", kIdle, "コマンド: X\r\n不明なコマンド \"X\"。\r\n", "", false, true},
        // First fallback: the marker on the last non-empty line, the answer
        // broken over it and the two lines above.
        {"first fallback at index 3", "ACADVER", kIdle,
         "コマンド: ACADVER\r\nACADVER = \"16.0s\r\n (LMS\r\n Tech)\" (読み込み専用)", kVersion, false, true},
        {"first fallback not at index 2", "ACADVER", kIdle, "ACADVER = \"16.0s\r\n (LMS\r\n Tech)\" (読み込み専用)", "",
         false, true},
        {"first fallback needs the marker on the last line", "ACADVER", kIdle,
         "x\r\nACADVER = \"16.0s\r\n (LMS\r\n Tech)\" (read-only)", "", false, true},
        // Second fallback: the marker on the line just above the last.
        {"second fallback at index 2", "X", kIdle, "コマンド: X\r\nX = 9 (読み込み専用)\r\nコマンド: ", "9", false,
         true},
        {"second fallback not at index 1", "X", kIdle, "X = 9 (読み込み専用)\r\nコマンド: ", "", false, true},
        {"second fallback after a failed first", "X", kIdle, "a\r\nb\r\nX = 4 (読み込み専用)\r\n(読み込み専用) = c",
         "4", false, true},
        // Where the history has no lines the prompt text stays the work text.
        {"empty history: prompt line searched for = (", "X", "X = 3 (y", "", "3", false, true},
        {"history of empty lines: the empty first line is searched", "X", "X = 3 (y", "\r\n\r\n", "", false, true},
    };
    for (const QueryCase& c : cases) {
        ScriptedHost host;
        host.prompt = c.prompt;
        host.history = c.history;
        std::string value = "stale";
        QuerySysVar(host, c.name, value);
        EXPECT_EQ(value, c.value) << c.what;
        std::vector<std::string> expected_sent = {SysVarCommand(c.name)};
        if (c.ctrl_c) expected_sent.push_back("\x03");
        EXPECT_EQ(host.sent, expected_sent) << c.what;
        EXPECT_EQ(host.prompt_reads, 1) << c.what;
        EXPECT_EQ(host.history_reads, c.reads_history ? 1 : 0) << c.what;
    }
}

TEST(SysVarQuery, NotRunningSendsAndReadsNothing) {
    ScriptedHost host;
    host.running = false;
    host.prompt = "<1>";
    std::string value = "stale";
    QuerySysVar(host, "LASTPOINT", value);
    EXPECT_EQ(value, "");
    EXPECT_TRUE(host.sent.empty());
    EXPECT_EQ(host.prompt_reads, 0);
    EXPECT_EQ(host.history_reads, 0);
}

TEST(SysVarQuery, SilentAbortPassesOnAndNothingFollows) {
    ScriptedHost host;
    host.prompt = kIdle;
    host.abort_history = true;
    std::string value = "stale";
    EXPECT_THROW(QuerySysVar(host, "LASTPOINT", value), SilentAbort);
    EXPECT_EQ(value, "");
    EXPECT_EQ(host.sent, std::vector<std::string>{"'SETVAR LASTPOINT\r"});
}

}  // namespace
}  // namespace tarvel::linktext
