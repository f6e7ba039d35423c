// Keeping the user's clipboard across the history copy: what the clipboard
// holds is saved before AutoCAD overwrites it and put back afterwards, every
// format as its own copy (memory blocks, bitmaps, palettes, metafiles).
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "support/win32/owner.h"

namespace tarvel::clipboard {

// A window of Tarvel's own to open the clipboard on: hidden, message-only,
// made on first use.
HWND OwnerWindow();

// How a format's data is held, and so how it is copied.
enum class FormatKind {
    Memory,           // a memory block (texts, DIBs, registered and private formats)
    Bitmap,           // CF_BITMAP, CF_DSPBITMAP: an HBITMAP
    Palette,          // CF_PALETTE: an HPALETTE
    EnhMetafile,      // CF_ENHMETAFILE, CF_DSPENHMETAFILE: an HENHMETAFILE
    MetafilePicture,  // CF_METAFILEPICT, CF_DSPMETAFILEPICT: a block holding a METAFILEPICT
    Unsaveable,       // CF_OWNERDISPLAY: the owner paints it; no data to copy
};
FormatKind KindOf(UINT format);

// One format's data, copied while the clipboard was open.
struct FormatCopy {
    UINT format = 0;
    FormatKind kind = FormatKind::Memory;
    HANDLE data = nullptr;
    std::size_t bytes = 0;  // what the copy holds, roughly
};
struct FormatCopyTraits {
    using Value = FormatCopy;
    static bool Holds(const FormatCopy& copy) { return copy.data != nullptr; }
    static void Free(const FormatCopy& copy);  // as its kind is freed
};
// The copy belongs to this owner until release() hands it to the clipboard.
class SavedFormat : public win32::Owner<FormatCopyTraits> {
public:
    SavedFormat() = default;
    SavedFormat(UINT format, FormatKind kind, HANDLE data, std::size_t bytes)
        : Owner(FormatCopy{format, kind, data, bytes}) {}
    UINT format() const { return value().format; }
    FormatKind kind() const { return value().kind; }
    HANDLE data() const { return value().data; }
    std::size_t bytes() const { return value().bytes; }
};
using SavedClipboard = std::vector<SavedFormat>;

// A copy of one format's data as GetClipboardData gave it; empty (no data)
// when it cannot be copied.
SavedFormat CopyFormat(UINT format, HANDLE source);

// Copies every format of the clipboard, which this thread must have open,
// in the order the clipboard lists them. A format that cannot be copied is
// left out; the others are kept.
SavedClipboard SaveOpenClipboard();

// Empties the clipboard, which this thread must have open, and puts the
// saved formats back (the copies go to the clipboard). What goes back is
// marked so that clipboard histories do not record it again. False when a
// step failed.
bool RestoreOpenClipboard(SavedClipboard& saved);

// The format that tells clipboard histories and monitors to pass over what
// is on the clipboard ("ExcludeClipboardContentFromMonitorProcessing").
UINT ExcludeFromMonitoringFormat();

enum class SaveResult {
    Emptied,           // saved, and the clipboard emptied for AutoCAD
    Busy,              // another program held the clipboard open
    Unchanged,         // it could not be saved or emptied: the clipboard is as it was
    OwnerNotAnswering  // the clipboard's owner did not answer within the bound
};
struct SaveOutcome {
    SaveResult result = SaveResult::Busy;
    SavedClipboard saved;
};

// Saves what the clipboard holds and empties it, opening it on `owner`
// (retried for `open_retry_ms`), all within `bound_ms`. Saving asks the
// clipboard's owner to render what it offered for rendering on request, and
// an owner that is slow or hung would hold the caller for as long: the work
// is done on a thread of its own while this thread waits, answering the
// messages sent to it meanwhile. When the bound is reached the clipboard is
// left as it is (the thread lets it go, unchanged, when the owner answers)
// and the result is OwnerNotAnswering.
SaveOutcome SaveAndEmpty(HWND owner, DWORD open_retry_ms, DWORD bound_ms);

}  // namespace tarvel::clipboard
