#include "dimension/capture.h"

#include "dimension/point_table.h"
#include "support/checked.h"

namespace tarvel {

namespace {

// Compiled as code-page 932: these are the Shift-JIS bytes AutoCAD shows.
const char kStartPrompt[] = "寸法線開始点を入力";
const char kEndPrompt[] = "寸法線終了点を入力";
const char kIntermediatePromptHead[] = "寸法線足、";
const char kIntermediatePromptTail[] = "点目を入力。右クリックで選択終了";
const char kPlacementPrompt[] = "寸法値配置位置を入力";
const char kIdlePrompt[] = "コマンド: ";
const char kCancelMarker[] = "キャンセル";
const char kPointMarker[] = "X";

std::string PickPrompt(std::int32_t stored) {
    if (stored == 0) return kStartPrompt;
    if (stored == 1) return kEndPrompt;
    return kIntermediatePromptHead + std::to_string(CheckedAdd(stored, 1)) + kIntermediatePromptTail;
}

// One pick: start ID, paint the prompt, wait, and judge the history line.
// True when a point was picked; it is then stored in the table.
bool Pick(CadLink& link, RunWindow& window, WindowHandle pane, const std::string& prompt) {
    link.SendCommand(PickCommand);
    link.DrawPromptText(pane, prompt);
    WaitForCommandPrompt(link, window);

    std::string line;
    link.LastHistoryLine(line);
    if (line.find(kCancelMarker) != std::string::npos) return false;
    if (line.find(kPointMarker) == std::string::npos) return false;
    AddPoint(link);
    return true;
}

}  // namespace

void WaitForCommandPrompt(CadLink& link, RunWindow& window) {
    std::int32_t polls = 0;
    std::string prompt;
    for (;;) {
        window.Sleep(kPollPeriodMs);
        window.ProcessMessages();
        link.ReadPromptLine(prompt);
        if (prompt == kIdlePrompt) return;
        if (prompt.empty()) return;
        polls = CheckedAdd(polls, 1);
        if (polls >= kMaxPolls) return;
    }
}

bool CapturePoints(CadLink& link, RunWindow& window) {
    if (!link.ActivateAcad()) return false;
    std::string prompt;
    link.ReadPromptLine(prompt);
    if (prompt.empty()) return false;

    const WindowHandle pane = link.FindHistoryPane();
    PointTable& table = Points();
    table.PointCount = 0;

    bool done = false;
    while (!done) {
        done = !Pick(link, window, pane, PickPrompt(table.PointCount));
    }
    return Pick(link, window, pane, kPlacementPrompt);
}

}  // namespace tarvel
