// A whole dimension run over the real link against cadhost.exe: the picks
// are stored in chain order and the dimlinear commands reach the host.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/acad_cad_link.h"
#include "cadhost_process.h"
#include "dimension/point_table.h"
#include "dimension/run.h"
#include "dimension/run_window.h"

namespace {

// The main window as the run sees it: nothing to minimise here, the
// messages of this thread pumped, real sleeps, the tier option given.
class TestRunWindow final : public tarvel::RunWindow {
public:
    explicit TestRunWindow(int tier) : tier_(tier) {}
    void Minimize() override { ++minimized; }
    void Restore() override { ++restored; }
    void ProcessMessages() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
    bool RadioButton1Checked() override { return tier_ == 1; }
    bool RadioButton2Checked() override { return tier_ == 2; }

    int minimized = 0;
    int restored = 0;

private:
    int tier_;
};

// The bottom edge of the demo: four spans of 500 and one of 300, picked
// start, end, then the intermediate points in any order.
const std::string kChain =
    "pick 0,0\npick 2300,0\npick 1500,0\npick 500,0\npick 2000,0\npick 1000,0\nend\npick 1000,-400\n";

using Param = std::tuple<const char*, bool, int>;  // layout, ansi, tier

class RunAgainstCadHost : public testing::TestWithParam<Param> {};

TEST_P(RunAgainstCadHost, StoresThePicksAndSendsTheDimensions) {
    const auto [layout, ansi, tier] = GetParam();
    tarvel::Acad11ACtrl::ResetForTests();
    tarvel::ResetPointTable();
    linktest::CadHost host(layout, ansi, kChain);
    ASSERT_TRUE(host.ready());

    tarvel::AcadCadLink link;
    TestRunWindow window(tier);
    ASSERT_TRUE(tarvel::RunDimension(link, window));
    EXPECT_EQ(window.minimized, 1);
    EXPECT_EQ(window.restored, 1);

    const std::vector<std::string> stored = {
        "0.0000,0.0000,0.0000",    "500.0000,0.0000,0.0000",  "1000.0000,0.0000,0.0000", "1500.0000,0.0000,0.0000",
        "2000.0000,0.0000,0.0000", "2300.0000,0.0000,0.0000", "1000.0000,-400.0000,0.0000",
    };
    ASSERT_EQ(tarvel::Points().PointCount, static_cast<std::int32_t>(stored.size()));
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(tarvel::Points().PointText[static_cast<std::int32_t>(i + 1)], stored[i]) << "point " << i + 1;
    }

    const std::u16string tier_code = tier == 1 ? u"\\P" : tier == 2 ? u"\\X" : u"";
    const std::vector<std::u16string> expected = {
        u"dimlinear 0.0000,0.0000,0.0000 2000.0000,0.0000,0.0000 H T 4@500" + tier_code +
            u"=<>\r1000.0000,-400.0000,0.0000\r",
        u"dimlinear 2000.0000,0.0000,0.0000 2300.0000,0.0000,0.0000 H 1000.0000,-400.0000,0.0000\r",
    };
    const std::vector<linktest::LogEntry> commands = host.Commands();
    ASSERT_GE(commands.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        std::u16string text;
        commands[commands.size() - expected.size() + i].Text("text", text);
        EXPECT_EQ(text, expected[i]) << "command " << i + 1;
    }
    // Every pick began with Ctrl-C and ID; every accepted one was read back.
    int picks = 0;
    int queries = 0;
    for (const linktest::LogEntry& e : commands) {
        std::u16string text;
        e.Text("text", text);
        if (text == u"\x03ID ") ++picks;
        if (text == u"'SETVAR LASTPOINT\r") ++queries;
    }
    EXPECT_EQ(picks, 8);
    EXPECT_EQ(queries, 7);

    std::vector<long long> measured;
    for (const linktest::LogEntry& e : host.Log()) {
        if (e.kind == "dimension") measured.push_back(e.Number("measurement"));
    }
    EXPECT_EQ(measured, (std::vector<long long>{2000, 300}));
}

INSTANTIATE_TEST_SUITE_P(Runs, RunAgainstCadHost,
                         testing::Values(Param{"docked", false, 2}, Param{"docked", true, 1},
                                         Param{"floating", false, 3}, Param{"floating", true, 2},
                                         Param{"text", false, 1}, Param{"text", true, 2}),
                         [](const testing::TestParamInfo<Param>& p) {
                             return std::string(std::get<0>(p.param)) + (std::get<1>(p.param) ? "Ansi" : "Wide") +
                                    "Tier" + std::to_string(std::get<2>(p.param));
                         });

}  // namespace
