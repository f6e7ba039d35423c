#include "tools/cadhost/options.h"

#include <initializer_list>
#include <string_view>
#include <utility>

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

std::optional<long long> WholeNumber(std::u16string_view v) {
    if (v.empty() || v.size() > 9) return std::nullopt;
    long long n = 0;
    for (char16_t c : v) {
        if (c < u'0' || c > u'9') return std::nullopt;
        n = n * 10 + (c - u'0');
    }
    return n;
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
           u"                 \"pick X,Y\", \"pick X,Y,Z\", \"end\" (right button), \"cancel\" (Esc),\n"
           u"                 \"wait MS\" (leave the prompt unanswered MS ms longer);\n"
           u"                 blank lines and lines starting with # are skipped; afterwards\n"
           u"                 the mouse picks in the drawing view\n"
           u"  --think MS     wait MS milliseconds before each scripted answer (default 100)\n"
           u"  --log FILE     write every input and event as JSON Lines\n"
           u"  --dxf FILE     write the dimensions as DXF when the host closes\n"
           u"  --svg FILE     write the dimensions as SVG when the host closes\n"
           u"  --layout L     command line docked in the main frame (default), floating,\n"
           u"                 or in the text window\n"
           u"  --ansi         make the windows ANSI windows (8-bit WM_COPYDATA text)\n"
           u"  --help         show this text\n"
           u"Faults, for testing how a client copes (all off unless given):\n"
           u"  --hang-after N --hang-ms MS\n"
           u"                 after the Nth typed command (WM_COPYDATA) has been answered,\n"
           u"                 the host stops answering messages for MS milliseconds: its UI\n"
           u"                 thread blocks without pumping, as a busy or hung AutoCAD does\n"
           u"  --close-after-pick N\n"
           u"                 the host ends (as if closed) right after the Nth point\n"
           u"                 picked at the prompt of ID\n"
           u"  --delay MS     every answer is MS milliseconds late: each WM_COPYDATA, each\n"
           u"                 WM_GETTEXTLENGTH and WM_GETTEXT of the prompt line, and the\n"
           u"                 history copy (WM_COMMAND 32781)\n"
           u"  --lastpoint TEXT\n"
           u"                 LASTPOINT's value as 'SETVAR shows it between < and >: TEXT as\n"
           u"                 given, with {x}, {y} and {z} replaced by the real coordinates\n"
           u"                 (four decimals) and the escapes \\\\ \\t \\r \\n \\xHH \\uHHHH decoded;\n"
           u"                 e.g. junk, \"\" (empty), {x},{y} (two fields), {x},{y},{z},9\n"
           u"                 (a fourth field), \" {x} ,{y},{z}\" (blanks), {x}\\x03,{y},{z}\n"
           u"  --history-eol crlf|cr|lf\n"
           u"                 the line ends of the history the text window copies\n"
           u"                 (default crlf)\n"
           u"  --prompt-pad N make the prompt line very long: N blanks after the prompt of\n"
           u"                 ID (\"点を指定: \" and N blanks, while the pick is awaited) and N\n"
           u"                 blanks after the \"<\" of 'SETVAR's value prompt, before the\n"
           u"                 value; the history lines of those prompts grow alike\n"
           u"  --log-times    every log record also carries \"ms\": the tick count\n"
           u"                 (GetTickCount64), the clock other processes share, and\n"
           u"                 \"unix_us\": the precise system time in microseconds since\n"
           u"                 1970 (GetSystemTimePreciseAsFileTime; under Wine the host\n"
           u"                 system's CLOCK_REALTIME)\n"
           u"  --log-reads    every read of the prompt line's text (WM_GETTEXT) is logged:\n"
           u"                 {\"kind\":\"read\",\"text\":...}, what the reader was given\n"
           u"  --no-redraw    the drawing is not repainted after input (the command line\n"
           u"                 is), so that what a command costs the host stays the same\n"
           u"                 however large the drawing grows (for the benchmarks)\n";
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
        // One of a few words, each standing for a value.
        auto choose = [&]<class T>(T& target, std::initializer_list<std::pair<std::u16string_view, T>> choices,
                                   std::u16string_view must) {
            const auto v = value();
            for (const auto& [word, choice] : choices) {
                if (v && *v == word) {
                    target = choice;
                    return true;
                }
            }
            error = u"cadhost: " + name + u" must be " + std::u16string(must);
            return false;
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
            if (!choose(o.layout,
                        {{u"docked", Layout::Docked}, {u"floating", Layout::Floating}, {u"text", Layout::Text}},
                        u"docked, floating or text"))
                return std::nullopt;
        } else if (name == u"--think" || name == u"--hang-after" || name == u"--hang-ms" ||
                   name == u"--close-after-pick" || name == u"--delay" || name == u"--prompt-pad") {
            const bool count = name == u"--hang-after" || name == u"--close-after-pick";
            const long long low = count ? 1 : 0, high = name == u"--prompt-pad" ? 1000000 : 600000;
            const auto v = value();
            const auto n = v ? WholeNumber(*v) : std::nullopt;
            if (!n || *n < low || *n > high) {
                error = u"cadhost: " + name + u" needs a whole number" +
                        (name == u"--think" ? u" of milliseconds" : u"") + u" from " + Decimal(low) + u" to " +
                        Decimal(high);
                return std::nullopt;
            }
            const int k = static_cast<int>(*n);
            if (name == u"--think")
                o.think_ms = k;
            else if (name == u"--hang-after")
                o.hang_after = k;
            else if (name == u"--hang-ms")
                o.hang_ms = k;
            else if (name == u"--close-after-pick")
                o.close_after_pick = k;
            else if (name == u"--delay")
                o.delay_ms = k;
            else
                o.prompt_pad = k;
        } else if (name == u"--lastpoint") {
            const auto v = value();
            const auto text = v ? DecodeEscapes(*v) : std::nullopt;
            if (!text) {
                error = u"cadhost: --lastpoint needs a text (escapes: \\\\ \\t \\r \\n \\xHH \\uHHHH)";
                return std::nullopt;
            }
            o.lastpoint = *text;
        } else if (name == u"--history-eol") {
            if (!choose(o.history_eol, {{u"crlf", HistoryEol::CrLf}, {u"cr", HistoryEol::Cr}, {u"lf", HistoryEol::Lf}},
                        u"crlf, cr or lf"))
                return std::nullopt;
        } else if (name == u"--log-times") {
            if (!flag()) return std::nullopt;
            o.log_times = true;
        } else if (name == u"--log-reads") {
            if (!flag()) return std::nullopt;
            o.log_reads = true;
        } else if (name == u"--no-redraw") {
            if (!flag()) return std::nullopt;
            o.no_redraw = true;
        } else {
            error = u"cadhost: unknown option " + args[i] + u" (try --help)";
            return std::nullopt;
        }
    }
    if ((o.hang_after > 0) != (o.hang_ms > 0)) {
        error = u"cadhost: --hang-after and --hang-ms go together";
        return std::nullopt;
    }
    return o;
}

