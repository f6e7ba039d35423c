// One move-only owner for every kind of Win32 resource the code holds: the
// traits of a kind say what its value is, when the value holds something,
// and how it is given back. reset() gives it back and keeps GetLastError as
// it was, so an owner going out of scope never hides the error of the call
// that made the caller leave.
#pragma once

#include <windows.h>

#include <utility>

namespace tarvel::win32 {

template <class Traits>
class Owner {
public:
    using Value = typename Traits::Value;

    Owner() noexcept = default;
    explicit Owner(Value value) noexcept : value_(value) {}
    Owner(Owner&& other) noexcept : value_(std::exchange(other.value_, Value{})) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Value{}));
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    ~Owner() { reset(); }

    const Value& value() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::Holds(value_); }

    // Gives the resource up without giving it back (to whoever takes it).
    Value release() noexcept { return std::exchange(value_, Value{}); }

    // Gives the resource back and holds `value` instead.
    void reset(Value value = Value{}) noexcept {
        if (Traits::Holds(value_)) {
            const DWORD error = GetLastError();
            Traits::Free(value_);
            SetLastError(error);
        }
        value_ = value;
    }

private:
    Value value_{};
};

// ---- kinds ----

// A kernel handle: CloseHandle.
struct HandleTraits {
    using Value = HANDLE;
    static bool Holds(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
    static void Free(HANDLE h) { CloseHandle(h); }
};
using Handle = Owner<HandleTraits>;

// A GDI object of type T (HFONT, HBRUSH, HPEN, HBITMAP, HPALETTE): DeleteObject.
template <class T>
struct GdiTraits {
    using Value = T;
    static bool Holds(T object) { return object != nullptr; }
    static void Free(T object) { DeleteObject(object); }
};
template <class T>
using Gdi = Owner<GdiTraits<T>>;
using Font = Gdi<HFONT>;
using Brush = Gdi<HBRUSH>;
using Pen = Gdi<HPEN>;
using Bitmap = Gdi<HBITMAP>;
using Palette = Gdi<HPALETTE>;

// A window's device context from GetDC: ReleaseDC on the same window.
struct WindowDcValue {
    HWND window = nullptr;
    HDC dc = nullptr;
};
struct WindowDcTraits {
    using Value = WindowDcValue;
    static bool Holds(const Value& v) { return v.dc != nullptr; }
    static void Free(const Value& v) { ReleaseDC(v.window, v.dc); }
};
using WindowDc = Owner<WindowDcTraits>;
inline WindowDc GetWindowDc(HWND window) { return WindowDc(WindowDcValue{window, GetDC(window)}); }

// The device context of a WM_PAINT: EndPaint.
struct PaintValue {
    HWND window = nullptr;
    PAINTSTRUCT paint{};
    HDC dc = nullptr;
};
struct PaintTraits {
    using Value = PaintValue;
    static bool Holds(const Value& v) { return v.dc != nullptr; }
    static void Free(const Value& v) { EndPaint(v.window, &v.paint); }
};
using PaintDc = Owner<PaintTraits>;
inline PaintDc BeginPaintDc(HWND window) {
    PaintValue v{window, {}, nullptr};
    v.dc = BeginPaint(window, &v.paint);
    return PaintDc(v);
}

// A memory device context: DeleteDC.
struct MemoryDcTraits {
    using Value = HDC;
    static bool Holds(HDC dc) { return dc != nullptr; }
    static void Free(HDC dc) { DeleteDC(dc); }
};
using MemoryDc = Owner<MemoryDcTraits>;

// An object selected into a device context: the one before is put back.
struct SelectionValue {
    HDC dc = nullptr;
    HGDIOBJ before = nullptr;
};
struct SelectionTraits {
    using Value = SelectionValue;
    static bool Holds(const Value& v) { return v.dc && v.before; }
    static void Free(const Value& v) { SelectObject(v.dc, v.before); }
};
using Selection = Owner<SelectionTraits>;
inline Selection Select(HDC dc, HGDIOBJ object) { return Selection(SelectionValue{dc, SelectObject(dc, object)}); }

// A palette selected into a device context (SelectObject takes none): the
// one before is selected back.
struct PaletteSelectionValue {
    HDC dc = nullptr;
    HPALETTE before = nullptr;
};
struct PaletteSelectionTraits {
    using Value = PaletteSelectionValue;
    static bool Holds(const Value& v) { return v.dc && v.before; }
    static void Free(const Value& v) { SelectPalette(v.dc, v.before, FALSE); }
};
using PaletteSelection = Owner<PaletteSelectionTraits>;
inline PaletteSelection SelectPaletteInto(HDC dc, HPALETTE palette) {
    return PaletteSelection(PaletteSelectionValue{dc, SelectPalette(dc, palette, FALSE)});
}

// A block of GlobalAlloc: GlobalFree (unless the clipboard took it).
struct GlobalTraits {
    using Value = HGLOBAL;
    static bool Holds(HGLOBAL block) { return block != nullptr; }
    static void Free(HGLOBAL block) { GlobalFree(block); }
};
using Global = Owner<GlobalTraits>;

// A locked block: GlobalUnlock.
struct LockValue {
    HGLOBAL block = nullptr;
    void* data = nullptr;
};
struct LockTraits {
    using Value = LockValue;
    static bool Holds(const Value& v) { return v.data != nullptr; }
    static void Free(const Value& v) { GlobalUnlock(v.block); }
};
class LockedGlobal : public Owner<LockTraits> {
public:
    LockedGlobal() = default;
    explicit LockedGlobal(HGLOBAL block)
        : Owner<LockTraits>(LockValue{block, block ? ::GlobalLock(block) : nullptr}) {}
    void* data() const { return value().data; }
    // The block's size; 0 when nothing is locked.
    SIZE_T size() const { return value().data ? GlobalSize(value().block) : 0; }
};

// The clipboard opened by this thread: CloseClipboard.
struct ClipboardTraits {
    using Value = bool;
    static bool Holds(bool open) { return open; }
    static void Free(bool) { CloseClipboard(); }
};
using ClipboardOpen = Owner<ClipboardTraits>;

// Opens the clipboard on `owner`, retried every 10 ms while another program
// holds it, for at most `retry_ms`. Tests false when it stayed closed.
ClipboardOpen OpenClipboardRetrying(HWND owner, DWORD retry_ms);

}  // namespace tarvel::win32
