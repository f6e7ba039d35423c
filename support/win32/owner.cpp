#include "support/win32/owner.h"

namespace tarvel::win32 {

ClipboardOpen OpenClipboardRetrying(HWND owner, DWORD retry_ms) {
    const ULONGLONG deadline = GetTickCount64() + retry_ms;
    for (;;) {
        if (OpenClipboard(owner)) return ClipboardOpen(true);
        if (GetTickCount64() >= deadline) return ClipboardOpen();
        Sleep(10);
    }
}

}  // namespace tarvel::win32
