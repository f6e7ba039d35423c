#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

#include "dimension/point_table.h"
#include "fake_cad_link.h"

namespace tarvel {
namespace {

TEST(CutField, TakesTheLeadingFieldAndTrimsOnlyTheText) {
    const char* cases[][3] = {
        // text, field, what is left
        {"100.0000,200.0000,0.0000", "100.0000", "200.0000,0.0000"},
        {"  1.5 ,2", "1.5 ", "2"},  // a blank before the comma stays in the field
        {"\t\r\n 7,8 \t", "7", "8"},
        {"  3  ", "3", ""},
        {"", "", ""},
        {"   ", "", ""},
        {",5", "", "5"},
        {",,", "", ","},
        {"\x81\x40 x \x81\x40", "\x81\x40 x \x81\x40", ""},  // bytes of 128 and above stay
    };
    for (const auto& c : cases) {
        std::string text = c[0], field = "left over";
        CutField(text, field);
        EXPECT_EQ(field, c[1]) << c[0];
        EXPECT_EQ(text, c[2]) << c[0];
    }
}

TEST(ParseCoordinate, AcceptsTheNumberFormsToTheNearestReal) {
    const std::pair<const char*, double> cases[] = {
        {"100.0000", 100},
        {"-12.5", -12.5},
        {"+12.5", 12.5},
        {"7e2", 700},
        {"7E+2", 700},
        {"7e-2", 0.07},
        {"1.5 ", 1.5},
        {"  -3  ", -3},
        {".5", 0.5},
        {"5.", 5},
        {".", 0},
        {".e5", 0},
        {"007", 7},
        {"0.3", 0.3},
        {"4e-320", 4e-320},
        {"9007199254740993", 9007199254740992.0},  // halfway: to even
        {"1.7976931348623157e308", 1.7976931348623157e308},
        {"1e-400", 0},
        {"1e-99999999999999999999", 0},
        {"0e99999999999999999999", 0},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseCoordinate(text), value) << text;
    EXPECT_TRUE(std::signbit(ParseCoordinate("-1e-400")));
    EXPECT_TRUE(std::signbit(ParseCoordinate("-0")));
}

TEST(ParseCoordinate, RejectsEverythingElseQuotingTheText) {
    const char* cases[] = {"",
                           " ",
                           "+",
                           "abc",
                           "1.5x",
                           "1.2.3",
                           "1,5",
                           "1e",
                           "1e+",
                           "e5",
                           "+.e",
                           "1 5",
                           "--1",
                           "- 1",
                           "1e5.5",
                           "\t1",
                           "0x10",
                           "inf",
                           "nan",
                           "1e309",
                           "-1e309",
                           "0.001e312",
                           "1e99999999999999999999",
                           "１"};
    for (const char* text : cases) {
        try {
            ParseCoordinate(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const ConvertError& error) {
            EXPECT_EQ(error.text(), text);
        }
    }
}

// The coordinate text is comma-separated, so "." is the separator whatever
// the locale says (under Wine a German locale is found; natively there may
// be none, and the C locale is checked).
TEST(ParseCoordinate, UsesThePointWhateverTheLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "German_Germany.1252", "German"}) {
        if (std::setlocale(LC_ALL, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) break;
    }
    const bool comma = std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    const double value = ParseCoordinate("-1.25e1");
    bool rejected = false;
    try {
        ParseCoordinate("1,5");
    } catch (const ConvertError&) {
        rejected = true;
    }
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(value, -12.5) << "decimal comma locale: " << comma;
    EXPECT_TRUE(rejected);
}

TEST(AddPoint, StoresTextAndCoordinatesOrRaisesOnAField) {
    struct Case {
        const char* last_point;
        double x, y;
        const char* bad_field;  // nullptr when the point converts
    };
    const Case cases[] = {
        {"100.0000,200.0000,0.0000", 100, 200, nullptr},
        // Blanks convert, but a text holding one is refused: typed into a
        // dimlinear command, the blank would end the answer in the middle.
        {" 1.5 , 2.5 ,0", 1.5, 2.5, " 1.5 "},
        {"1.5,2.5, 0", 1.5, 2.5, " 0"},
        {"1.5,2.5,0 ", 1.5, 2.5, "0 "},
        {"1.5,\t2.5,0", 1.5, 2.5, "\t2.5"},
        {"3,4", 3, 4, nullptr},
        {"-12.5,7e2,0", -12.5, 700, nullptr},
        {"", 0, 0, ""},         // an empty reply from QuerySysVar
        {"12.5", 12.5, 0, ""},  // no comma: Y comes from an empty field
        {"abc,1,0", 0, 0, "abc"},
        {"1,2.2.2,0", 1, 0, "2.2.2"},
        // Nothing but a coordinate is ever typed back into AutoCAD: a Z that
        // is not a number, or a fourth field, is refused once X and Y are in.
        {"1,2,junk", 1, 2, "junk"},
        {"1,2,0,4", 1, 2, "4"},
        {"1,2,0 ,", 1, 2, "0 "},
        {"1,2,,5", 1, 2, ""},
        {"1,2,\x03", 1, 2, "\x03"},
        {"1,2, ", 1, 2, " "},
        {"1,2,", 1, 2, nullptr},
        {"5,6,-1.5e2", 5, 6, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.last_point);
        testing::LoadPoints({"9,9,9"});
        testing::Stage stage;
        testing::FakeCad cad(stage);
        cad.last_point = c.last_point;
        if (c.bad_field) {
            try {
                AddPoint(cad);
                ADD_FAILURE() << "accepted";
            } catch (const ConvertError& error) {
                EXPECT_EQ(error.text(), c.bad_field);
            }
        } else {
            AddPoint(cad);
        }
        // The text is stored and counted even when a field fails.
        EXPECT_EQ(Points().PointCount, 2);
        EXPECT_EQ(Points().PointText[2], c.last_point);
        EXPECT_EQ(Points().PointX[2], c.x);
        EXPECT_EQ(Points().PointY[2], c.y);
    }
}

TEST(AddPoint, HoldsFiveHundredPointsAndRefusesTheNext) {
    std::vector<std::string> texts;
    for (int k = 1; k <= 500; ++k) texts.push_back(std::to_string(k) + ",0,0");
    testing::LoadPoints(texts);
    EXPECT_EQ(Points().PointX[500], 500.0);
    testing::Stage stage;
    testing::FakeCad cad(stage);
    EXPECT_THROW(AddPoint(cad), RangeError);
    EXPECT_EQ(cad.last_point_reads, 1);   // LASTPOINT was read for it,
    EXPECT_EQ(Points().PointCount, 500);  // but nothing stored or counted
    EXPECT_EQ(Points().PointText[500], "500,0,0");
}

TEST(SwapDouble, ExchangesTheBitsExactly) {
    const std::uint64_t patterns[][2] = {{0x4059000000000000u, 0xC000000000000000u},
                                         {0x8000000000000000u, 0},   // -0 and +0
                                         {0x7FF8000000000123u, 1}};  // a NaN with payload, a subnormal
    for (const auto& p : patterns) {
        double a, b;
        std::memcpy(&a, &p[0], 8), std::memcpy(&b, &p[1], 8);
        SwapDouble(a, b);
        EXPECT_EQ(std::memcmp(&a, &p[1], 8), 0);
        EXPECT_EQ(std::memcmp(&b, &p[0], 8), 0);
    }
}

}  // namespace
}  // namespace tarvel
