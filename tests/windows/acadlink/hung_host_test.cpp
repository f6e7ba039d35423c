// A host that is slow or stops handling messages: every wait on it is
// bounded, a send that fails is not delivered and is not sent again, a read
// gives nothing.
#include <gtest/gtest.h>

#include <string>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/link_testing.h"
#include "tests/windows/support/test_windows.h"
#include "tools/common/wait.h"

namespace {

using namespace tarvel::Acad11ACtrl;

class HungHost : public testing::Test {
protected:
    void SetUp() override { seams::ResetForTests(); }
    // How long a send that cannot be answered took to fail.
    static ULONGLONG FailingSendMs(const char16_t* command) {
        const ULONGLONG start = tarvel::common::Now();
        EXPECT_FALSE(SendCommand(command)) << "sent to a host that does not answer";
        return tarvel::common::Now() - start;
    }
    void TearDown() override {
        seams::SetHostReplyTimeoutForTests(0);
        seams::ResetForTests();
    }
};

TEST_F(HungHost, TimedOutCommandIsNotSentAgain) {
    // The child takes 3 s over each command: the first is delivered and
    // times out; a second send would be handled after it.
    seams::SetHostReplyTimeoutForTests(1500);
    wintest::ChildHost child({"main", "slow=3000"});
    ASSERT_TRUE(child.Ready());
    ASSERT_TRUE(AcadIsRunning());
    const ULONGLONG elapsed = FailingSendMs(u"\x03ID ");
    EXPECT_GE(elapsed, 1400u);
    EXPECT_LT(elapsed, 2900u);
    EXPECT_EQ(child.Finish(), 1) << "commands the child's main window was given";
}

TEST_F(HungHost, ReadsGiveNothingWithinTheBound) {
    seams::SetHostReplyTimeoutForTests(1500);
    wintest::ChildHost child({"main", "text", "hang=9000"});
    ASSERT_TRUE(child.Ready());
    ASSERT_TRUE(AcadIsRunning()) << "found by its stored names without a message";

    const ULONGLONG send_ms = FailingSendMs(u"\x03ID ");
    EXPECT_GE(send_ms, 1400u);
    EXPECT_LT(send_ms, 3500u);

    // The text window does not answer: an empty history, no clipboard failure.
    ULONGLONG start = tarvel::common::Now();
    std::string history = "stale";
    EXPECT_NO_THROW(CopyHistoryText(history));
    EXPECT_EQ(history, "");
    EXPECT_LT(tarvel::common::Now() - start, 2900u);

    start = tarvel::common::Now();
    std::string text = "stale";
    ReadPromptLine(text);
    EXPECT_EQ(text, "");
    EXPECT_LT(tarvel::common::Now() - start, 2900u);
}

TEST_F(HungHost, TenSecondBound) {
    // With no bound set by a test, a send to a host that handles no message
    // gives up after ten seconds, and not before them.
    constexpr ULONGLONG kTenSeconds = 10000;
    wintest::ChildHost child({"main", "hang=13000"});
    ASSERT_TRUE(child.Ready());
    ASSERT_TRUE(AcadIsRunning());
    const ULONGLONG elapsed = FailingSendMs(u"dimlinear\r");
    EXPECT_GE(elapsed, kTenSeconds - 200);
    EXPECT_LT(elapsed, kTenSeconds + 2000);
    EXPECT_LE(child.Finish(30000), 1);
}

}  // namespace
