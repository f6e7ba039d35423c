#include "acadlink/linktext.h"

#include "support/text.h"

#include <algorithm>
#include <cstring>

namespace tarvel::linktext {

const char* const kReadOnlyMarker = "(読み込み専用)";

std::vector<std::string> SplitHistoryLines(const std::string& text) {
    std::vector<std::string> lines;
    // A zero byte ends the whole text.
    const std::size_t end = std::min(text.size(), std::strlen(text.c_str()));
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < end) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text, start, i - start);
            if (c == '\r' && i + 1 < end && text[i + 1] == '\n') ++i;
            ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < end) lines.emplace_back(text, start, end - start);
    return lines;
}

int FindLastNonEmptyLine(const std::vector<std::string>& lines, std::string& line) {
    for (std::size_t k = lines.size(); k > 0; --k) {
        line = lines[k - 1];
        if (!line.empty()) return static_cast<int>(k - 1);
    }
    return -1;
}

std::string LastNonEmptyLine(const std::string& history) {
    std::string line;
    if (FindLastNonEmptyLine(SplitHistoryLines(history), line) < 0) line.clear();
    return line;
}

bool BeginsWithBytes(const std::string& text, const std::string& literal) {
    return text.size() >= literal.size() && text.compare(0, literal.size(), literal) == 0;
}

bool ContainsBytes(const std::string& text, const std::string& literal) {
    return text.find(literal) != std::string::npos;
}

bool EqualsBytes(const std::string& text, const std::string& literal) { return text == literal; }

void ExtractBetween(const std::string& text, char open, char close, std::string& result) {
    const std::size_t o = text.rfind(open);
    const std::size_t c = text.rfind(close);
    if (o == std::string::npos || c == std::string::npos || o >= c) return;
    result = std::string(TrimControls(std::string_view(text).substr(o + 1, c - o - 1)));
}

std::string UpperAsciiLetters(const std::string& text) {
    std::string upper = text;
    for (char& ch : upper) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return upper;
}

std::string SysVarCommand(const std::string& name) {
    if (UpperAsciiLetters(name) == "ACADVER") return name + "\r";
    return "'SETVAR " + name + "\r";
}

void QuerySysVar(SysVarHost& host, const std::string& name, std::string& value) {
    value.clear();
    if (!host.IsRunning()) return;

    host.Send(SysVarCommand(name));

    // The value offered between "<" and ">" while AutoCAD asks for a new one.
    std::string work;
    host.ReadPromptLine(work);
    ExtractBetween(work, '<', '>', value);
    if (!value.empty()) {
        host.Send("\x03");  // cancel the prompt that still waits for a value
        return;
    }

    // A read-only variable answers in the history: name = value (marker).
    std::string history;
    host.CopyHistoryText(history);
    const std::vector<std::string> lines = SplitHistoryLines(history);
    const int last = FindLastNonEmptyLine(lines, work);
    ExtractBetween(work, '=', '(', value);

    // The answer may be broken over the lines above the marker's line.
    if (value.empty() && last > 2 && ContainsBytes(work, kReadOnlyMarker)) {
        const auto i = static_cast<std::size_t>(last);
        ExtractBetween(lines[i - 2] + lines[i - 1] + lines[i], '=', '(', value);
    }
    if (value.empty() && last > 1 && ContainsBytes(lines[static_cast<std::size_t>(last) - 1], kReadOnlyMarker)) {
        ExtractBetween(lines[static_cast<std::size_t>(last) - 1], '=', '(', value);
    }
}

}  // namespace tarvel::linktext
