// Scripted stand-ins for AutoCAD and the main window with a fake clock: a
// pick is answered once the window's Sleep has moved the clock past the
// answer's time, so long waits cost no real time.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "dimension/cad_link.h"
#include "dimension/point_table.h"
#include "dimension/run_window.h"
#include "support/errors.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace tarvel::testing {

// Code-page text to UTF-16 the way the Windows program converts it.
inline std::u16string CodePageToUtf16(const std::string& text) {
    if (text.empty()) return {};
#ifdef _WIN32
    const int size = static_cast<int>(text.size());
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), size, wide.data(), size)));
    return std::u16string(wide.begin(), wide.end());
#else
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    std::string in = text, out(text.size() * 2, '\0');
    char *in_ptr = in.data(), *out_ptr = out.data();
    std::size_t in_left = in.size(), out_left = out.size();
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) ADD_FAILURE() << "not CP932";
    iconv_close(cd);
    std::u16string result;
    for (std::size_t i = 0; i + 1 < out.size() - out_left; i += 2) {
        result +=
            static_cast<char16_t>(static_cast<unsigned char>(out[i]) | static_cast<unsigned char>(out[i + 1]) << 8);
    }
    return result;
#endif
}

// A command as readable text: Ctrl-C as "^C", carriage return as "<CR>",
// other characters outside printable ASCII as \uXXXX.
inline std::string Show(const std::u16string& command) {
    std::string shown;
    for (char16_t c : command) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
        shown += c == 3 ? "^C" : c == 13 ? "<CR>" : c >= 32 && c < 127 ? std::string(1, static_cast<char>(c)) : buffer;
    }
    return shown;
}

// The clock and the one log ("minimise", "send ...", "draw ...") both fakes share.
struct Stage {
    std::uint64_t now = 0;
    std::vector<std::string> events;
};

// The user's answer to one pick prompt, after after_ms; `line`, when set,
// is the history line it leaves instead of AutoCAD's usual one.
struct Answer {
    enum Kind { kPick, kCancel, kRightClick, kNever } kind;
    std::string last_point;
    std::uint64_t after_ms;
    std::string line;
};
inline Answer PickAt(const std::string& last_point, std::uint64_t after_ms = 900) {
    return {Answer::kPick, last_point, after_ms, ""};
}
inline Answer CancelPick() { return {Answer::kCancel, "", 500, ""}; }
inline Answer RightClick() { return {Answer::kRightClick, "", 700, ""}; }
inline Answer NeverAnswer() { return {Answer::kNever, "", 0, ""}; }

// AutoCAD as the run sees it. Idle, the prompt line reads "コマンド: ",
// during a pick "点を指定: ". A pick leaves "X = ...     Y = ...     Z = ..."
// last in the history, a cancel "*キャンセル*", a right-click neither.
class FakeCad : public CadLink {
public:
    explicit FakeCad(Stage& stage) : stage_(stage) {}

    bool present = true, pane_found = true, prompt_unreadable = false, abort_on_history = false;
    std::string last_point = "0.0000,0.0000,0.0000";
    std::string prompt_override;  // when set, the prompt line always reads this
    std::deque<Answer> script;
    std::vector<std::string> history = {"コマンド: "};
    std::vector<std::u16string> commands;
    std::vector<WindowHandle> drawn_on;
    int prompt_reads = 0, last_point_reads = 0;

    static WindowHandle Pane() { return reinterpret_cast<WindowHandle>(std::uintptr_t{0x5150}); }

    std::vector<std::string> Dimensions() const {  // what was sent besides the picks
        std::vector<std::string> shown;
        for (const auto& c : commands) {
            if (c !=
                u"\x03"
                u"ID ")
                shown.push_back(Show(c));
        }
        return shown;
    }

