// The application's error report: the text rule (a final "." when the last
// character sorts after "."), the caption and icon, the silent abort, and
// that a handler's error leaves the program going.
#include <vector>

#include "app/error_report.h"
#include "app_fixture.h"
#include "support/errors.h"

namespace tarvel::app::testing {
namespace {

struct Shown {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};
std::vector<Shown> g_shown;

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    g_shown.push_back(Shown{owner, text, caption, type});
    return IDOK;
}

class ErrorReport : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        g_shown.clear();
        before_ = SetMessageBoxFunction(&RecordBox);
    }
    void TearDown() override {
        SetMessageBoxFunction(before_);
        AppTest::TearDown();
    }
    MessageBoxFunction before_ = nullptr;
};

TEST(ErrorReportText, FinalPeriodRule) {
    struct Case {
        const char* message;  // code-page 932 bytes
        const wchar_t* text;
    };
    const Case cases[] = {
        {"範囲チェックエラー", L"範囲チェックエラー."},
        {"整数のオーバーフロー", L"整数のオーバーフロー."},
        {"already ends.", L"already ends."},
        {"no period", L"no period."},
        {"bang!", L"bang!"},     // '!' sorts before '.'
        {"dash-", L"dash-"},     // '-' is just before '.'
        {"slash/", L"slash/."},  // '/' is just after '.'
        {"", L""},
        {"ｱ", L"ｱ."},  // a single-byte katakana, above 0x80
        {"'1,5' は浮動小数点数ではありません", L"'1,5' は浮動小数点数ではありません."},
        {tarvel::kAcadElevatedMessage,
         L"AutoCAD が管理者として実行されています。Tarvel も管理者として実行してください."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(ErrorReportText(c.message), c.text);
    }
    // Double-byte aware: a lead byte followed by a byte below '.' is one
    // character whose first byte is compared, not its last.
    EXPECT_TRUE(NeedsFinalPeriod("x\x81\x2D"));
    EXPECT_FALSE(NeedsFinalPeriod("x\x2D"));
}

TEST_F(ErrorReport, ErrorOfARunIsReportedAndTheProgramGoesOn) {
    int runs = 0;
    run = [&](tarvel::CadLink&, tarvel::RunWindow& window) -> bool {
        ++runs;
        window.Minimize();
        if (runs == 1) throw tarvel::RangeError();
        if (runs == 2) throw tarvel::SilentAbort();
        window.Restore();
        return true;
    };
    Click(MainControl(L"bStart"));
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].text, L"範囲チェックエラー.");
    EXPECT_EQ(g_shown[0].caption, L"Tarvel");
    EXPECT_EQ(g_shown[0].type, static_cast<UINT>(MB_ICONSTOP | MB_OK));
    EXPECT_TRUE(IsIconic(main->Handle())) << "an error leaves the window minimised";
    EXPECT_FALSE(main->RunUnderWay());

    Click(MainControl(L"bStart"));
    EXPECT_EQ(g_shown.size(), 1u) << "the silent abort shows nothing";

    Click(MainControl(L"bStart"));
    EXPECT_EQ(runs, 3) << "Start still works after errors";
    EXPECT_FALSE(IsIconic(main->Handle()));
    EXPECT_FALSE(application->Terminated());
}

}  // namespace
}  // namespace tarvel::app::testing