std::optional<std::u16string> DecodeEscapes(std::u16string_view text) {
    auto hex = [&](size_t at, size_t digits) -> std::optional<char16_t> {
        if (at + digits > text.size()) return std::nullopt;
        unsigned v = 0;
        for (size_t k = at; k < at + digits; ++k) {
            const char16_t c = text[k];
            unsigned d;
            if (c >= u'0' && c <= u'9')
                d = c - u'0';
            else if (c >= u'a' && c <= u'f')
                d = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F')
                d = c - u'A' + 10;
            else
                return std::nullopt;
            v = v * 16 + d;
        }
        return static_cast<char16_t>(v);
    };
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) return std::nullopt;
        switch (text[i]) {
            case u'\\':
                out += u'\\';
                break;
            case u't':
                out += u'\t';
                break;
            case u'r':
                out += u'\r';
                break;
            case u'n':
                out += u'\n';
                break;
            case u'x':
            case u'u': {
                const size_t digits = text[i] == u'x' ? 2 : 4;
                const auto c = hex(i + 1, digits);
                if (!c) return std::nullopt;
                out += *c;
                i += digits;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return out;
}

std::u16string ExpandLastPoint(std::u16string_view templ, const Point& p) {
    std::u16string out;
    for (size_t i = 0; i < templ.size(); ++i) {
        if (templ[i] == u'{' && i + 2 < templ.size() && templ[i + 2] == u'}') {
            const char16_t axis = templ[i + 1];
            if (axis == u'x' || axis == u'y' || axis == u'z') {
                out += FormatCoord(axis == u'x' ? p.x : axis == u'y' ? p.y : p.z);
                i += 2;
                continue;
            }
        }
        out += templ[i];
    }
    return out;
}

std::u16string JoinHistory(const std::vector<std::u16string>& lines, HistoryEol eol) {
    const char16_t* const end = eol == HistoryEol::CrLf ? u"\r\n" : eol == HistoryEol::Cr ? u"\r" : u"\n";
    std::u16string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += end;
        text += lines[i];
    }
    return text;
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
            const auto p =
                inner_blank || coords.empty() || coords[0] == u'@' ? std::nullopt : ParsePoint(coords, Point{});
            if (!p) return fail(u"expected \"pick X,Y\" or \"pick X,Y,Z\"");
            a.kind = PickKind::Pick;
            a.p = *p;
        } else if (word == "end" || word == "cancel") {
            if (!rest.empty()) return fail(u"\"" + FromUtf8(word) + u"\" takes nothing after it");
            a.kind = word == "end" ? PickKind::End : PickKind::Cancel;
        } else if (word == "wait") {
            const auto ms = WholeNumber(FromUtf8(rest));
            if (!ms || *ms > 600000) return fail(u"expected \"wait MS\" with MS from 0 to 600000");
            a.kind = PickKind::Wait;
            a.wait_ms = static_cast<int>(*ms);
        } else {
            return fail(u"unknown action (expected pick, end, cancel or wait)");
        }
        actions.push_back(a);
        if (content.empty()) break;
    }
    return actions;
}

}  // namespace cadhost
