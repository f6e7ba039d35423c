// The history copy through the clipboard against a text window of a child
// process: the user's clipboard is put back, a busy clipboard is waited for,
// and a clipboard that stays busy is the silent abort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/clipboard_store.h"
#include "support/errors.h"
#include "test_windows.h"

namespace {

using namespace tarvel::Acad11ACtrl;

// A window of the test's own that stands for the user's program.
class UserProgram {
public:
    UserProgram() : window_("TarvelTestUserProgram", "user program") {}
    HWND get() const { return window_.get(); }

private:
    linktest::TestWindow window_;
};

UINT RegisteredFormat() { return RegisterClipboardFormatA("Tarvel Test Private Format"); }

const std::vector<unsigned char> kRegisteredBytes = {1, 2, 3, 0, 255, 254, 0, 7};
const std::wstring kUserText = L"ユーザーの文字 user text";

void PutOnClipboard(HWND owner, bool with_registered) {
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    const std::size_t n = (kUserText.size() + 1) * sizeof(wchar_t);
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, n);
    std::memcpy(GlobalLock(text), kUserText.c_str(), n);
    GlobalUnlock(text);
    SetClipboardData(CF_UNICODETEXT, text);
    if (with_registered) {
        HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, kRegisteredBytes.size());
        std::memcpy(GlobalLock(data), kRegisteredBytes.data(), kRegisteredBytes.size());
        GlobalUnlock(data);
        SetClipboardData(RegisteredFormat(), data);
    }
    CloseClipboard();
}

std::vector<unsigned char> ClipboardBytes(HWND owner, UINT format) {
    std::vector<unsigned char> bytes;
    if (!OpenClipboard(owner)) return {0xEE};
    if (HANDLE h = GetClipboardData(format)) {
        const auto* p = static_cast<const unsigned char*>(GlobalLock(h));
        bytes.assign(p, p + GlobalSize(h));
        GlobalUnlock(h);
    }
    CloseClipboard();
    return bytes;
}

std::wstring ClipboardUnicodeText(HWND owner) {
    const std::vector<unsigned char> bytes = ClipboardBytes(owner, CF_UNICODETEXT);
    std::wstring text(bytes.size() / 2, L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    return text.substr(0, text.find(L'\0'));
}

int FormatCount(HWND owner) {
    if (!OpenClipboard(owner)) return -1;
    int n = 0;
    for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f)) ++n;
    CloseClipboard();
    return n;
}

// Holds the clipboard open from another thread for a while.
class ClipboardHolder {
public:
    explicit ClipboardHolder(DWORD ms) {
        HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([ms, opened] {
            linktest::TestWindow w("TarvelTestClipboardHolder", "holder");
            const bool ok = OpenClipboard(w.get()) != FALSE;
            SetEvent(opened);
            if (ok) {
                // Handles its messages meanwhile: the link reads the titles
                // of this process's windows, which sends them WM_GETTEXT.
                const ULONGLONG end = linktest::Now() + ms;
                for (ULONGLONG now = linktest::Now(); now < end; now = linktest::Now()) {
                    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
                    MSG msg;
                    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
                }
                CloseClipboard();
            }
        });
        WaitForSingleObject(opened, 5000);
        CloseHandle(opened);
    }
    ~ClipboardHolder() { thread_.join(); }

private:
    std::thread thread_;
};

class HistoryCopy : public testing::Test {
protected:
    void SetUp() override { ResetForTests(); }
    void TearDown() override { ResetForTests(); }
};

TEST_F(HistoryCopy, LastLineAndTheUsersClipboardPutBack) {
    linktest::ChildHost child({"main", "text"});
    ASSERT_TRUE(child.ready());
    UserProgram user;
    PutOnClipboard(user.get(), true);
    ASSERT_TRUE(AcadIsRunning());

    std::string line = "stale";
    LastHistoryLine(line);
    EXPECT_EQ(line, "X = 1.0000     Y = 2.0000     Z = 0.0000");

    EXPECT_EQ(ClipboardUnicodeText(user.get()), kUserText);
    const std::vector<unsigned char> registered = ClipboardBytes(user.get(), RegisteredFormat());
    ASSERT_GE(registered.size(), kRegisteredBytes.size());
    EXPECT_EQ(std::vector<unsigned char>(registered.begin(), registered.begin() + kRegisteredBytes.size()),
              kRegisteredBytes);

    std::string history;
    CopyHistoryText(history);
    EXPECT_EQ(history, linktest::kChildHistory);
    EXPECT_EQ(ClipboardUnicodeText(user.get()), kUserText) << "also after a second copy";
}

TEST_F(HistoryCopy, EmptyClipboardStaysEmpty) {
    linktest::ChildHost child({"main", "text"});
    ASSERT_TRUE(child.ready());
    UserProgram user;
    ASSERT_TRUE(OpenClipboard(user.get()));
    EmptyClipboard();
    CloseClipboard();
    ASSERT_TRUE(AcadIsRunning());
    std::string history;
    CopyHistoryText(history);
    EXPECT_EQ(history, linktest::kChildHistory);
    EXPECT_EQ(FormatCount(user.get()), 0) << "the history is not left on the clipboard";
}

