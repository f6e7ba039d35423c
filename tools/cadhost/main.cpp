// cadhost.exe: a Win32 program that presents the windows of a Japanese
// AutoCAD 2004 and answers typed input (WM_COPYDATA) the way it does. The
// command interpreter, the formats and the drawing live in portable files;
// this file owns the windows, the clipboard, the files and the timers.
#include <windows.h>
#include <shellapi.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/win32/owner.h"
#include "support/win32/text.h"
#include "tools/cadhost/drawing.h"
#include "tools/cadhost/interpreter.h"
#include "tools/cadhost/options.h"
#include "tools/cadhost/text.h"

namespace {

namespace win32 = tarvel::win32;
using cadhost::Dimension;
using cadhost::Direction;
using cadhost::Point;

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
constexpr UINT_PTR kScriptTimer = 1;
constexpr int kPromptHeight = 20;
constexpr int kHistoryHeight = 88;
// How long the history copy waits for a clipboard another program holds.
constexpr DWORD kClipboardRetryMs = 500;

std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
std::u16string U(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

// The 8-bit windows, WM_COPYDATA and the clipboard's CF_TEXT all use the
// system's ANSI code page (not the thread's).
constexpr UINT kAnsiCodePage = CP_ACP;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File OpenFile(const std::u16string& path, const wchar_t* mode) { return File(_wfopen(W(path).c_str(), mode)); }

// Messages to the user: to the inherited standard error when there is one
// (a console, a pipe or a file), else to the parent's console, else in a
// message box, since a GUI program may have none of them.
void Tell(const std::u16string& text, bool error) {
    const std::string utf8 = cadhost::ToUtf8(text) + (text.empty() || text.back() != u'\n' ? "\n" : "");
    win32::Handle console;  // the parent's console, when it is written to
    HANDLE h = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (!h || h == INVALID_HANDLE_VALUE) {
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            console.reset(CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
            h = console.value();
        }
    }
    DWORD written = 0;
    if (h && h != INVALID_HANDLE_VALUE &&
        WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr))
        return;
    MessageBoxW(nullptr, W(text).c_str(), L"cadhost", MB_OK | (error ? MB_ICONSTOP : MB_ICONINFORMATION));
}

// The JSON Lines log: one object a line, flushed line by line so a reader
// sees every event as soon as it happened.
class Log {
public:
    bool Open(const std::u16string& path, bool times) {
        file_ = OpenFile(path, L"wb");
        times_ = times;
        return file_ != nullptr;
    }
    void Write(const std::string& kind, const std::string& fields = {}) {
        if (!file_) return;
        std::string line = "{\"kind\":" + cadhost::JsonString(cadhost::FromUtf8(kind));
        if (!fields.empty()) line += "," + fields;
        if (times_) {
            FILETIME ft;
            GetSystemTimePreciseAsFileTime(&ft);
            const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
            // 100 ns ticks since 1601 to microseconds since 1970.
            const std::uint64_t unix_us = (ticks - 116444736000000000ULL) / 10;
            line += ",\"ms\":" + std::to_string(GetTickCount64()) + ",\"unix_us\":" + std::to_string(unix_us);
        }
        line += "}\n";
        std::fwrite(line.data(), 1, line.size(), file_.get());
        std::fflush(file_.get());
    }
    void Close() { file_.reset(); }

private:
    File file_;
    bool times_ = false;
};

std::string Field(const char* name, const std::u16string& text) {
    return std::string("\"") + name + "\":" + cadhost::JsonString(text);
}
std::string PointField(const char* name, const Point& p) {
    return std::string("\"") + name + "\":[" + cadhost::JsonNumber(p.x) + "," + cadhost::JsonNumber(p.y) + "," +
           cadhost::JsonNumber(p.z) + "]";
}

class Events : public cadhost::InterpreterEvents {
public:
    explicit Events(Log& log) : log_(log) {}
    void OnHistory(const std::u16string& line) override { log_.Write("history", Field("text", line)); }
    void OnPrompt(const std::u16string& prompt) override { log_.Write("prompt", Field("text", prompt)); }
    void OnComplaint(const std::u16string& text) override { log_.Write("complaint", Field("text", text)); }
    void OnCancel(const std::u16string& line) override {
        log_.Write("cancel", "\"source\":\"" + source_ + "\"," + Field("text", line));
    }
    void OnIdentified(const Point& p) override { log_.Write("identified", PointField("point", p)); }
    void OnDimension(const Dimension& d) override {
        std::string f = "\"index\":" + std::to_string(++count_) + "," + PointField("p1", d.p1) + "," +
                        PointField("p2", d.p2) + ",\"dir\":\"" + (d.dir == Direction::H ? "H" : "V") + "\"," +
                        PointField("pos", d.pos) + ",\"text\":" + (d.text ? cadhost::JsonString(*d.text) : "null") +
                        ",\"measurement\":" + cadhost::JsonNumber(d.measurement) + "," +
                        Field("shown", cadhost::ResolvedText(d));
        log_.Write("dimension", f);
    }
    // Who is acting on the interpreter now.
    void SetSource(const char* source) { source_ = source; }

private:
    Log& log_;
    std::string source_ = "typed";
    int count_ = 0;
};

// The GDI objects of the paints, made once and kept.
struct PaintTools {
    win32::Font ui_font;
    win32::Brush white, black;
    win32::Pen dimension, tick, pick;
};

struct Host {
    Host() = default;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    // The windows point at the host (GWLP_USERDATA); a message that comes
    // after it is gone finds none and gets the default handling.
    ~Host() {
        for (HWND w : {frame, view, bar, cmdline, floating, text_wnd, headlands, mounttam})
            if (w) SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    }

