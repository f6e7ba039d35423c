#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dimension/ordering.h"
#include "dimension/point_table.h"
#include "fake_cad_link.h"

namespace tarvel {
namespace {

using Texts = std::vector<std::string>;

TEST(ChooseDirection, HorizontalOnlyWhenXDiffersMore) {
    const char* cases[][3] = {{"0,0,0", "1000,0,0", "H"},    {"0,1000,0", "0,0,0", "V"},
                              {"0,0,0", "100,100,0", "V"},   {"50,50,0", "50,50,0", "V"},
                              {"0,0,0", "-100,99.9,0", "H"}, {"0,0,0", "99.9,-100,0", "V"}};
    for (const auto& c : cases) {
        testing::LoadPoints({c[0], c[1]});
        EXPECT_EQ(ChooseDirection(), c[2]) << c[0] << " " << c[1];
    }
}

// Picked: start, end, intermediates, placement. Direction from ChooseDirection
// unless given.
struct OrderCase {
    const char* name;
    Texts picked, ordered;
    const char* direction = nullptr;
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
        {"start and end at one place: by Y, descending",
         {"5,5,0", "5,5,0", "0,1,0", "0,3,0", "0,2,0", "9,9,0"},
         {"5,5,0", "0,3,0", "0,2,0", "0,1,0", "5,5,0", "9,9,0"}},
        {"only the key counts",
         {"0,0,0", "1000,10,0", "600,-999,0", "300,999,0", "1,1,0"},
         {"0,0,0", "300,999,0", "600,-999,0", "1000,10,0", "1,1,0"}},
        {"intermediates beyond the ends stay between them",
         {"0,0,0", "1000,0,0", "1200,0,0", "-50,0,0", "1,1,0"},
         {"0,0,0", "-50,0,0", "1200,0,0", "1000,0,0", "1,1,0"}},
        {"reverse order, many passes",
         {"0,0,0", "0,100,0", "0,90,0", "0,70,0", "0,50,0", "0,30,0", "7,7,0"},
         {"0,0,0", "0,30,0", "0,50,0", "0,70,0", "0,90,0", "0,100,0", "7,7,0"}},
        {"a direction other than H orders by Y",
         {"0,0,0", "1000,1000,0", "800,100,0", "100,800,0", "0,0,0"},
         {"0,0,0", "800,100,0", "100,800,0", "1000,1000,0", "0,0,0"},
         "h"},
        {"H orders by X",
         {"0,0,0", "1000,1000,0", "800,100,0", "100,800,0", "0,0,0"},
         {"0,0,0", "100,800,0", "800,100,0", "1000,1000,0", "0,0,0"},
         "H"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::LoadPoints(c.picked);
        OrderPoints(c.direction ? c.direction : ChooseDirection());
        const PointTable& table = Points();
        Texts texts;
        for (std::int32_t k = 1; k <= table.PointCount; ++k) {
            texts.push_back(table.PointText[k]);
            std::string rest = table.PointText[k], x, y;  // X and Y moved with their text
            CutField(rest, x), CutField(rest, y);
            EXPECT_EQ(table.PointX[k], ParseCoordinate(x)) << k;
            EXPECT_EQ(table.PointY[k], ParseCoordinate(y)) << k;
        }
        EXPECT_EQ(texts, c.ordered);
    }
}

TEST(OrderPoints, RederivesTheEndPointFromItsText) {
    testing::LoadPoints({"0,0,0", "+1000.50,2e0,0", "300,0,0", "1,1,0"});
    Points().PointX[2] = Points().PointY[2] = -1.0;  // whatever is held, the text decides
    OrderPoints("H");
    EXPECT_EQ(Points().PointText[3], "+1000.50,2e0,0");
    EXPECT_EQ(Points().PointX[3], 1000.5);
    EXPECT_EQ(Points().PointY[3], 2.0);
}

}  // namespace
}  // namespace tarvel
