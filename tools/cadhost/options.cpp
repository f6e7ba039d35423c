#include "tools/cadhost/options.h"

namespace cadhost {

namespace {

std::u16string Decimal(long long v) {
    const std::string s = std::to_string(v);
    return std::u16string(s.begin(), s.end());
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

std::u16string UsageText() {
    return u"usage: cadhost.exe [--picks FILE] [--log FILE] [--dxf FILE] [--svg FILE]\n"
           u"                   [--layout docked|floating|text] [--ansi] [--think MS]\n"
           u"A scripted stand-in for a Japanese AutoCAD: its windows, its command line\n"
           u"(ID, 'SETVAR, ACADVER, DIMLINEAR) and its answers to WM_COPYDATA input.\n"
           u"  --picks FILE   answer the point prompts of ID from FILE, one action a line:\n"
           u"                 \"pick X,Y\", \"pick X,Y,Z\", \"end\" (right button), \"cancel\" (Esc);\n"
           u"                 blank lines and lines starting with # are skipped; afterwards\n"
           u"                 the mouse picks in the drawing view\n"
           u"  --think MS     wait MS milliseconds before each scripted answer (default 100)\n"
           u"  --log FILE     write every input and event as JSON Lines\n"
           u"  --dxf FILE     write the dimensions as DXF when the host closes\n"
           u"  --svg FILE     write the dimensions as SVG when the host closes\n"
           u"  --layout L     command line docked in the main frame (default), floating,\n"
           u"                 or in the text window\n"
           u"  --ansi         make the windows ANSI windows (8-bit WM_COPYDATA text)\n"
           u"  --help         show this text\n";
}

std::optional<Options> ParseOptions(const std::vector<std::u16string>& args, std::u16string& error) {
    Options o;
    error.clear();
    for (size_t i = 0; i < args.size(); ++i) {
        std::u16string name = args[i];
        std::optional<std::u16string> inline_value;
        if (name.rfind(u"--", 0) == 0) {
            const auto eq = name.find(u'=');
            if (eq != std::u16string::npos) {
                inline_value = name.substr(eq + 1);
                name = name.substr(0, eq);
            }
        }
        auto value = [&]() -> std::optional<std::u16string> {
            if (inline_value) return inline_value;
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        auto flag = [&]() {
            if (!inline_value) return true;
            error = u"cadhost: option " + name + u" takes no value";
            return false;
        };
        auto path = [&](std::u16string& target) {
            const auto v = value();
            if (!v || v->empty()) {
                error = u"cadhost: option " + name + u" needs a file name";
                return false;
            }
            target = *v;
            return true;
        };
        if (name == u"--help" || name == u"-h" || name == u"/?") {
            if (!flag()) return std::nullopt;
            o.help = true;
        } else if (name == u"--ansi") {
            if (!flag()) return std::nullopt;
            o.ansi = true;
        } else if (name == u"--picks") {
            if (!path(o.picks)) return std::nullopt;
        } else if (name == u"--log") {
            if (!path(o.log)) return std::nullopt;
        } else if (name == u"--dxf") {
            if (!path(o.dxf)) return std::nullopt;
        } else if (name == u"--svg") {
            if (!path(o.svg)) return std::nullopt;
        } else if (name == u"--layout") {
            const auto v = value();
            if (v && *v == u"docked")
                o.layout = Layout::Docked;
            else if (v && *v == u"floating")
                o.layout = Layout::Floating;
            else if (v && *v == u"text")
                o.layout = Layout::Text;
            else {
                error = u"cadhost: --layout must be docked, floating or text";
                return std::nullopt;
            }
        } else if (name == u"--think") {
            const auto v = value();
            long long ms = -1;
            if (v && !v->empty() && v->size() <= 7) {
                ms = 0;
                for (char16_t c : *v) {
                    if (c < u'0' || c > u'9') {
                        ms = -1;
                        break;
                    }
                    ms = ms * 10 + (c - u'0');
                }
            }
            if (ms < 0 || ms > 600000) {
                error = u"cadhost: --think needs a whole number of milliseconds from 0 to 600000";
                return std::nullopt;
            }
            o.think_ms = static_cast<int>(ms);
        } else {
            error = u"cadhost: unknown option " + args[i] + u" (try --help)";
            return std::nullopt;
        }
    }
    return o;
}

std::optional<std::vector<PickAction>> ParsePickScript(std::string_view content, std::u16string& error) {
    error.clear();
    if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
    std::vector<PickAction> actions;
    int line_no = 0;
    while (!content.empty() || line_no == 0) {
        ++line_no;
        const size_t nl = content.find('\n');
        const std::string_view raw = content.substr(0, nl);
        content = nl == std::string_view::npos ? std::string_view() : content.substr(nl + 1);
        const std::string_view line = Trim(raw);
        auto fail = [&](const std::u16string& why) {
            error = u"line " + Decimal(line_no) + u": " + why + u": " + FromUtf8(line);
            return std::nullopt;
        };
        if (line.find('\0') != std::string_view::npos) return fail(u"a zero byte");
        if (line.empty() || line[0] == '#') {
            if (content.empty()) break;
            continue;
        }
        size_t word_end = 0;
        while (word_end < line.size() && !IsBlank(line[word_end])) ++word_end;
        const std::string word = Lower(line.substr(0, word_end));
        const std::string_view rest = Trim(line.substr(word_end));
        PickAction a;
        a.line = line_no;
        if (word == "pick") {
            // Blanks may stand around the commas, not inside a number.
            std::u16string coords;
            bool inner_blank = false;
            std::string_view parts = rest;
            while (true) {
                const size_t comma = parts.find(',');
                const std::string_view part = Trim(parts.substr(0, comma));
                for (char c : part) {
                    if (IsBlank(c)) inner_blank = true;
                    coords += static_cast<char16_t>(static_cast<unsigned char>(c));
                }
                if (comma == std::string_view::npos) break;
                coords += u',';
                parts.remove_prefix(comma + 1);
            }
            // A relative "@" point means nothing in a script.
            const auto p = inner_blank || coords.empty() || coords[0] == u'@' ? std::nullopt
                                                                               : ParsePoint(coords, Point{});
            if (!p) return fail(u"expected \"pick X,Y\" or \"pick X,Y,Z\"");
            a.kind = PickKind::Pick;
            a.p = *p;
        } else if (word == "end" || word == "cancel") {
            if (!rest.empty()) return fail(u"\"" + FromUtf8(word) + u"\" takes nothing after it");
            a.kind = word == "end" ? PickKind::End : PickKind::Cancel;
        } else {
            return fail(u"unknown action (expected pick, end or cancel)");
        }
        actions.push_back(a);
        if (content.empty()) break;
    }
    return actions;
}

}  // namespace cadhost
