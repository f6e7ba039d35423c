// The COPYDATASTRUCT that reaches AutoCAD's main window, caught by a main
// window of this process, in both encodings; and the prompt-line read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "test_windows.h"

namespace {

using namespace tarvel::Acad11ACtrl;

struct Received {
    ULONG_PTR dwData = 0;
    DWORD cbData = 0;
    std::vector<unsigned char> bytes;
};
std::vector<Received> g_received;
std::string g_prompt = "コマンド: ";
int g_gettext_count = 0;

LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool unicode) {
    if (message == WM_COPYDATA) {
        const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
        Received r;
        r.dwData = record->dwData;
        r.cbData = record->cbData;
        const auto* p = static_cast<const unsigned char*>(record->lpData);
        r.bytes.assign(p, p + record->cbData);
        g_received.push_back(r);
        return TRUE;
    }
    return unicode ? DefWindowProcW(window, message, wparam, lparam) : DefWindowProcA(window, message, wparam, lparam);
}

LRESULT CALLBACK WideMainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return Handle(w, m, wp, lp, true); }
LRESULT CALLBACK AnsiMainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return Handle(w, m, wp, lp, false); }

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

HWND MakeMain(bool unicode) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (unicode) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = WideMainProc;
        wc.hInstance = instance;
        wc.lpszClassName = L"Afx:00400000:8:00010003:00000000:00000000:W";
        RegisterClassW(&wc);
        return CreateWindowExW(0, wc.lpszClassName, L"AutoCAD 2004 - [w.dwg]", 0, 0, 0, 100, 100, nullptr, nullptr,
                               instance, nullptr);
    }
    WNDCLASSA wc{};
    wc.lpfnWndProc = AnsiMainProc;
    wc.hInstance = instance;
    wc.lpszClassName = "Afx:00400000:8:00010003:00000000:00000000:A";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "AutoCAD 2004 - [a.dwg]", 0, 0, 0, 100, 100, nullptr, nullptr,
                           instance, nullptr);
}

HWND MakePrompt(HWND parent) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = PromptProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = "TarvelTestPromptLine";
    RegisterClassA(&wc);
    return CreateWindowExA(0, wc.lpszClassName, "Headlands", WS_CHILD, 0, 0, 10, 10, parent, nullptr, wc.hInstance,
                           nullptr);
}

std::u16string Repeat(char16_t c, std::size_t n) { return std::u16string(n, c); }

std::vector<unsigned char> WideBytes(const std::u16string& text) {
    std::vector<unsigned char> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::vector<unsigned char> AnsiBytes(const std::string& text) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

class Sending : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ResetForTests();
        g_received.clear();
        main_ = MakeMain(GetParam());
        ASSERT_TRUE(main_);
        ASSERT_EQ(IsWindowUnicode(main_) != FALSE, GetParam());
    }
    void TearDown() override {
        DestroyWindow(main_);
        ResetForTests();
    }
    HWND main_ = nullptr;
};

struct SendCase {
    const char* what;
    std::u16string command;
    std::u16string wide_arrives;  // what the wide form carries
    std::string ansi_arrives;     // what the 8-bit form carries
};

TEST_P(Sending, RecordCarriesTheWholeCommandAndItsTerminator) {
    const bool wide = GetParam();
    const std::vector<SendCase> cases = {
        {"empty", u"", u"", ""},
        {"pick command", u"\x03ID ", u"\x03ID ", "\x03ID "},
        {"255 units", Repeat(u'A', 254) + u"\r", Repeat(u'A', 254) + u"\r", std::string(254, 'A') + "\r"},
        {"300 units sent whole", Repeat(u'B', 299) + u"\r", Repeat(u'B', 299) + u"\r", std::string(299, 'B') + "\r"},
        {"Japanese", u"寸法", u"寸法", "寸法"},
        {"outside the code page", u"a\u4e02b\u20acc", u"a?b?c", "a?b?c"},
    };
    for (const SendCase& c : cases) {
        g_received.clear();
        ASSERT_TRUE(SendCommand(c.command)) << c.what;
        ASSERT_EQ(g_received.size(), 1u) << c.what;
        EXPECT_EQ(g_received[0].dwData, 1u) << c.what;
        const std::vector<unsigned char> expected = wide ? WideBytes(c.wide_arrives) : AnsiBytes(c.ansi_arrives);
        EXPECT_EQ(g_received[0].cbData, expected.size()) << c.what;
        EXPECT_EQ(g_received[0].bytes, expected) << c.what;
    }
}

