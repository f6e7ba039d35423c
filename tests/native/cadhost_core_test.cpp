// The CAD host's portable core: formats, the coordinate grammar, the
// command line's state machine, the text layout, options and pick scripts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/cadhost/drawing.h"
#include "tools/cadhost/interpreter.h"
#include "tools/cadhost/options.h"
#include "tools/cadhost/record.h"
#include "tools/cadhost/text.h"

using namespace cadhost;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

std::string U8(const std::u16string& s) { return ToUtf8(s); }

TEST(CoreFormat, CoordinatesAndMeasurements) {
    struct {
        double v;
        const char16_t* coord;
        const char16_t* measured;
    } cases[] = {
        {100, u"100.0000", u"100"},  {2000, u"2000.0000", u"2000"},
        {12.5, u"12.5000", u"12.5"}, {-3, u"-3.0000", u"-3"},
        {-0.00001, u"0.0000", u"0"}, {-0.0, u"0.0000", u"0"},
        {0.00004, u"0.0000", u"0"},  {1234.56789, u"1234.5679", u"1234.5679"},
        {0.1, u"0.1000", u"0.1"},    {1e6, u"1000000.0000", u"1000000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(U8(FormatCoord(c.v)), U8(c.coord)) << c.v;
        EXPECT_EQ(U8(FormatMeasurement(c.v)), U8(c.measured)) << c.v;
    }
    EXPECT_EQ(U8(FormatPoint(Point{1, -0.00001, 2.5})), "1.0000,0.0000,2.5000");
}

TEST(CoreParse, TypedPoints) {
    const Point last{10, 20, 30};
    struct {
        const char16_t* text;
        bool ok;
        Point p;
    } cases[] = {
        {u"1,2", true, {1, 2, 0}},
        {u"1,2,3", true, {1, 2, 3}},
        {u"-1.5,+2.,.25", true, {-1.5, 2, 0.25}},
        {u"1e3,2E-1", true, {1000, 0.2, 0}},
        {u"@5,-5", true, {15, 15, 30}},
        {u"@", true, {10, 20, 30}},
        {u"2000.0000,0.0000,0.0000", true, {2000, 0, 0}},
        {u"1", false, {}},
        {u"1,2,3,4", false, {}},
        {u"1,,2", false, {}},
        {u"1,2,", false, {}},
        {u",1,2", false, {}},
        {u" 1,2", false, {}},
        {u"1,2 ", false, {}},
        {u"a,b", false, {}},
        {u".,1", false, {}},
        {u"+-1,2", false, {}},
        {u"1e,2", false, {}},
        {u"1e999,0", false, {}},
        {u"nan,0", false, {}},
        {u"inf,0", false, {}},
        {u"0x10,0", false, {}},
        {u"\uff11,2", false, {}},  // a full-width digit is no digit
        {u"", false, {}},
        {u"@@1,2", false, {}},
    };
    for (const auto& c : cases) {
        const auto p = ParsePoint(c.text, last);
        ASSERT_EQ(p.has_value(), c.ok) << U8(c.text);
        if (p) {
            EXPECT_DOUBLE_EQ(p->x, c.p.x) << U8(c.text);
            EXPECT_DOUBLE_EQ(p->y, c.p.y) << U8(c.text);
            EXPECT_DOUBLE_EQ(p->z, c.p.z) << U8(c.text);
        }
    }
}

TEST(CoreText, LogLinesKeepEveryCharacter) {
    struct {
        std::u16string in;
        const char* json;
    } cases[] = {
        {u"ID ", "\"ID \""},
        {u"\x03ID ", "\"\\u0003ID \""},
        {u"a\rb\nc\td", "\"a\\rb\\nc\\td\""},
        {u"4@500\\X=<>", "\"4@500\\\\X=<>\""},
        {u"say \"hi\"", "\"say \\\"hi\\\"\""},
        {u"\xd83d\xde00", "\"\xf0\x9f\x98\x80\""},           // a pair: one UTF-8 character
        {std::u16string(1, u'\xd800'), "\"\xef\xbf\xbd\""},  // a lone surrogate: JSON cannot hold it
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogLine(Record{{"kind", "command"}, {"text", ToUtf8(c.in)}}),
                  std::string("{\"kind\":\"command\",\"text\":") + c.json + "}\n");
    }
    EXPECT_EQ(FromUtf8(ToUtf8(u"コマンド: ")), u"コマンド: ");
    EXPECT_EQ(FromUtf8("\xff\xc3"), u"\ufffd\ufffd");
    EXPECT_EQ(LogLine(Record{{"p", PointJson(Point{2000, -0.1, -0.0})}, {"m", Number(12.3456)}}),
              "{\"p\":[2000,-0.1,0],\"m\":12.3456}\n");
}

