// The user's clipboard kept whole while Tarvel uses it: every format saved
// before the clipboard is emptied for AutoCAD's history copy (memory blocks,
// bitmaps, palettes, metafiles, each as its own copy), and put back
// afterwards, unless another program has written to it meanwhile. The whole
// policy lives here: the link's history copy and tarvel-check's care of the
// user's clipboard both go through KeptClipboard.
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

// The format that tells clipboard histories and monitors to pass over what
// is on the clipboard ("ExcludeClipboardContentFromMonitorProcessing").
UINT ExcludeFromMonitoringFormat();

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

class KeptClipboard {
public:
    enum class Keeping {
        Kept,              // saved, and the clipboard emptied for our use
        Busy,              // another program held the clipboard open
        Unchanged,         // it could not be saved or emptied: the clipboard is as it was
        OwnerNotAnswering  // the clipboard's owner did not answer within the bound
    };

    // The clipboard is opened on `owner`, a window of ours, retried for
    // `open_retry_ms` while another program holds it, and the save is
    // bounded by `bound_ms`. Writes by `writer`, a process that is part of
    // the use (AutoCAD's, which copies its history there), are ours too.
    KeptClipboard(HWND owner, DWORD writer, DWORD open_retry_ms, DWORD bound_ms);
    // What was kept and not yet put back goes back (an error on the way).
    ~KeptClipboard();
    KeptClipboard(const KeptClipboard&) = delete;
    KeptClipboard& operator=(const KeptClipboard&) = delete;

    // Saves what the clipboard holds and empties it. Saving asks the
    // clipboard's owner to render what it offered for rendering on request,
    // and an owner that is slow or hung would hold us for as long: an owner
    // that does not answer at all is left alone from the start, and the save
    // is done on a thread of its own while this thread waits, answering the
    // messages sent to it meanwhile. When the bound is reached the clipboard
    // is left as it is (the thread lets it go, unchanged, when the owner
    // answers). Anything but Kept leaves the clipboard as it was.
    Keeping Keep();

    // Puts the kept content back, marked so that clipboard histories do not
    // record it again. A write since Keep by a program other than us and the
    // writer is newer than the user's content and stays. False when the
    // clipboard could not be put back.
    bool PutBack();
    // Puts it back whatever was written since.
    bool PutBackOverAnything();

private:
    bool Restore(bool over_newer);
    bool NewerWriteByAnotherProgram() const;

    HWND owner_;
    DWORD writer_;
    DWORD open_retry_ms_;
    DWORD bound_ms_;
    std::vector<SavedFormat> saved_;
    bool kept_ = false;
};

}  // namespace tarvel::clipboard
