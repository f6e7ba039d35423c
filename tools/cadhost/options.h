// The CAD host's command line and its pick scripts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cadhost/text.h"

namespace cadhost {

enum class Layout { Docked, Floating, Text };

struct Options {
    std::u16string picks;  // empty: no pick script
    std::u16string log;
    std::u16string dxf;
    std::u16string svg;
    Layout layout = Layout::Docked;
    bool ansi = false;
    int think_ms = 100;
    bool help = false;
};

// Parses the arguments after the program name. On failure gives nothing and
// sets `error` to a one-line message naming the offending argument.
std::optional<Options> ParseOptions(const std::vector<std::u16string>& args, std::u16string& error);

// The text --help prints.
std::u16string UsageText();

enum class PickKind { Pick, End, Cancel };

struct PickAction {
    PickKind kind = PickKind::Pick;
    Point p;
    int line = 0;  // line of the script, from 1
};

// A pick script, one action a line: "pick X,Y", "pick X,Y,Z", "end",
// "cancel"; blank lines and lines starting with "#" are skipped. The script
// is UTF-8 (a byte-order mark is skipped); lines may end in CR LF. On failure
// gives nothing and sets `error` to a message with the line number.
std::optional<std::vector<PickAction>> ParsePickScript(std::string_view content, std::u16string& error);

}  // namespace cadhost
