// bench-same-window.exe: Tarvel's main window made bare, the start-up
// baseline that looks like Tarvel. Plain Win32 calls only, and the same as
// Tarvel shows: the manifest (common controls 6, per-monitor dpi), the
// class styles and background, the caption, the dialog frame with the close
// box only, the topmost band, the font, the five controls at their places
// (the middle option checked), shown at the designed point. What Tarvel
// costs beyond it is its own code.
#include <windows.h>

namespace {

constexpr wchar_t kClass[] = L"BenchSameWindow";

struct Control {
    const wchar_t* caption;
    DWORD style;
    int left, top, width, height;
    bool checked;
};

const Control kControls[] = {
    {L"開始", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 8, 32, 47, 25, false},
    {L"２段(上付)", BS_AUTORADIOBUTTON | WS_GROUP, 88, 8, 73, 17, false},
    {L"２段(中間)", BS_AUTORADIOBUTTON | WS_TABSTOP, 88, 32, 73, 17, true},
    {L"1段", BS_AUTORADIOBUTTON, 8, 8, 49, 17, false},
    {L"?", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 56, 32, 25, 25, false},
};

LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(w, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    const DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_TOPMOST;
    const UINT dpi = GetDpiForSystem();
    auto scaled = [dpi](int v) { return MulDiv(v, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); };
    RECT frame{0, 0, scaled(169), scaled(62)};
    AdjustWindowRectExForDpi(&frame, style, FALSE, ex_style, dpi);
    HWND w = CreateWindowExW(ex_style, kClass, L"Tarvel", style, scaled(196), scaled(115), frame.right - frame.left,
                             frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (!w) return 1;
    HFONT font = CreateFontW(-scaled(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"ＭＳ Ｐゴシック");
    for (const Control& c : kControls) {
        HWND b = CreateWindowExW(0, L"BUTTON", c.caption, WS_CHILD | WS_VISIBLE | c.style, scaled(c.left),
                                 scaled(c.top), scaled(c.width), scaled(c.height), w, nullptr, instance, nullptr);
        SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (c.checked) SendMessageW(b, BM_SETCHECK, BST_CHECKED, 0);
    }
    ShowWindow(w, SW_SHOWNORMAL);
    UpdateWindow(w);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(w, &m)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    DeleteObject(font);
    return 0;
}
