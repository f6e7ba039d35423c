// Scripted stand-ins for AutoCAD and the main window, with a fake clock:
// a pick is answered once the clock, moved on by the window's Sleep, has
// reached the answer's time, so long waits cost no real time.
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

// 8-bit code-page text to UTF-16 as the Windows program converts it.
inline std::u16string CodePageToUtf16(const std::string& text) {
    if (text.empty()) return {};
#ifdef _WIN32
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), size, wide.data(), n);
    return std::u16string(wide.begin(), wide.end());
#else
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv knows no CP932";
        return {};
    }
    std::string in = text;
    std::string out(in.size() * 4 + 4, '\0');
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
        ADD_FAILURE() << "not CP932 text";
    }
    iconv_close(cd);
    const std::size_t bytes = out.size() - outLeft;
    std::u16string result;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        result += static_cast<char16_t>(static_cast<unsigned char>(out[i]) |
                                        (static_cast<unsigned char>(out[i + 1]) << 8));
    }
    return result;
#endif
}

// A command as readable text: Ctrl-C as "^C", carriage return as "<CR>",
// anything else outside printable ASCII as \uXXXX.
inline std::string Show(const std::u16string& command) {
    std::string shown;
    for (char16_t c : command) {
        if (c == 3) {
            shown += "^C";
        } else if (c == 13) {
            shown += "<CR>";
        } else if (c >= 32 && c < 127) {
            shown += static_cast<char>(c);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
            shown += buffer;
        }
    }
    return shown;
}

// What both fakes share: the clock and one log of what the run did.
struct Stage {
    std::uint64_t now = 0;                 // milliseconds
    std::vector<std::string> events;       // "minimise", "send ...", "draw ...", ...
};

// What the user does at one pick prompt, and after how long.
struct Answer {
    enum Kind { kPick, kCancel, kRightClick, kNever } kind;
    std::string lastPoint;      // LASTPOINT afterwards, for kPick
    std::uint64_t afterMs = 900;
    std::string line;           // when set, the history line the answer leaves
};

inline Answer PickAt(const std::string& lastPoint, std::uint64_t afterMs = 900) {
    return {Answer::kPick, lastPoint, afterMs, ""};
}
inline Answer CancelPick() { return {Answer::kCancel, "", 500, ""}; }
inline Answer RightClick() { return {Answer::kRightClick, "", 700, ""}; }
inline Answer NeverAnswer() { return {Answer::kNever, "", 0, ""}; }

// A Japanese AutoCAD as far as the run sees it. Idle, the prompt line reads
// "コマンド: "; during a pick it reads "点を指定: ". A pick leaves the line
// "X = ...     Y = ...     Z = ..." last in the history, a cancel
// "*キャンセル*", a right-click no new marker at all.
class FakeCad : public CadLink {
public:
    explicit FakeCad(Stage& stage) : stage_(stage) {}

    bool present = true;                      // AutoCAD running
    bool paneFound = true;
    std::string lastPoint = "0.0000,0.0000,0.0000";
    std::string promptOverride;               // when set, the prompt line always reads this
    bool promptUnreadable = false;            // the prompt line reads empty
    bool abortOnHistory = false;              // LastHistoryLine raises the silent abort
    std::deque<Answer> script;
    std::vector<std::string> history = {"コマンド: "};
    std::vector<std::u16string> commands;     // everything sent, in order
    std::vector<WindowHandle> drawnOn;
    int promptReads = 0;
    int lastPointReads = 0;

    static WindowHandle Pane() { return reinterpret_cast<WindowHandle>(std::uintptr_t{0x5150}); }

    // The commands sent other than the pick command, readable.
    std::vector<std::string> Dimensions() const {
        std::vector<std::string> shown;
        for (const auto& c : commands) {
            if (c != u"\x03" u"ID ") shown.push_back(Show(c));
        }
        return shown;
    }

    bool ActivateAcad() override {
        stage_.events.push_back(present ? "activate" : "activate (not found)");
        return present;
    }

    void ReadPromptLine(std::string& text) override {
        text.clear();
        ++promptReads;
        if (!present || promptUnreadable) return;
        Settle();
        if (!promptOverride.empty()) {
            text = promptOverride;
        } else {
            text = picking_ ? "点を指定: " : "コマンド: ";
        }
    }

