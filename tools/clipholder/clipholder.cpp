// clipholder.exe: a second program on the clipboard, as a clipboard manager
// or another application is on a user's desktop.
//
//   clipholder.exe --hold MS [--after MS]
//       opens the clipboard (after --after ms), prints "holding", keeps it
//       open for MS ms, closes it, prints "released"
//   clipholder.exe --write-at MS --text TEXT
//       after MS ms writes TEXT to the clipboard as Unicode text, prints
//       "written"
//   clipholder.exe --put TEXT [--format NAME --data TEXT] [--pictures]
//       the clipboard becomes TEXT (Unicode text) and, with --format, also
//       the registered format NAME holding the bytes of --data (UTF-8, no
//       terminator); with --pictures also an enhanced metafile, a metafile
//       picture, a bitmap and a palette
//   clipholder.exe --check TEXT [--format NAME --data TEXT] [--pictures]
//       exit status 0 when the clipboard holds exactly that; prints what it
//       holds either way
//   clipholder.exe --big
//       the clipboard becomes what a screenshot and a busy application leave
//       there: an 8 MB bitmap (1448 x 1448 pixels of 32 bits) and 100
//       registered formats of 64 bytes each ("Tarvel Bench Format 1" ...)
//   clipholder.exe --clear
//       the clipboard is emptied
//   clipholder.exe --offer TEXT [--hang MS] [--render-after MS] [--for MS]
//       offers TEXT as Unicode text to be rendered on request, as
//       spreadsheets and browsers do, and prints "offered"; then handles no
//       message at all for --hang ms (a program that has stopped
//       answering); asked to render, waits --render-after ms first. Ends
//       when another program empties the clipboard, or after --for ms
//       (default 60000), rendering the text first if it still owns it.
//
// Every wait is bounded: no time above 60000 ms is taken, and opening the
// clipboard is given up after 5 s. Exit status 0 on success, 1 on a
// failure, 2 on a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "support/win32/owner.h"
#include "support/win32/text.h"
#include "tools/common/clip_sample.h"

namespace {

constexpr long kMaxMs = 60000;
constexpr DWORD kOpenTimeoutMs = 5000;

void Say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

struct Args {
    long hold = -1, after = 0, write_at = -1, hang = 0, render_after = 0, life = kMaxMs;
    bool has_text = false, put = false, check = false, offer = false, pictures = false, big = false, clear = false;
    std::wstring text, format, data;
};

bool Number(const wchar_t* s, long& out) {
    wchar_t* end = nullptr;
    const long v = std::wcstol(s, &end, 10);
    if (!*s || *end || v < 0 || v > kMaxMs) return false;
    out = v;
    return true;
}

bool Parse(int argc, wchar_t** argv, Args& a) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring o = argv[i];
        if (o == L"--pictures" || o == L"--big" || o == L"--clear") {
            (o == L"--pictures" ? a.pictures : o == L"--big" ? a.big : a.clear) = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const wchar_t* v = argv[++i];
        const struct {
            const wchar_t* name;
            long* target;
        } numbers[] = {{L"--hold", &a.hold},
                       {L"--after", &a.after},
                       {L"--write-at", &a.write_at},
                       {L"--hang", &a.hang},
                       {L"--render-after", &a.render_after},
                       {L"--for", &a.life}};
        long* number = nullptr;
        for (const auto& n : numbers) {
            if (o == n.name) number = n.target;
        }
        if (number) {
            if (!Number(v, *number)) return false;
        } else if (o == L"--text") {
            a.text = v;
            a.has_text = true;
        } else if (o == L"--put" || o == L"--check" || o == L"--offer") {
            (o == L"--put" ? a.put : o == L"--check" ? a.check : a.offer) = true;
            a.text = v;
            a.has_text = true;
        } else if (o == L"--format") {
            a.format = v;
        } else if (o == L"--data") {
            a.data = v;
        } else {
            return false;
        }
    }
    const int modes = (a.hold >= 0) + (a.write_at >= 0) + a.put + a.check + a.offer + a.big + a.clear;
    if (modes != 1) return false;
    if (a.write_at >= 0 && !a.has_text) return false;
    return true;
}

// The clipboard opened on a window of our own for the life of the object.
tarvel::win32::ClipboardOpen OpenClip(HWND owner) {
    return tarvel::win32::OpenClipboardRetrying(owner, kOpenTimeoutMs);
}

bool PutText(const std::wstring& text) {
    const std::size_t size = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size);
    void* p = mem ? GlobalLock(mem) : nullptr;
    if (!p) {
        if (mem) GlobalFree(mem);
        return false;
    }
    std::memcpy(p, text.c_str(), size);
    GlobalUnlock(mem);
    if (!SetClipboardData(CF_UNICODETEXT, mem)) {
        GlobalFree(mem);
        return false;
    }
    return true;
}

