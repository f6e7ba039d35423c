#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "dimension/chain_commands.h"
#include "dimension/point_table.h"
#include "fake_cad_link.h"

namespace tarvel {
namespace {

using Commands = std::vector<std::string>;
using Texts = std::vector<std::string>;

// Loads the chain and the placement (of which only the text counts) and
// gives back the commands sent.
Commands Send(std::vector<std::string> texts, const std::string& direction, bool radio_button1 = false,
              bool radio_button2 = true) {
    const std::string placement = texts.back();
    texts.back() = "0,0,0";
    testing::LoadPoints(texts);
    Points().PointText[Points().PointCount] = placement;
    testing::Stage stage;
    testing::FakeCad cad(stage);
    SendChainedDimensions(cad, direction, radio_button1, radio_button2);
    return cad.Dimensions();
}

struct Tier {
    bool radio_button1, radio_button2;
    std::string code;
};
const Tier kTiers[] = {{true, false, "\\P"}, {false, true, "\\X"}, {false, false, ""}, {true, true, "\\P"}};

TEST(SendChainedDimensions, WorkedExampleUnderEveryTierOption) {
    for (const auto& t : kTiers) {
        SCOPED_TRACE(t.code);
        EXPECT_EQ(Send({"0,0,0", "500,0,0", "1000,0,0", "1500,0,0", "2000,0,0", "2300,0,0", "1000,-300,0"}, "H",
                       t.radio_button1, t.radio_button2),
                  (Commands{"dimlinear 0,0,0 2000,0,0 H T 4@500" + t.code + "=<><CR>1000,-300,0<CR>",
                            "dimlinear 2000,0,0 2300,0,0 H 1000,-300,0<CR>"}));
    }
}

// The group that ends at the end point carries the chosen tier code too, so
// a "1段" or "２段(上付)" chain never ends in another layout.
TEST(SendChainedDimensions, LastGroupCarriesTheChosenTierCode) {
    for (const auto& t : kTiers) {
        SCOPED_TRACE(t.code);
        EXPECT_EQ(Send({"0,0,0", "300,0,0", "800,0,0", "1300,0,0", "1800,0,0", "2300,0,0", "1000,-300,0"}, "H",
                       t.radio_button1, t.radio_button2),
                  (Commands{"dimlinear 0,0,0 300,0,0 H 1000,-300,0<CR>",
                            "dimlinear 300,0,0 2300,0,0 H T 4@500" + t.code + "=<><CR>1000,-300,0<CR>"}));
        EXPECT_EQ(Send({"0,0,0", "500,0,0", "1000,0,0", "9,9,0"}, "H", t.radio_button1, t.radio_button2),
                  (Commands{"dimlinear 0,0,0 1000,0,0 H T 2@500" + t.code + "=<><CR>9,9,0<CR>"}));
    }
}

TEST(SendChainedDimensions, GroupsAdjacentEqualRoundedSpans) {
    struct Case {
        const char* name;
        const char* direction;
        Texts texts;  // chain points, then the placement
        Commands commands;
    };
    const Case cases[] = {
        {"two different spans",
         "H",
         {"0,0,0", "500,0,0", "800,0,0", "P"},
         {"dimlinear 0,0,0 500,0,0 H P<CR>", "dimlinear 500,0,0 800,0,0 H P<CR>"}},
        {"equal spans apart never join",
         "H",
         {"0,0,0", "500,0,0", "800,0,0", "1300,0,0", "1600,0,0", "P"},
         {"dimlinear 0,0,0 500,0,0 H P<CR>", "dimlinear 500,0,0 800,0,0 H P<CR>", "dimlinear 800,0,0 1300,0,0 H P<CR>",
          "dimlinear 1300,0,0 1600,0,0 H P<CR>"}},
        {"499.6 and 500.4 give 500",
         "H",
         {"0,0,0", "499.6,0,0", "1000,0,0", "P"},
         {"dimlinear 0,0,0 1000,0,0 H T 2@500\\X=<><CR>P<CR>"}},
        {"500.5 and 499.5 give 500",
         "H",
         {"0,0,0", "500.5,0,0", "1000,0,0", "P"},
         {"dimlinear 0,0,0 1000,0,0 H T 2@500\\X=<><CR>P<CR>"}},
        {"1.5 and 2.5 give 2",
         "H",
         {"0,0,0", "1.5,0,0", "4,0,0", "P"},
         {"dimlinear 0,0,0 4,0,0 H T 2@2\\X=<><CR>P<CR>"}},
        {"2.5 and 3.5 give 2 and 4",
         "H",
         {"0,0,0", "2.5,0,0", "6,0,0", "P"},
         {"dimlinear 0,0,0 2.5,0,0 H P<CR>", "dimlinear 2.5,0,0 6,0,0 H P<CR>"}},
        {"zero spans group like any other",
         "H",
         {"0,0,0", "100,0,0", "100,0,0", "100,0,0", "200,0,0", "P"},
         {"dimlinear 0,0,0 100,0,0 H P<CR>", "dimlinear 100,0,0 100,0,0 H T 2@0\\X=<><CR>P<CR>",
          "dimlinear 100,0,0 200,0,0 H P<CR>"}},
        {"V counts only Y",
         "V",
         {"0,0,0", "900,500,0", "-900,1000,0", "P"},
         {"dimlinear 0,0,0 -900,1000,0 V T 2@500\\X=<><CR>P<CR>"}},
        {"H counts only X",
         "H",
         {"0,0,0", "500,900,0", "1000,-900,0", "P"},
         {"dimlinear 0,0,0 1000,-900,0 H T 2@500\\X=<><CR>P<CR>"}},
        {"all equal: one command",
         "H",
         {"0,0,0", "100,0,0", "200,0,0", "300,0,0", "400,0,0", "500,0,0", "P"},
         {"dimlinear 0,0,0 500,0,0 H T 5@100\\X=<><CR>P<CR>"}},
        {"texts are sent as picked",
         "H",
         {"0.0000,0,0", "+10.0000,0", "3E1,0,0", "Pア"},
         {"dimlinear 0.0000,0,0 +10.0000,0 H P\\u30A2<CR>", "dimlinear +10.0000,0 3E1,0,0 H P\\u30A2<CR>"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Send(c.texts, c.direction), c.commands) << c.name;
}

TEST(RoundSpan, RoundsToNearestTiesToEvenAndRaisesOutOfRange) {
    const std::pair<double, std::int32_t> cases[] = {{499.5, 500},
                                                     {500.5, 500},
                                                     {1.5, 2},
                                                     {2.5, 2},
                                                     {0.5, 0},
                                                     {3.5, 4},
                                                     {-0.0, 0},
                                                     {499.6, 500},
                                                     {-2.5, -2},
                                                     {0.49999999999999994, 0},
                                                     {2147483647.4999998, 2147483647}};
    for (const auto& [span, rounded] : cases) EXPECT_EQ(RoundSpan(span), rounded) << span;
    const double kTwo63 = 9223372036854775808.0;
    for (double span : {2147483647.5, 1e18, std::nextafter(kTwo63, 0.0)}) {
        EXPECT_THROW(RoundSpan(span), RangeError) << span;
    }
    for (double span : {kTwo63, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_THROW(RoundSpan(span), InvalidOpError) << span;
    }
}

TEST(SendChainedDimensions, ErrorStopsTheCommandsButKeepsThoseSent) {
    // Spans 100, 300, then the far one: the first command is out when the
    // walk reaches it.
    const Commands first = {"dimlinear 0,0,0 100,0,0 H P<CR>"};
    EXPECT_EQ(Send({"0,0,0", "100,0,0", "400,0,0", "2147484047.4,0,0", "P"}, "H").size(), 3u);  // still fits
    for (const auto& [far_point, invalid_op] : {std::pair{"2147484047.5,0,0", false}, std::pair{"1e19,0,0", true}}) {
        SCOPED_TRACE(far_point);
        testing::LoadPoints({"0,0,0", "100,0,0", "400,0,0", far_point, "0,0,0"});
        Points().PointText[5] = "P";
        testing::Stage stage;
        testing::FakeCad cad(stage);
        if (invalid_op) {
            EXPECT_THROW(SendChainedDimensions(cad, "H", false, true), InvalidOpError);
        } else {
            EXPECT_THROW(SendChainedDimensions(cad, "H", false, true), RangeError);
        }
        EXPECT_EQ(cad.Dimensions(), first);
    }
}

TEST(SendChainedDimensions, FullTableSendsAtMost498Commands) {
    Texts alternating, even;
    for (int k = 0, x = 0; k < 499; ++k, x += k % 2 ? 10 : 20) {
        alternating.push_back(std::to_string(x) + ",0,0");
        even.push_back(std::to_string(k * 7) + ",0,0");
    }
    alternating.push_back("Q"), even.push_back("Q");
    const Commands commands = Send(alternating, "H");
    ASSERT_EQ(commands.size(), 498u);
    for (std::size_t k = 0; k < 498; ++k) {
        ASSERT_EQ(commands[k], "dimlinear " + alternating[k] + " " + alternating[k + 1] + " H Q<CR>");
    }
    EXPECT_EQ(Send(even, "H"), (Commands{"dimlinear 0,0,0 3486,0,0 H T 498@7\\X=<><CR>Q<CR>"}));
}

}  // namespace
}  // namespace tarvel