// The interpreter alone, with the events it reports.
class Recorder : public InterpreterEvents {
public:
    // (Compared as UTF-16: the test's own 8-bit literals are code-page bytes.)
    void OnPrompt(const std::u16string& p) override { prompts.push_back(p); }
    void OnComplaint(const std::u16string& t) override { complaints.push_back(t); }
    void OnCancel(const std::u16string& l) override { cancels.push_back(l); }
    std::vector<std::u16string> prompts, complaints, cancels;
};

TEST(CoreInterpreter, EditingKeysAndRepeatedCommand) {
    Recorder r;
    Interpreter in(&r);
    in.Type(u"IX\bD");
    EXPECT_EQ(in.PromptLine(), u"コマンド: ID");
    in.Type(u" 1,2\n");
    EXPECT_EQ(in.History().back(), u"X = 1.0000     Y = 2.0000     Z = 0.0000");
    // An empty answer at the command prompt repeats the last command.
    in.Type(u" ");
    EXPECT_TRUE(in.InIdPrompt());
    EXPECT_EQ(in.History().back(), u"コマンド: ");
    in.Type(u"\x1b");
    EXPECT_TRUE(in.Idle());
    EXPECT_THAT(r.cancels, ElementsAre(u"点を指定: *キャンセル*"));
    EXPECT_TRUE(r.complaints.empty());
}

TEST(CoreInterpreter, PicksGoOnlyWherePointsAreAsked) {
    Interpreter in;
    EXPECT_FALSE(in.Pick(Point{1, 1, 0}));  // idle: nothing happens
    EXPECT_TRUE(in.History().empty());
    in.Type(u"ID ");
    const auto serial = in.PromptSerial();
    EXPECT_TRUE(in.Pick(Point{3, 4, 0}));
    EXPECT_GT(in.PromptSerial(), serial);
    EXPECT_EQ(in.LastPoint().x, 3);
    ASSERT_EQ(in.Identified().size(), 1u);
    in.Type(u"dimlinear ");
    EXPECT_TRUE(in.WantsPoint());
    in.Pick(Point{0, 0, 0});
    in.Pick(Point{0, 50, 0});
    in.Pick(Point{-20, 25, 0});  // beside the points: vertical
    ASSERT_EQ(in.Dimensions().size(), 1u);
    EXPECT_EQ(in.Dimensions()[0].dir, Direction::V);
    EXPECT_EQ(in.Dimensions()[0].measurement, 50);
    EXPECT_EQ(in.Identified().size(), 1u) << "DIMLINEAR's points are not ID's";
}

TEST(CoreInterpreter, OverlongAnswerIsRefusedWhole) {
    Recorder r;
    Interpreter in(&r);
    in.Type(u"ID ");
    in.Type(std::u16string(Interpreter::kMaxAnswer + 10, u'1') + u",2 ");
    EXPECT_THAT(r.complaints, ElementsAre(u"入力が長すぎます。"));
    EXPECT_TRUE(in.InIdPrompt());
    EXPECT_TRUE(in.Identified().empty());
}

TEST(CoreInterpreter, HistoryIsBounded) {
    Interpreter in;
    for (size_t i = 0; i < Interpreter::kMaxHistory + 2500; ++i) in.Type(u"\x03");
    EXPECT_LE(in.History().size(), Interpreter::kMaxHistory + 1000);
    EXPECT_GE(in.History().size(), Interpreter::kMaxHistory);
    EXPECT_EQ(in.History().back(), u"コマンド: *キャンセル*");
}

TEST(CoreInterpreter, NestedTransparentAndNonTransparentAreRefused) {
    Recorder r;
    Interpreter in(&r);
    in.Type(u"ID 'SETVAR 'SETVAR ");
    in.Type(u"\x03ID 'DIMLINEAR ");
    in.Type(u"\x03ID 'FOO ");
    EXPECT_THAT(r.complaints, ElementsAre(u"** 透過コマンドの中で透過コマンドは使用できません **",
                                          u"** そのコマンドは透過的には使用できません **",
                                          u"不明なコマンド \"FOO\"。 F1 キーを押してヘルプを参照してください。"));
    EXPECT_TRUE(in.InIdPrompt());
}

