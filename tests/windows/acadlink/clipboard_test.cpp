// The history copy through the clipboard against a text window of a child
// process: the user's clipboard is put back whole (pictures included), a
// busy clipboard is waited for, one that stays busy is the silent abort, and
// an owner that renders on request is waited for only within the bound.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/kept_clipboard.h"
#include "acadlink/link_testing.h"
#include "support/errors.h"
#include "tests/windows/support/test_windows.h"
#include "tools/common/clip_sample.h"
#include "tools/common/wait.h"

namespace {

using namespace tarvel::Acad11ACtrl;

// A window of the test's own that stands for the user's program.
class UserProgram {
public:
    UserProgram() : window_("TarvelTestUserProgram", "user program") {}
    HWND Get() const { return window_.Get(); }

private:
    wintest::TestWindow window_;
};

const tarvel::common::ClipSample kUserClip{};  // a text, a registered format and the four pictures
const tarvel::common::ClipSample kUserText{L"ユーザーの文字 user text", L"Tarvel Test Private Format", "", false};

void PutOnClipboard(HWND owner, const tarvel::common::ClipSample& sample = kUserClip) {
    ASSERT_TRUE(tarvel::common::PutClip(owner, sample));
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
            wintest::TestWindow w("TarvelTestClipboardHolder", "holder");
            const bool ok = OpenClipboard(w.Get()) != FALSE;
            SetEvent(opened);
            if (ok) {
                // Handles its messages meanwhile: the link reads the titles
                // of this process's windows, which sends them WM_GETTEXT.
                const ULONGLONG end = tarvel::common::Now() + ms;
                for (ULONGLONG now = tarvel::common::Now(); now < end; now = tarvel::common::Now()) {
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
    void SetUp() override { seams::ResetForTests(); }
    void TearDown() override { seams::ResetForTests(); }

    // AutoCAD's windows (`items` of the child host) in a child process,
    // found by the link, with the user's content on the clipboard (none
    // when `clip` is null).
    void StartAcad(const std::vector<std::string>& items, const tarvel::common::ClipSample* clip = &kUserClip) {
        child_.emplace(items);
        ASSERT_TRUE(child_->Ready());
        if (clip) PutOnClipboard(user_.Get(), *clip);
        ASSERT_TRUE(AcadIsRunning());
    }

    UserProgram user_;
    std::optional<wintest::ChildHost> child_;
};

TEST_F(HistoryCopy, LastLineAndTheUsersClipboardPutBack) {
    ASSERT_NO_FATAL_FAILURE(StartAcad({"main", "text"}));
    const UserProgram& user = user_;

    std::string line = "stale";
    LastHistoryLine(line);
    EXPECT_EQ(line, "X = 1.0000     Y = 2.0000     Z = 0.0000");
    // The text, the registered format, the enhanced metafile, the metafile
    // picture, the bitmap and the palette.
    EXPECT_EQ(tarvel::common::CheckClip(user.Get(), kUserClip), "same");

    std::string history;
    CopyHistoryText(history);
    EXPECT_EQ(history, wintest::kChildHistory);
    EXPECT_EQ(tarvel::common::CheckClip(user.Get(), kUserClip), "same") << "also after a second copy";
    const auto marker = tarvel::common::ClipboardBytes(user.Get(), tarvel::clipboard::ExcludeFromMonitoringFormat());
    ASSERT_TRUE(marker) << "the clipboard stayed busy";
    EXPECT_FALSE(marker->empty()) << "what was put back is marked for clipboard histories";
}

TEST_F(HistoryCopy, EmptyClipboardStaysEmpty) {
    ASSERT_NO_FATAL_FAILURE(StartAcad({"main", "text"}, nullptr));
    const UserProgram& user = user_;
    ASSERT_TRUE(OpenClipboard(user.Get()));
    EmptyClipboard();
    CloseClipboard();
    std::string history;
    CopyHistoryText(history);
    EXPECT_EQ(history, wintest::kChildHistory);
    EXPECT_EQ(FormatCount(user.Get()), 0) << "the history is not left on the clipboard";
}

TEST_F(HistoryCopy, NoTextWindowLeavesTheClipboardAlone) {
    ASSERT_NO_FATAL_FAILURE(StartAcad({"main"}, &kUserText));
    const UserProgram& user = user_;
    std::string line = "stale";
    LastHistoryLine(line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(GetClipboardOwner(), user.Get()) << "not even opened";
    EXPECT_EQ(tarvel::common::ClipboardText(user.Get()), kUserText.text);
}

TEST_F(HistoryCopy, BusyClipboardIsWaitedFor) {
    ASSERT_NO_FATAL_FAILURE(StartAcad({"main", "text"}, &kUserText));
    const UserProgram& user = user_;
    std::string line;
    const ULONGLONG start = tarvel::common::Now();
    {
        ClipboardHolder holder(400);
        LastHistoryLine(line);
    }
    EXPECT_GE(tarvel::common::Now() - start, 350u);
    EXPECT_EQ(line, "X = 1.0000     Y = 2.0000     Z = 0.0000");
    EXPECT_EQ(tarvel::common::ClipboardText(user.Get()), kUserText.text);
}

TEST_F(HistoryCopy, ClipboardBusyForLongIsTheSilentAbort) {
    ASSERT_NO_FATAL_FAILURE(StartAcad({"main", "text"}, &kUserText));
    const UserProgram& user = user_;
    std::string line = "stale";
    ULONGLONG elapsed = 0;
    {
        ClipboardHolder holder(2500);
        const ULONGLONG start = tarvel::common::Now();
        EXPECT_THROW(LastHistoryLine(line), tarvel::SilentAbort);
        elapsed = tarvel::common::Now() - start;
    }
    EXPECT_GE(elapsed, 950u);
    EXPECT_LT(elapsed, 2000u);
    EXPECT_EQ(line, "");
    EXPECT_EQ(tarvel::common::ClipboardText(user.Get()), kUserText.text) << "never touched";
}

TEST_F(HistoryCopy, FailureAfterTheCopyStillPutsTheClipboardBack) {
    // The text window keeps the clipboard open 1.5 s after the copy: reading
    // fails after the 1 s of retries, the restore gets it afterwards.
    ASSERT_NO_FATAL_FAILURE(StartAcad({"main", "text", "holdclip=1500"}));
    const UserProgram& user = user_;
    std::string history = "stale";
    EXPECT_THROW(CopyHistoryText(history), tarvel::SilentAbort);
    EXPECT_EQ(history, "");
    EXPECT_EQ(tarvel::common::CheckClip(user.Get(), kUserClip), "same");
}

// A third program, here a window of the test's own, that writes its text to
// the clipboard when told to.
const char kThirdText[] = "third program's text";

LRESULT CALLBACK ThirdProgramProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == wintest::kThirdProgramWrite) {
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
    wc.lpszClassName = wintest::kThirdProgramClass;
    RegisterClassA(&wc);
    HWND third = CreateWindowA(wintest::kThirdProgramClass, "third program", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                               nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(third);

    ASSERT_NO_FATAL_FAILURE(StartAcad({"main", "text", "thirdparty"}));
    const UserProgram& user = user_;

    std::string history;
    CopyHistoryText(history);
    // What the clipboard held when it was read is taken as the history...
    EXPECT_EQ(history, kThirdText);
    // ...and the other program's write, newer than the user's content, stays.
    EXPECT_EQ(tarvel::common::ClipboardAnsiText(user.Get()), kThirdText);
    EXPECT_EQ(GetClipboardOwner(), third);
    DestroyWindow(third);
}

// A program that offers a text to be rendered on request (as spreadsheets
// and browsers do), on a thread of its own: it may stop answering right
// after the offer for `hang_ms`, and it renders `render_ms` after it is
// asked.
const wchar_t kOffered[] = L"描画を頼まれた文";

class RenderingOwner {
public:
    RenderingOwner(DWORD hang_ms, DWORD render_ms) {
        HANDLE offered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = std::thread([this, hang_ms, render_ms, offered] {
            render_ms_ = render_ms;
            WNDCLASSW wc{};
            wc.lpfnWndProc = &RenderingOwner::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"TarvelTestRenderingOwner";
            RegisterClassW(&wc);
            HWND w = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
            SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            window_ = w;
            if (OpenClipboard(w)) {
                EmptyClipboard();
                SetClipboardData(CF_UNICODETEXT, nullptr);  // rendered when asked
                CloseClipboard();
            }
            SetEvent(offered);
            Sleep(hang_ms);  // no messages handled meanwhile
            while (!stop_) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            }
            DestroyWindow(w);
        });
        // Its EmptyClipboard tells the owner before, maybe a window of this
        // thread: answered while waiting.
        const ULONGLONG end = tarvel::common::Now() + 5000;
        while (tarvel::common::Now() < end &&
               MsgWaitForMultipleObjects(1, &offered, FALSE, 50, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        CloseHandle(offered);
    }
    ~RenderingOwner() {
        stop_ = true;
        thread_.join();
    }
    HWND Window() const { return window_; }

private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        auto* self = reinterpret_cast<RenderingOwner*>(GetWindowLongPtrW(w, GWLP_USERDATA));
        if (self && (m == WM_RENDERFORMAT || m == WM_RENDERALLFORMATS)) {
            Sleep(self->render_ms_);
            if (m == WM_RENDERALLFORMATS && !OpenClipboard(w)) return 0;
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof kOffered);
            std::memcpy(GlobalLock(block), kOffered, sizeof kOffered);
            GlobalUnlock(block);
            if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
            if (m == WM_RENDERALLFORMATS) CloseClipboard();
            return 0;
        }
        return DefWindowProcW(w, m, wp, lp);
    }

    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<HWND> window_{nullptr};
    DWORD render_ms_ = 0;
};

TEST_F(HistoryCopy, AnOwnerThatRendersOnRequestIsWaitedForWithinTheBound) {
    struct Case {
        const char* what;
        DWORD hang_ms, render_ms;
        bool copied;  // the history was read, else the silent abort
        ULONGLONG min_ms, max_ms;
    };
    const Case cases[] = {
        {"renders late, within the bound", 0, 700, true, 650, 1800},
        {"renders after the bound", 0, 4000, false, 1400, 2600},
        {"stopped answering after its offer", 4000, 0, false, 1400, 2600},
    };
    ASSERT_NO_FATAL_FAILURE(StartAcad({"main", "text"}, nullptr));
    seams::SetHostReplyTimeoutForTests(1500);
    const UserProgram& user = user_;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RenderingOwner owner(c.hang_ms, c.render_ms);
        std::string line = "stale";
        const ULONGLONG start = tarvel::common::Now();
        bool copied = true;
        try {
            LastHistoryLine(line);
        } catch (const tarvel::SilentAbort&) {
            copied = false;
        }
        const ULONGLONG elapsed = tarvel::common::Now() - start;
        EXPECT_EQ(copied, c.copied);
        EXPECT_EQ(line, c.copied ? "X = 1.0000     Y = 2.0000     Z = 0.0000" : "");
        EXPECT_GE(elapsed, c.min_ms);
        EXPECT_LE(elapsed, c.max_ms);
        // Nothing is lost: the text is rendered and put back, or the
        // clipboard was never emptied and the owner renders it when it
        // answers again.
        if (!c.copied) {
            EXPECT_EQ(GetClipboardOwner(), owner.Window());
        }
        EXPECT_EQ(tarvel::common::ClipboardText(user.Get()), kOffered);
    }
    seams::SetHostReplyTimeoutForTests(0);
}

TEST(ClipboardFormats, EachKindIsCopiedItsOwnWay) {
    using tarvel::clipboard::FormatKind;
    using tarvel::clipboard::KindOf;
    const std::vector<std::pair<FormatKind, std::vector<UINT>>> cases = {
        {FormatKind::Memory,
         {CF_TEXT, CF_UNICODETEXT, CF_DIB, CF_DIBV5, CF_HDROP, CF_LOCALE, 0xC123, CF_PRIVATEFIRST, CF_GDIOBJFIRST,
          CF_DSPTEXT}},
        {FormatKind::Bitmap, {CF_BITMAP, CF_DSPBITMAP}},
        {FormatKind::Palette, {CF_PALETTE}},
        {FormatKind::EnhMetafile, {CF_ENHMETAFILE, CF_DSPENHMETAFILE}},
        {FormatKind::MetafilePicture, {CF_METAFILEPICT, CF_DSPMETAFILEPICT}},
        {FormatKind::Unsaveable, {CF_OWNERDISPLAY}},
    };
    for (const auto& [kind, formats] : cases) {
        for (UINT format : formats) EXPECT_EQ(static_cast<int>(KindOf(format)), static_cast<int>(kind)) << format;
    }
}

}  // namespace
