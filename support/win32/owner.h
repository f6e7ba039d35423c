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

// A value that is given back together with another: a DC with its window,
// the object selected before with the DC, a lock with its block. `Give`
// gives `held` back; nothing is held while `held` is null.
template <class With, class Held, void (*Give)(With, Held)>
struct HeldWithTraits {
    struct Value {
        With with{};
        Held held{};
    };
    static bool Holds(const Value& v) { return v.held != nullptr; }
    static void Free(const Value& v) { Give(v.with, v.held); }
};

inline void ReleaseWindowDc(HWND window, HDC dc) { ReleaseDC(window, dc); }
inline void SelectBack(HDC dc, HGDIOBJ before) { SelectObject(dc, before); }
inline void SelectPaletteBack(HDC dc, HPALETTE before) { SelectPalette(dc, before, FALSE); }
inline void UnlockGlobal(HGLOBAL block, void*) { GlobalUnlock(block); }

// A window's device context from GetDC (`held`): ReleaseDC on the same window.
using WindowDc = Owner<HeldWithTraits<HWND, HDC, ReleaseWindowDc>>;
inline WindowDc GetWindowDc(HWND window) { return WindowDc({window, GetDC(window)}); }

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
// A palette has its own call (SelectObject takes none).
using Selection = Owner<HeldWithTraits<HDC, HGDIOBJ, SelectBack>>;
inline Selection Select(HDC dc, HGDIOBJ object) { return Selection({dc, SelectObject(dc, object)}); }
using PaletteSelection = Owner<HeldWithTraits<HDC, HPALETTE, SelectPaletteBack>>;
inline PaletteSelection SelectPaletteInto(HDC dc, HPALETTE palette) {
    return PaletteSelection({dc, SelectPalette(dc, palette, FALSE)});
}

// A block of GlobalAlloc: GlobalFree (unless the clipboard took it).
struct GlobalTraits {
    using Value = HGLOBAL;
    static bool Holds(HGLOBAL block) { return block != nullptr; }
    static void Free(HGLOBAL block) { GlobalFree(block); }
};
using Global = Owner<GlobalTraits>;

// A locked block: GlobalUnlock.
using LockTraits = HeldWithTraits<HGLOBAL, void*, UnlockGlobal>;
class LockedGlobal : public Owner<LockTraits> {
public:
    LockedGlobal() = default;
    explicit LockedGlobal(HGLOBAL block) : Owner<LockTraits>({block, block ? ::GlobalLock(block) : nullptr}) {}
    void* data() const { return value().held; }
    // The block's size; 0 when nothing is locked.
    SIZE_T size() const { return value().held ? GlobalSize(value().with) : 0; }
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