TEST(CoreInterpreter, TransparentSetvarInsideSetvarResumesTheValuePrompt) {
    Interpreter in;
    in.Type(u"SETVAR LASTPOINT 'SETVAR OSMODE\r");
    EXPECT_EQ(in.Prompt(), u">>OSMODE の新しい値を入力 <0>: ");
    in.Type(u"\r");
    EXPECT_EQ(in.Prompt(), u"LASTPOINT の新しい値を入力 <0.0000,0.0000,0.0000>: ");
    in.Type(u"4,5\r");
    EXPECT_TRUE(in.Idle());
    EXPECT_EQ(in.LastPoint().y, 5);
}

TEST(CoreInterpreter, DirectionByPosition) {
    struct {
        Point pos;
        Direction dir;
    } cases[] = {
        {{5, 20, 0}, Direction::H},   // above
        {{5, -20, 0}, Direction::H},  // below
        {{-9, 3, 0}, Direction::V},   // left
        {{30, 3, 0}, Direction::V},   // right
        {{30, 30, 0}, Direction::H},  // diagonal: the larger extent (dx 10 > dy 5)
        {{5, 3, 0}, Direction::H},    // inside: likewise
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseDirection(Point{0, 0, 0}, Point{10, 5, 0}, c.pos), c.dir) << c.pos.x << "," << c.pos.y;
}

// ---- the text of a dimension ----

TEST(CoreDrawing, TextIsResolvedAndSplitAsAutoCadLaysItOut) {
    struct {
        const char16_t* override_text;  // nullptr: none
        double measured;
        std::vector<std::string> above, below;
    } cases[] = {
        {nullptr, 2000, {"2000"}, {}},
        {u"4@500\\X=<>", 2000, {"4@500"}, {"=2000"}},
        {u"4@500\\P=<>", 2000, {"4@500", "=2000"}, {}},
        {u"4@500=<>", 12.5, {"4@500=12.5"}, {}},
        {u"a\\Pb\\Xc\\Pd", 1, {"a", "b"}, {"c", "d"}},
        {u"a\\Xb\\Xc", 1, {"a"}, {"b\\Xc"}},  // only the first \X divides
        {u"<><>", 3, {"33"}, {}},
        {u"<", 3, {"<"}, {}},
        {u"x\\", 3, {"x\\"}, {}},
    };
    for (const auto& c : cases) {
        Dimension d;
        d.measurement = c.measured;
        if (c.override_text) d.text = c.override_text;
        const TextLayout lay = SplitText(ResolvedText(d));
        std::vector<std::string> above, below;
        for (const auto& s : lay.above) above.push_back(U8(s));
        for (const auto& s : lay.below) below.push_back(U8(s));
        EXPECT_EQ(above, c.above) << (c.override_text ? U8(c.override_text) : "(none)");
        EXPECT_EQ(below, c.below) << (c.override_text ? U8(c.override_text) : "(none)");
    }
}

TEST(CoreDrawing, LayoutPutsTextAboveAndBelowTheLine) {
    Dimension h;
    h.p1 = {0, 0, 0};
    h.p2 = {2000, 0, 0};
    h.pos = {1000, -400, 0};
    h.text = u"4@500\\X=<>";
    h.measurement = 2000;
    const DimGeometry g = LayOut(h, 10);
    EXPECT_EQ(g.line.a.y, -400);
    EXPECT_EQ(g.line.b.x, 2000);
    // Extension lines run from near the point down past the line.
    EXPECT_EQ(g.ext1.a.y, -kExtOffset * 10);
    EXPECT_EQ(g.ext1.b.y, -400 - kExtBeyond * 10);
    ASSERT_EQ(g.texts.size(), 2u);
    EXPECT_GT(g.texts[0].center.y, -400);
    EXPECT_LT(g.texts[1].center.y, -400);
    EXPECT_EQ(g.texts[0].center.x, 1000);

    Dimension v = h;
    v.dir = Direction::V;
    v.p1 = {2300, 1800, 0};
    v.p2 = {2300, 0, 0};
    v.pos = {2700, 900, 0};
    const DimGeometry gv = LayOut(v, 10);
    EXPECT_EQ(gv.line.a.x, 2700);
    ASSERT_EQ(gv.texts.size(), 2u);
    EXPECT_EQ(gv.texts[0].angle, 90);
    EXPECT_LT(gv.texts[0].center.x, 2700) << "above a vertical line is to its left";
    EXPECT_GT(gv.texts[1].center.x, 2700);
}

