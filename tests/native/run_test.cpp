#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "dimension/point_table.h"
#include "dimension/run.h"
#include "fake_cad_link.h"
#include "support/errors.h"

namespace tarvel {
namespace {

using testing::Answer;
using testing::CancelPick;
using testing::FakeCad;
using testing::FakeWindow;
using testing::PickAt;
using testing::RightClick;
using testing::Stage;

using Events = std::vector<std::string>;

const char kStart[] = "draw 寸法線開始点を入力";
const char kEnd[] = "draw 寸法線終了点を入力";
const char kPlacement[] = "draw 寸法値配置位置を入力";
const char kPick[] = "send ^CID ";

std::string Intermediate(int n) {
    return "draw 寸法線足、" + std::to_string(n) + "点目を入力。右クリックで選択終了";
}

bool SentDimension(const Events& events) {
    for (const auto& e : events) {
        if (e.rfind("send dimlinear", 0) == 0) return true;
    }
    return false;
}

class RunTest : public ::testing::Test {
protected:
    void SetUp() override { ResetPointTable(); }

    Stage stage;
    FakeCad cad{stage};
    FakeWindow window{stage};
};

TEST_F(RunTest, ThreeIntermediatePointsFromStartToLastCommand) {
    cad.script = {PickAt("0.0000,0.0000,0.0000"),   PickAt("1000.0000,0.0000,0.0000"),
                  PickAt("700.0000,0.0000,0.0000"), PickAt("300.0000,0.0000,0.0000"),
                  PickAt("500.0000,0.0000,0.0000"), RightClick(),
                  PickAt("500.0000,-200.0000,0.0000")};
    EXPECT_TRUE(RunDimension(cad, window));
    EXPECT_EQ(stage.events,
              (Events{"minimise", "activate",
                      kPick, kStart, kPick, kEnd,
                      kPick, Intermediate(3), kPick, Intermediate(4), kPick, Intermediate(5),
                      kPick, Intermediate(6),
                      kPick, kPlacement,
                      "restore",
                      "send dimlinear 0.0000,0.0000,0.0000 300.0000,0.0000,0.0000 H "
                      "500.0000,-200.0000,0.0000<CR>",
                      "send dimlinear 300.0000,0.0000,0.0000 700.0000,0.0000,0.0000 H T "
                      "2@200\\X=<><CR>500.0000,-200.0000,0.0000<CR>",
                      "send dimlinear 700.0000,0.0000,0.0000 1000.0000,0.0000,0.0000 H "
                      "500.0000,-200.0000,0.0000<CR>"}));
    EXPECT_FALSE(window.minimised);
    // Two pumps around the capture, one in every poll: six picks of 900 ms
    // and a right-click after 700 ms are 34 polls.
    EXPECT_EQ(window.sleeps, 6 * 5 + 4);
    EXPECT_EQ(window.pumps, window.sleeps + 2);
}

TEST_F(RunTest, TierOptionIsReadWhenTheCommandsAreSent) {
    struct Case {
        const char* option;
        bool radioButton1, radioButton2;
        const char* code;
    };
    const Case cases[] = {{"RadioButton1", true, false, "\\P"},
                          {"RadioButton2", false, true, "\\X"},
                          {"RadioButton3", false, false, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        Stage s;
        FakeCad link(s);
        FakeWindow w(s);
        // The user changes the option while picking; what counts is the
        // option once the window is back.
        w.radioButton1 = !c.radioButton1;
        w.radioButton2 = !c.radioButton2;
        w.onPump = [&] {
            if (!w.minimised) {
                w.radioButton1 = c.radioButton1;
                w.radioButton2 = c.radioButton2;
            }
        };
        link.script = {PickAt("0,0,0"),    PickAt("2300,0,0"), PickAt("1500,0,0"), PickAt("500,0,0"),
                       PickAt("2000,0,0"), PickAt("1000,0,0"), CancelPick(),       PickAt("1000,-300,0")};
        EXPECT_TRUE(RunDimension(link, w));
        EXPECT_EQ(link.Dimensions(),
                  (std::vector<std::string>{
                      std::string("dimlinear 0,0,0 2000,0,0 H T 4@500") + c.code + "=<><CR>1000,-300,0<CR>",
                      "dimlinear 2000,0,0 2300,0,0 H 1000,-300,0<CR>"}));
    }
}

struct QuietRun {
    const char* name;
    std::vector<Answer> script;
    Events events;
};

TEST_F(RunTest, RunsThatSendNothingStillRestoreTheWindow) {
    const QuietRun cases[] = {
        {"first pick cancelled", {CancelPick(), PickAt("5,5,0")},
         {"minimise", "activate", kPick, kStart, kPick, kPlacement, "restore"}},
        {"start, end and placement only", {PickAt("0,0,0"), PickAt("9,0,0"), RightClick(), PickAt("5,5,0")},
         {"minimise", "activate", kPick, kStart, kPick, kEnd, kPick, Intermediate(3), kPick, kPlacement,
          "restore"}},
        {"placement cancelled",
         {PickAt("0,0,0"), PickAt("9,0,0"), PickAt("3,0,0"), PickAt("6,0,0"), CancelPick(), CancelPick()},
         {"minimise", "activate", kPick, kStart, kPick, kEnd, kPick, Intermediate(3), kPick,
          Intermediate(4), kPick, Intermediate(5), kPick, kPlacement, "restore"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Stage s;
        FakeCad link(s);
        FakeWindow w(s);
        link.script.assign(c.script.begin(), c.script.end());
        EXPECT_TRUE(RunDimension(link, w));
        EXPECT_EQ(s.events, c.events);
        EXPECT_FALSE(w.minimised);
        EXPECT_TRUE(link.script.empty());
    }
    // The placement pick cancelled leaves the points picked before it in
    // pick order: nothing was ordered.
    EXPECT_EQ(Points().PointText[2], "9,0,0");
}

TEST_F(RunTest, AutoCadNotRunningOnlyMinimisesAndRestores) {
    cad.present = false;
    EXPECT_TRUE(RunDimension(cad, window));
    EXPECT_EQ(stage.events, (Events{"minimise", "activate (not found)", "restore"}));
    EXPECT_EQ(window.pumps, 2);
}

TEST_F(RunTest, ErrorWhilePickingLeavesTheWindowMinimised) {
    enum Kind { kRange, kConvert, kAbort };
    struct Case {
        const char* name;
        Kind kind;
    };
    const Case cases[] = {{"501st point", kRange}, {"LASTPOINT not a number", kConvert},
                          {"history not copied", kAbort}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetPointTable();
        Stage s;
        FakeCad link(s);
        FakeWindow w(s);
        switch (c.kind) {
            case kRange:
                for (int k = 0; k < 501; ++k) link.script.push_back(PickAt(std::to_string(k) + ",0,0", 100));
                EXPECT_THROW(RunDimension(link, w), RangeError);
                EXPECT_EQ(Points().PointCount, 500);
                break;
            case kConvert:
                link.script = {PickAt("0,0,0"), PickAt("1,0,0"), PickAt("abc,0,0")};
                EXPECT_THROW(RunDimension(link, w), ConvertError);
                break;
            case kAbort:
                link.script = {PickAt("0,0,0")};
                link.abortOnHistory = true;
                EXPECT_THROW(RunDimension(link, w), SilentAbort);
                break;
        }
        EXPECT_TRUE(w.minimised);
        EXPECT_EQ(s.events.front(), "minimise");
        for (const auto& e : s.events) EXPECT_NE(e, "restore");
        EXPECT_FALSE(SentDimension(s.events));
    }
}

TEST_F(RunTest, ErrorWhileSendingLeavesTheWindowRestoredAndEarlierCommandsSent) {
    cad.script = {PickAt("0,0,0"), PickAt("2147484047.5,0,0"), PickAt("100,0,0"), PickAt("400,0,0"),
                  RightClick(), PickAt("0,-10,0")};
    EXPECT_THROW(RunDimension(cad, window), RangeError);
    EXPECT_FALSE(window.minimised);
    EXPECT_EQ(cad.Dimensions(), (std::vector<std::string>{"dimlinear 0,0,0 100,0,0 H 0,-10,0<CR>"}));
}

// A press of Start handled while the run pumps messages must not start a
// second run over the same point table.
TEST_F(RunTest, SecondPressDuringARunIsIgnored) {
    std::vector<bool> nested;
    window.onPump = [&] { nested.push_back(RunDimension(cad, window)); };
    cad.script = {PickAt("0,0,0"), PickAt("1000,0,0"), PickAt("500,0,0"), RightClick(), PickAt("0,-50,0")};
    EXPECT_TRUE(RunDimension(cad, window));
    EXPECT_EQ(nested.size(), static_cast<std::size_t>(window.pumps));
    EXPECT_EQ(std::count(nested.begin(), nested.end(), true), 0);
    EXPECT_EQ(std::count(stage.events.begin(), stage.events.end(), "minimise"), 1);
    EXPECT_EQ(cad.Dimensions(),
              (std::vector<std::string>{"dimlinear 0,0,0 1000,0,0 H T 2@500\\X=<><CR>0,-50,0<CR>"}));

    // Once the run is over, Start works again.
    window.onPump = nullptr;
    cad.script = {CancelPick(), CancelPick()};
    EXPECT_TRUE(RunDimension(cad, window));
    EXPECT_EQ(std::count(stage.events.begin(), stage.events.end(), "minimise"), 2);
}

TEST_F(RunTest, StartWorksAgainAfterARunEndedInAnError) {
    cad.script = {PickAt("0,0,0")};
    cad.abortOnHistory = true;
    EXPECT_THROW(RunDimension(cad, window), SilentAbort);

    cad.abortOnHistory = false;
    cad.script = {CancelPick(), CancelPick()};
    std::vector<bool> nested;
    window.onPump = [&] { nested.push_back(RunDimension(cad, window)); };
    EXPECT_TRUE(RunDimension(cad, window));
    EXPECT_FALSE(nested.empty());
    EXPECT_EQ(std::count(nested.begin(), nested.end(), true), 0);
    EXPECT_EQ(stage.events.back(), "restore");
}

TEST_F(RunTest, DeletesTheWorkFilesOfTheCurrentDirectoryOnly) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("tarvel-run-" + std::to_string(std::random_device{}()));
    const fs::path other = dir / "other";
    fs::create_directories(other);
    const char* names[] = {"TARVEL.dxf", "TARVEL.csv", "KEEP.dxf"};
    for (const fs::path& where : {dir, other}) {
        for (const char* name : names) std::ofstream(where / name) << "x";
    }
    const fs::path saved = fs::current_path();
    fs::current_path(dir);
    cad.present = false;
    const bool ran = RunDimension(cad, window);
    const bool dxfGone = !fs::exists(dir / "TARVEL.dxf");
    const bool csvGone = !fs::exists(dir / "TARVEL.csv");
    const bool secondRan = RunDimension(cad, window);   // the files missing is no error
    fs::current_path(saved);

    EXPECT_TRUE(ran);
    EXPECT_TRUE(secondRan);
    EXPECT_TRUE(dxfGone);
    EXPECT_TRUE(csvGone);
    EXPECT_TRUE(fs::exists(dir / "KEEP.dxf"));
    for (const char* name : names) EXPECT_TRUE(fs::exists(other / name)) << name;
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvel
