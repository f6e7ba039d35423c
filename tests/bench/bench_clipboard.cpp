// bench-clipboard.exe: the bare save and restore of the clipboard, the
// baseline of what keeping a user's clipboard costs Tarvel a pick. Every
// format is copied and put back with plain calls on one thread, with no
// policy: no bound, no worker, no check of who wrote last.
//
//   bench-clipboard.exe [--runs N]      (default 15)
//
// Each run opens the clipboard, copies every format (memory blocks byte for
// byte, bitmaps, palettes and metafiles as their own copies), empties it,
// puts the copies back and closes it, so the clipboard ends as it began.
// Prints "run=I ms=F formats=N" a run; exit status 1 when a run failed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

namespace {

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

HANDLE Copy(UINT format, HANDLE h) {
    switch (format) {
        case CF_BITMAP:
        case CF_DSPBITMAP:
            return CopyImage(h, IMAGE_BITMAP, 0, 0, 0);
        case CF_ENHMETAFILE:
        case CF_DSPENHMETAFILE:
            return CopyEnhMetaFileW(static_cast<HENHMETAFILE>(h), nullptr);
        case CF_PALETTE: {
            PALETTEENTRY entries[256];
            const UINT n = GetPaletteEntries(static_cast<HPALETTE>(h), 0, 256, entries);
            std::vector<BYTE> buffer(sizeof(LOGPALETTE) + n * sizeof(PALETTEENTRY));
            auto* logical = reinterpret_cast<LOGPALETTE*>(buffer.data());
            logical->palVersion = 0x300;
            logical->palNumEntries = static_cast<WORD>(n);
            std::memcpy(logical->palPalEntry, entries, n * sizeof(PALETTEENTRY));
            return CreatePalette(logical);
        }
        case CF_METAFILEPICT:
        case CF_DSPMETAFILEPICT: {
            METAFILEPICT picture = *static_cast<METAFILEPICT*>(GlobalLock(h));
            GlobalUnlock(h);
            picture.hMF = CopyMetaFileW(picture.hMF, nullptr);
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof picture);
            std::memcpy(GlobalLock(block), &picture, sizeof picture);
            GlobalUnlock(block);
            return block;
        }
        default: {
            const SIZE_T size = GlobalSize(h);
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
            std::memcpy(GlobalLock(block), GlobalLock(h), size);
            GlobalUnlock(h);
            GlobalUnlock(block);
            return block;
        }
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = 15;
    if (argc == 3 && std::wcscmp(argv[1], L"--runs") == 0) runs = _wtoi(argv[2]);
    HWND owner = CreateWindowW(L"STATIC", L"bench-clipboard", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    for (int run = 1; run <= runs; ++run) {
        const double start = Now();
        if (!OpenClipboard(owner)) return 1;
        std::vector<std::pair<UINT, HANDLE>> saved;
        for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
            if (HANDLE h = GetClipboardData(format)) saved.emplace_back(format, Copy(format, h));
        }
        EmptyClipboard();
        for (const auto& [format, data] : saved) SetClipboardData(format, data);
        CloseClipboard();
        std::printf("run=%d ms=%.3f formats=%zu\n", run, Now() - start, saved.size());
        std::fflush(stdout);
    }
    return 0;
}