TEST(CoreDrawing, ScaleIsRound) {
    Dimension d;
    d.p2 = {2300, 0, 0};
    d.pos = {0, -400, 0};
    EXPECT_EQ(DrawingScale({d}, {}), 20);
    EXPECT_EQ(DrawingScale({}, {}), 1);
    EXPECT_DOUBLE_EQ(DrawingScale({}, {Point{0, 0, 0}, Point{1, 0, 0}}), 0.01);
}

// ---- options and pick scripts ----

TEST(CoreOptions, CommandLine) {
    std::u16string err;
    auto o = ParseOptions({u"--picks", u"a.picks", u"--log=l.jsonl", u"--layout", u"floating", u"--ansi", u"--think",
                           u"0", u"--dxf", u"d.dxf", u"--svg", u"s.svg"},
                          err);
    ASSERT_TRUE(o) << U8(err);
    EXPECT_EQ(o->picks, u"a.picks");
    EXPECT_EQ(o->log, u"l.jsonl");
    EXPECT_EQ(o->layout, Layout::Floating);
    EXPECT_TRUE(o->ansi);
    EXPECT_EQ(o->think_ms, 0);
    EXPECT_EQ(ParseOptions({}, err)->think_ms, 100);

    const std::vector<std::vector<std::u16string>> bad = {
        {u"--frobnicate"},    {u"--layout"},     {u"--layout", u"Docked"},
        {u"--think", u"1.5"}, {u"--think", u""}, {u"--think", u"600001"},
        {u"--ansi=1"},        {u"--dxf"},        {u"--svg="},
        {u"picks.txt"},
    };
    for (const auto& args : bad) {
        EXPECT_FALSE(ParseOptions(args, err)) << U8(args[0]);
        EXPECT_THAT(U8(err), HasSubstr("cadhost:")) << U8(args[0]);
    }
}

TEST(CoreOptions, PickScripts) {
    std::u16string err;
    const auto s = ParsePickScript("\xEF\xBB\xBF# demo\r\npick 1,2\r\n\r\n  pick -3.5 , 4 , 5  \nEND\ncancel", err);
    ASSERT_TRUE(s) << U8(err);
    ASSERT_EQ(s->size(), 4u);
    EXPECT_EQ((*s)[0].kind, PickKind::Pick);
    EXPECT_EQ((*s)[0].line, 2);
    EXPECT_EQ((*s)[1].p.x, -3.5);
    EXPECT_EQ((*s)[1].p.z, 5);
    EXPECT_EQ((*s)[2].kind, PickKind::End);
    EXPECT_EQ((*s)[3].kind, PickKind::Cancel);
    EXPECT_TRUE(ParsePickScript("", err)->empty());
    const auto w = ParsePickScript("wait 10000\nWAIT 0\n", err);
    ASSERT_TRUE(w) << U8(err);
    ASSERT_EQ(w->size(), 2u);
    EXPECT_EQ((*w)[0].kind, PickKind::Wait);
    EXPECT_EQ((*w)[0].wait_ms, 10000);
    EXPECT_EQ((*w)[1].wait_ms, 0);

    struct {
        std::string script;
        const char* message;
    } bad[] = {
        {"pick 1 2\n", "line 1"},
        {"pick\n", "line 1"},
        {"\n\npick 1,2,3,4\n", "line 3"},
        {"pick @1,2\n", "line 1"},
        {"click 1,2\n", "unknown action"},
        {"end now\n", "takes nothing after it"},
        {"wait\n", "wait MS"},
        {"wait -1\n", "wait MS"},
        {"wait 600001\n", "wait MS"},
        {"wait 1.5\n", "wait MS"},
        {std::string("pick 1,2\0\n", 10), "line 1"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(ParsePickScript(b.script, err)) << b.script;
        EXPECT_THAT(U8(err), HasSubstr(b.message)) << b.script;
    }
}

}  // namespace
