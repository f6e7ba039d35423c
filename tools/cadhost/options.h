// The CAD host's command line and its pick scripts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cadhost/text.h"

namespace cadhost {

enum class Layout { Docked, Floating, Text };

// How the lines of the copied history end.
enum class HistoryEol { CrLf, Cr, Lf };

struct Options {
    std::u16string picks;  // empty: no pick script
    std::u16string log;
    std::u16string dxf;
    std::u16string svg;
    Layout layout = Layout::Docked;
    bool ansi = false;
    int think_ms = 100;
    bool help = false;

    // Faults, for the reliability tests; all off by default.
    int hang_after = 0;        // after this many commands (WM_COPYDATA) the host hangs...
    int hang_ms = 0;           // ...for this long, its UI thread blocked without pumping
    int close_after_pick = 0;  // the host ends after this many ID picks
    int delay_ms = 0;          // every answer is this late
    // LASTPOINT as 'SETVAR shows it, escapes decoded; {x}, {y} and {z} stand
    // for the real coordinates.
    std::optional<std::u16string> lastpoint;
    HistoryEol history_eol = HistoryEol::CrLf;
    int prompt_pad = 0;      // blanks added inside the point prompts (see --help)
    bool log_times = false;  // every log record carries "ms", the tick count
    bool log_reads = false;  // every WM_GETTEXT of the prompt line is logged ("read")
    bool no_redraw = false;  // the drawing is not repainted after input
};

// Decodes the escapes of a --lastpoint text: \\ \t \r \n \xHH (two hex
// digits) and a backslash, u and four hex digits. Nothing on a malformed
// escape.
std::optional<std::u16string> DecodeEscapes(std::u16string_view text);

// The --lastpoint template with {x}, {y} and {z} replaced by the point's
// coordinates in four decimals; every other character as it stands.
std::u16string ExpandLastPoint(std::u16string_view templ, const Point& p);

// The history text with its lines ended as asked (no break after the last).
std::u16string JoinHistory(const std::vector<std::u16string>& lines, HistoryEol eol);

// Parses the arguments after the program name. On failure gives nothing and
// sets `error` to a one-line message naming the offending argument.
std::optional<Options> ParseOptions(const std::vector<std::u16string>& args, std::u16string& error);

// The text --help prints.
std::u16string UsageText();

enum class PickKind { Pick, End, Cancel, Wait };

struct PickAction {
    PickKind kind = PickKind::Pick;
    Point p;
    int wait_ms = 0;  // Wait: how much later the next action comes
    int line = 0;     // line of the script, from 1
};

// A pick script, one action a line: "pick X,Y", "pick X,Y,Z", "end",
// "cancel", "wait MS" (the next action comes MS milliseconds later, on top
// of --think; the prompt stays unanswered meanwhile); blank lines and lines
// starting with "#" are skipped. The script is UTF-8 (a byte-order mark is
// skipped); lines may end in CR LF. On failure gives nothing and sets
// `error` to a message with the line number.
std::optional<std::vector<PickAction>> ParsePickScript(std::string_view content, std::u16string& error);

}  // namespace cadhost
