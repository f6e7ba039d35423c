#include "tools/cadhost/host_windows.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

#include "support/win32/text.h"
#include "tools/cadhost/clipboard.h"
#include "tools/cadhost/host.h"
#include "tools/cadhost/input.h"
#include "tools/cadhost/wide.h"

namespace cadhost {

namespace win32 = tarvel::win32;

namespace {

// MFC-style class names as AutoCAD 2004's windows have them: hInstance,
// class style, cursor, brush, icon. ":8:" is CS_DBLCLKS, ":b:" adds
// CS_HREDRAW | CS_VREDRAW.
constexpr wchar_t kFrameClass[] = L"Afx:00400000:8:00010003:00000000:00000000";
constexpr wchar_t kFloatClass[] = L"Afx:00400000:8:00010003:00000010:00000000";
constexpr wchar_t kTextClass[] = L"Afx:00400000:b:00010003:00000006:00000000";
constexpr wchar_t kViewClass[] = L"Afx:00400000:3:00010003:00000000:00000000";
constexpr wchar_t kBarClass[] = L"AfxControlBar42s";
constexpr wchar_t kCmdLineClass[] = L"AcCmdLineFrame";
constexpr wchar_t kPromptClass[] = L"AcCmdLinePrompt";
constexpr wchar_t kHistoryClass[] = L"AcCmdLineHistory";

constexpr wchar_t kFrameTitle[] = L"AutoCAD 2004 - [Drawing1.dwg]";
constexpr wchar_t kFloatTitle[] = L"コマンド ライン";
constexpr wchar_t kTextTitle[] = L"AutoCAD テキスト ウィンドウ - Drawing1.dwg";

constexpr WORD kCopyHistoryCommand = 32781;
constexpr int kPromptHeight = 20;
constexpr int kHistoryHeight = 88;

using HostProc = LRESULT (*)(Host&, HWND, UINT, WPARAM, LPARAM);

LRESULT DefProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return h.ansi ? DefWindowProcA(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

// ---- layout of the command-line windows ----

// Puts the prompt line under the history pane, filling `parent`'s client.
void LayoutCmdLine(const Host& h, HWND parent) {
    RECT rc;
    GetClientRect(parent, &rc);
    const int w = rc.right, hgt = rc.bottom;
    if (h.mounttam && GetParent(h.mounttam) == parent)
        MoveWindow(h.mounttam, 0, 0, w, std::max(0, hgt - kPromptHeight), TRUE);
    if (h.headlands && GetParent(h.headlands) == parent)
        MoveWindow(h.headlands, 0, std::max(0, hgt - kPromptHeight), w, kPromptHeight, TRUE);
}

void LayoutFrame(const Host& h) {
    RECT rc;
    GetClientRect(h.frame, &rc);
    const int bar_h = h.bar ? kHistoryHeight + kPromptHeight + 6 : 0;
    if (h.view) MoveWindow(h.view, 0, 0, rc.right, std::max(0, static_cast<int>(rc.bottom) - bar_h), TRUE);
    if (h.bar) {
        MoveWindow(h.bar, 0, rc.bottom - bar_h, rc.right, bar_h, TRUE);
        MoveWindow(h.cmdline, 3, 3, std::max(0, static_cast<int>(rc.right) - 6), bar_h - 6, TRUE);
    }
}

// ---- window procedures ----

LRESULT GetPromptText(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Delay(h);
    const std::wstring w = W(h.interp.PromptLine());
    if (msg == WM_GETTEXT && h.options.log_reads) h.log.Write("read", {{"text", ToUtf8(U(w))}});
    if (!IsWindowUnicode(hwnd)) {
        const std::string a = win32::ToBytes(w, kAnsiCodePage);
        if (msg == WM_GETTEXTLENGTH) return static_cast<LRESULT>(a.size());
        if (wp == 0 || !lp) return 0;
        size_t n = std::min(a.size(), static_cast<size_t>(wp) - 1);
        // Never cut a double-byte character in half.
        size_t k = 0;
        while (k < n) {
            const size_t step = win32::IsLeadByte(kAnsiCodePage, static_cast<unsigned char>(a[k])) ? 2 : 1;
            if (k + step > n) break;
            k += step;
        }
        std::memcpy(reinterpret_cast<char*>(lp), a.data(), k);
        reinterpret_cast<char*>(lp)[k] = 0;
        return static_cast<LRESULT>(k);
    }
    if (msg == WM_GETTEXTLENGTH) return static_cast<LRESULT>(w.size());
    if (wp == 0 || !lp) return 0;
    size_t n = std::min(w.size(), static_cast<size_t>(wp) - 1);
    if (n > 0 && n < w.size() && IS_HIGH_SURROGATE(w[n - 1])) --n;
    std::memcpy(reinterpret_cast<wchar_t*>(lp), w.data(), n * sizeof(wchar_t));
    reinterpret_cast<wchar_t*>(lp)[n] = 0;
    return static_cast<LRESULT>(n);
}

using Painter = void (*)(const PaintTools&, const Interpreter&, HWND);

// A window that paints all of itself: WM_PAINT paints it and WM_ERASEBKGND
// erases nothing; every other message goes to `Proc`.
template <Painter Paint, HostProc Proc>
LRESULT Painted(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        Paint(h.paint, h.interp, hwnd);
        return 0;
    }
    if (msg == WM_ERASEBKGND) return 1;
    return Proc(h, hwnd, msg, wp, lp);
}

LRESULT PromptProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_GETTEXTLENGTH:
        case WM_GETTEXT:
            // The window keeps "Headlands" as its name; asked for its text
            // it answers with the current prompt line.
            return GetPromptText(h, hwnd, msg, wp, lp);
    }
    return DefProc(h, hwnd, msg, wp, lp);
}