TEST_F(HistoryCopy, NoTextWindowLeavesTheClipboardAlone) {
    linktest::ChildHost child({"main"});
    ASSERT_TRUE(child.ready());
    UserProgram user;
    PutOnClipboard(user.get(), false);
    ASSERT_TRUE(AcadIsRunning());
    std::string line = "stale";
    LastHistoryLine(line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(GetClipboardOwner(), user.get()) << "not even opened";
    EXPECT_EQ(ClipboardUnicodeText(user.get()), kUserText);
}

TEST_F(HistoryCopy, BusyClipboardIsWaitedFor) {
    linktest::ChildHost child({"main", "text"});
    ASSERT_TRUE(child.ready());
    UserProgram user;
    PutOnClipboard(user.get(), false);
    ASSERT_TRUE(AcadIsRunning());
    std::string line;
    const ULONGLONG start = linktest::Now();
    {
        ClipboardHolder holder(400);
        LastHistoryLine(line);
    }
    EXPECT_GE(linktest::Now() - start, 350u);
    EXPECT_EQ(line, "X = 1.0000     Y = 2.0000     Z = 0.0000");
    EXPECT_EQ(ClipboardUnicodeText(user.get()), kUserText);
}

TEST_F(HistoryCopy, ClipboardBusyForLongIsTheSilentAbort) {
    linktest::ChildHost child({"main", "text"});
    ASSERT_TRUE(child.ready());
    UserProgram user;
    PutOnClipboard(user.get(), false);
    ASSERT_TRUE(AcadIsRunning());
    std::string line = "stale";
    ULONGLONG elapsed = 0;
    {
        ClipboardHolder holder(2500);
        const ULONGLONG start = linktest::Now();
        EXPECT_THROW(LastHistoryLine(line), tarvel::SilentAbort);
        elapsed = linktest::Now() - start;
    }
    EXPECT_GE(elapsed, 950u);
    EXPECT_LT(elapsed, 2000u);
    EXPECT_EQ(line, "");
    EXPECT_EQ(ClipboardUnicodeText(user.get()), kUserText) << "never touched";
}

TEST_F(HistoryCopy, FailureAfterTheCopyStillPutsTheClipboardBack) {
    // The text window keeps the clipboard open 1.5 s after the copy: reading
    // fails after the 1 s of retries, the restore gets it afterwards.
    linktest::ChildHost child({"main", "text", "holdclip=1500"});
    ASSERT_TRUE(child.ready());
    UserProgram user;
    PutOnClipboard(user.get(), true);
    ASSERT_TRUE(AcadIsRunning());
    std::string history = "stale";
    EXPECT_THROW(CopyHistoryText(history), tarvel::SilentAbort);
    EXPECT_EQ(history, "");
    EXPECT_EQ(ClipboardUnicodeText(user.get()), kUserText);
    const std::vector<unsigned char> registered = ClipboardBytes(user.get(), RegisteredFormat());
    ASSERT_GE(registered.size(), kRegisteredBytes.size());
}

// A third program, here a window of the test's own, that writes its text to
// the clipboard when told to.
const char kThirdText[] = "third program's text";

LRESULT CALLBACK ThirdProgramProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == linktest::kThirdProgramWrite) {
        if (OpenClipboard(window)) {
            EmptyClipboard();
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof kThirdText);
            std::memcpy(GlobalLock(block), kThirdText, sizeof kThirdText);
            GlobalUnlock(block);
            SetClipboardData(CF_TEXT, block);
            CloseClipboard();
        }
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

TEST_F(HistoryCopy, AnotherProgramsLaterWriteIsNotOverwritten) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ThirdProgramProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = linktest::kThirdProgramClass;
    RegisterClassA(&wc);
    HWND third = CreateWindowA(linktest::kThirdProgramClass, "third program", WS_OVERLAPPED, 0, 0, 10, 10,
                               nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(third);

    linktest::ChildHost child({"main", "text", "thirdparty"});
    ASSERT_TRUE(child.ready());
    UserProgram user;
    PutOnClipboard(user.get(), true);
    ASSERT_TRUE(AcadIsRunning());

    std::string history;
    CopyHistoryText(history);
    // What the clipboard held when it was read is taken as the history...
    EXPECT_EQ(history, kThirdText);
    // ...and the other program's write, newer than the user's content, stays.
    const std::vector<unsigned char> text = ClipboardBytes(user.get(), CF_TEXT);
    EXPECT_EQ(std::string(text.begin(), std::find(text.begin(), text.end(), 0)), kThirdText);
    EXPECT_EQ(GetClipboardOwner(), third);
    DestroyWindow(third);
}

TEST(ClipboardFormats, OnlyGdiHandlesAndOwnerDisplayAreLeftOut) {
    const std::vector<std::pair<UINT, bool>> cases = {
        {CF_TEXT, true},          {CF_UNICODETEXT, true},     {CF_OEMTEXT, true},      {CF_LOCALE, true},
        {CF_DIB, true},           {CF_DIBV5, true},           {CF_HDROP, true},        {CF_DSPTEXT, true},
        {CF_SYLK, true},          {CF_RIFF, true},            {0xC123, true},          {CF_PRIVATEFIRST, true},
        {CF_BITMAP, false},       {CF_PALETTE, false},        {CF_METAFILEPICT, false}, {CF_ENHMETAFILE, false},
        {CF_OWNERDISPLAY, false}, {CF_DSPBITMAP, false},      {CF_DSPMETAFILEPICT, false},
        {CF_DSPENHMETAFILE, false}, {CF_GDIOBJFIRST, false},  {CF_GDIOBJLAST, false},
    };
    for (const auto& [format, copyable] : cases) {
        EXPECT_EQ(tarvel::clipboard::IsCopyableFormat(format), copyable) << format;
    }
    const UINT html = RegisterClipboardFormatA("HTML Format");
    const UINT rtf = RegisterClipboardFormatA("Rich Text Format");
    EXPECT_TRUE(tarvel::clipboard::IsCopyableFormat(html));
    EXPECT_TRUE(tarvel::clipboard::IsCopyableFormat(rtf));
}

}  // namespace
