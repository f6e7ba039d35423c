#include "app/About.h"

#include <vector>

#include "app/control_ids.h"

namespace tarvel::app {

TAboutBox* AboutBox = nullptr;

namespace {

constexpr wchar_t kImageClass[] = L"TImage";

// The stored position is replaced by centring on the first showing.
const FormLayout kAboutLayout{
    L"TAboutBox",      L"操作説明",         Rect96{200, 108, 644, 704},
    kDialogFrameStyle, kDialogFrameExStyle, FontChoice{L"MS Sans Serif", 11, SHIFTJIS_CHARSET}};

}  // namespace

TAboutBox::TAboutBox(Application& app, HWND owner, HMODULE module)
    : TAboutBox(app, owner, module, ScreenPictureDepth()) {}

TAboutBox::TAboutBox(Application& app, HWND owner, HMODULE module, PictureDepth depth)
    : Form(app, kAboutLayout, owner), module_(module), depth_(depth) {}

void TAboutBox::LoadPicture() {
    if (!picture_.Empty()) return;
    Picture picture = DecodeJpeg(RcData(module_, kHelpPictureResource), depth_);
    if (!picture.palette.empty()) {
        std::vector<std::uint8_t> buffer(sizeof(LOGPALETTE) + picture.palette.size() * sizeof(PALETTEENTRY));
        auto* logical = reinterpret_cast<LOGPALETTE*>(buffer.data());
        logical->palVersion = 0x300;
        logical->palNumEntries = static_cast<WORD>(picture.palette.size());
        for (size_t i = 0; i < picture.palette.size(); ++i) {
            logical->palPalEntry[i] =
                PALETTEENTRY{picture.palette[i].rgbRed, picture.palette[i].rgbGreen, picture.palette[i].rgbBlue, 0};
        }
        palette_.reset(CreatePalette(logical));
    }
    picture_ = std::move(picture);
}

void TAboutBox::OnCreate() {
    RegisterWindowClass(App().Instance(), kImageClass, &BoundWindowProc<ImageControl>, 0, nullptr, nullptr);
    // OKButton first: the first child is the top of the siblings' order, so
    // the button lies over the picture.
    AddControl(L"OKButton", L"BUTTON", L"閉じる", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP | WS_CLIPSIBLINGS,
               Rect96{542, 16, 63, 21}, kIdOKButton);
    AddControl(L"Image1", kImageClass, L"", WS_CLIPSIBLINGS, Rect96{0, 0, 641, 705}, kIdImage1, &image_);
}

void TAboutBox::OnShowModal() {
    LoadPicture();  // complete before the window shows
    // Laid out again for the work area as it is now (the task bar may have
    // moved since), where it was left.
    ApplyDpi(GetDpiForWindow(Handle()), nullptr);
    if (!shown_before_) CentreInWorkArea();
    shown_before_ = true;
}

RECT TAboutBox::WorkArea() const {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    HWND owner = GetWindow(Handle(), GW_OWNER);
    GetMonitorInfoW(MonitorFromWindow(owner ? owner : Handle(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    return monitor.rcWork;
}

UINT TAboutBox::LayoutDpi(UINT dpi, SIZE frame) const {
    const RECT work = WorkArea();
    const Rect96& designed = DesignedBounds();
    return FitLayoutDpi(dpi, SIZE{designed.width, designed.height}, frame,
                        SIZE{work.right - work.left, work.bottom - work.top});
}

void TAboutBox::CentreInWorkArea() {
    RECT window{};
    GetWindowRect(Handle(), &window);
    const RECT work = WorkArea();
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int left = work.left + (work.right - work.left - width) / 2;
    int top = work.top + (work.bottom - work.top - height) / 2;
    // On a screen smaller than the window keep the caption reachable.
    if (left < work.left) left = work.left;
    if (top < work.top) top = work.top;
    SetWindowPos(Handle(), nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TAboutBox::OnDpiChanged() {
    if (HWND image = Control(L"Image1")) InvalidateRect(image, nullptr, TRUE);
}

void TAboutBox::OnCommand(int id, int code, HWND) {
    // Escape arrives as IDCANCEL and does nothing: no control cancels.
    if (id != kIdOKButton || code != BN_CLICKED) return;
    if (Modal()) {
        SetModalResult(IDOK);
    } else {
        ShowWindow(Handle(), SW_HIDE);
    }
}

LRESULT TAboutBox::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case DM_GETDEFID:
            return MAKELRESULT(kIdOKButton, DC_HASDEFID);
        case WM_QUERYNEWPALETTE:
        case WM_PALETTECHANGED:
            if (palette_ && !(message == WM_PALETTECHANGED && reinterpret_cast<HWND>(wparam) == Handle())) {
                if (HWND image = Control(L"Image1")) InvalidateRect(image, nullptr, FALSE);
                return TRUE;
            }
            break;
    }
    return Form::HandleMessage(message, wparam, lparam);
}

LRESULT TAboutBox::ImageControl::WindowMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT covers every pixel
        case WM_PAINT:
            box_.PaintImage(window_);
            return 0;
    }
    return DefWindowProcW(window_, message, wparam, lparam);
}

void TAboutBox::PaintImage(HWND window) {
    const std::vector<std::uint8_t> info = picture_.BitmapInfo();  // before BeginPaint: it may throw
    const win32::PaintDc paint = win32::BeginPaintDc(window);
    const HDC dc = paint.value().dc;
    RECT client{};
    GetClientRect(window, &client);
    // The picture at its natural size at 96 dpi, scaled with the layout
    // elsewhere (smoothly); the strips it leaves show the button face.
    const int width = ScaleForDpi(picture_.width, Dpi());
    const int height = ScaleForDpi(picture_.height, Dpi());
    win32::PaletteSelection palette;
    if (palette_) {
        palette = win32::SelectPaletteInto(dc, palette_.value());
        RealizePalette(dc);
    }
    if (!picture_.Empty()) {
        if (width != picture_.width || height != picture_.height) {
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
        }
        StretchDIBits(dc, 0, 0, width, height, 0, 0, picture_.width, picture_.height, picture_.bits.data(),
                      reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS, SRCCOPY);
    }
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    const RECT right{width, 0, client.right, client.bottom};
    const RECT below{0, height, width, client.bottom};
    if (right.left < right.right) FillRect(dc, &right, face);
    if (below.top < below.bottom) FillRect(dc, &below, face);
}

}  // namespace tarvel::app
