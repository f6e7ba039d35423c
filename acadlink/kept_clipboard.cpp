#include "acadlink/kept_clipboard.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>
#include <utility>

namespace tarvel::clipboard {

namespace {

using Saved = std::vector<SavedFormat>;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, message, wparam, lparam);
}

// A new movable block holding `bytes` bytes copied from `source`.
HGLOBAL CopyBlock(const void* source, std::size_t bytes) {
    win32::Global block(GlobalAlloc(GMEM_MOVEABLE, bytes));
    win32::LockedGlobal lock(block.value());
    if (!lock) return nullptr;
    std::memcpy(lock.data(), source, bytes);
    return block.release();
}

SavedFormat CopyMemoryBlock(UINT format, HANDLE source) {
    win32::LockedGlobal lock(static_cast<HGLOBAL>(source));
    if (!lock || lock.size() == 0) return {};  // not a memory block after all
    HGLOBAL copy = CopyBlock(lock.data(), lock.size());
    return copy ? SavedFormat(format, FormatKind::Memory, copy, lock.size()) : SavedFormat();
}

// A device-dependent bitmap of the same size and format, pixel for pixel.
SavedFormat CopyBitmap(UINT format, HANDLE source) {
    BITMAP bm{};
    if (GetObjectW(source, sizeof bm, &bm) != sizeof bm || bm.bmWidth <= 0 || bm.bmHeight == 0) return {};
    const long long width = bm.bmWidth, height = std::llabs(bm.bmHeight);
    // GetBitmapBits and CreateBitmap both take rows padded to whole words.
    const long long row = ((width * bm.bmBitsPixel + 15) / 16) * 2;
    const long long size = row * height;
    if (size <= 0 || size > std::numeric_limits<LONG>::max()) return {};
    std::unique_ptr<unsigned char[]> bits(new unsigned char[static_cast<std::size_t>(size)]);
    if (GetBitmapBits(static_cast<HBITMAP>(source), static_cast<LONG>(size), bits.get()) != size) return {};
    HBITMAP copy = CreateBitmap(bm.bmWidth, static_cast<int>(height), bm.bmPlanes, bm.bmBitsPixel, bits.get());
    return copy ? SavedFormat(format, FormatKind::Bitmap, copy, static_cast<std::size_t>(size)) : SavedFormat();
}

SavedFormat CopyPalette(UINT format, HANDLE source) {
    const UINT entries = GetPaletteEntries(static_cast<HPALETTE>(source), 0, 0, nullptr);
    if (entries == 0 || entries > 65535) return {};
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY)]);
    auto* logical = reinterpret_cast<LOGPALETTE*>(buffer.get());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(entries);
    if (GetPaletteEntries(static_cast<HPALETTE>(source), 0, entries, logical->palPalEntry) != entries) return {};
    HPALETTE copy = CreatePalette(logical);
    return copy ? SavedFormat(format, FormatKind::Palette, copy, entries * sizeof(PALETTEENTRY)) : SavedFormat();
}

SavedFormat CopyEnhMetafile(UINT format, HANDLE source) {
    HENHMETAFILE copy = CopyEnhMetaFileW(static_cast<HENHMETAFILE>(source), nullptr);
    if (!copy) return {};
    return SavedFormat(format, FormatKind::EnhMetafile, copy, GetEnhMetaFileBits(copy, 0, nullptr));
}

