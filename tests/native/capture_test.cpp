#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dimension/capture.h"
#include "dimension/point_table.h"
#include "fake_cad_link.h"

namespace tarvel {
namespace {

using namespace testing;

TEST(WaitForCommandPrompt, EndsOnlyAtTheExactIdlePromptAnEmptyLineOrThe600thPoll) {
    const std::pair<const char*, int> cases[] = {// the prompt line throughout, polls
                                                 {"コマンド: ", 1},    {"", 1},
                                                 {"コマンド:", 600},   {"コマンド:  ", 600},
                                                 {" コマンド: ", 600}, {"点を指定: ", 600}};
    for (const auto& [prompt, polls] : cases) {
        SCOPED_TRACE(prompt);
        Stage stage;
        FakeCad cad(stage);
        FakeWindow window(stage);
        cad.prompt_override = prompt;
        cad.prompt_unreadable = !*prompt;
        WaitForCommandPrompt(cad, window);
        EXPECT_EQ(window.sleeps, polls);
        EXPECT_EQ(window.pumps, polls);
        EXPECT_EQ(cad.prompt_reads, polls);
        EXPECT_EQ(stage.now, 200u * static_cast<unsigned>(polls));
    }
}

TEST(WaitForCommandPrompt, SleepsAndPumpsBeforeEachLook) {
    Stage stage;
    FakeCad cad(stage);
    FakeWindow window(stage);
    std::vector<std::pair<std::uint64_t, int>> at_pump;  // (time, reads so far)
    window.on_pump = [&] { at_pump.emplace_back(stage.now, cad.prompt_reads); };
    cad.script = {PickAt("1,2,0", 400), PickAt("1,2,0", 401)};
    cad.SendCommand(PickCommand);
    WaitForCommandPrompt(cad, window);
    EXPECT_EQ(at_pump, (std::vector<std::pair<std::uint64_t, int>>{{200, 0}, {400, 1}}));
    cad.SendCommand(PickCommand);  // answered after 401 ms: three looks
    WaitForCommandPrompt(cad, window);
    EXPECT_EQ(cad.prompt_reads, 5);
}

TEST(CapturePoints, TheHistoryLineAloneDecidesAPick) {
    const std::pair<const char*, bool> cases[] = {{"X = 1.0000     Y = 2.0000     Z = 0.0000", true},
                                                  {"XYZ", true},
                                                  {"点を指定: *キャンセル*", false},
                                                  {"X = 1.0000 *キャンセル*", false},  // both markers: cancelled
                                                  {"x = 1.0000     y = 2.0000", false},
                                                  {"点を指定: ", false}};
    for (const auto& [line, accepted] : cases) {
        SCOPED_TRACE(line);
        ResetPointTable();
        Stage stage;
        FakeCad cad(stage);
        FakeWindow window(stage);
        cad.script = {PickAt("7,8,0"), CancelPick(), CancelPick()};
        cad.script.front().line = line;
        if (!accepted) cad.script.pop_back();
        CapturePoints(cad, window);
        EXPECT_EQ(Points().PointCount, accepted ? 1 : 0);
        EXPECT_EQ(cad.last_point_reads, accepted ? 1 : 0);
        EXPECT_TRUE(cad.script.empty());
    }
}

TEST(CapturePoints, EntryTestNeedsAutoCadAndAReadablePromptLineOnly) {
    struct Case {
        bool present, unreadable, picks;
        const char* prompt;
    };
    for (const Case& c : {Case{false, false, false, ""}, Case{true, true, false, ""},
                          Case{true, false, true, "寸法線の起点を指定: "}}) {  // any prompt passes
        Stage stage;
        FakeCad cad(stage);
        FakeWindow window(stage);
        cad.present = c.present, cad.prompt_unreadable = c.unreadable, cad.prompt_override = c.prompt;
        cad.script = {CancelPick(), CancelPick()};
        EXPECT_FALSE(CapturePoints(cad, window));
        EXPECT_EQ(cad.commands.size(), c.picks ? 2u : 0u);
    }
}

TEST(CapturePoints, AutoCadGoingAwayEndsThePickingAtOnce) {
    ResetPointTable();
    Stage stage;
    FakeCad cad(stage);
    FakeWindow window(stage);
    cad.pane_found = false;
    cad.script = {PickAt("0,0,0"), PickAt("9,0,0")};
    window.on_pump = [&] { cad.present = Points().PointCount == 0; };
    EXPECT_FALSE(CapturePoints(cad, window));
    EXPECT_EQ(Points().PointCount, 1);
    EXPECT_EQ(window.sleeps, 5 + 1 + 1);  // one look for each wait once it is gone
    EXPECT_EQ(cad.drawn_on, std::vector<WindowHandle>(3, nullptr));
}

}  // namespace
}  // namespace tarvel