LRESULT CmdLineProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_SIZE) {
        LayoutCmdLine(h, hwnd);
        return 0;
    }
    return DefProc(h, hwnd, msg, wp, lp);
}

LRESULT ViewProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_LBUTTONDOWN:
            SetFocus(hwnd);
            MousePick(h, hwnd, lp);
            return 0;
        case WM_RBUTTONDOWN:
            MouseEnd(h);
            return 0;
        case WM_CHAR:
            TypeKey(h, wp);
            return 0;
        case WM_SIZE:
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
    }
    return DefProc(h, hwnd, msg, wp, lp);
}

LRESULT FrameProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COPYDATA:
            return OnCopyData(h, reinterpret_cast<const COPYDATASTRUCT*>(lp));
        case WM_NULL:
            return 0;
        case WM_TIMER:
            if (wp == kScriptTimer) {
                RunScriptAction(h);
                return 0;
            }
            if (wp == kViewTimer) {
                KillTimer(hwnd, kViewTimer);
                h.view_timer_armed = false;
                if (h.view) InvalidateRect(h.view, nullptr, TRUE);
                return 0;
            }
            break;
        case WM_SIZE:
            if (hwnd == h.frame) LayoutFrame(h);
            return 0;
        case WM_CHAR:
            TypeKey(h, wp);
            return 0;
        case WM_CLOSE:
            // The process ends with its windows: destroying a shown window
            // first makes Wine's X11 driver wait two seconds for a window
            // manager that Xvfb does not have.
            WriteOutputs(h);
            h.log.Write("close");
            PostQuitMessage(0);
            return 0;
        case WM_ENDSESSION:
            if (wp) WriteOutputs(h);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefProc(h, hwnd, msg, wp, lp);
}

// The floating command line and the text window: closing them only hides
// them, as AutoCAD does.
LRESULT FloatProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SIZE:
            LayoutCmdLine(h, hwnd);
            return 0;
        case WM_CLOSE:
            ShowWindow(hwnd, SW_HIDE);
            return 0;
        case WM_CHAR:
            TypeKey(h, wp);
            return 0;
    }
    return DefProc(h, hwnd, msg, wp, lp);
}

// The text window also copies its history onto the clipboard.
LRESULT TextProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && LOWORD(wp) == kCopyHistoryCommand) {
        CopyHistory(h, hwnd);
        return 0;
    }
    return FloatProc(h, hwnd, msg, wp, lp);
}

