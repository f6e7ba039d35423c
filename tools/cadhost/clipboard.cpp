#include "tools/cadhost/clipboard.h"

#include <cstring>
#include <string>

#include "support/win32/owner.h"
#include "support/win32/text.h"
#include "tools/cadhost/host.h"
#include "tools/cadhost/wide.h"

namespace cadhost {

namespace win32 = tarvel::win32;

namespace {

// How long the copy waits for a clipboard another program holds.
constexpr DWORD kClipboardRetryMs = 500;

// One format onto the open clipboard, which takes the block when it accepts
// it; false when it does not.
bool Put(UINT format, const void* data, size_t bytes) {
    win32::Global block(GlobalAlloc(GMEM_MOVEABLE, bytes));
    {
        const win32::LockedGlobal locked(block.value());
        if (!locked.data()) return false;
        std::memcpy(locked.data(), data, bytes);
    }
    if (!SetClipboardData(format, block.value())) return false;
    block.release();
    return true;
}

}  // namespace

void CopyHistory(Host& h, HWND owner) {
    Delay(h);
    const std::wstring text = W(JoinHistory(h.interp.History(), h.options.history_eol));
    const std::string ansi = win32::ToBytes(text, kAnsiCodePage);
    win32::ClipboardOpen clipboard = win32::OpenClipboardRetrying(owner, kClipboardRetryMs);
    if (!clipboard) {
        h.log.Write("copy-history", {{"ok", false}, {"error", "the clipboard could not be opened"}});
        return;
    }
    EmptyClipboard();
    bool ok = Put(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    ok = Put(CF_TEXT, ansi.c_str(), ansi.size() + 1) && ok;
    clipboard.reset();  // closed before the log says the copy is done
    h.log.Write("copy-history", {{"ok", ok}, {"lines", h.interp.History().size()}});
}

}  // namespace cadhost
