// The operating-instructions window: its layout, the modal showing (centred
// the first time, then where it was left), Enter, Escape and the close box,
// and the picture it paints.
#include <cstdlib>

#include "app/control_ids.h"
#include "app_fixture.h"

namespace tarvel::app::testing {
namespace {

using AboutBoxTest = AppTest;

TEST_F(AboutBoxTest, ClassCaptionFrameAndControls) {
    EXPECT_TRUE(IsDialogFrame(about->Handle(), L"TAboutBox", L"操作説明", 644, 704));
    EXPECT_FALSE(IsWindowVisible(about->Handle())) << "created hidden";

    HWND ok = about->Control(L"OKButton");
    HWND image = about->Control(L"Image1");
    ASSERT_TRUE(ok && image);
    EXPECT_EQ(GetDlgCtrlID(ok), IDOK);
    EXPECT_EQ(WindowText(ok), L"閉じる");
    EXPECT_EQ(GetWindowLongPtrW(ok, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    const RECT okRect = RectInParent(ok);
    EXPECT_EQ(okRect.left, 542);
    EXPECT_EQ(okRect.top, 16);
    EXPECT_EQ(okRect.right - okRect.left, 63);
    EXPECT_EQ(okRect.bottom - okRect.top, 21);
    const RECT imageRect = RectInParent(image);
    EXPECT_EQ(imageRect.left, 0);
    EXPECT_EQ(imageRect.top, 0);
    EXPECT_EQ(imageRect.right, 641);
    EXPECT_EQ(imageRect.bottom, 705);
    // The button lies over the picture, and it alone takes the focus.
    const HWND window = about->Handle();
    EXPECT_EQ(ChildWindowFromPoint(window, POINT{560, 20}), ok);
    EXPECT_EQ(GetNextDlgTabItem(window, nullptr, FALSE), ok);
    EXPECT_EQ(GetNextDlgTabItem(window, ok, FALSE), ok);
}

RECT WindowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

TEST_F(AboutBoxTest, CentredFirstThenWhereLeftAndEnterGivesOk) {
    HWND window = about->Handle();
    RECT first{}, second{};
    bool mainDisabled = false, focusOnOk = false;
    TimerScript::Play({
        [&] {
            first = WindowRect(window);
            mainDisabled = !IsWindowEnabled(main->Handle());
            focusOnOk = GetFocus() == about->Control(L"OKButton");
            SetWindowPos(window, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        },
        [&] { PostMessageW(about->Control(L"OKButton"), WM_KEYDOWN, VK_RETURN, 0); },
    });
    EXPECT_EQ(about->ShowModal(), IDOK);
    EXPECT_TRUE(mainDisabled) << "the main window takes no input meanwhile";
    EXPECT_TRUE(focusOnOk);
    EXPECT_TRUE(IsWindowEnabled(main->Handle()));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_TRUE(IsWindow(window)) << "hidden, not destroyed";

    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(main->Handle(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const int width = first.right - first.left;
    const int height = first.bottom - first.top;
    const RECT& screen = monitor.rcWork;
    EXPECT_NEAR(first.left, screen.left + (screen.right - screen.left - width) / 2, 1);
    EXPECT_NEAR(first.top, screen.top + (screen.bottom - screen.top - height) / 2, 1);

    TimerScript::Play({
        [&] { second = WindowRect(window); },
        [&] { PostMessageW(window, WM_CLOSE, 0, 0); },
    });
    EXPECT_EQ(about->ShowModal(), IDCANCEL) << "the close box gives Cancel";
    EXPECT_EQ(second.left, 40);
    EXPECT_EQ(second.top, 30);
    EXPECT_TRUE(IsWindowEnabled(main->Handle()));
}

// The dpi the window is laid out at: the monitor's, as far as the whole
// window fits the work area, and never below the natural size. The frame
// grows with the dpi: the caption and borders the system draws.
TEST(AboutBoxFit, ScaledNoMoreThanTheWorkAreaHolds) {
    struct Case {
        const char* screen;
        UINT dpi;
        SIZE frame;
        SIZE work;
        UINT layout;
    };
    const SIZE client{644, 704};
    const Case cases[] = {
        {"100 %, 1920 x 1080", 96, {16, 39}, {1920, 1040}, 96},
        {"150 %, 1920 x 1080: the height decides", 144, {24, 58}, {1920, 1040}, 133},
        {"150 %, 2880 x 1800: fits as it is", 144, {24, 58}, {2880, 1680}, 144},
        {"200 %, 1920 x 1080", 192, {32, 78}, {1920, 1040}, 131},
        {"125 %, 1366 x 768: never below the natural size", 120, {20, 49}, {1366, 728}, 96},
        {"150 %, a narrow work area: the width decides", 144, {24, 58}, {900, 2000}, 130},
    };
    for (const Case& c : cases) EXPECT_EQ(FitLayoutDpi(c.dpi, client, c.frame, c.work), c.layout) << c.screen;
}

TEST_F(AboutBoxTest, EscapeDoesNothing) {
    HWND window = about->Handle();
    bool stillShown = false;
    TimerScript::Play({
        [&] { PostMessageW(about->Control(L"OKButton"), WM_KEYDOWN, VK_ESCAPE, 0); },
        [&] { stillShown = IsWindowVisible(window) && about->Modal(); },
        [&] { SendMessageW(about->Control(L"OKButton"), BM_CLICK, 0, 0); },
    });
    EXPECT_EQ(about->ShowModal(), IDOK);
    EXPECT_TRUE(stillShown);
}

TEST_F(AboutBoxTest, PaintsThePictureAndTheButtonFaceBesideIt) {
    HWND image = about->Control(L"Image1");
    COLORREF heading = CLR_INVALID, examples = CLR_INVALID, strip = CLR_INVALID;
    TimerScript::Play({
        [&] { UpdateWindow(about->Handle()); },
        [&] {
            HDC dc = GetDC(image);
            heading = GetPixel(dc, 630, 30);
            examples = GetPixel(dc, 300, 600);
            ReleaseDC(image, dc);
            HDC formDc = GetDC(about->Handle());
            strip = GetPixel(formDc, 642, 300);  // right of the 641-wide picture
            ReleaseDC(about->Handle(), formDc);
        },
        [&] { SendMessageW(about->Control(L"OKButton"), BM_CLICK, 0, 0); },
    });
    about->ShowModal();
    auto similar = [](COLORREF got, COLORREF want) {
        return std::abs(GetRValue(got) - GetRValue(want)) <= 8 && std::abs(GetGValue(got) - GetGValue(want)) <= 8 &&
               std::abs(GetBValue(got) - GetBValue(want)) <= 8;
    };
    EXPECT_TRUE(similar(heading, RGB(0x1f, 0x5f, 0xa8))) << std::hex << heading;
    EXPECT_TRUE(similar(examples, RGB(0xff, 0xfb, 0xe6))) << std::hex << examples;
    EXPECT_EQ(strip, GetSysColor(COLOR_BTNFACE)) << std::hex << strip;
}

}  // namespace
}  // namespace tarvel::app::testing