// The METAFILEPICT block with a copy of the metafile it names.
SavedFormat CopyMetafilePicture(UINT format, HANDLE source) {
    METAFILEPICT picture{};
    {
        win32::LockedGlobal lock(static_cast<HGLOBAL>(source));
        if (!lock || lock.size() < sizeof picture) return {};
        std::memcpy(&picture, lock.data(), sizeof picture);
    }
    HMETAFILE metafile = CopyMetaFileW(picture.hMF, nullptr);
    if (!metafile) return {};
    picture.hMF = metafile;
    HGLOBAL block = CopyBlock(&picture, sizeof picture);
    if (!block) {
        DeleteMetaFile(metafile);
        return {};
    }
    return SavedFormat(format, FormatKind::MetafilePicture, block, GetMetaFileBitsEx(metafile, 0, nullptr));
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

FormatKind KindOf(UINT format) {
    switch (format) {
        case 0:
        case CF_OWNERDISPLAY:
            return FormatKind::Unsaveable;
        case CF_BITMAP:
        case CF_DSPBITMAP:
            return FormatKind::Bitmap;
        case CF_PALETTE:
            return FormatKind::Palette;
        case CF_ENHMETAFILE:
        case CF_DSPENHMETAFILE:
            return FormatKind::EnhMetafile;
        case CF_METAFILEPICT:
        case CF_DSPMETAFILEPICT:
            return FormatKind::MetafilePicture;
        default:
            // Also the GDI-object and private ranges: their handles are
            // blocks of GlobalAlloc, and a handle that is not one fails
            // GlobalLock and is left out.
            return FormatKind::Memory;
    }
}

void FormatCopyTraits::Free(const FormatCopy& copy) {
    switch (copy.kind) {
        case FormatKind::Bitmap:
        case FormatKind::Palette:
            DeleteObject(copy.data);
            break;
        case FormatKind::EnhMetafile:
            DeleteEnhMetaFile(static_cast<HENHMETAFILE>(copy.data));
            break;
        case FormatKind::MetafilePicture: {
            {
                win32::LockedGlobal lock(static_cast<HGLOBAL>(copy.data));
                if (lock && lock.size() >= sizeof(METAFILEPICT)) {
                    DeleteMetaFile(static_cast<METAFILEPICT*>(lock.data())->hMF);
                }
            }
            GlobalFree(copy.data);
            break;
        }
        case FormatKind::Memory:
        case FormatKind::Unsaveable:
            GlobalFree(copy.data);
            break;
    }
}

namespace {

// A copy of one format's data as GetClipboardData gave it; empty (no data)
// when it cannot be copied.
SavedFormat CopyFormat(UINT format, HANDLE source) {
    if (!source) return {};
    switch (KindOf(format)) {
        case FormatKind::Memory:
            return CopyMemoryBlock(format, source);
        case FormatKind::Bitmap:
            return CopyBitmap(format, source);
        case FormatKind::Palette:
            return CopyPalette(format, source);
        case FormatKind::EnhMetafile:
            return CopyEnhMetafile(format, source);
        case FormatKind::MetafilePicture:
            return CopyMetafilePicture(format, source);
        case FormatKind::Unsaveable:
            break;
    }
    return {};
}

// Copies every format of the clipboard, which this thread must have open,
// in the order the clipboard lists them. A format that cannot be copied is
// left out; the others are kept.
Saved SaveOpenClipboard() {
    Saved saved;
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
        if (KindOf(format) == FormatKind::Unsaveable) continue;
        SavedFormat item = CopyFormat(format, GetClipboardData(format));
        if (item.data()) saved.push_back(std::move(item));
    }
    return saved;
}

// Empties the clipboard, which this thread must have open, and puts the
// saved formats back (the copies go to the clipboard), marked so that
// clipboard histories do not record them again. False when a step failed.
bool RestoreOpenClipboard(Saved& saved) {
    bool ok = EmptyClipboard() != FALSE;
    const UINT exclude = ExcludeFromMonitoringFormat();
    bool marked = false;
    for (SavedFormat& item : saved) {
        if (!item.data()) continue;
        if (item.format() == exclude) marked = true;
        if (SetClipboardData(item.format(), item.data())) {
            item.release();  // the clipboard's now
        } else {
            ok = false;
        }
    }
    // What goes back was recorded when the user copied it: a clipboard
    // history should not record it a second time.
    if (!saved.empty() && !marked && exclude) {
        const DWORD zero = 0;
        win32::Global mark(CopyBlock(&zero, sizeof zero));
        if (mark && SetClipboardData(exclude, mark.value())) mark.release();
    }
    return ok;
}

// ---- the bounded save ----

enum JobState : int { kWorking, kEmptying, kFinished, kAbandoned, kAbandonedWhileEmptying };

// What the saving thread and the waiting caller share. The state decides
// who may still touch the clipboard: the caller gives up by moving it to
// kAbandoned (the thread then leaves the clipboard alone) or, once the
// thread has begun to empty it, kAbandonedWhileEmptying (the thread then
// puts back what it saved itself).
struct SaveJob {
    HWND owner = nullptr;
    DWORD open_retry_ms = 0;
    win32::Handle done;  // set when result and saved may be read
    std::atomic<int> state{kWorking};
    KeptClipboard::Keeping result = KeptClipboard::Keeping::Busy;
    Saved saved;
};

// Finishes the job for the caller, unless it has given up meanwhile.
void Finish(SaveJob& job, KeptClipboard::Keeping result) {
    job.result = result;
    int expected = kWorking;
    if (job.state.compare_exchange_strong(expected, kFinished)) SetEvent(job.done.value());
}

void Work(const std::shared_ptr<SaveJob>& job) noexcept {
    try {
        win32::ClipboardOpen open = win32::OpenClipboardRetrying(job->owner, job->open_retry_ms);
        if (!open) return Finish(*job, KeptClipboard::Keeping::Busy);
        job->saved = SaveOpenClipboard();
        int expected = kWorking;
        if (!job->state.compare_exchange_strong(expected, kEmptying)) return;  // given up: left as it is
        const bool emptied = EmptyClipboard() != FALSE;
        job->result = emptied ? KeptClipboard::Keeping::Kept : KeptClipboard::Keeping::Unchanged;
        expected = kEmptying;
        if (!job->state.compare_exchange_strong(expected, kFinished)) {
            // Given up while emptying: nobody else will put the user's
            // content back.
            if (emptied) RestoreOpenClipboard(job->saved);
            return;
        }
        open.reset();  // closed before the caller goes on
        SetEvent(job->done.value());
    } catch (...) {
        // Out of memory while copying: the clipboard was not emptied.
        job->saved.clear();
        Finish(*job, KeptClipboard::Keeping::Unchanged);
    }
}

// True when the owner of the clipboard answers within the bound, or cannot
// be asked (none, gone, or ours).
bool OwnerAnswers(HWND ours, DWORD bound_ms) {
    const HWND current = GetClipboardOwner();
    if (!current || current == ours || !IsWindow(current)) return true;
    DWORD_PTR ignored = 0;
    SetLastError(ERROR_SUCCESS);
    if (SendMessageTimeoutW(current, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, bound_ms, &ignored)) return true;
    // A program of higher privilege takes no messages from us, but the
    // system still asks it to render; the wait below bounds that.
    return GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace

UINT ExcludeFromMonitoringFormat() {
    static const UINT format = RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing");
    return format;
}

// ---- the user's clipboard, kept ----

KeptClipboard::KeptClipboard(HWND owner, DWORD writer, DWORD open_retry_ms, DWORD bound_ms)
    : owner_(owner), writer_(writer), open_retry_ms_(open_retry_ms), bound_ms_(bound_ms) {}

KeptClipboard::~KeptClipboard() {
    if (kept_) PutBack();
}

KeptClipboard::Keeping KeptClipboard::Keep() {
    const ULONGLONG deadline = GetTickCount64() + bound_ms_;
    // An owner that has stopped answering would never render what it
    // offered; the thread below would then keep the clipboard open until it
    // answered. Such an owner is left alone from the start.
    if (!OwnerAnswers(owner_, bound_ms_)) return Keeping::OwnerNotAnswering;

    auto job = std::make_shared<SaveJob>();
    job->owner = owner_;
    job->open_retry_ms = open_retry_ms_;
    job->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!job->done) return Keeping::Busy;
    try {
        std::thread(Work, job).detach();
    } catch (...) {
        return Keeping::Busy;
    }
    auto taken = [&] {
        if (job->result == Keeping::Kept) {
            saved_ = std::move(job->saved);
            kept_ = true;
        }
        return job->result;
    };

    // Waits for the thread, answering what is sent to this thread meanwhile:
    // emptying the clipboard tells its owner, often a window of ours.
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        const HANDLE done = job->done.value();
        const DWORD wait =
            MsgWaitForMultipleObjects(1, &done, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
        if (wait == WAIT_OBJECT_0) return taken();
        if (wait != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    int expected = kWorking;
    if (job->state.compare_exchange_strong(expected, kAbandoned)) return Keeping::OwnerNotAnswering;
    expected = kEmptying;
    if (job->state.compare_exchange_strong(expected, kAbandonedWhileEmptying)) return Keeping::OwnerNotAnswering;
    // Finished just now: it is closing the clipboard.
    WaitForSingleObject(job->done.value(), 1000);
    return taken();
}

// True when a program other than us and the writer wrote to the clipboard
// after we emptied it: its content is newer than the user's, and putting the
// user's back would destroy it.
bool KeptClipboard::NewerWriteByAnotherProgram() const {
    const HWND current = GetClipboardOwner();
    if (!current || current == owner_) return false;
    DWORD process = 0;
    GetWindowThreadProcessId(current, &process);
    return process != writer_;
}

bool KeptClipboard::Restore(bool over_newer) {
    if (!kept_) return true;
    kept_ = false;
    // Where nothing was saved the clipboard is left empty.
    if (!over_newer && NewerWriteByAnotherProgram()) return true;
    const win32::ClipboardOpen open = win32::OpenClipboardRetrying(owner_, open_retry_ms_);
    return open && RestoreOpenClipboard(saved_);
}

bool KeptClipboard::PutBack() { return Restore(false); }

bool KeptClipboard::PutBackOverAnything() { return Restore(true); }

}  // namespace tarvel::clipboard
