// The history line rules, the last-line search, ExtractBetween and the
// system variable query over arbitrary history and prompt texts. The input
// is split at the first two 0xFF bytes into a history text, a prompt-line
// text and a variable name; the first byte picks whether the clipboard
// fails (the silent abort) and whether AutoCAD runs.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "acadlink/linktext.h"
#include "support/errors.h"

namespace lt = tarvel::linktext;

namespace {

class ScriptedHost final : public lt::SysVarHost {
public:
    std::string prompt, history;
    bool running = true, clipboard_fails = false, history_read = false;
    std::vector<std::string> sent;

    bool IsRunning() override { return running; }
    void Send(const std::string& command) override {
        if (history_read) std::abort();  // the history path sends nothing afterwards
        sent.push_back(command);
    }
    void ReadPromptLine(std::string& text) override { text = prompt; }
    void CopyHistoryText(std::string& text) override {
        history_read = true;
        if (clipboard_fails) throw tarvel::SilentAbort();
        text = history;
    }
};

bool Has(const std::string& text, char c) { return text.find(c) != std::string::npos; }
bool Inside(const std::string& part, const std::string& whole) { return whole.find(part) != std::string::npos; }
bool Trimmed(const std::string& s) {
    return s.empty() || (static_cast<unsigned char>(s.front()) > 32 && static_cast<unsigned char>(s.back()) > 32);
}

void CheckLines(const std::string& text) {
    const auto lines = lt::SplitHistoryLines(text);
    const std::string live = text.substr(0, text.find('\0'));
    std::string joined;
    for (const auto& line : lines) {
        if (Has(line, '\r') || Has(line, '\n') || Has(line, '\0')) std::abort();
        joined += line;
    }
    std::string bare = live;
    bare.erase(std::remove_if(bare.begin(), bare.end(), [](char c) { return c == '\r' || c == '\n'; }), bare.end());
    if (joined != bare) std::abort();  // no byte lost or invented
    const auto breaks = static_cast<std::size_t>(std::count(live.begin(), live.end(), '\n') +
                                                 std::count(live.begin(), live.end(), '\r'));
    if (lines.size() > breaks + 1) std::abort();

    const std::string last = lt::LastNonEmptyLine(text);
    std::string expected;
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (!it->empty()) {
            expected = *it;
            break;
        }
    }
    if (last != expected) std::abort();
}

void CheckExtract(const std::string& text, char open, char close) {
    std::string result = "unchanged";
    lt::ExtractBetween(text, open, close, result);
    if (result == "unchanged") return;
    if (!Inside(result, text) || !Trimmed(result)) std::abort();
    // The result lies after the last opening character and before the last
    // closing one: it holds no opening character, and the text goes on with
    // the closing character right after the result (blanks aside).
    if (Has(result, open)) std::abort();
    const auto close_at = text.rfind(close);
    if (close_at == std::string::npos || text.rfind(result, close_at) == std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t mode = data[0];
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string parts[3];
    for (int k = 0; k < 2; ++k) {
        const auto cut = rest.find('\xFF');
        parts[k] = rest.substr(0, cut);
        rest = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
    }
    parts[2] = rest;
    const std::string& history = parts[0];
    const std::string prompt = parts[1].substr(0, parts[1].find('\0'));
    const std::string name = parts[2].substr(0, parts[2].find('\0'));

    CheckLines(history);
    CheckExtract(prompt, '<', '>');
    CheckExtract(history, '=', '(');

    ScriptedHost host;
    host.prompt = prompt;
    host.history = history;
    host.running = (mode & 1) == 0;
    host.clipboard_fails = (mode & 2) != 0;
    std::string value = "stale";
    bool aborted = false;
    try {
        lt::QuerySysVar(host, name, value);
    } catch (const tarvel::SilentAbort&) {
        aborted = true;
    }
    if (!host.running) {
        if (!host.sent.empty() || !value.empty()) std::abort();  // nothing sent, empty answer
        return 0;
    }
    if (host.sent.empty() || host.sent.size() > 2) std::abort();
    if (host.sent[0] != lt::SysVarCommand(name) || host.sent[0].back() != '\r') std::abort();
    if (aborted) {
        if (!host.clipboard_fails || host.sent.size() != 1) std::abort();
        return 0;
    }
    if (!Trimmed(value)) std::abort();
    if (host.sent.size() == 2) {
        // Ctrl-C only after a value was read from the prompt line.
        if (host.sent[1] != "\x03" || value.empty() || !Inside(value, prompt) || host.history_read) std::abort();
    } else if (!value.empty() && !Inside(value, history) && !Inside(value, prompt)) {
        // The fallbacks join lines, so the value may straddle a line break;
        // it must still be made of the history's bytes in order.
        std::string bare = history;
        bare.erase(std::remove_if(bare.begin(), bare.end(), [](char c) { return c == '\r' || c == '\n'; }), bare.end());
        if (!Inside(value, bare)) std::abort();
    }
    return 0;
}