TEST_P(Sending, BoundaryCounts) {
    const bool wide = GetParam();
    g_received.clear();
    SendCommand(Repeat(u'x', 255));
    SendCommand(Repeat(u'x', 300));
    SendCommand(u"");
    ASSERT_EQ(g_received.size(), 3u);
    EXPECT_EQ(g_received[0].cbData, wide ? 512u : 256u);
    EXPECT_EQ(g_received[1].cbData, wide ? 602u : 301u);
    EXPECT_EQ(g_received[2].cbData, wide ? 2u : 1u);
}

TEST_P(Sending, DoubleByteCharactersCountTwoBytesInThe8BitForm) {
    g_received.clear();
    // 128 double-byte characters: 256 bytes, past the old 255-byte buffer.
    const std::u16string command = Repeat(u'寸', 128);
    ASSERT_TRUE(SendCommand(command));
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].cbData, GetParam() ? 258u : 257u);
}

TEST_P(Sending, SendCommandAsChoosesTheForm) {
    g_received.clear();
    SendCommandAs(u"ab", true);
    SendCommandAs(u"ab", false);
    ASSERT_EQ(g_received.size(), 2u);
    EXPECT_EQ(g_received[0].cbData, 6u);
    EXPECT_EQ(g_received[1].cbData, 3u);
}

TEST_P(Sending, WmNullIsPostedAfterEachSend) {
    MSG msg;
    while (PeekMessageW(&msg, main_, WM_NULL, WM_NULL, PM_REMOVE)) {
    }
    SendCommand(u"a");
    SendCommand(u"b");
    int posted = 0;
    while (PeekMessageW(&msg, main_, WM_NULL, WM_NULL, PM_REMOVE)) ++posted;
    EXPECT_EQ(posted, 2);
}

TEST_P(Sending, ActivateAcad) {
    EXPECT_TRUE(ActivateAcad());
    DestroyWindow(main_);
    main_ = nullptr;
    EXPECT_FALSE(ActivateAcad());
    EXPECT_FALSE(SendCommand(u"ID "));
}

TEST_P(Sending, ReadPromptLine) {
    const HWND prompt = MakePrompt(main_);
    ASSERT_TRUE(prompt);
    // A window of this process answers GetWindowTextA with its WM_GETTEXT,
    // the prompt: the search would not know it, so it is given as found.
    ASSERT_TRUE(AcadIsRunning());
    State().PromptLineWnd = prompt;
    g_prompt = "LASTPOINT の新しい値を入力 <1.0000,2.0000,0.0000>: ";
    std::string text = "stale";
    ReadPromptLine(text);
    EXPECT_EQ(text, g_prompt);

    // A long prompt is read whole.
    g_prompt = std::string(3000, 'p');
    ReadPromptLine(text);
    EXPECT_EQ(text, g_prompt);

    // Length 0: the text is not asked for.
    g_prompt.clear();
    g_gettext_count = 0;
    text = "stale";
    ReadPromptLine(text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(g_gettext_count, 0);

    std::string value = "stale";
    g_prompt = "LASTPOINT の新しい値を入力 <1.0000,2.0000,0.0000>: ";
    g_received.clear();
    QuerySysVar("LASTPOINT", value);
    EXPECT_EQ(value, "1.0000,2.0000,0.0000");
    ASSERT_EQ(g_received.size(), 2u) << "the query and one Ctrl-C";
    const bool wide = GetParam();
    EXPECT_EQ(g_received[1].bytes, wide ? WideBytes(u"\x03") : AnsiBytes("\x03"));
    DestroyWindow(prompt);
}

INSTANTIATE_TEST_SUITE_P(Encodings, Sending, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Wide" : "Ansi"; });

TEST(Conversion, ThreadCodePage) {
    EXPECT_EQ(AnsiToWide("寸法線開始点を入力"), u"寸法線開始点を入力");
    EXPECT_EQ(WideToAnsi(u"寸法線開始点を入力"), "寸法線開始点を入力");
    EXPECT_EQ(WideToAnsi(u"\u20ac"), "?");
    EXPECT_EQ(AnsiToWide(""), u"");
    EXPECT_EQ(AnsiToWide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

}  // namespace
