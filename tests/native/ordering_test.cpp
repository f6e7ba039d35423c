#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dimension/ordering.h"
#include "dimension/point_table.h"
#include "fake_cad_link.h"

namespace tarvel {
namespace {

using testing::LoadPoints;

std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (std::int32_t k = 1; k <= Points().PointCount; ++k) texts.push_back(Points().PointText[k]);
    return texts;
}

// Every slot's X and Y still belong to its text.
void ExpectCoordinatesFollowTexts() {
    const PointTable& table = Points();
    for (std::int32_t k = 1; k <= table.PointCount; ++k) {
        SCOPED_TRACE(table.PointText[k]);
        std::string rest = table.PointText[k], x, y;
        CutField(rest, x);
        CutField(rest, y);
        EXPECT_EQ(table.PointX[k], ParseCoordinate(x));
        EXPECT_EQ(table.PointY[k], ParseCoordinate(y));
    }
}

TEST(ChooseDirection, HorizontalOnlyWhenXDiffersMore) {
    struct Case {
        const char* start;
        const char* end;
        const char* direction;
    };
    const Case cases[] = {
        {"0,0,0", "1000,0,0", "H"},      {"0,1000,0", "0,0,0", "V"},
        {"0,0,0", "100,100,0", "V"},     // equal differences: vertical
        {"50,50,0", "50,50,0", "V"},     // the same place
        {"0,0,0", "-100,99.9,0", "H"},   {"0,0,0", "99.9,-100,0", "V"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.start) + " " + c.end);
        LoadPoints({c.start, c.end});
        EXPECT_EQ(ChooseDirection(), c.direction);
    }
}

struct OrderCase {
    const char* name;
    std::vector<std::string> picked;    // start, end, intermediates, placement
    std::vector<std::string> ordered;
};

TEST(OrderPoints, PutsTheChainInOrder) {
    const OrderCase cases[] = {
        {"horizontal example",
         {"0,0,0", "1000,0,0", "700,0,0", "300,0,0", "500,0,0", "500,-200,0"},
         {"0,0,0", "300,0,0", "500,0,0", "700,0,0", "1000,0,0", "500,-200,0"}},
        {"vertical example picked downwards",
         {"0,1000,0", "0,0,0", "0,200,0", "0,800,0", "-300,500,0"},
         {"0,1000,0", "0,800,0", "0,200,0", "0,0,0", "-300,500,0"}},
        {"one intermediate point",
         {"0,0,0", "1000,0,0", "400,0,0", "5,5,0"},
         {"0,0,0", "400,0,0", "1000,0,0", "5,5,0"}},
        {"equal keys keep pick order, ascending",
         {"0,0,0", "1000,0,0", "500,1,0", "200,0,0", "500,2,0", "500,3,0", "9,9,0"},
         {"0,0,0", "200,0,0", "500,1,0", "500,2,0", "500,3,0", "1000,0,0", "9,9,0"}},
        {"equal keys keep pick order, descending",
         {"1000,0,0", "0,0,0", "500,1,0", "800,0,0", "500,2,0", "9,9,0"},
         {"1000,0,0", "800,0,0", "500,1,0", "500,2,0", "0,0,0", "9,9,0"}},
        {"start and end at one place sort descending",
         {"5,5,0", "5,5,0", "0,1,0", "0,3,0", "0,2,0", "9,9,0"},
         {"5,5,0", "0,3,0", "0,2,0", "0,1,0", "5,5,0", "9,9,0"}},
        {"only the key counts",
         {"0,0,0", "1000,10,0", "600,-999,0", "300,999,0", "1,1,0"},
         {"0,0,0", "300,999,0", "600,-999,0", "1000,10,0", "1,1,0"}},
        {"intermediates beyond the ends stay between them",
         {"0,0,0", "1000,0,0", "1200,0,0", "-50,0,0", "1,1,0"},
         {"0,0,0", "-50,0,0", "1200,0,0", "1000,0,0", "1,1,0"}},
        {"reverse order needs many passes",
         {"0,0,0", "0,100,0", "0,90,0", "0,70,0", "0,50,0", "0,30,0", "0,10,0", "7,7,0"},
         {"0,0,0", "0,10,0", "0,30,0", "0,50,0", "0,70,0", "0,90,0", "0,100,0", "7,7,0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadPoints(c.picked);
        OrderPoints(ChooseDirection());
        EXPECT_EQ(Texts(), c.ordered);
        ExpectCoordinatesFollowTexts();
    }
}

TEST(OrderPoints, AnyDirectionOtherThanHOrdersByY) {
    const std::vector<std::string> picked = {"0,0,0", "1000,1000,0", "800,100,0", "100,800,0", "0,0,0"};
    for (const char* direction : {"V", "h", "", "HH"}) {
        SCOPED_TRACE(direction);
        LoadPoints(picked);
        OrderPoints(direction);
        EXPECT_EQ(Texts(), (std::vector<std::string>{"0,0,0", "800,100,0", "100,800,0", "1000,1000,0", "0,0,0"}));
    }
    LoadPoints(picked);
    OrderPoints("H");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"0,0,0", "100,800,0", "800,100,0", "1000,1000,0", "0,0,0"}));
}

TEST(OrderPoints, RederivesTheEndPointFromItsText) {
    LoadPoints({"0,0,0", " 1000.5 , 2 ,0", "300,0,0", "1,1,0"});
    Points().PointX[2] = -1.0;   // whatever was held, the text decides
    Points().PointY[2] = -1.0;
    OrderPoints("H");
    EXPECT_EQ(Points().PointText[3], " 1000.5 , 2 ,0");
    EXPECT_EQ(Points().PointX[3], 1000.5);
    EXPECT_EQ(Points().PointY[3], 2.0);
}

TEST(OrderPoints, SortsAFullTable) {
    // 500 points: start, end, 497 intermediates in reverse order, placement.
    std::vector<std::string> picked = {"0,0,0", "10000,0,0"};
    for (int k = 496; k >= 0; --k) picked.push_back(std::to_string(k * 10 + 5) + ",0,0");
    picked.push_back("1,-1,0");
    ASSERT_EQ(picked.size(), 500u);
    LoadPoints(picked);
    OrderPoints(ChooseDirection());
    const PointTable& table = Points();
    ASSERT_EQ(table.PointCount, 500);
    for (std::int32_t k = 2; k <= 498; ++k) ASSERT_EQ(table.PointX[k], (k - 2) * 10 + 5) << k;
    EXPECT_EQ(table.PointX[499], 10000.0);
    EXPECT_EQ(table.PointText[500], "1,-1,0");
    ExpectCoordinatesFollowTexts();
}

}  // namespace
}  // namespace tarvel
