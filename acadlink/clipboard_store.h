// Keeping the user's clipboard across the history copy: what the clipboard
// holds is saved before AutoCAD overwrites it and put back afterwards.
#pragma once

#include <windows.h>

#include <vector>

#include "acadlink/win_handles.h"

namespace tarvel::clipboard {

// A window of Tarvel's own to open the clipboard on: hidden, message-only,
// made on first use.
HWND OwnerWindow();

// Opens the clipboard on `owner`, retrying while another program holds it,
// for at most `retry_ms`. Tests false when it stayed closed to us.
win::ClipboardOpen OpenRetrying(HWND owner, DWORD retry_ms);

// Whether a format's data is a memory block that can be copied. GDI handles
// (bitmaps, palettes, metafiles, their display variants, the GDI object
// range) and owner-display cannot.
bool IsCopyableFormat(UINT format);

struct SavedFormat {
    UINT format = 0;
    std::vector<unsigned char> bytes;
};
using SavedClipboard = std::vector<SavedFormat>;

// Copies every copyable format of the clipboard, which this thread must
// have open, in the order the clipboard lists them.
SavedClipboard SaveOpenClipboard();

// Empties the clipboard, which this thread must have open, and puts the
// saved formats back. False when a step failed.
bool RestoreOpenClipboard(const SavedClipboard& saved);

}  // namespace tarvel::clipboard