    cadhost::Options options;
    std::vector<cadhost::PickAction> script;
    size_t next_action = 0;
    Log log;
    Events events{log};
    cadhost::Interpreter interp{&events};

    HINSTANCE instance = nullptr;
    bool ansi = false;
    HWND frame = nullptr, view = nullptr, bar = nullptr, cmdline = nullptr;
    HWND floating = nullptr, text_wnd = nullptr, headlands = nullptr, mounttam = nullptr;
    PaintTools paint;

    char key_lead = 0;  // the lead byte of a double-byte WM_CHAR pair, until its trail byte
    int commands = 0;   // typed commands received (dwData 1)
    int id_picks = 0;   // points given to the prompt of ID
    bool closing = false;

    bool timer_armed = false;
    std::uint64_t timer_serial = 0;
    bool outputs_written = false;

    // The view's mapping from drawing units to pixels (y up in the drawing).
    double view_scale = 1, view_x0 = 0, view_y0 = 0;
    int view_h = 0;
};

LRESULT DefProc(const Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return h.ansi ? DefWindowProcA(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

void Refresh(const Host& h) {
    for (HWND w : {h.headlands, h.mounttam, h.view})
        if (w) InvalidateRect(w, nullptr, TRUE);
}

// Arms the script timer for the ID prompt now showing; a prompt that went
// away before the timer fired gets nothing.
void ScheduleScript(Host& h) {
    const bool want = h.interp.InIdPrompt() && h.next_action < h.script.size();
    if (want) {
        if (!h.timer_armed || h.timer_serial != h.interp.PromptSerial()) {
            SetTimer(h.frame, kScriptTimer, static_cast<UINT>(h.options.think_ms), nullptr);
            h.timer_armed = true;
            h.timer_serial = h.interp.PromptSerial();
        }
    } else if (h.timer_armed) {
        KillTimer(h.frame, kScriptTimer);
        h.timer_armed = false;
    }
}

void AfterInput(Host& h) {
    Refresh(h);
    ScheduleScript(h);
}

// --delay: every answer is this late.
void Delay(const Host& h) {
    if (h.options.delay_ms > 0) Sleep(static_cast<DWORD>(h.options.delay_ms));
}

// --close-after-pick: the host goes away as AutoCAD closed by the user
// does, outputs written, right after the Nth point of ID.
void CountIdPick(Host& h) {
    ++h.id_picks;
    if (h.options.close_after_pick > 0 && h.id_picks == h.options.close_after_pick && !h.closing) {
        h.closing = true;
        h.log.Write("fault", "\"fault\":\"close-after-pick\",\"picks\":" + std::to_string(h.id_picks));
        PostMessageW(h.frame, WM_CLOSE, 0, 0);
    }
}

void RunScriptAction(Host& h) {
    KillTimer(h.frame, kScriptTimer);
    h.timer_armed = false;
    if (!h.interp.InIdPrompt() || h.timer_serial != h.interp.PromptSerial() || h.next_action >= h.script.size()) {
        ScheduleScript(h);
        return;
    }
    const cadhost::PickAction a = h.script[h.next_action++];
    h.events.SetSource("script");
    const std::string line = ",\"line\":" + std::to_string(a.line);
    switch (a.kind) {
        case cadhost::PickKind::Pick:
            h.log.Write("pick", "\"source\":\"script\"," + PointField("point", a.p) + line);
            if (h.interp.Pick(a.p)) CountIdPick(h);
            break;
        case cadhost::PickKind::End:
            h.log.Write("end", "\"source\":\"script\"" + line);
            h.interp.RightClick();
            break;
        case cadhost::PickKind::Cancel:
            h.interp.Escape();
            break;
        case cadhost::PickKind::Wait:
            // The same prompt stays up; its next action comes this much later.
            h.log.Write("wait", "\"wait_ms\":" + std::to_string(a.wait_ms) + line);
            h.events.SetSource("typed");
            SetTimer(h.frame, kScriptTimer, static_cast<UINT>(a.wait_ms + h.options.think_ms), nullptr);
            h.timer_armed = true;
            return;
    }
    h.events.SetSource("typed");
    if (h.next_action == h.script.size()) h.log.Write("script-done");
    AfterInput(h);
}

bool MouseMayPick(const Host& h) { return h.next_action >= h.script.size(); }

// WM_COPYDATA with dwData 1: typed input, UTF-16 for a Unicode frame, else
// 8-bit text of the ANSI code page. The length comes from cbData alone; the
// text ends early at a zero character.
LRESULT OnCopyData(Host& h, const COPYDATASTRUCT* cds) {
    if (!cds) return FALSE;
    Delay(h);
    const bool wide = IsWindowUnicode(h.frame) != FALSE;
    std::wstring text;
    if (cds->lpData && cds->cbData) {
        if (wide) {
            const auto* p = static_cast<const wchar_t*>(cds->lpData);
            size_t n = cds->cbData / 2;  // an odd last byte is no character
            for (size_t i = 0; i < n; ++i) {
                if (p[i] == 0) break;
                text += p[i];
            }
        } else {
            const auto* p = static_cast<const char*>(cds->lpData);
            const size_t n = strnlen(p, cds->cbData);
            text = win32::ToWide(std::string_view(p, n), kAnsiCodePage);
        }
    }
    std::string fields = "\"enc\":\"" + std::string(wide ? "W" : "A") + "\",\"cbData\":" + std::to_string(cds->cbData) +
                         "," + Field("text", U(text));
    if (cds->dwData != 1) {
        // Logged like every record, but it is not typed input.
        h.log.Write("command", fields + ",\"dwData\":" +
                                   std::to_string(static_cast<unsigned long long>(cds->dwData)) + ",\"ignored\":true");
        return FALSE;
    }
    h.log.Write("command", fields);
    h.events.SetSource("typed");
    h.interp.Type(U(text));
    AfterInput(h);
    ++h.commands;
    if (h.options.hang_after > 0 && h.commands == h.options.hang_after) {
        // Answered first, then the UI thread blocks without pumping: every
        // message to the host's windows waits until it wakes.
        ReplyMessage(TRUE);
        h.log.Write("fault", "\"fault\":\"hang\",\"after\":" + std::to_string(h.commands) +
                                 ",\"hang_ms\":" + std::to_string(h.options.hang_ms));
        Sleep(static_cast<DWORD>(h.options.hang_ms));
        h.log.Write("fault", "\"fault\":\"hang-over\"");
    }
    return TRUE;
}

// WM_COMMAND 32781 to the text window: the whole history onto the clipboard
// as text, before the message returns.
void CopyHistory(Host& h, HWND owner) {
    Delay(h);
    const std::wstring text = W(cadhost::JoinHistory(h.interp.History(), h.options.history_eol));
    const std::string ansi = win32::ToBytes(text, kAnsiCodePage);
    win32::ClipboardOpen clipboard = win32::OpenClipboardRetrying(owner, kClipboardRetryMs);
    if (!clipboard) {
        h.log.Write("copy-history", "\"ok\":false,\"error\":\"the clipboard could not be opened\"");
        return;
    }
    EmptyClipboard();
    bool ok = true;
    auto put = [&](UINT format, const void* data, size_t bytes) {
        win32::Global block(GlobalAlloc(GMEM_MOVEABLE, bytes));
        {
            const win32::LockedGlobal locked(block.value());
            if (!locked.data()) {
                ok = false;
                return;
            }
            std::memcpy(locked.data(), data, bytes);
        }
        if (SetClipboardData(format, block.value()))
            block.release();  // the clipboard's now
        else
            ok = false;
    };
    put(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    put(CF_TEXT, ansi.c_str(), ansi.size() + 1);
    clipboard.reset();  // closed before the log says the copy is done
    h.log.Write("copy-history", std::string("\"ok\":") + (ok ? "true" : "false") + ",\"lines\":" +
                                    std::to_string(h.interp.History().size()));
}

void WriteFileBytes(Host& h, const std::u16string& path, const std::string& bytes, const char* what) {
    File f = OpenFile(path, L"wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    if (f && std::fclose(f.release()) != 0) ok = false;
    h.log.Write("written", std::string("\"file\":\"") + what + "\"," + Field("path", path) + ",\"ok\":" +
                                     (ok ? "true" : "false"));
    if (!ok) Tell(u"cadhost: cannot write " + path, true);
}

void WriteOutputs(Host& h) {
    if (h.outputs_written) return;
    h.outputs_written = true;
    if (!h.options.dxf.empty())
        WriteFileBytes(h, h.options.dxf, cadhost::WriteDxf(h.interp.Dimensions(), h.interp.Identified()), "dxf");
    if (!h.options.svg.empty())
        WriteFileBytes(h, h.options.svg, cadhost::WriteSvg(h.interp.Dimensions(), h.interp.Identified()), "svg");
}

// ---- painting ----

win32::Font MakeFont(int height, int escapement) {
    LOGFONTW lf{};
    lf.lfHeight = -height;
    lf.lfEscapement = lf.lfOrientation = escapement;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    wcscpy(lf.lfFaceName, L"ＭＳ ゴシック");
    return win32::Font(CreateFontIndirectW(&lf));
}

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

void PaintPrompt(const Host& h, HWND hwnd) {
    const win32::PaintDc paint = win32::BeginPaintDc(hwnd);
    const HDC dc = paint.value().dc;
    RECT rc;
    GetClientRect(hwnd, &rc);
    SetBkColor(dc, RGB(255, 255, 255));
    SetTextColor(dc, RGB(0, 0, 0));
    FillRect(dc, &rc, h.paint.white.value());
    const std::wstring w = W(h.interp.PromptLine());
    const win32::Selection font = win32::Select(dc, h.paint.ui_font.value());
    TextOutW(dc, rc.left + 4, rc.top + 2, w.c_str(), static_cast<int>(w.size()));
}

void PaintHistory(const Host& h, HWND hwnd) {
    const win32::PaintDc paint = win32::BeginPaintDc(hwnd);
    const HDC dc = paint.value().dc;
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, h.paint.white.value());
    const auto& hist = h.interp.History();
    const win32::Selection font = win32::Select(dc, h.paint.ui_font.value());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    const int line_h = 16;
    int y = rc.bottom - line_h - 2;
    for (size_t i = hist.size(); i > 0 && y > -line_h; --i, y -= line_h) {
        const std::wstring w = W(hist[i - 1]);
        TextOutW(dc, 4, y, w.c_str(), static_cast<int>(w.size()));
    }
}

// Fits the drawing into the view, keeping at least a default area so the
// first picks of an empty drawing land where the user expects them.
void UpdateViewMapping(Host& h, const RECT& rc) {
    double minx = -500, maxx = 4500, miny = -1500, maxy = 2000;
    auto grow = [&](const Point& p) {
        minx = std::min(minx, p.x);
        maxx = std::max(maxx, p.x);
        miny = std::min(miny, p.y);
        maxy = std::max(maxy, p.y);
    };
    for (const auto& p : h.interp.Identified()) grow(p);
    // Whole dimensions, their texts included.
    const double scale = cadhost::DrawingScale(h.interp.Dimensions(), h.interp.Identified());
    for (const auto& d : h.interp.Dimensions()) {
        const cadhost::DimGeometry g = cadhost::LayOut(d, scale);
        for (const Point& p : {d.p1, d.p2, g.ext1.b, g.ext2.b}) grow(p);
        for (const auto& t : g.texts) {
            const double r = t.height * (1 + t.text.size() / 2.0);
            grow(Point{t.center.x - r, t.center.y - r, 0});
            grow(Point{t.center.x + r, t.center.y + r, 0});
        }
    }
    const double w = std::max(1, static_cast<int>(rc.right - rc.left) - 40);
    const double hh = std::max(1, static_cast<int>(rc.bottom - rc.top) - 40);
    h.view_scale = std::min(w / (maxx - minx), hh / (maxy - miny));
    h.view_x0 = minx - (w / h.view_scale - (maxx - minx)) / 2 - 20 / h.view_scale;
    h.view_y0 = miny - (hh / h.view_scale - (maxy - miny)) / 2 - 20 / h.view_scale;
    h.view_h = rc.bottom - rc.top;
}

POINT ToPixel(const Host& h, const Point& p) {
    const double px = (p.x - h.view_x0) * h.view_scale;
    const double py = h.view_h - (p.y - h.view_y0) * h.view_scale;
    auto clamp = [](double v) { return static_cast<LONG>(std::max(-30000.0, std::min(30000.0, v))); };
    return POINT{clamp(px), clamp(py)};
}

Point ToDrawing(const Host& h, int px, int py) {
    Point p;
    p.x = std::round((px / h.view_scale + h.view_x0) * 10) / 10;
    p.y = std::round(((h.view_h - py) / h.view_scale + h.view_y0) * 10) / 10;
    return p;
}

void Line(const Host& h, HDC dc, const Point& a, const Point& b) {
    const POINT pa = ToPixel(h, a), pb = ToPixel(h, b);
    MoveToEx(dc, pa.x, pa.y, nullptr);
    LineTo(dc, pb.x, pb.y);
}

void PaintView(Host& h, HWND hwnd) {
    const win32::PaintDc paint = win32::BeginPaintDc(hwnd);
    const HDC dc = paint.value().dc;
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, h.paint.black.value());
    UpdateViewMapping(h, rc);
    SetBkMode(dc, TRANSPARENT);

    const double scale = cadhost::DrawingScale(h.interp.Dimensions(), h.interp.Identified());
    // Puts the DC's own pen back at the end, whichever of ours is selected.
    const win32::Selection pen = win32::Select(dc, h.paint.dimension.value());
    SetTextColor(dc, RGB(255, 255, 255));
    SetTextAlign(dc, TA_CENTER | TA_BASELINE);
    for (const auto& d : h.interp.Dimensions()) {
        const cadhost::DimGeometry g = cadhost::LayOut(d, scale);
        SelectObject(dc, h.paint.dimension.value());
        Line(h, dc, g.ext1.a, g.ext1.b);
        Line(h, dc, g.ext2.a, g.ext2.b);
        Line(h, dc, g.line.a, g.line.b);
        SelectObject(dc, h.paint.tick.value());
        Line(h, dc, g.tick1.a, g.tick1.b);
        Line(h, dc, g.tick2.a, g.tick2.b);
        for (const auto& t : g.texts) {
            const int px_h = std::max(8, static_cast<int>(t.height * h.view_scale));
            const win32::Font text_font = MakeFont(px_h, t.angle == 0 ? 0 : 900);
            const win32::Selection selected = win32::Select(dc, text_font.value());
            // The baseline lies a little under the centre, across the text.
            Point base = t.center;
            if (t.angle == 0)
                base.y -= t.height * 0.4;
            else
                base.x += t.height * 0.4;
            const POINT pb = ToPixel(h, base);
            const std::wstring w = W(t.text);
            TextOutW(dc, pb.x, pb.y, w.c_str(), static_cast<int>(w.size()));
        }
    }
    SelectObject(dc, h.paint.pick.value());
    SetTextAlign(dc, TA_LEFT | TA_BOTTOM);
    SetTextColor(dc, RGB(255, 255, 0));
    const win32::Selection font = win32::Select(dc, h.paint.ui_font.value());
    int n = 0;
    for (const auto& p : h.interp.Identified()) {
        const POINT c = ToPixel(h, p);
        MoveToEx(dc, c.x - 5, c.y, nullptr);
        LineTo(dc, c.x + 6, c.y);
        MoveToEx(dc, c.x, c.y - 5, nullptr);
        LineTo(dc, c.x, c.y + 6);
        const std::wstring label = std::to_wstring(++n);
        TextOutW(dc, c.x + 4, c.y - 3, label.c_str(), static_cast<int>(label.size()));
    }
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

LRESULT GetPromptText(const Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Delay(h);
    const std::wstring w = W(h.interp.PromptLine());
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

LRESULT PromptProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_GETTEXTLENGTH:
        case WM_GETTEXT:
            // The window keeps "Headlands" as its name; asked for its text
            // it answers with the current prompt line.
            return GetPromptText(h, hwnd, msg, wp, lp);
        case WM_PAINT:
            PaintPrompt(h, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
    }
    return DefProc(h, hwnd, msg, wp, lp);
}

LRESULT HistoryProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT:
            PaintHistory(h, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
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

// WM_CHAR: a UTF-16 unit for a Unicode window; for an ANSI window a byte of
// the code page, a double-byte character arriving as two messages.
void TypeKey(Host& h, WPARAM ch) {
    std::wstring w;
    if (h.ansi) {
        const char b = static_cast<char>(ch & 0xFF);
        if (h.key_lead) {
            const char pair[2] = {h.key_lead, b};
            h.key_lead = 0;
            w = win32::ToWide(std::string_view(pair, 2), kAnsiCodePage);
        } else if (win32::IsLeadByte(kAnsiCodePage, static_cast<unsigned char>(b))) {
            h.key_lead = b;
            return;
        } else {
            w = win32::ToWide(std::string_view(&b, 1), kAnsiCodePage);
        }
    } else {
        w = std::wstring(1, static_cast<wchar_t>(ch));
    }
    h.events.SetSource("keyboard");
    h.interp.Type(U(w));
    h.events.SetSource("typed");
    AfterInput(h);
}

LRESULT ViewProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT:
            PaintView(h, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
            SetFocus(hwnd);
            if (MouseMayPick(h) && h.interp.WantsPoint()) {
                RECT rc;
                GetClientRect(hwnd, &rc);
                UpdateViewMapping(h, rc);  // the mapping the user sees
                const Point p = ToDrawing(h, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
                h.log.Write("pick", "\"source\":\"mouse\"," + PointField("point", p));
                h.events.SetSource("mouse");
                const bool id = h.interp.InIdPrompt();
                if (h.interp.Pick(p) && id) CountIdPick(h);
                h.events.SetSource("typed");
                AfterInput(h);
            }
            return 0;
        case WM_RBUTTONDOWN:
            if (MouseMayPick(h) && !h.interp.Idle()) {
                h.log.Write("end", "\"source\":\"mouse\"");
                h.events.SetSource("mouse");
                h.interp.RightClick();
                h.events.SetSource("typed");
                AfterInput(h);
            }
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

LRESULT TextProc(Host& h, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wp) == kCopyHistoryCommand) {
                CopyHistory(h, hwnd);
                return 0;
            }
            break;
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

using HostProc = LRESULT (*)(Host&, HWND, UINT, WPARAM, LPARAM);

// Every exception stops at the window procedure: the host must keep running
// whatever it is sent.
template <HostProc Proc>
LRESULT CALLBACK Guarded(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Host* host = HostOf(hwnd, msg, lp);
    if (!host) return IsWindowUnicode(hwnd) ? DefWindowProcW(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
    try {
        return Proc(*host, hwnd, msg, wp, lp);
    } catch (const std::exception& e) {
        host->log.Write("error", "\"what\":" + cadhost::JsonString(cadhost::FromUtf8(e.what())));
    } catch (...) {
        host->log.Write("error", "\"what\":\"unknown\"");
    }
    return 0;
}

bool Register(const Host& h, const wchar_t* name, WNDPROC proc, UINT style, HBRUSH brush) {
    HCURSOR cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    HICON icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    if (h.ansi) {
        const std::string a = win32::ToBytes(name, kAnsiCodePage);
        WNDCLASSA wc{};
        wc.style = style;
        wc.lpfnWndProc = proc;
        wc.hInstance = h.instance;
        wc.hCursor = cursor;
        wc.hIcon = icon;
        wc.hbrBackground = brush;
        wc.lpszClassName = a.c_str();
        return RegisterClassA(&wc) != 0;
    }
    WNDCLASSW wc{};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = h.instance;
    wc.hCursor = cursor;
    wc.hIcon = icon;
    wc.hbrBackground = brush;
    wc.lpszClassName = name;
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

bool CreateWindows(Host& h) {
    HBRUSH face = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    if (!Register(h, kFrameClass, Guarded<FrameProc>, CS_DBLCLKS, face) ||
        !Register(h, kFloatClass, Guarded<FloatProc>, CS_DBLCLKS, face) ||
        !Register(h, kTextClass, Guarded<TextProc>, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, face) ||
        !Register(h, kViewClass, Guarded<ViewProc>, CS_HREDRAW | CS_VREDRAW, nullptr) ||
        !Register(h, kBarClass, Guarded<CmdLineProc>, 0, face) ||
        !Register(h, kCmdLineClass, Guarded<CmdLineProc>, 0, face) ||
        !Register(h, kPromptClass, Guarded<PromptProc>, 0, nullptr) ||
        !Register(h, kHistoryClass, Guarded<HistoryProc>, 0, nullptr))
        return false;

    const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    h.frame = Create(h, 0, kFrameClass, kFrameTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 1000, 740, nullptr);
    if (!h.frame) return false;
    h.view = Create(h, WS_EX_CLIENTEDGE, kViewClass, L"", child, 0, 0, 100, 100, h.frame);

    HWND pane_parent = nullptr;
    switch (h.options.layout) {
        case cadhost::Layout::Docked:
            // Docked: frame > control bar > command-line frame > the two panes.
            h.bar = Create(h, 0, kBarClass, L"", child, 0, 0, 100, 100, h.frame);
            h.cmdline = Create(h, 0, kCmdLineClass, kFloatTitle, child, 0, 0, 100, 100, h.bar);
            pane_parent = h.cmdline;
            break;
        case cadhost::Layout::Floating:
            h.floating = Create(h, WS_EX_TOOLWINDOW, kFloatClass, kFloatTitle,
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, 40, 600, 900, 140,
                                h.frame);
            pane_parent = h.floating;
            break;
        case cadhost::Layout::Text:
            break;
    }
    // The text window exists in every layout; it is shown when it holds
    // the command line.
    const bool text_layout = h.options.layout == cadhost::Layout::Text;
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

bool ReadWholeFile(const std::u16string& path, std::string& out) {
    const File f = OpenFile(path, L"rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
        out.append(buf, n);
        if (out.size() > (64u << 20)) return false;
    }
    return !std::ferror(f.get());
}

int Run(HINSTANCE instance) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::u16string> args;
    for (int i = 1; argv && i < argc; ++i) args.push_back(U(argv[i]));
    if (argv) LocalFree(argv);

    std::u16string error;
    const auto options = cadhost::ParseOptions(args, error);
    if (!options) {
        Tell(error, true);
        return 2;
    }
    if (options->help) {
        Tell(cadhost::UsageText(), false);
        return 0;
    }

    // The windows are never destroyed (see WM_CLOSE): the host they point
    // at lasts until the process ends, as they do.
    static Host host;
    host.options = *options;
    host.instance = instance;
    host.ansi = options->ansi;
    host.interp.SetLastPointText(options->lastpoint);
    host.interp.SetPromptPad(static_cast<size_t>(options->prompt_pad));

    if (!options->picks.empty()) {
        std::string content;
        if (!ReadWholeFile(options->picks, content)) {
            Tell(u"cadhost: cannot read the pick script " + options->picks, true);
            return 2;
        }
        const auto script = cadhost::ParsePickScript(content, error);
        if (!script) {
            Tell(u"cadhost: pick script " + options->picks + u", " + error, true);
            return 2;
        }
        host.script = *script;
    }
    if (!options->log.empty() && !host.log.Open(options->log, options->log_times)) {
        Tell(u"cadhost: cannot write the log " + options->log, true);
        return 2;
    }

    host.paint = MakePaintTools();
    if (!CreateWindows(host)) {
        Tell(u"cadhost: the windows could not be created", true);
        return 1;
    }
    const char* layout = options->layout == cadhost::Layout::Docked     ? "docked"
                         : options->layout == cadhost::Layout::Floating ? "floating"
                                                                        : "text";
    char handles[160];
    std::snprintf(handles, sizeof handles, "\"frame\":%llu,\"text\":%llu,\"headlands\":%llu,\"mounttam\":%llu",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(host.frame)),
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(host.text_wnd)),
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(host.headlands)),
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(host.mounttam)));
    host.log.Write("start", std::string("\"layout\":\"") + layout + "\",\"enc\":\"" + (host.ansi ? "A" : "W") +
                                "\",\"pid\":" + std::to_string(GetCurrentProcessId()) + ",\"picks\":" +
                                std::to_string(host.script.size()) + "," + handles);
    host.log.Write("prompt", Field("text", host.interp.Prompt()));

    MSG msg;
    BOOL r;
    while ((r = host.ansi ? GetMessageA(&msg, nullptr, 0, 0) : GetMessageW(&msg, nullptr, 0, 0)) != 0 && r != -1) {
        TranslateMessage(&msg);
        if (host.ansi)
            DispatchMessageA(&msg);
        else
            DispatchMessageW(&msg);
    }
    WriteOutputs(host);
    host.log.Write("exit");
    host.log.Close();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        return Run(instance);
    } catch (const std::exception& e) {
        Tell(u"cadhost: " + cadhost::FromUtf8(e.what()), true);
        return 1;
    }
}
