// The Wine prefix must run in the Japanese locale: everything Tarvel sends
// and reads as 8-bit text is Shift-JIS. A prefix that fell back to another
// code page must fail here, loudly, and not somewhere deep in a CAD test.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/errors.h"

TEST(WineEnvironment, RunsInJapaneseLocale) {
    EXPECT_EQ(GetACP(), 932u) << "the prefix is not in code page 932; is ja_JP.UTF-8 generated?";
    EXPECT_EQ(GetThreadLocale(), 0x411u);
    EXPECT_EQ(GetUserDefaultLCID(), 0x411u);
}

TEST(WineEnvironment, ProgramLiteralsAreShiftJis) {
    // The message literals are compiled as code page 932; converting them with
    // the thread's ANSI code page must give back the Japanese text.
    const std::string bytes = tarvel::RangeError().message();
    wchar_t wide[64] = {};
    const int n = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide, 63);
    EXPECT_EQ(std::wstring(wide, n), std::wstring(L"範囲チェックエラー"));
}
