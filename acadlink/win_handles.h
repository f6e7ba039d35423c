// Small move-only owners of the Win32 resources the CAD link borrows: a
// window's device context, an open clipboard, a locked memory block.
// reset() gives the resource back and keeps GetLastError as it was.
#pragma once

#include <windows.h>

#include <utility>

namespace tarvel::win {

// GetDC / ReleaseDC on the same window.
class WindowDc {
public:
    WindowDc() = default;
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDc(WindowDc&& other) noexcept
        : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
    WindowDc& operator=(WindowDc&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = std::exchange(other.window_, nullptr);
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() { reset(); }

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

    void reset() {
        if (dc_) {
            const DWORD error = GetLastError();
            ReleaseDC(window_, dc_);
            SetLastError(error);
        }
        window_ = nullptr;
        dc_ = nullptr;
    }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

// The clipboard opened by this thread on `owner`; closed when dropped.
class ClipboardOpen {
public:
    ClipboardOpen() = default;
    explicit ClipboardOpen(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
    // Takes over a clipboard this thread has just opened.
    struct Adopt {};
    explicit ClipboardOpen(Adopt) : open_(true) {}
    ClipboardOpen(ClipboardOpen&& other) noexcept : open_(std::exchange(other.open_, false)) {}
    ClipboardOpen& operator=(ClipboardOpen&& other) noexcept {
        if (this != &other) {
            reset();
            open_ = std::exchange(other.open_, false);
        }
        return *this;
    }
    ClipboardOpen(const ClipboardOpen&) = delete;
    ClipboardOpen& operator=(const ClipboardOpen&) = delete;
    ~ClipboardOpen() { reset(); }

    explicit operator bool() const { return open_; }

    void reset() {
        if (open_) {
            const DWORD error = GetLastError();
            CloseClipboard();
            SetLastError(error);
        }
        open_ = false;
    }

private:
    bool open_ = false;
};

// GlobalLock / GlobalUnlock of one memory block.
class GlobalLockGuard {
public:
    GlobalLockGuard() = default;
    explicit GlobalLockGuard(HGLOBAL block)
        : block_(block), data_(block ? GlobalLock(block) : nullptr) {
        if (!data_) block_ = nullptr;
    }
    GlobalLockGuard(GlobalLockGuard&& other) noexcept
        : block_(std::exchange(other.block_, nullptr)), data_(std::exchange(other.data_, nullptr)) {}
    GlobalLockGuard& operator=(GlobalLockGuard&& other) noexcept {
        if (this != &other) {
            reset();
            block_ = std::exchange(other.block_, nullptr);
            data_ = std::exchange(other.data_, nullptr);
        }
        return *this;
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard() { reset(); }

    void* data() const { return data_; }
    SIZE_T size() const { return block_ ? GlobalSize(block_) : 0; }
    explicit operator bool() const { return data_ != nullptr; }

    void reset() {
        if (block_) {
            const DWORD error = GetLastError();
            GlobalUnlock(block_);
            SetLastError(error);
        }
        block_ = nullptr;
        data_ = nullptr;
    }

private:
    HGLOBAL block_ = nullptr;
    void* data_ = nullptr;
};

}  // namespace tarvel::win