    void LastHistoryLine(std::string& line) override {
        line.clear();
        if (abortOnHistory) throw SilentAbort();
        if (!present) return;
        Settle();
        for (auto it = history.rbegin(); it != history.rend(); ++it) {
            if (it->find_first_not_of(' ') != std::string::npos) {
                line = *it;
                return;
            }
        }
    }

    bool SendCommand(const std::u16string& command) override {
        if (!present) return false;
        stage_.events.push_back("send " + Show(command));
        commands.push_back(command);
        std::u16string rest = command;
        if (!rest.empty() && rest[0] == 3) {
            if (picking_) history.push_back("点を指定: *キャンセル*");
            picking_ = false;
            history.push_back("コマンド: *キャンセル*");
            rest.erase(0, 1);
        }
        if (rest == u"ID ") {
            history.push_back("コマンド: ID");
            picking_ = true;
            if (script.empty()) {
                ADD_FAILURE() << "the run asked for more picks than scripted";
                current_ = CancelPick();
            } else {
                current_ = script.front();
                script.pop_front();
            }
            due_ = stage_.now + current_.afterMs;
        }
        return true;
    }

    void QuerySysVar(const std::string& name, std::string& value) override {
        value.clear();
        if (!present) return;
        if (name == "LASTPOINT") {
            ++lastPointReads;
            value = lastPoint;
        }
    }

    WindowHandle FindHistoryPane() override { return present && paneFound ? Pane() : nullptr; }

    void DrawPromptText(WindowHandle window, const std::string& message) override {
        stage_.events.push_back("draw " + message);
        drawnOn.push_back(window);
    }

    std::u16string AnsiToWide(const std::string& text) override { return CodePageToUtf16(text); }

private:
    // The user's answer to the running pick, once its time has come.
    void Settle() {
        if (!picking_ || current_.kind == Answer::kNever || stage_.now < due_) return;
        picking_ = false;
        if (current_.kind == Answer::kPick) lastPoint = current_.lastPoint;
        if (!current_.line.empty()) {
            history.push_back(current_.line);
            return;
        }
        switch (current_.kind) {
            case Answer::kPick: {
                std::string x, y, z, rest = lastPoint;
                CutField(rest, x);
                CutField(rest, y);
                CutField(rest, z);
                history.push_back("点を指定: ");
                history.push_back("X = " + x + "     Y = " + y + "     Z = " + z);
                break;
            }
            case Answer::kCancel:
                history.push_back("点を指定: *キャンセル*");
                break;
            case Answer::kRightClick:
            case Answer::kNever:
                history.push_back("点を指定: ");
                break;
        }
    }

    Stage& stage_;
    bool picking_ = false;
    Answer current_{Answer::kNever, "", 0, ""};
    std::uint64_t due_ = 0;
};

// The main window as the run sees it.
class FakeWindow : public RunWindow {
public:
    explicit FakeWindow(Stage& stage) : stage_(stage) {}

    bool minimised = false;
    bool radioButton1 = false;
    bool radioButton2 = true;   // checked by default
    int pumps = 0;
    int sleeps = 0;
    std::function<void()> onPump;   // runs inside ProcessMessages

    void Minimize() override {
        minimised = true;
        stage_.events.push_back("minimise");
    }
    void Restore() override {
        minimised = false;
        stage_.events.push_back("restore");
    }
    void ProcessMessages() override {
        ++pumps;
        if (onPump) onPump();
    }
    void Sleep(std::uint32_t milliseconds) override {
        ++sleeps;
        stage_.now += milliseconds;
    }
    bool RadioButton1Checked() override { return radioButton1; }
    bool RadioButton2Checked() override { return radioButton2; }

private:
    Stage& stage_;
};

// Fills a fresh point table with the given LASTPOINT texts, through AddPoint.
inline void LoadPoints(const std::vector<std::string>& texts) {
    ResetPointTable();
    Stage stage;
    FakeCad cad(stage);
    for (const auto& text : texts) {
        cad.lastPoint = text;
        AddPoint(cad);
    }
}

}  // namespace tarvel::testing
