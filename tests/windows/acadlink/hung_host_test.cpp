// A host that stops handling messages: every wait on it is bounded, a send
// that fails is not delivered and is not sent again, a read gives nothing.
#include <gtest/gtest.h>

#include <string>

#include "acadlink/Acad11ACtrl.h"
#include "test_windows.h"

namespace {

using namespace tarvel::Acad11ACtrl;

class HungHost : public testing::Test {
protected:
    void SetUp() override { ResetForTests(); }
    void TearDown() override {
        SetHostReplyTimeoutForTests(0);
        ResetForTests();
    }
};

TEST_F(HungHost, ShortBoundForTestsNoResend) {
    SetHostReplyTimeoutForTests(1500);
    linktest::ChildHost child({"main", "hang=4000"});
    ASSERT_TRUE(child.ready());
    ASSERT_TRUE(AcadIsRunning()) << "found by its stored names without a message";

    ULONGLONG start = linktest::Now();
    EXPECT_FALSE(SendCommand(u"\x03ID "));
    ULONGLONG elapsed = linktest::Now() - start;
    EXPECT_GE(elapsed, 1400u);
    EXPECT_LT(elapsed, 3500u);

    start = linktest::Now();
    std::string text = "stale";
    ReadPromptLine(text);
    EXPECT_EQ(text, "");
    EXPECT_LT(linktest::Now() - start, 3500u);

    // The child handles what is queued for it once it wakes, then counts
    // what its main window was given: at most the one timed-out command.
    const int received = child.finish();
    EXPECT_GE(received, 0);
    EXPECT_LE(received, 1);
}

TEST_F(HungHost, TenSecondBound) {
    EXPECT_EQ(kHostReplyTimeoutMs, 10000u);
    linktest::ChildHost child({"main", "hang=13000"});
    ASSERT_TRUE(child.ready());
    ASSERT_TRUE(AcadIsRunning());
    const ULONGLONG start = linktest::Now();
    EXPECT_FALSE(SendCommand(u"dimlinear\r"));
    const ULONGLONG elapsed = linktest::Now() - start;
    EXPECT_GE(elapsed, 9800u);
    EXPECT_LT(elapsed, 12000u);
    const int received = child.finish(30000);
    EXPECT_GE(received, 0);
    EXPECT_LE(received, 1);
}

}  // namespace
