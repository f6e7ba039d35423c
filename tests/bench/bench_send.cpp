// bench-send.exe: the bare sender, the baseline of Tarvel's hand-over of
// its dimlinear commands. It hands the same texts to the same host window
// the way Tarvel's link does and nothing else: each one as UTF-16 with its
// terminator in a WM_COPYDATA (dwData 1), sent with SendMessageTimeoutA,
// SMTO_ABORTIFHUNG and a 10 s bound, then a posted WM_NULL. Like Tarvel's
// one thread, its thread owns a window (--window 0: none), which under Wine
// costs each send a look at the thread's display connection; like a run, it
// restores that window from minimised right before the first send.
//
//   bench-send.exe --texts FILE [--settle MS] [--times FILE] [--window 0|1]
//   bench-send.exe --poll MS
//
// With --poll it is instead the bare poller, the baseline of a pick that
// waits: for MS milliseconds, every 200 ms, its messages dispatched and the
// host's prompt line read as Tarvel reads it (WM_GETTEXTLENGTH, then
// WM_GETTEXT, blocking, bounded), from a thread that owns a window.
//
// FILE holds the texts in UTF-8, one a line (a text's carriage returns stay
// in it; lines end at line feeds). It waits --settle ms (default 300) before
// the first send and after the last, so that a sampler outside sees its
// process idle around the sends, and prints "first_us=N last_us=N sent=N"
// (the system time of the first and the last send, in microseconds since
// 1970); with --times, FILE gets the time of each send, one a line.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "support/win32/text.h"
#include "tools/common/files.h"

namespace {

constexpr wchar_t kFrameClass[] = L"Afx:00400000:8:00010003:00000000:00000000";

unsigned long long UnixMicroseconds() {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - 116444736000000000ULL) / 10;
}

bool ReadTexts(const std::wstring& path, std::vector<std::wstring>& texts) {
    std::string all;
    if (!tarvel::common::ReadWholeFile(path, all)) return false;
    std::size_t start = 0;
    for (std::size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1) {
        texts.push_back(tarvel::win32::FromUtf8(std::string_view(all).substr(start, end - start)));
    }
    return true;
}

BOOL CALLBACK FindPromptLine(HWND w, LPARAM found) {
    wchar_t title[16] = {};
    GetWindowTextW(w, title, 16);
    if (std::wcscmp(title, L"Headlands") != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
}

int Poll(DWORD ms) {
    HWND prompt = nullptr;
    EnumChildWindows(FindWindowW(kFrameClass, nullptr), FindPromptLine, reinterpret_cast<LPARAM>(&prompt));
    if (!prompt) {
        std::fputs("bench-send: no prompt line\n", stderr);
        return 1;
    }
    std::printf("first_us=%llu\n", UnixMicroseconds());
    std::fflush(stdout);
    for (const ULONGLONG end = GetTickCount64() + ms; GetTickCount64() < end;) {
        Sleep(200);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        DWORD_PTR length = 0;
        char text[512];
        SendMessageTimeoutW(prompt, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 10000, &length);
        SendMessageTimeoutA(prompt, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG | SMTO_BLOCK, 10000, &length);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring path, times_path;
    DWORD settle_ms = 300, poll_ms = 0;
    bool window = true;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring a = argv[i];
        if (a == L"--texts")
            path = argv[i + 1];
        else if (a == L"--settle")
            settle_ms = static_cast<DWORD>(_wtoi(argv[i + 1]));
        else if (a == L"--times")
            times_path = argv[i + 1];
        else if (a == L"--window")
            window = argv[i + 1][0] == L'1';
        else if (a == L"--poll")
            poll_ms = static_cast<DWORD>(_wtoi(argv[i + 1]));
    }
    HWND w = nullptr;
    MSG m;
    if (window) {
        w = CreateWindowExW(0, L"STATIC", L"bench-send", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0, 0, 120, 60,
                            nullptr, nullptr, nullptr, nullptr);
        UpdateWindow(w);
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    }
    if (poll_ms) return Poll(poll_ms);
    if (w) ShowWindow(w, SW_MINIMIZE);
    std::vector<std::wstring> texts;
    if (path.empty() || !ReadTexts(path, texts) || texts.empty()) {
        std::fputs("usage: bench-send.exe --texts FILE [--settle MS] (FILE: UTF-8, a text a line)\n", stderr);
        return 2;
    }
    const HWND frame = FindWindowW(kFrameClass, nullptr);
    if (!frame) {
        std::fputs("bench-send: no host frame window\n", stderr);
        return 1;
    }
    Sleep(settle_ms);
    if (w) {
        // As a run does right before its commands: the window restored and
        // what that brings processed.
        ShowWindow(w, SW_SHOWNORMAL);
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    }
    unsigned long long first = 0, last = 0;
    int sent = 0;
    std::vector<unsigned long long> times;
    times.reserve(texts.size());
    for (const std::wstring& text : texts) {
        std::vector<wchar_t> buffer(text.begin(), text.end());
        buffer.push_back(L'\0');
        COPYDATASTRUCT record{};
        record.dwData = 1;
        record.cbData = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        record.lpData = buffer.data();
        DWORD_PTR ignored = 0;
        times.push_back(UnixMicroseconds());
        if (!first) first = times.back();
        if (SendMessageTimeoutA(frame, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record), SMTO_ABORTIFHUNG, 10000,
                                &ignored)) {
            ++sent;
        }
        PostMessageA(frame, WM_NULL, 0, 0);
        last = UnixMicroseconds();
    }
    Sleep(settle_ms);
    if (!times_path.empty()) {
        std::string lines;
        for (unsigned long long t : times) lines += std::to_string(t) + "\n";
        if (!tarvel::common::WriteWholeFile(times_path, lines)) std::fprintf(stderr, "cannot write the send times\n");
    }
    std::printf("first_us=%llu last_us=%llu sent=%d\n", first, last, sent);
    return sent == static_cast<int>(texts.size()) ? 0 : 1;
}
