#include "acadlink/clipboard_store.h"

#include <cstring>


namespace tarvel::clipboard {

namespace {

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

HWND OwnerWindow() {
    static HWND owner = nullptr;
    if (owner && IsWindow(owner)) return owner;
    static const wchar_t kClass[] = L"TarvelClipboardOwner";
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClass;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
    owner = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    return owner;
}

win::ClipboardOpen OpenRetrying(HWND owner, DWORD retry_ms) {
    const ULONGLONG deadline = GetTickCount64() + retry_ms;
    for (;;) {
        if (OpenClipboard(owner)) return win::ClipboardOpen(win::ClipboardOpen::Adopt{});
        if (GetTickCount64() >= deadline) return win::ClipboardOpen();
        Sleep(10);
    }
}

bool IsCopyableFormat(UINT format) {
    switch (format) {
        case CF_BITMAP:
        case CF_METAFILEPICT:  // a memory block, but one holding a metafile handle
        case CF_PALETTE:
        case CF_ENHMETAFILE:
        case CF_OWNERDISPLAY:
        case CF_DSPBITMAP:
        case CF_DSPMETAFILEPICT:
        case CF_DSPENHMETAFILE:
            return false;
        default:
            break;
    }
    if (format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST) return false;
    return format != 0;
}

SavedClipboard SaveOpenClipboard() {
    SavedClipboard saved;
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
        if (!IsCopyableFormat(format)) continue;
        const HANDLE data = GetClipboardData(format);
        if (!data) continue;
        win::GlobalLockGuard lock(static_cast<HGLOBAL>(data));
        if (!lock) continue;  // not a memory block after all
        const SIZE_T size = lock.size();
        if (size == 0) continue;
        SavedFormat item;
        item.format = format;
        item.bytes.resize(size);
        std::memcpy(item.bytes.data(), lock.data(), size);
        saved.push_back(std::move(item));
    }
    return saved;
}

bool RestoreOpenClipboard(const SavedClipboard& saved) {
    bool ok = EmptyClipboard() != FALSE;
    for (const SavedFormat& item : saved) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, item.bytes.size());
        if (!block) {
            ok = false;
            continue;
        }
        {
            win::GlobalLockGuard lock(block);
            if (!lock) {
                GlobalFree(block);
                ok = false;
                continue;
            }
            std::memcpy(lock.data(), item.bytes.data(), item.bytes.size());
        }
        if (!SetClipboardData(item.format, block)) {
            GlobalFree(block);
            ok = false;
        }
    }
    return ok;
}

}  // namespace tarvel::clipboard
