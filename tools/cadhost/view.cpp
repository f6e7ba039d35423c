#include "tools/cadhost/view.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <string>

#include "tools/cadhost/drawing.h"
#include "tools/cadhost/wide.h"

namespace cadhost {

namespace win32 = tarvel::win32;

namespace {

win32::Font MakeFont(int height, int escapement) {
    LOGFONTW lf{};
    lf.lfHeight = -height;
    lf.lfEscapement = lf.lfOrientation = escapement;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    wcscpy(lf.lfFaceName, L"ＭＳ ゴシック");
    return win32::Font(CreateFontIndirectW(&lf));
}

POINT ToPixel(const ViewMapping& m, const Point& p) {
    const double px = (p.x - m.x0) * m.scale;
    const double py = m.height - (p.y - m.y0) * m.scale;
    auto clamp = [](double v) { return static_cast<LONG>(std::max(-30000.0, std::min(30000.0, v))); };
    return POINT{clamp(px), clamp(py)};
}

void Line(const ViewMapping& m, HDC dc, const Point& a, const Point& b) {
    const POINT pa = ToPixel(m, a), pb = ToPixel(m, b);
    MoveToEx(dc, pa.x, pa.y, nullptr);
    LineTo(dc, pb.x, pb.y);
}

// One WM_PAINT of a window that paints all of its client area, filled first
// with `background`; the paint ends with it.
class ClientPaint {
public:
    ClientPaint(HWND hwnd, HBRUSH background) : paint_(win32::BeginPaintDc(hwnd)) {
        GetClientRect(hwnd, &rc_);
        FillRect(dc(), &rc_, background);
    }
    HDC dc() const { return paint_.value().dc; }
    const RECT& rect() const { return rc_; }

private:
    win32::PaintDc paint_;
    RECT rc_{};
};

}  // namespace

PaintTools MakePaintTools() {
    PaintTools t;
    t.ui_font = MakeFont(14, 0);
    t.white.reset(CreateSolidBrush(RGB(255, 255, 255)));
    t.black.reset(CreateSolidBrush(RGB(0, 0, 0)));
    t.dimension.reset(CreatePen(PS_SOLID, 1, RGB(0, 255, 0)));
    t.tick.reset(CreatePen(PS_SOLID, 2, RGB(0, 255, 0)));
    t.pick.reset(CreatePen(PS_SOLID, 1, RGB(255, 255, 0)));
    return t;
}

ViewMapping FitView(const Interpreter& interp, const RECT& rc) {
    double minx = -500, maxx = 4500, miny = -1500, maxy = 2000;
    auto grow = [&](const Point& p) {
        minx = std::min(minx, p.x);
        maxx = std::max(maxx, p.x);
        miny = std::min(miny, p.y);
        maxy = std::max(maxy, p.y);
    };
    for (const auto& p : interp.Identified()) grow(p);
    // Whole dimensions, their texts included.
    const double scale = DrawingScale(interp.Dimensions(), interp.Identified());
    for (const auto& d : interp.Dimensions()) {
        const DimGeometry g = LayOut(d, scale);
        for (const Point& p : {d.p1, d.p2, g.ext1.b, g.ext2.b}) grow(p);
        for (const auto& t : g.texts) {
            const double r = t.height * (1 + t.text.size() / 2.0);
            grow(Point{t.center.x - r, t.center.y - r, 0});
            grow(Point{t.center.x + r, t.center.y + r, 0});
        }
    }
    const double w = std::max(1, static_cast<int>(rc.right - rc.left) - 40);
    const double hh = std::max(1, static_cast<int>(rc.bottom - rc.top) - 40);
    ViewMapping m;
    m.scale = std::min(w / (maxx - minx), hh / (maxy - miny));
    m.x0 = minx - (w / m.scale - (maxx - minx)) / 2 - 20 / m.scale;
    m.y0 = miny - (hh / m.scale - (maxy - miny)) / 2 - 20 / m.scale;
    m.height = rc.bottom - rc.top;
    return m;
}

Point ToDrawing(const ViewMapping& m, int px, int py) {
    Point p;
    p.x = std::round((px / m.scale + m.x0) * 10) / 10;
    p.y = std::round(((m.height - py) / m.scale + m.y0) * 10) / 10;
    return p;
}

void PaintView(const PaintTools& tools, const Interpreter& interp, HWND hwnd) {
    const ClientPaint paint(hwnd, tools.black.value());
    const HDC dc = paint.dc();
    const ViewMapping m = FitView(interp, paint.rect());
    SetBkMode(dc, TRANSPARENT);

    const double scale = DrawingScale(interp.Dimensions(), interp.Identified());
    // Puts the DC's own pen back at the end, whichever of ours is selected.
    const win32::Selection pen = win32::Select(dc, tools.dimension.value());
    SetTextColor(dc, RGB(255, 255, 255));
    SetTextAlign(dc, TA_CENTER | TA_BASELINE);
    for (const auto& d : interp.Dimensions()) {
        const DimGeometry g = LayOut(d, scale);
        SelectObject(dc, tools.dimension.value());
        Line(m, dc, g.ext1.a, g.ext1.b);
        Line(m, dc, g.ext2.a, g.ext2.b);
        Line(m, dc, g.line.a, g.line.b);
        SelectObject(dc, tools.tick.value());
        Line(m, dc, g.tick1.a, g.tick1.b);
        Line(m, dc, g.tick2.a, g.tick2.b);
        for (const auto& t : g.texts) {
            const int px_h = std::max(8, static_cast<int>(t.height * m.scale));
            const win32::Font text_font = MakeFont(px_h, t.angle == 0 ? 0 : 900);
            const win32::Selection selected = win32::Select(dc, text_font.value());
            // The baseline lies a little under the centre, across the text.
            Point base = t.center;
            if (t.angle == 0)
                base.y -= t.height * 0.4;
            else
                base.x += t.height * 0.4;
            const POINT pb = ToPixel(m, base);
            const std::wstring w = W(t.text);
            TextOutW(dc, pb.x, pb.y, w.c_str(), static_cast<int>(w.size()));
        }
    }
    SelectObject(dc, tools.pick.value());
    SetTextAlign(dc, TA_LEFT | TA_BOTTOM);
    SetTextColor(dc, RGB(255, 255, 0));
    const win32::Selection font = win32::Select(dc, tools.ui_font.value());
    int n = 0;
    for (const auto& p : interp.Identified()) {
        const POINT c = ToPixel(m, p);
        MoveToEx(dc, c.x - 5, c.y, nullptr);
        LineTo(dc, c.x + 6, c.y);
        MoveToEx(dc, c.x, c.y - 5, nullptr);
        LineTo(dc, c.x, c.y + 6);
        const std::wstring label = std::to_wstring(++n);
        TextOutW(dc, c.x + 4, c.y - 3, label.c_str(), static_cast<int>(label.size()));
    }
}

void PaintPrompt(const PaintTools& tools, const Interpreter& interp, HWND hwnd) {
    const ClientPaint paint(hwnd, tools.white.value());
    const HDC dc = paint.dc();
    SetBkColor(dc, RGB(255, 255, 255));
    SetTextColor(dc, RGB(0, 0, 0));
    const std::wstring w = W(interp.PromptLine());
    const win32::Selection font = win32::Select(dc, tools.ui_font.value());
    TextOutW(dc, paint.rect().left + 4, paint.rect().top + 2, w.c_str(), static_cast<int>(w.size()));
}

void PaintHistory(const PaintTools& tools, const Interpreter& interp, HWND hwnd) {
    const ClientPaint paint(hwnd, tools.white.value());
    const HDC dc = paint.dc();
    const auto& hist = interp.History();
    const win32::Selection font = win32::Select(dc, tools.ui_font.value());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    const int line_h = 16;
    int y = paint.rect().bottom - line_h - 2;
    for (size_t i = hist.size(); i > 0 && y > -line_h; --i, y -= line_h) {
        const std::wstring w = W(hist[i - 1]);
        TextOutW(dc, 4, y, w.c_str(), static_cast<int>(w.size()));
    }
}

}  // namespace cadhost
