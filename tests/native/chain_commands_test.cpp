#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "dimension/chain_commands.h"
#include "dimension/point_table.h"
#include "fake_cad_link.h"
#include "support/errors.h"

namespace tarvel {
namespace {

using testing::FakeCad;
using testing::LoadPoints;
using testing::Stage;

using Commands = std::vector<std::string>;

// Loads the chain points, then the placement, whose text alone is used.
void LoadChain(std::vector<std::string> texts) {
    const std::string placement = texts.back();
    texts.back() = "0,0,0";
    LoadPoints(texts);
    Points().PointText[Points().PointCount] = placement;
}

Commands Send(const std::vector<std::string>& texts, const std::string& direction,
              bool radioButton1 = false, bool radioButton2 = true) {
    LoadChain(texts);
    Stage stage;
    FakeCad cad(stage);
    SendChainedDimensions(cad, direction, radioButton1, radioButton2);
    return cad.Dimensions();
}

struct TierCase {
    const char* option;
    bool radioButton1, radioButton2;
    const char* code;
};

const TierCase kTiers[] = {
    {"RadioButton1", true, false, "\\P"},
    {"RadioButton2", false, true, "\\X"},
    {"RadioButton3", false, false, ""},
    {"RadioButton1 tested first", true, true, "\\P"},
};

TEST(TierCode, FollowsTheCheckedOption) {
    for (const auto& t : kTiers) {
        SCOPED_TRACE(t.option);
        EXPECT_EQ(TierCode(t.radioButton1, t.radioButton2), t.code);
    }
}

const std::vector<std::string> kExample = {"0,0,0",    "500,0,0",  "1000,0,0",  "1500,0,0",
                                           "2000,0,0", "2300,0,0", "1000,-300,0"};

TEST(SendChainedDimensions, WorkedExampleUnderEveryTierOption) {
    for (const auto& t : kTiers) {
        SCOPED_TRACE(t.option);
        const std::string code = t.code;
        EXPECT_EQ(Send(kExample, "H", t.radioButton1, t.radioButton2),
                  (Commands{"dimlinear 0,0,0 2000,0,0 H T 4@500" + code + "=<><CR>1000,-300,0<CR>",
                            "dimlinear 2000,0,0 2300,0,0 H 1000,-300,0<CR>"}));
    }
}

// The group that ends at the end point carries the chosen tier code too, so
// a "1段" or "２段(上付)" chain never ends in another layout.
TEST(SendChainedDimensions, LastGroupCarriesTheChosenTierCode) {
    const std::vector<std::string> reversed = {"0,0,0",    "300,0,0",  "800,0,0",  "1300,0,0",
                                               "1800,0,0", "2300,0,0", "1000,-300,0"};
    for (const auto& t : kTiers) {
        SCOPED_TRACE(t.option);
        const std::string code = t.code;
        EXPECT_EQ(Send(reversed, "H", t.radioButton1, t.radioButton2),
                  (Commands{"dimlinear 0,0,0 300,0,0 H 1000,-300,0<CR>",
                            "dimlinear 300,0,0 2300,0,0 H T 4@500" + code + "=<><CR>1000,-300,0<CR>"}));
        EXPECT_EQ(Send({"0,0,0", "500,0,0", "1000,0,0", "9,9,0"}, "H", t.radioButton1, t.radioButton2),
                  (Commands{"dimlinear 0,0,0 1000,0,0 H T 2@500" + code + "=<><CR>9,9,0<CR>"}));
    }
}

struct ChainCase {
    const char* name;
    const char* direction;
    std::vector<std::string> texts;   // chain points, then the placement
    Commands commands;
};

TEST(SendChainedDimensions, GroupsAdjacentEqualRoundedSpans) {
    const ChainCase cases[] = {
        {"two different spans", "H", {"0,0,0", "500,0,0", "800,0,0", "P"},
         {"dimlinear 0,0,0 500,0,0 H P<CR>", "dimlinear 500,0,0 800,0,0 H P<CR>"}},
        {"equal spans apart never join", "H",
         {"0,0,0", "500,0,0", "800,0,0", "1300,0,0", "1600,0,0", "P"},
         {"dimlinear 0,0,0 500,0,0 H P<CR>", "dimlinear 500,0,0 800,0,0 H P<CR>",
          "dimlinear 800,0,0 1300,0,0 H P<CR>", "dimlinear 1300,0,0 1600,0,0 H P<CR>"}},
        {"499.6 and 500.4 both give 500", "H", {"0,0,0", "499.6,0,0", "1000,0,0", "P"},
         {"dimlinear 0,0,0 1000,0,0 H T 2@500\\X=<><CR>P<CR>"}},
        {"500.5 and 499.5 both give 500", "H", {"0,0,0", "500.5,0,0", "1000,0,0", "P"},
         {"dimlinear 0,0,0 1000,0,0 H T 2@500\\X=<><CR>P<CR>"}},
        {"1.5 and 2.5 both give 2", "H", {"0,0,0", "1.5,0,0", "4,0,0", "P"},
         {"dimlinear 0,0,0 4,0,0 H T 2@2\\X=<><CR>P<CR>"}},
        {"2.5 and 3.5 give 2 and 4", "H", {"0,0,0", "2.5,0,0", "6,0,0", "P"},
         {"dimlinear 0,0,0 2.5,0,0 H P<CR>", "dimlinear 2.5,0,0 6,0,0 H P<CR>"}},
        {"zero spans group like any other", "H",
         {"0,0,0", "100,0,0", "100,0,0", "100,0,0", "200,0,0", "P"},
         {"dimlinear 0,0,0 100,0,0 H P<CR>", "dimlinear 100,0,0 100,0,0 H T 2@0\\X=<><CR>P<CR>",
          "dimlinear 100,0,0 200,0,0 H P<CR>"}},
        {"V counts only Y", "V", {"0,0,0", "900,500,0", "-900,1000,0", "P"},
         {"dimlinear 0,0,0 -900,1000,0 V T 2@500\\X=<><CR>P<CR>"}},
        {"H counts only X", "H", {"0,0,0", "500,900,0", "1000,-900,0", "P"},
         {"dimlinear 0,0,0 1000,-900,0 H T 2@500\\X=<><CR>P<CR>"}},
        {"all equal: one command", "H",
         {"0,0,0", "100,0,0", "200,0,0", "300,0,0", "400,0,0", "500,0,0", "P"},
         {"dimlinear 0,0,0 500,0,0 H T 5@100\\X=<><CR>P<CR>"}},
        {"negative direction of travel", "V", {"0,0,0", "0,-250,0", "0,-500,0", "0,-600,0", "P"},
         {"dimlinear 0,0,0 0,-500,0 V T 2@250\\X=<><CR>P<CR>", "dimlinear 0,-500,0 0,-600,0 V P<CR>"}},
        {"texts are sent as picked", "H", {" 0.0000,0,ア", "10.0000 ,0,0", "30,0,0", "P P"},
         {"dimlinear  0.0000,0,\\u30A2 10.0000 ,0,0 H P P<CR>", "dimlinear 10.0000 ,0,0 30,0,0 H P P<CR>"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Send(c.texts, c.direction), c.commands);
    }
}

TEST(SendChainedDimensions, FullTableCommandsChainEndToEnd) {
    // 499 chain points with alternating spans 10 and 20, and the placement.
    std::vector<std::string> texts;
    int x = 0;
    for (int k = 1; k <= 499; ++k) {
        texts.push_back(std::to_string(x) + ",0,0");
        x += k % 2 ? 10 : 20;
    }
    texts.push_back("0,-50,0");
    const Commands commands = Send(texts, "H");
    ASSERT_EQ(commands.size(), 498u);
    for (std::size_t k = 0; k < commands.size(); ++k) {
        ASSERT_EQ(commands[k], "dimlinear " + texts[k] + " " + texts[k + 1] + " H 0,-50,0<CR>");
    }

    // 499 chain points 7 apart: one command across the whole chain.
    for (int k = 0; k < 499; ++k) texts[static_cast<std::size_t>(k)] = std::to_string(k * 7) + ",0,0";
    EXPECT_EQ(Send(texts, "H"), (Commands{"dimlinear 0,0,0 3486,0,0 H T 498@7\\X=<><CR>0,-50,0<CR>"}));
}

struct RoundCase {
    double span;
    std::int32_t rounded;
};

TEST(RoundSpan, RoundsToNearestTiesToEven) {
    const RoundCase cases[] = {
        {499.5, 500},     {500.5, 500},      {1.5, 2},         {2.5, 2},
        {0.5, 0},         {3.5, 4},          {0.0, 0},         {-0.0, 0},
        {499.6, 500},     {500.4, 500},      {0.49999999999999994, 0},
        {2147483646.5, 2147483646},          {2147483647.0, 2147483647},
        {2147483647.4999998, 2147483647},    {-2.5, -2},       {-3.5, -4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.span);
        EXPECT_EQ(RoundSpan(c.span), c.rounded);
    }
}

TEST(RoundSpan, RaisesRangeThenInvalidOperation) {
    const double kTwo63 = 9223372036854775808.0;
    for (double span : {2147483647.5, 2147483648.0, 1e18, std::nextafter(kTwo63, 0.0)}) {
        SCOPED_TRACE(span);
        EXPECT_THROW(RoundSpan(span), RangeError);
    }
    for (double span : {kTwo63, 1e19, std::numeric_limits<double>::infinity(),
                        std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(span);
        EXPECT_THROW(RoundSpan(span), InvalidOpError);
    }
}

TEST(SendChainedDimensions, ErrorStopsTheCommandsButKeepsThoseSent) {
    // Spans 100, 300, then the far one: the first command is out when the
    // walk reaches the far span.
    enum Outcome { kSent, kRange, kInvalidOp };
    struct Case {
        const char* far;
        Outcome outcome;
    };
    const Case cases[] = {{"2147484047.4,0,0", kSent},   // 2147483647.4 still fits
                          {"2147484047.5,0,0", kRange},  // 2147483647.5 does not
                          {"1e18,0,0", kRange},
                          {"1e19,0,0", kInvalidOp},
                          {"-1e19,0,0", kInvalidOp}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.far);
        LoadChain({"0,0,0", "100,0,0", "400,0,0", c.far, "P"});
        Stage stage;
        FakeCad cad(stage);
        switch (c.outcome) {
            case kSent:
                SendChainedDimensions(cad, "H", false, true);
                EXPECT_EQ(cad.Dimensions().size(), 3u);
                continue;
            case kRange:
                EXPECT_THROW(SendChainedDimensions(cad, "H", false, true), RangeError);
                break;
            case kInvalidOp:
                EXPECT_THROW(SendChainedDimensions(cad, "H", false, true), InvalidOpError);
                break;
        }
        EXPECT_EQ(cad.Dimensions(), (Commands{"dimlinear 0,0,0 100,0,0 H P<CR>"}));
    }
}

}  // namespace
}  // namespace tarvel
