// Shared set-up of the window tests: a fresh application with both windows,
// a scripted dimension run behind Start, and a timer that plays steps while
// a modal loop runs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "app/About.h"
#include "app/TarvelU.h"
#include "dimension/cad_link.h"
#include "tools/common/window_list.h"

namespace tarvel::app::testing {

// A CAD link with AutoCAD absent, counting what the run asked of it.
class FakeCadLink : public tarvel::CadLink {
public:
    std::function<bool()> onActivate = [] { return false; };
    std::function<std::string()> onReadPrompt = [] { return std::string(); };
    int activations = 0;

    bool ActivateAcad() override {
        ++activations;
        return onActivate();
    }
    void ReadPromptLine(std::string& text) override { text = onReadPrompt(); }
    void LastHistoryLine(std::string& line) override { line.clear(); }
    bool SendCommand(const std::u16string&) override { return false; }
    void QuerySysVar(const std::string&, std::string& value) override { value.clear(); }
    WindowHandle FindHistoryPane() override { return nullptr; }
    void DrawPromptText(WindowHandle, const std::string&) override {}
    std::u16string AnsiToWide(const std::string& text) override { return std::u16string(text.begin(), text.end()); }
};

// Steps played one per timer tick (from whatever loop is dispatching).
class TimerScript {
public:
    static void Play(std::deque<std::function<void()>> steps);
    static bool Done();

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Presses a button as a user would, by BM_CLICK; returns when its
    // handler has.
    static void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
    HWND MainControl(const wchar_t* name) const { return main->Control(name); }

    FakeCadLink link;
    std::function<bool(tarvel::CadLink&, tarvel::RunWindow&)> run = [](tarvel::CadLink&, tarvel::RunWindow&) {
        return true;
    };
    std::unique_ptr<Application> application;
    std::unique_ptr<TTarvelF> main;
    std::unique_ptr<TAboutBox> about;
};

using common::ClassName;
using common::WindowText;
// The window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND window);
RECT ClientRect(HWND window);
// A window of this class and caption in a dialog frame with the close box
// only (no minimise, maximise or sizing) and a client area of this size.
::testing::AssertionResult IsDialogFrame(HWND window, const wchar_t* class_name, const wchar_t* caption, int width,
                                         int height);
// Dispatches messages for about `ms` milliseconds.
void Pump(DWORD ms);

}  // namespace tarvel::app::testing
