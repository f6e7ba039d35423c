// The prompt painted on a window of this process, read back pixel by pixel.
#include <gtest/gtest.h>

#include <string>

#include "acadlink/prompt_overlay.h"
#include "tools/common/wait.h"

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 60;
constexpr COLORREF kWhite = 0xFFFFFF;

// A white pane at the top left of the screen, painted before it is returned.
HWND MakeVisibleWindow(int width = kWidth, int height = kHeight) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"TarvelTestOverlayPane";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"MountTam", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                             nullptr, nullptr, wc.hInstance, nullptr);
    UpdateWindow(w);
    tarvel::common::PumpMessages();
    GdiFlush();
    return w;
}

struct Census {
    int back = 0;
    int text = 0;
    int white = 0;
    int other = 0;
};

// The window's pixels in one copy, as COLORREF values.
Census Count(HWND w, RECT r) {
    Census c;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = GetDC(w);
    HDC memory = CreateCompatibleDC(dc);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, dc, r.left, r.top, SRCCOPY);
    GdiFlush();
    const auto* px = static_cast<const unsigned char*>(bits);
    for (int i = 0; i < width * height; ++i) {
        const COLORREF p = RGB(px[4 * i + 2], px[4 * i + 1], px[4 * i]);
        if (p == tarvel::kPromptBackColor)
            ++c.back;
        else if (p == 0)
            ++c.text;
        else if (p == kWhite)
            ++c.white;
        else
            ++c.other;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(w, dc);
    return c;
}

TEST(PromptOverlay, BlackOnLightRedAtTheBottomLeft) {
    const HWND w = MakeVisibleWindow();
    ASSERT_TRUE(w);
    ASSERT_EQ(Count(w, {0, 0, kWidth, kHeight}).white, kWidth * kHeight) << "the window is not white to start with";

    const std::string message = "寸法線開始点を入力";
    HDC dc = GetDC(w);
    SIZE extent{};
    GetTextExtentPoint32A(dc, message.data(), static_cast<int>(message.size()), &extent);
    ReleaseDC(w, dc);
    ASSERT_GT(extent.cx, 0);
    ASSERT_LT(extent.cy, kHeight);

    tarvel::DrawPromptText(w, message);
    GdiFlush();

    HDC check = GetDC(w);
    EXPECT_EQ(GetPixel(check, 0, kHeight - 1), tarvel::kPromptBackColor) << "bottom-left pixel";
    EXPECT_EQ(GetPixel(check, 0, kHeight - extent.cy), tarvel::kPromptBackColor) << "top-left of the cell";
    EXPECT_EQ(GetPixel(check, 0, kHeight - extent.cy - 1), kWhite) << "above the cell";
    EXPECT_EQ(GetPixel(check, extent.cx + 1, kHeight - 1), kWhite) << "right of the cell";
    ReleaseDC(w, check);

    const Census cell = Count(w, {0, kHeight - extent.cy, extent.cx, kHeight});
    EXPECT_GT(cell.back, cell.text) << "mostly background";
    EXPECT_GT(cell.text, 20) << "black text drawn";
    EXPECT_EQ(cell.white, 0);
    const Census above = Count(w, {0, 0, kWidth, kHeight - extent.cy});
    EXPECT_EQ(above.white, kWidth * (kHeight - extent.cy)) << "nothing painted above the text";
    DestroyWindow(w);
}

TEST(PromptOverlay, TallerThanTheWindowIsClippedWithoutFailure) {
    const HWND w = MakeVisibleWindow(50, 4);
    ASSERT_TRUE(w);
    tarvel::DrawPromptText(w, "寸法値配置位置を入力");
    GdiFlush();
    HDC dc = GetDC(w);
    EXPECT_EQ(GetPixel(dc, 49, 3), tarvel::kPromptBackColor) << "clipped at the right edge, filled to it";
    ReleaseDC(w, dc);
    DestroyWindow(w);
}

TEST(PromptOverlay, NullOrDestroyedWindowPaintsNothing) {
    const HWND w = MakeVisibleWindow();
    ASSERT_TRUE(w);
    HWND gone = CreateWindowExW(0, L"TarvelTestOverlayPane", L"MountTam", WS_POPUP | WS_VISIBLE, 0, 0, kWidth, kHeight,
                                nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    DestroyWindow(gone);
    tarvel::common::PumpMessages();
    ASSERT_EQ(Count(w, {0, 0, kWidth, kHeight}).white, kWidth * kHeight);

    tarvel::DrawPromptText(nullptr, "寸法線開始点を入力");
    tarvel::DrawPromptText(gone, "寸法線開始点を入力");
    GdiFlush();

    // Not on the screen where the window lies, nor on the window.
    HDC screen = GetDC(nullptr);
    int painted = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; x += 3) {
            if (GetPixel(screen, x, y) == tarvel::kPromptBackColor) ++painted;
        }
    }
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(painted, 0);
    EXPECT_EQ(Count(w, {0, 0, kWidth, kHeight}).white, kWidth * kHeight);
    DestroyWindow(w);
}

}  // namespace
