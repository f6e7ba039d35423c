#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dimension/point_table.h"
#include "dimension/run.h"
#include "fake_cad_link.h"

namespace tarvel {
namespace {

using namespace testing;
using Events = std::vector<std::string>;

const std::string kStart = "draw 寸法線開始点を入力", kEnd = "draw 寸法線終了点を入力",
                  kPlacement = "draw 寸法値配置位置を入力", kPick = "send ^CID ";
std::string Intermediate(int n) { return "draw 寸法線足、" + std::to_string(n) + "点目を入力。右クリックで選択終了"; }

class RunTest : public ::testing::Test {
protected:
    void SetUp() override { ResetPointTable(); }
    int Count(const std::string& event) {
        return static_cast<int>(std::count(stage.events.begin(), stage.events.end(), event));
    }

    Stage stage;
    FakeCad cad{stage};
    FakeWindow window{stage};
};

TEST_F(RunTest, ThreeIntermediatePointsFromStartToLastCommand) {
    cad.script = {PickAt("0.0000,0.0000,0.0000"),     PickAt("1000.0000,0.0000,0.0000"),
                  PickAt("700.0000,0.0000,0.0000"),   PickAt("300.0000,0.0000,0.0000"),
                  PickAt("500.0000,0.0000,0.0000"),   RightClick(),
                  PickAt("500.0000,-200.0000,0.0000")};
    EXPECT_TRUE(RunDimension(cad, window));
    EXPECT_EQ(
        stage.events,
        (Events{"minimise",
                "activate",
                kPick,
                kStart,
                kPick,
                kEnd,
                kPick,
                Intermediate(3),
                kPick,
                Intermediate(4),
                kPick,
                Intermediate(5),
                kPick,
                Intermediate(6),
                kPick,
                kPlacement,
                "restore",
                "send dimlinear 0.0000,0.0000,0.0000 300.0000,0.0000,0.0000 H 500.0000,-200.0000,0.0000<CR>",
                "send dimlinear 300.0000,0.0000,0.0000 700.0000,0.0000,0.0000 H T 2@200\\X=<><CR>"
                "500.0000,-200.0000,0.0000<CR>",
                "send dimlinear 700.0000,0.0000,0.0000 1000.0000,0.0000,0.0000 H 500.0000,-200.0000,0.0000<CR>"}));
    EXPECT_FALSE(window.minimised);
    EXPECT_EQ(window.sleeps, 6 * 5 + 4);  // six picks of 900 ms, a right-click after 700 ms
    EXPECT_EQ(window.pumps, window.sleeps + 2);
}

TEST_F(RunTest, TierOptionIsReadOnceTheWindowIsBack) {
    const std::pair<bool, const char*> cases[] = {{true, "\\P"}, {false, ""}};
    for (const auto& [first, code] : cases) {
        Stage s;
        FakeCad link(s);
        FakeWindow w(s);
        w.on_pump = [&w, first = first] {  // the user changes the option while picking
            w.radio_button1 = w.minimised ? !first : first;
            w.radio_button2 = false;
        };
        link.script = {PickAt("0,0,0"),    PickAt("2300,0,0"), PickAt("1500,0,0"), PickAt("500,0,0"),
                       PickAt("2000,0,0"), PickAt("1000,0,0"), CancelPick(),       PickAt("1000,-300,0")};
        EXPECT_TRUE(RunDimension(link, w));
        EXPECT_EQ(link.Dimensions(),
                  (Events{"dimlinear 0,0,0 2000,0,0 H T 4@500" + std::string(code) + "=<><CR>1000,-300,0<CR>",
                          "dimlinear 2000,0,0 2300,0,0 H 1000,-300,0<CR>"}));
    }
}

// Fewer than four points, or no placement point: nothing is ordered or
// sent, and the window comes back. The placement is asked for in any case.
TEST_F(RunTest, RunsThatSendNothingStillRestoreTheWindow) {
    const std::pair<std::vector<Answer>, Events> cases[] = {
        {{}, {"minimise", "activate (not found)", "restore"}},  // AutoCAD not running
        {{CancelPick(), PickAt("5,5,0")}, {"minimise", "activate", kPick, kStart, kPick, kPlacement, "restore"}},
        {{RightClick(), CancelPick()}, {"minimise", "activate", kPick, kStart, kPick, kPlacement, "restore"}},
        {{PickAt("0,0,0"), CancelPick(), PickAt("5,5,0")},
         {"minimise", "activate", kPick, kStart, kPick, kEnd, kPick, kPlacement, "restore"}},
        {{PickAt("0,0,0"), NeverAnswer(), PickAt("5,5,0")},  // 600 polls, then the history decides
         {"minimise", "activate", kPick, kStart, kPick, kEnd, kPick, kPlacement, "restore"}},
        {{PickAt("0,0,0"), PickAt("9,0,0"), RightClick(), PickAt("5,5,0")},  // three points only
         {"minimise", "activate", kPick, kStart, kPick, kEnd, kPick, Intermediate(3), kPick, kPlacement, "restore"}},
        {{PickAt("0,0,0"), PickAt("9,0,0"), PickAt("3,0,0"), PickAt("6,0,0"), CancelPick(), CancelPick()},
         {"minimise", "activate", kPick, kStart, kPick, kEnd, kPick, Intermediate(3), kPick, Intermediate(4), kPick,
          Intermediate(5), kPick, kPlacement, "restore"}},  // placement cancelled
    };
    for (const auto& [script, events] : cases) {
        Stage s;
        FakeCad link(s);
        FakeWindow w(s);
        link.present = !script.empty();
        link.script.assign(script.begin(), script.end());
        EXPECT_TRUE(RunDimension(link, w));
        EXPECT_EQ(s.events, events);
        EXPECT_EQ(w.pumps, w.sleeps + 2);
        EXPECT_TRUE(link.script.empty());
    }
    EXPECT_EQ(Points().PointCount, 4);          // the last run picked four points
    EXPECT_EQ(Points().PointText[2], "9,0,0");  // and ordered nothing
}

TEST_F(RunTest, ErrorWhilePickingLeavesTheWindowMinimisedAndSendsNothing) {
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        Stage s;
        FakeCad link(s);
        FakeWindow w(s);
        if (kind == 0) {  // a 501st point
            for (int k = 0; k < 501; ++k) link.script.push_back(PickAt(std::to_string(k) + ",0,0", 100));
            EXPECT_THROW(RunDimension(link, w), RangeError);
        } else if (kind == 1) {
            link.script = {PickAt("0,0,0"), PickAt("1,0,0"), PickAt("abc,0,0")};
            EXPECT_THROW(RunDimension(link, w), ConvertError);
        } else {  // the history could not be copied
            link.script = {PickAt("0,0,0")};
            link.abort_on_history = true;
            EXPECT_THROW(RunDimension(link, w), SilentAbort);
        }
        EXPECT_TRUE(w.minimised);
        ASSERT_FALSE(s.events.empty());
        EXPECT_EQ(s.events.front(), "minimise");
        EXPECT_EQ(std::count(s.events.begin(), s.events.end(), "restore"), 0);
        EXPECT_TRUE(link.Dimensions().empty());
    }
}

TEST_F(RunTest, ErrorWhileSendingLeavesTheWindowRestoredAndEarlierCommandsSent) {
    cad.script = {PickAt("0,0,0"), PickAt("2147484047.5,0,0"), PickAt("100,0,0"), PickAt("400,0,0"),
                  RightClick(),    PickAt("0,-10,0")};
    EXPECT_THROW(RunDimension(cad, window), RangeError);
    EXPECT_FALSE(window.minimised);
    EXPECT_EQ(cad.Dimensions(), Events{"dimlinear 0,0,0 100,0,0 H 0,-10,0<CR>"});
}

// A press of Start handled while the run pumps messages must not start a
// second run over the same point table; once a run is over, by its end or
// by an error, Start works again.
TEST_F(RunTest, SecondPressDuringARunIsIgnored) {
    std::vector<bool> nested;
    window.on_pump = [&] { nested.push_back(RunDimension(cad, window)); };
    cad.script = {PickAt("0,0,0"), PickAt("1000,0,0"), PickAt("500,0,0"), RightClick(), PickAt("0,-50,0")};
    EXPECT_TRUE(RunDimension(cad, window));
    EXPECT_EQ(nested, std::vector<bool>(static_cast<std::size_t>(window.pumps), false));
    EXPECT_EQ(Count("minimise"), 1);
    EXPECT_EQ(cad.Dimensions(), Events{"dimlinear 0,0,0 1000,0,0 H T 2@500\\X=<><CR>0,-50,0<CR>"});

    window.on_pump = nullptr;
    cad.script = {PickAt("0,0,0")};
    cad.abort_on_history = true;
    EXPECT_THROW(RunDimension(cad, window), SilentAbort);
    cad.abort_on_history = false;
    cad.script = {CancelPick(), CancelPick()};
    EXPECT_TRUE(RunDimension(cad, window));
    EXPECT_EQ(Count("minimise"), 3);
    EXPECT_EQ(stage.events.back(), "restore");
}

TEST_F(RunTest, DeletesTheWorkFilesOnceMinimisedInEveryRun) {
    cad.present = false;  // AutoCAD not found: the files go all the same
    EXPECT_TRUE(RunDimension(cad, window));
    cad.present = true;
    cad.script = {CancelPick(), CancelPick()};
    EXPECT_TRUE(RunDimension(cad, window));
    EXPECT_EQ(window.deleted, (std::vector<std::string>{"TARVEL.dxf (minimised)", "TARVEL.csv (minimised)",
                                                        "TARVEL.dxf (minimised)", "TARVEL.csv (minimised)"}));
}

}  // namespace
}  // namespace tarvel