// --offer: the window that owns the offered text.
struct Offer {
    std::wstring text;
    DWORD render_after = 0;
    bool rendered = false;
};
Offer g_offer;

LRESULT CALLBACK OfferProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_RENDERFORMAT:
            Sleep(g_offer.render_after);
            if (wparam == CF_UNICODETEXT && PutText(g_offer.text)) {
                g_offer.rendered = true;
                Say("rendered");
            }
            return 0;
        case WM_RENDERALLFORMATS:
            if (OpenClipboard(window)) {
                if (GetClipboardOwner() == window && PutText(g_offer.text)) Say("rendered all");
                CloseClipboard();
            }
            return 0;
        case WM_DESTROYCLIPBOARD:
            Say("emptied by another program");
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

int RunOffer(const Args& a) {
    g_offer.text = a.text;
    g_offer.render_after = static_cast<DWORD>(a.render_after);
    WNDCLASSW wc{};
    wc.lpfnWndProc = OfferProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TarvelClipholderOffer";
    RegisterClassW(&wc);
    HWND window =
        CreateWindowW(wc.lpszClassName, L"clipholder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!window) return 1;
    {
        const auto c = OpenClip(window);
        if (!c || !EmptyClipboard()) {
            Say("cannot write the clipboard");
            return 1;
        }
        SetClipboardData(CF_UNICODETEXT, nullptr);  // rendered when asked
    }
    Say("offered");
    if (a.hang) {
        Sleep(static_cast<DWORD>(a.hang));
        Say("answering again");
    }
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(a.life);
    MSG msg;
    bool quit = false;
    while (!quit) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) quit = true;
            DispatchMessageW(&msg);
        }
    }
    DestroyWindow(window);  // renders what it still owns
    return 0;
}

// --big: an 8 MB bitmap and 100 small registered formats.
bool PutBig() {
    constexpr int kSide = 1448;  // 1448 x 1448 x 4 bytes: 8.0 MB
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kSide) * kSide * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 31 + (i >> 12));
    HBITMAP bitmap = CreateBitmap(kSide, kSide, 1, 32, pixels.data());
    if (!bitmap || !SetClipboardData(CF_BITMAP, bitmap)) return false;
    for (int i = 1; i <= 100; ++i) {
        const std::wstring name = L"Tarvel Bench Format " + std::to_wstring(i);
        const UINT format = RegisterClipboardFormatW(name.c_str());
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
        auto* p = static_cast<unsigned char*>(block ? GlobalLock(block) : nullptr);
        if (!p) return false;
        for (int k = 0; k < 64; ++k) p[k] = static_cast<unsigned char>(i + k);
        GlobalUnlock(block);
        if (!SetClipboardData(format, block)) return false;
    }
    return true;
}

int Run(const Args& a, HWND owner) {
    if (a.offer) return RunOffer(a);
    if (a.big || a.clear) {
        const auto c = OpenClip(owner);
        if (!c || !EmptyClipboard() || (a.big && !PutBig())) {
            Say("cannot write the clipboard");
            return 1;
        }
        Say(a.big ? "put" : "cleared");
        return 0;
    }
    if (a.hold >= 0) {
        if (a.after) Sleep(static_cast<DWORD>(a.after));
        const auto c = OpenClip(owner);
        if (!c) {
            Say("cannot open the clipboard");
            return 1;
        }
        Say("holding");
        Sleep(static_cast<DWORD>(a.hold));
        Say("released");
        return 0;
    }
    if (a.write_at >= 0) {
        Sleep(static_cast<DWORD>(a.write_at));
        const auto c = OpenClip(owner);
        if (!c || !EmptyClipboard() || !PutText(a.text)) {
            Say("cannot write the clipboard");
            return 1;
        }
        Say("written");
        return 0;
    }
    tarvel::common::ClipSample sample{a.text, a.format, tarvel::win32::ToUtf8(a.data), a.pictures};
    if (a.put) {
        if (!tarvel::common::PutClip(owner, sample)) {
            Say("cannot write the clipboard");
            return 1;
        }
        Say("put");
        return 0;
    }
    const std::string found = tarvel::common::CheckClip(owner, sample);
    Say(found);
    return found == "same" ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Args a;
    if (!Parse(argc, argv, a)) {
        std::fputs(
            "usage: clipholder.exe --hold MS [--after MS] | --write-at MS --text TEXT |\n"
            "       --put TEXT [--format NAME --data TEXT] [--pictures] |\n"
            "       --check TEXT [--format NAME --data TEXT] [--pictures] |\n"
            "       --offer TEXT [--hang MS] [--render-after MS] [--for MS] | --big | --clear\n"
            "(times in ms, at most 60000)\n",
            stderr);
        return 2;
    }
    HWND owner = CreateWindowW(L"STATIC", L"clipholder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    const int status = Run(a, owner);
    if (owner) DestroyWindow(owner);
    return status;
}
