// Keeping the user's clipboard across the history copy: what the clipboard
// holds is saved before AutoCAD overwrites it and put back afterwards, every
// format as its own copy (memory blocks, bitmaps, palettes, metafiles).
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "acadlink/win_handles.h"

namespace tarvel::clipboard {

// A window of Tarvel's own to open the clipboard on: hidden, message-only,
// made on first use.
HWND OwnerWindow();

// Opens the clipboard on `owner`, retrying while another program holds it,
// for at most `retry_ms`. Tests false when it stayed closed to us.
win::ClipboardOpen OpenRetrying(HWND owner, DWORD retry_ms);

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

// One format's data, copied while the clipboard was open: the copy belongs
// to this object until Release hands it to the clipboard.
class SavedFormat {
public:
    SavedFormat() = default;
    SavedFormat(UINT format, FormatKind kind, HANDLE data, std::size_t bytes)
        : format_(format), kind_(kind), data_(data), bytes_(bytes) {}
    SavedFormat(SavedFormat&& other) noexcept;
    SavedFormat& operator=(SavedFormat&& other) noexcept;
    SavedFormat(const SavedFormat&) = delete;
    SavedFormat& operator=(const SavedFormat&) = delete;
    ~SavedFormat() { reset(); }

    UINT format() const { return format_; }
    FormatKind kind() const { return kind_; }
    HANDLE data() const { return data_; }
    std::size_t bytes() const { return bytes_; }  // what the copy holds, roughly
    HANDLE Release();
    void reset();

private:
    UINT format_ = 0;
    FormatKind kind_ = FormatKind::Memory;
    HANDLE data_ = nullptr;
    std::size_t bytes_ = 0;
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
    Emptied,          // saved, and the clipboard emptied for AutoCAD
    Busy,             // another program held the clipboard open
    Unchanged,        // it could not be saved or emptied: the clipboard is as it was
    OwnerNotAnswering // the clipboard's owner did not answer within the bound
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
