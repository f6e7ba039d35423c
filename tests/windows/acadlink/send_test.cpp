// What cadhost cannot show: the WM_NULL posted after each command, and the
// prompt-line read's two messages, on windows of this process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/link_testing.h"
#include "support/win32/text.h"
#include "tests/windows/support/test_windows.h"

namespace {

using namespace tarvel::Acad11ACtrl;

std::string g_prompt;
int g_gettext_count = 0;

LRESULT CALLBACK PromptProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_GETTEXTLENGTH) return static_cast<LRESULT>(g_prompt.size());
    if (m == WM_GETTEXT) {
        ++g_gettext_count;
        const std::size_t n = std::min<std::size_t>(g_prompt.size(), wp ? wp - 1 : 0);
        std::memcpy(reinterpret_cast<char*>(lp), g_prompt.data(), n);
        reinterpret_cast<char*>(lp)[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    return DefWindowProcA(w, m, wp, lp);
}

class OwnWindows : public testing::Test {
protected:
    void SetUp() override {
        seams::ResetForTests();
        ASSERT_TRUE(main_.Get());
        ASSERT_TRUE(AcadIsRunning());
        WNDCLASSA wc{};
        wc.lpfnWndProc = PromptProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = "TarvelTestPromptLine";
        RegisterClassA(&wc);
        prompt_ = CreateWindowExA(0, wc.lpszClassName, "Headlands", WS_CHILD, 0, 0, 10, 10, main_.Get(), nullptr,
                                  wc.hInstance, nullptr);
        ASSERT_TRUE(prompt_);
        // A window of this process answers GetWindowTextA with its
        // WM_GETTEXT, the prompt: the search would not know it by its name.
        State().PromptLineWnd = prompt_;
    }
    void TearDown() override { seams::ResetForTests(); }

    wintest::TestWindow main_{wintest::kMainClass, "AutoCAD 2004 - [a.dwg]"};
    HWND prompt_ = nullptr;
};

TEST_F(OwnWindows, WmNullIsPostedAfterEachSend) {
    MSG msg;
    while (PeekMessageW(&msg, main_.Get(), WM_NULL, WM_NULL, PM_REMOVE)) {
    }
    SendCommand(u"a");
    SendCommand(u"b");
    int posted = 0;
    while (PeekMessageW(&msg, main_.Get(), WM_NULL, WM_NULL, PM_REMOVE)) ++posted;
    EXPECT_EQ(posted, 2);
}

TEST_F(OwnWindows, PromptLineRead) {
    const std::vector<std::string> prompts = {
        "LASTPOINT の新しい値を入力 <1.0000,2.0000,0.0000>: ", std::string(3000, 'p'),  // read whole
    };
    for (const std::string& p : prompts) {
        g_prompt = p;
        std::string text = "stale";
        ReadPromptLine(text);
        EXPECT_EQ(text, p);
    }
    // Length 0: the text is not asked for.
    g_prompt.clear();
    g_gettext_count = 0;
    std::string text = "stale";
    ReadPromptLine(text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(g_gettext_count, 0);
}

TEST(Send, AMainWindowThatWentAwayIsSearchedForAgain) {
    seams::ResetForTests();
    {
        wintest::TestWindow first(wintest::kMainClass, "AutoCAD 2004 - [first.dwg]");
        ASSERT_TRUE(AcadIsRunning());
    }
    wintest::TestWindow second(wintest::kMainClass, "AutoCAD 2004 - [second.dwg]");
    MSG msg;
    while (PeekMessageW(&msg, second.Get(), WM_NULL, WM_NULL, PM_REMOVE)) {
    }
    EXPECT_TRUE(SendCommand(u"a")) << "sent to the main window found again";
    EXPECT_EQ(State().AcadWnd, second.Get());
    EXPECT_TRUE(PeekMessageW(&msg, second.Get(), WM_NULL, WM_NULL, PM_REMOVE)) << "and delivered there";
    second.Destroy();
    EXPECT_FALSE(SendCommand(u"a")) << "none left";
    seams::ResetForTests();
}

TEST(Conversion, ThreadCodePage) {
    using namespace tarvel::win32;
    EXPECT_EQ(ThreadCodePage(), 932u);
    EXPECT_EQ(ToUtf16("寸法線開始点を入力"), u"寸法線開始点を入力");
    EXPECT_EQ(ToBytes(std::u16string_view(u"寸法線開始点を入力")), "寸法線開始点を入力");
    EXPECT_EQ(ToBytes(std::u16string_view(u"\u20ac")), "?");
    EXPECT_EQ(ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_TRUE(IsLeadByte(ThreadCodePage(), 0x82));
    EXPECT_FALSE(IsLeadByte(ThreadCodePage(), 'a'));
}

}  // namespace