    bool ActivateAcad() override {
        stage_.events.push_back(present ? "activate" : "activate (not found)");
        return present;
    }
    void ReadPromptLine(std::string& text) override {
        text.clear();
        ++prompt_reads;
        if (!present || prompt_unreadable) return;
        Settle();
        text = !prompt_override.empty() ? prompt_override : picking_ ? "点を指定: " : "コマンド: ";
    }
    void LastHistoryLine(std::string& line) override {
        line.clear();
        if (abort_on_history) throw SilentAbort();
        if (!present) return;
        Settle();
        for (auto it = history.rbegin(); it != history.rend() && line.empty(); ++it) {
            if (it->find_first_not_of(' ') != std::string::npos) line = *it;
        }
    }
    bool SendCommand(const std::u16string& command) override {
        if (!present) return false;
        stage_.events.push_back("send " + Show(command));
        commands.push_back(command);
        if (command !=
            u"\x03"
            u"ID ")
            return true;
        if (picking_) history.push_back("点を指定: *キャンセル*");
        history.insert(history.end(), {"コマンド: *キャンセル*", "コマンド: ID"});
        picking_ = true;
        if (script.empty()) ADD_FAILURE() << "more picks than scripted";
        current_ = script.empty() ? CancelPick() : script.front();
        if (!script.empty()) script.pop_front();
        due_ = stage_.now + current_.after_ms;
        return true;
    }
    void QuerySysVar(const std::string& name, std::string& value) override {
        value.clear();
        if (present && name == "LASTPOINT") ++last_point_reads, value = last_point;
    }
    WindowHandle FindHistoryPane() override { return present && pane_found ? Pane() : nullptr; }
    void DrawPromptText(WindowHandle window, const std::string& message) override {
        stage_.events.push_back("draw " + message);
        drawn_on.push_back(window);
    }
    std::u16string AnsiToWide(const std::string& text) override { return CodePageToUtf16(text); }

private:
    void Settle() {  // the user's answer, once its time has come
        if (!picking_ || current_.kind == Answer::kNever || stage_.now < due_) return;
        picking_ = false;
        std::string x, y, z, rest = current_.last_point;
        CutField(rest, x), CutField(rest, y), CutField(rest, z);
        if (current_.kind == Answer::kPick) last_point = current_.last_point;
        history.push_back(!current_.line.empty()             ? current_.line
                          : current_.kind == Answer::kPick   ? "X = " + x + "     Y = " + y + "     Z = " + z
                          : current_.kind == Answer::kCancel ? "点を指定: *キャンセル*"
                                                             : "点を指定: ");
    }

    Stage& stage_;
    bool picking_ = false;
    Answer current_ = NeverAnswer();
    std::uint64_t due_ = 0;
};

class FakeWindow : public RunWindow {
public:
    explicit FakeWindow(Stage& stage) : stage_(stage) {}

    bool minimised = false, radio_button1 = false, radio_button2 = true;
    int pumps = 0, sleeps = 0;
    std::vector<std::string> deleted;  // each with "(minimised)" when it was
    std::function<void()> on_pump;     // runs inside ProcessMessages

    void Minimize() override { minimised = true, stage_.events.push_back("minimise"); }
    void Restore() override { minimised = false, stage_.events.push_back("restore"); }
    void ProcessMessages() override {
        ++pumps;
        if (on_pump) on_pump();
    }
    void Sleep(std::uint32_t milliseconds) override { ++sleeps, stage_.now += milliseconds; }
    void DeleteWorkFile(const std::string& name) override {
        deleted.push_back(name + (minimised ? " (minimised)" : ""));
    }
    bool RadioButton1Checked() override { return radio_button1; }
    bool RadioButton2Checked() override { return radio_button2; }

private:
    Stage& stage_;
};

// A fresh table holding these LASTPOINT texts, stored through AddPoint.
inline void LoadPoints(const std::vector<std::string>& texts) {
    ResetPointTable();
    Stage stage;
    FakeCad cad(stage);
    for (const auto& text : texts) cad.last_point = text, AddPoint(cad);
}

}  // namespace tarvel::testing
