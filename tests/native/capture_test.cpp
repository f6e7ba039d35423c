#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dimension/capture.h"
#include "dimension/point_table.h"
#include "fake_cad_link.h"

namespace tarvel {
namespace {

using testing::Answer;
using testing::CancelPick;
using testing::FakeCad;
using testing::FakeWindow;
using testing::NeverAnswer;
using testing::PickAt;
using testing::RightClick;
using testing::Stage;

const char kStart[] = "draw 寸法線開始点を入力";
const char kEnd[] = "draw 寸法線終了点を入力";
const char kPlacement[] = "draw 寸法値配置位置を入力";
const char kPick[] = "send ^CID ";

std::string Intermediate(int n) {
    return "draw 寸法線足、" + std::to_string(n) + "点目を入力。右クリックで選択終了";
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override { ResetPointTable(); }

    Stage stage;
    FakeCad cad{stage};
    FakeWindow window{stage};
};

TEST_F(CaptureTest, WaitEndsOnlyAtTheExactIdlePromptOrAnEmptyLine) {
    struct Case {
        const char* prompt;   // what the prompt line reads throughout
        bool present;
        int polls;
    };
    const Case cases[] = {
        {"コマンド: ", true, 1},     {"", false, 1},            // AutoCAD gone: empty line
        {"コマンド:", true, 600},    {"コマンド:  ", true, 600}, {" コマンド: ", true, 600},
        {"点を指定: ", true, 600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prompt);
        Stage s;
        FakeCad link(s);
        FakeWindow w(s);
        link.present = c.present;
        link.promptOverride = c.prompt;
        WaitForCommandPrompt(link, w);
        EXPECT_EQ(w.sleeps, c.polls);
        EXPECT_EQ(w.pumps, c.polls);
        EXPECT_EQ(link.promptReads, c.polls);
        EXPECT_EQ(s.now, 200u * static_cast<unsigned>(c.polls));
    }
}

TEST_F(CaptureTest, WaitSleepsAndPumpsBeforeEachLook) {
    std::vector<std::pair<std::uint64_t, int>> atPump;   // (time, reads so far)
    window.onPump = [&] { atPump.emplace_back(stage.now, cad.promptReads); };
    cad.script = {PickAt("1,2,0", 400), PickAt("1,2,0", 401)};
    cad.SendCommand(PickCommand);
    WaitForCommandPrompt(cad, window);
    EXPECT_EQ(atPump, (std::vector<std::pair<std::uint64_t, int>>{{200, 0}, {400, 1}}));
    EXPECT_EQ(cad.promptReads, 2);

    cad.SendCommand(PickCommand);   // answered 401 ms later: a third look is needed
    WaitForCommandPrompt(cad, window);
    EXPECT_EQ(cad.promptReads, 5);
    EXPECT_EQ(stage.now, 1000u);
}

TEST_F(CaptureTest, PromptsOfARunWithThreeIntermediatePoints) {
    cad.script = {PickAt("0,0,0"),   PickAt("1000,0,0"), PickAt("700,0,0"),   PickAt("300,0,0"),
                  PickAt("500,0,0"), RightClick(),       PickAt("500,-200,0")};
    EXPECT_TRUE(CapturePoints(cad, window));
    EXPECT_EQ(stage.events, (std::vector<std::string>{"activate",
                                                      kPick, kStart,
                                                      kPick, kEnd,
                                                      kPick, Intermediate(3),
                                                      kPick, Intermediate(4),
                                                      kPick, Intermediate(5),
                                                      kPick, Intermediate(6),
                                                      kPick, kPlacement}));
    const PointTable& table = Points();
    ASSERT_EQ(table.PointCount, 6);
    const char* picked[] = {"0,0,0", "1000,0,0", "700,0,0", "300,0,0", "500,0,0", "500,-200,0"};
    for (std::int32_t k = 1; k <= 6; ++k) EXPECT_EQ(table.PointText[k], picked[k - 1]);
    EXPECT_EQ(cad.drawnOn, std::vector<WindowHandle>(7, FakeCad::Pane()));
    EXPECT_TRUE(cad.script.empty());
}

struct Dialogue {
    const char* name;
    std::vector<Answer> script;
    std::int32_t points;
    bool placementRead;
    int prompts;
};

TEST_F(CaptureTest, PickingEndsAtCancelOrRightClickAndThePlacementFollows) {
    const Dialogue cases[] = {
        {"start cancelled", {CancelPick(), PickAt("5,5,0")}, 1, true, 2},
        {"start right-clicked", {RightClick(), CancelPick()}, 0, false, 2},
        {"end cancelled", {PickAt("0,0,0"), CancelPick(), PickAt("5,5,0")}, 2, true, 3},
        {"first intermediate right-clicked",
         {PickAt("0,0,0"), PickAt("9,0,0"), RightClick(), PickAt("5,5,0")}, 3, true, 4},
        {"placement cancelled",
         {PickAt("0,0,0"), PickAt("9,0,0"), PickAt("3,0,0"), CancelPick(), CancelPick()}, 3, false, 5},
        {"placement right-clicked",
         {PickAt("0,0,0"), PickAt("9,0,0"), PickAt("3,0,0"), RightClick(), RightClick()}, 3, false, 5},
        {"no answer within 600 polls", {PickAt("0,0,0"), NeverAnswer(), PickAt("5,5,0")}, 2, true, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Stage s;
        FakeCad link(s);
        FakeWindow w(s);
        link.script.assign(c.script.begin(), c.script.end());
        EXPECT_EQ(CapturePoints(link, w), c.placementRead);
        EXPECT_EQ(Points().PointCount, c.points);
        int prompts = 0;
        for (const auto& e : s.events) prompts += e.rfind("draw ", 0) == 0;
        EXPECT_EQ(prompts, c.prompts);
        EXPECT_EQ(s.events.back(), kPlacement);
        EXPECT_TRUE(link.script.empty());
    }
}

TEST_F(CaptureTest, TheHistoryLineAloneDecidesAPick) {
    struct Case {
        const char* line;
        bool accepted;
    };
    const Case cases[] = {
        {"X = 1.0000     Y = 2.0000     Z = 0.0000", true},
        {"XYZ", true},
        {"点を指定: *キャンセル*", false},
        {"X = 1.0000 *キャンセル*", false},   // both markers: cancelled
        {"x = 1.0000     y = 2.0000", false}, // markers are case-sensitive
        {"点を指定: ", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Stage s;
        FakeCad link(s);
        FakeWindow w(s);
        Answer first = PickAt("7,8,0");
        first.line = c.line;
        link.script = {first, CancelPick(), CancelPick()};
        if (!c.accepted) link.script.pop_back();
        CapturePoints(link, w);
        EXPECT_EQ(Points().PointCount, c.accepted ? 1 : 0);
        EXPECT_EQ(link.lastPointReads, c.accepted ? 1 : 0);
        EXPECT_TRUE(link.script.empty());
    }
}

TEST_F(CaptureTest, EntryTestNeedsAutoCadAndAReadablePromptLine) {
    struct Case {
        const char* name;
        bool present, unreadable;
        const char* prompt;
        bool picks;
    };
    const Case cases[] = {
        {"not running", false, false, "", false},
        {"prompt line unreadable", true, true, "", false},
        {"any prompt passes", true, false, "寸法線の起点を指定: ", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetPointTable();
        Stage s;
        FakeCad link(s);
        FakeWindow w(s);
        link.present = c.present;
        link.promptUnreadable = c.unreadable;
        link.promptOverride = c.prompt;
        link.script = {CancelPick(), CancelPick()};
        EXPECT_FALSE(CapturePoints(link, w));
        EXPECT_EQ(Points().PointCount, 0);
        EXPECT_EQ(link.commands.size(), c.picks ? 2u : 0u);
        EXPECT_EQ(w.sleeps, c.picks ? 1200 : 0);   // a prompt that never goes idle
    }
}

TEST_F(CaptureTest, PicksRunWithoutAHistoryPane) {
    cad.paneFound = false;
    cad.script = {PickAt("0,0,0"), CancelPick(), PickAt("1,1,0")};
    EXPECT_TRUE(CapturePoints(cad, window));
    EXPECT_EQ(cad.drawnOn, std::vector<WindowHandle>(3, nullptr));
}

TEST_F(CaptureTest, AutoCadGoingAwayEndsThePicking) {
    cad.script = {PickAt("0,0,0"), PickAt("9,0,0")};
    window.onPump = [&] {
        if (Points().PointCount == 1) cad.present = false;
    };
    EXPECT_FALSE(CapturePoints(cad, window));
    EXPECT_EQ(Points().PointCount, 1);
    // Picks of 900 ms take five polls; once AutoCAD is gone each wait ends
    // at its first look.
    EXPECT_EQ(window.sleeps, 5 + 1 + 1);
}

TEST_F(CaptureTest, StartsFromAnEmptyTable) {
    testing::LoadPoints({"1,1,0", "2,2,0", "3,3,0"});
    cad.script = {PickAt("7,7,0"), RightClick(), RightClick()};
    EXPECT_FALSE(CapturePoints(cad, window));
    EXPECT_EQ(Points().PointCount, 1);
    EXPECT_EQ(Points().PointText[1], "7,7,0");
}

}  // namespace
}  // namespace tarvel