// The host a window belongs to: given to CreateWindowEx and kept in the
// window from WM_NCCREATE on. Null for a message before that (the
// WM_GETMINMAXINFO of a top-level window) and after the host is gone.
Host* HostOf(HWND hwnd, UINT msg, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        // lpCreateParams stands at the same place in CREATESTRUCTA.
        auto* host = static_cast<Host*>(reinterpret_cast<const CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
        return host;
    }
    return reinterpret_cast<Host*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// Every exception stops at the window procedure: the host must keep running
// whatever it is sent.
template <HostProc Proc>
LRESULT CALLBACK Guarded(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Host* host = HostOf(hwnd, msg, lp);
    if (!host) return IsWindowUnicode(hwnd) ? DefWindowProcW(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
    try {
        return Proc(*host, hwnd, msg, wp, lp);
    } catch (const std::exception& e) {
        host->log.Write("error", {{"what", e.what()}});
    } catch (...) {
        host->log.Write("error", {{"what", "unknown"}});
    }
    return 0;
}

// ---- classes and windows ----

// A WNDCLASSA or WNDCLASSW with the name in its character set.
template <class WndClass, class Char>
WndClass ClassOf(const Host& h, const Char* name, WNDPROC proc, UINT style, HBRUSH brush) {
    WndClass wc{};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = h.instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.hbrBackground = brush;
    wc.lpszClassName = name;
    return wc;
}

bool Register(const Host& h, const wchar_t* name, WNDPROC proc, UINT style, HBRUSH brush) {
    if (h.ansi) {
        const std::string a = win32::ToBytes(name, kAnsiCodePage);
        const WNDCLASSA wc = ClassOf<WNDCLASSA>(h, a.c_str(), proc, style, brush);
        return RegisterClassA(&wc) != 0;
    }
    const WNDCLASSW wc = ClassOf<WNDCLASSW>(h, name, proc, style, brush);
    return RegisterClassW(&wc) != 0;
}

// Each window gets the host with its creation (see HostOf).
HWND Create(Host& h, DWORD ex, const wchar_t* cls, const wchar_t* title, DWORD style, int x, int y, int w, int hgt,
            HWND parent) {
    if (h.ansi) {
        const std::string cls_a = win32::ToBytes(cls, kAnsiCodePage), title_a = win32::ToBytes(title, kAnsiCodePage);
        return CreateWindowExA(ex, cls_a.c_str(), title_a.c_str(), style, x, y, w, hgt, parent, nullptr, h.instance,
                               &h);
    }
    return CreateWindowExW(ex, cls, title, style, x, y, w, hgt, parent, nullptr, h.instance, &h);
}

}  // namespace

bool CreateWindows(Host& h) {
    HBRUSH face = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    if (!Register(h, kFrameClass, Guarded<FrameProc>, CS_DBLCLKS, face) ||
        !Register(h, kFloatClass, Guarded<FloatProc>, CS_DBLCLKS, face) ||
        !Register(h, kTextClass, Guarded<TextProc>, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, face) ||
        !Register(h, kViewClass, Guarded<Painted<PaintView, ViewProc>>, CS_HREDRAW | CS_VREDRAW, nullptr) ||
        !Register(h, kBarClass, Guarded<CmdLineProc>, 0, face) ||
        !Register(h, kCmdLineClass, Guarded<CmdLineProc>, 0, face) ||
        !Register(h, kPromptClass, Guarded<Painted<PaintPrompt, PromptProc>>, 0, nullptr) ||
        !Register(h, kHistoryClass, Guarded<Painted<PaintHistory, DefProc>>, 0, nullptr))
        return false;

    const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    h.frame = Create(h, 0, kFrameClass, kFrameTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 1000, 740, nullptr);
    if (!h.frame) return false;
    h.view = Create(h, WS_EX_CLIENTEDGE, kViewClass, L"", child, 0, 0, 100, 100, h.frame);

    HWND pane_parent = nullptr;
    switch (h.options.layout) {
        case Layout::Docked:
            // Docked: frame > control bar > command-line frame > the two panes.
            h.bar = Create(h, 0, kBarClass, L"", child, 0, 0, 100, 100, h.frame);
            h.cmdline = Create(h, 0, kCmdLineClass, kFloatTitle, child, 0, 0, 100, 100, h.bar);
            pane_parent = h.cmdline;
            break;
        case Layout::Floating:
            h.floating = Create(h, WS_EX_TOOLWINDOW, kFloatClass, kFloatTitle,
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, 40, 600, 900, 140, h.frame);
            pane_parent = h.floating;
            break;
        case Layout::Text:
            break;
    }
    // The text window exists in every layout; it is shown when it holds
    // the command line.
    const bool text_layout = h.options.layout == Layout::Text;
    h.text_wnd = Create(h, 0, kTextClass, kTextTitle, WS_OVERLAPPEDWINDOW, 0, 745, 1000, 270, nullptr);
    if (!h.text_wnd) return false;
    if (text_layout) pane_parent = h.text_wnd;

    h.mounttam = Create(h, WS_EX_CLIENTEDGE, kHistoryClass, L"MountTam", child, 0, 0, 100, kHistoryHeight, pane_parent);
    h.headlands = Create(h, 0, kPromptClass, L"Headlands", child, 0, 0, 100, kPromptHeight, pane_parent);
    if (!h.view || !h.mounttam || !h.headlands) return false;
    LayoutCmdLine(h, pane_parent);
    LayoutFrame(h);
    ShowWindow(h.frame, SW_SHOW);
    UpdateWindow(h.frame);
    // Shown after the frame, so they stand in front of it.
    for (HWND w : {h.floating, text_layout ? h.text_wnd : nullptr}) {
        if (!w) continue;
        ShowWindow(w, SW_SHOWNA);
        SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        UpdateWindow(w);
    }
    return true;
}

}  // namespace cadhost
