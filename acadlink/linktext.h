// The text rules of the CAD link that need no window: how AutoCAD's command
// history splits into lines, the bytewise text tests of the window search,
// the "<" ">" and "=" "(" extraction, and the decisions of the system
// variable query. All texts are 8-bit code-page bytes (Shift-JIS).
#pragma once

#include <string>
#include <vector>

namespace tarvel::linktext {

// The history's line rules: a line ends at CR LF, at a CR alone or at an LF
// alone; a zero byte ends the whole text; a break at the very end adds no
// empty last line. Empty lines elsewhere are kept.
std::vector<std::string> SplitHistoryLines(const std::string& text);

// Walks the lines from the last towards the first and gives the index of
// the first one that has characters (a line of blanks has), or -1. The walk
// leaves the last line it read in `line`: the found line, the (empty) first
// line when all are empty, or `line` untouched when there are no lines.
int FindLastNonEmptyLine(const std::vector<std::string>& lines, std::string& line);

// The last non-empty line of a history text; empty when there is none.
std::string LastNonEmptyLine(const std::string& history);

// Bytewise text tests, case-sensitive.
bool BeginsWithBytes(const std::string& text, const std::string& literal);
bool ContainsBytes(const std::string& text, const std::string& literal);
bool EqualsBytes(const std::string& text, const std::string& literal);

// Takes the last `open` and the last `close` of the text; only when the
// open comes before the close is `result` set, to the trimmed text between
// them. Otherwise `result` is left as it was.
void ExtractBetween(const std::string& text, char open, char close, std::string& result);

// Only the letters a to z upper-cased.
std::string UpperAsciiLetters(const std::string& text);

// The command that makes AutoCAD show a variable: "ACADVER" in any letter
// case is typed as it stands; every other name as "'SETVAR " + name. Both
// end with a carriage return.
std::string SysVarCommand(const std::string& name);

// What the system variable query needs of AutoCAD, so its decisions can be
// exercised without windows.
class SysVarHost {
public:
    virtual ~SysVarHost() = default;
    virtual bool IsRunning() = 0;
    // Types an 8-bit command; the host converts it as its encoding needs.
    virtual void Send(const std::string& command) = 0;
    virtual void ReadPromptLine(std::string& text) = 0;
    // May throw SilentAbort.
    virtual void CopyHistoryText(std::string& text) = 0;
};

// The read-only answer's marker, "(読み込み専用)".
extern const char* const kReadOnlyMarker;

// The query: sends the command, reads the value between "<" and ">" on the
// prompt line (then cancels the prompt with Ctrl-C), else reads the
// "name = value (読み込み専用)" answer from the history with its two
// fallbacks for an answer broken over several lines.
void QuerySysVar(SysVarHost& host, const std::string& name, std::string& value);

}  // namespace tarvel::linktext
