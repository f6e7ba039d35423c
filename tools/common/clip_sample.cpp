#include "tools/common/clip_sample.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "support/win32/owner.h"
#include "support/win32/text.h"

namespace tarvel::common {

namespace {

constexpr int kBitmapWidth = 37, kBitmapHeight = 23;
constexpr int kPaletteEntries = 16;
constexpr DWORD kOpenRetryMs = 3000;  // another program may hold the clipboard a moment

std::vector<unsigned char> BitmapPixels() {
    // Rows of 32-bit pixels are whole words already.
    std::vector<unsigned char> bits(kBitmapWidth * kBitmapHeight * 4);
    for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<unsigned char>((i * 7 + i / 148) & 0xFF);
    return bits;
}

PALETTEENTRY PaletteEntry(int i) {
    return PALETTEENTRY{static_cast<BYTE>(i * 16), static_cast<BYTE>(255 - i * 9), static_cast<BYTE>(i * 5 + 3), 0};
}

// Draws the same small picture into a metafile or an enhanced metafile.
void DrawPicture(HDC dc) {
    Rectangle(dc, 10, 10, 400, 200);
    MoveToEx(dc, 10, 10, nullptr);
    LineTo(dc, 400, 200);
    TextOutW(dc, 20, 40, L"4@500", 5);
}

HENHMETAFILE MakeEnhMetafile() {
    const RECT frame{0, 0, 2000, 1000};  // in 0.01 mm
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, L"Tarvel\0test picture\0");
    if (!dc) return nullptr;
    DrawPicture(dc);
    return CloseEnhMetaFile(dc);
}

HMETAFILE MakeMetafile() {
    HDC dc = CreateMetaFileW(nullptr);
    if (!dc) return nullptr;
    DrawPicture(dc);
    return CloseMetaFile(dc);
}

std::vector<unsigned char> EnhBits(HENHMETAFILE h) {
    std::vector<unsigned char> bits(GetEnhMetaFileBits(h, 0, nullptr));
    if (!bits.empty()) GetEnhMetaFileBits(h, static_cast<UINT>(bits.size()), bits.data());
    return bits;
}

std::vector<unsigned char> MetaBits(HMETAFILE h) {
    std::vector<unsigned char> bits(GetMetaFileBitsEx(h, 0, nullptr));
    if (!bits.empty()) GetMetaFileBitsEx(h, static_cast<UINT>(bits.size()), bits.data());
    return bits;
}

bool PutHandle(UINT format, HANDLE data) {
    if (!data) return false;
    return SetClipboardData(format, data) != nullptr;
}

bool PutBytes(UINT format, const void* bytes, std::size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    void* p = block ? GlobalLock(block) : nullptr;
    if (!p) {
        if (block) GlobalFree(block);
        return false;
    }
    if (size) std::memcpy(p, bytes, size);
    GlobalUnlock(block);
    if (!SetClipboardData(format, block)) {
        GlobalFree(block);
        return false;
    }
    return true;
}

// Each picture format as "same", "absent" or "different".
const char* CheckEnhMetafile() {
    HANDLE got = GetClipboardData(CF_ENHMETAFILE);
    if (!got) return "absent";
    HENHMETAFILE want = MakeEnhMetafile();
    const bool same = want && EnhBits(static_cast<HENHMETAFILE>(got)) == EnhBits(want);
    if (want) DeleteEnhMetaFile(want);
    return same ? "same" : "different";
}

const char* CheckMetafilePicture() {
    HANDLE got = GetClipboardData(CF_METAFILEPICT);
    if (!got) return "absent";
    const auto* pict = static_cast<const METAFILEPICT*>(GlobalLock(got));
    if (!pict) return "different";
    HMETAFILE want = MakeMetafile();
    const bool same = pict->mm == MM_ANISOTROPIC && pict->xExt == 2000 && pict->yExt == 1000 && want &&
                      MetaBits(pict->hMF) == MetaBits(want);
    GlobalUnlock(got);
    if (want) DeleteMetaFile(want);
    return same ? "same" : "different";
}

const char* CheckBitmap() {
    HANDLE got = GetClipboardData(CF_BITMAP);
    if (!got) return "absent";
    BITMAP bm{};
    if (GetObjectW(got, sizeof bm, &bm) != sizeof bm || bm.bmWidth != kBitmapWidth || bm.bmHeight != kBitmapHeight ||
        bm.bmBitsPixel != 32) {
        return "different";
    }
    const std::vector<unsigned char> want = BitmapPixels();
    std::vector<unsigned char> bits(want.size());
    if (GetBitmapBits(static_cast<HBITMAP>(got), static_cast<LONG>(bits.size()), bits.data()) !=
        static_cast<LONG>(bits.size())) {
        return "different";
    }
    return bits == want ? "same" : "different";
}

const char* CheckPalette() {
    HANDLE got = GetClipboardData(CF_PALETTE);
    if (!got) return "absent";
    PALETTEENTRY entries[kPaletteEntries + 1] = {};
    if (GetPaletteEntries(static_cast<HPALETTE>(got), 0, 0, nullptr) != kPaletteEntries ||
        GetPaletteEntries(static_cast<HPALETTE>(got), 0, kPaletteEntries, entries) != kPaletteEntries) {
        return "different";
    }
    for (int i = 0; i < kPaletteEntries; ++i) {
        const PALETTEENTRY want = PaletteEntry(i);
        if (std::memcmp(&entries[i], &want, sizeof want) != 0) return "different";
    }
    return "same";
}

}  // namespace

bool PutClip(HWND owner, const ClipSample& sample) {
    win32::ClipboardOpen open = win32::OpenClipboardRetrying(owner, kOpenRetryMs);
    if (!open) return false;
    bool ok = EmptyClipboard() != FALSE;
    ok = PutBytes(CF_UNICODETEXT, sample.text.c_str(), (sample.text.size() + 1) * sizeof(wchar_t)) && ok;
    if (!sample.format_name.empty()) {
        ok = PutBytes(RegisterClipboardFormatW(sample.format_name.c_str()), sample.data.data(), sample.data.size()) &&
             ok;
    }
    if (sample.pictures) {
        ok = PutHandle(CF_ENHMETAFILE, MakeEnhMetafile()) && ok;
        if (HMETAFILE metafile = MakeMetafile()) {
            const METAFILEPICT pict{MM_ANISOTROPIC, 2000, 1000, metafile};
            ok = PutBytes(CF_METAFILEPICT, &pict, sizeof pict) && ok;
        } else {
            ok = false;
        }
        const std::vector<unsigned char> pixels = BitmapPixels();
        ok = PutHandle(CF_BITMAP, CreateBitmap(kBitmapWidth, kBitmapHeight, 1, 32, pixels.data())) && ok;
        std::vector<unsigned char> buffer(sizeof(LOGPALETTE) + kPaletteEntries * sizeof(PALETTEENTRY));
        auto* logical = reinterpret_cast<LOGPALETTE*>(buffer.data());
        logical->palVersion = 0x300;
        logical->palNumEntries = kPaletteEntries;
        for (int i = 0; i < kPaletteEntries; ++i) logical->palPalEntry[i] = PaletteEntry(i);
        ok = PutHandle(CF_PALETTE, CreatePalette(logical)) && ok;
    }
    return ok;
}

std::string CheckClip(HWND owner, const ClipSample& sample) {
    win32::ClipboardOpen open = win32::OpenClipboardRetrying(owner, kOpenRetryMs);
    if (!open) return "the clipboard could not be opened";
    std::wstring text = L"(no text)";
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
            text.assign(p, wcsnlen(p, GlobalSize(h) / sizeof(wchar_t)));
            GlobalUnlock(h);
        }
    }
    std::string data = sample.format_name.empty() ? sample.data : "(absent)";
    if (HANDLE h = sample.format_name.empty()
                       ? nullptr
                       : GetClipboardData(RegisterClipboardFormatW(sample.format_name.c_str()))) {
        if (const auto* p = static_cast<const char*>(GlobalLock(h))) {
            // A block may be rounded up: what follows the data must be zeros.
            const std::string all(p, GlobalSize(h));
            data = all.substr(0, all.find('\0'));
            if (all.compare(0, sample.data.size(), sample.data) == 0 &&
                all.find_first_not_of('\0', sample.data.size()) == std::string::npos) {
                data = sample.data;
            }
            GlobalUnlock(h);
        }
    }
    std::string pictures;
    if (sample.pictures) {
        const std::pair<const char*, const char*> found[] = {
            {"enhmetafile", CheckEnhMetafile()},
            {"metafilepict", CheckMetafilePicture()},
            {"bitmap", CheckBitmap()},
            {"palette", CheckPalette()},
        };
        for (const auto& [name, state] : found) {
            if (std::strcmp(state, "same") != 0) pictures += std::string(" ") + name + "=" + state;
        }
    }
    open.reset();
    if (text == sample.text && data == sample.data && pictures.empty()) return "same";
    return "text=" + Escaped(text) + " format=" + data + pictures;
}

namespace {

// The units of `bytes` up to the first zero one.
template <class Char>
std::basic_string<Char> UpToTerminator(const std::vector<unsigned char>& bytes) {
    std::basic_string<Char> text(bytes.size() / sizeof(Char), Char{});
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(Char));
    return text.substr(0, text.find(Char{}));
}

}  // namespace

std::optional<std::vector<unsigned char>> ClipboardBytes(HWND owner, UINT format) {
    const win32::ClipboardOpen open = win32::OpenClipboardRetrying(owner, kOpenRetryMs);
    if (!open) return std::nullopt;
    std::vector<unsigned char> bytes;
    const win32::LockedGlobal block(static_cast<HGLOBAL>(GetClipboardData(format)));
    if (const auto* p = static_cast<const unsigned char*>(block.data())) bytes.assign(p, p + block.size());
    return bytes;
}

std::wstring ClipboardText(HWND owner) {
    const auto bytes = ClipboardBytes(owner, CF_UNICODETEXT);
    return bytes ? UpToTerminator<wchar_t>(*bytes) : L"<busy>";
}

std::string ClipboardAnsiText(HWND owner) {
    const auto bytes = ClipboardBytes(owner, CF_TEXT);
    return bytes ? UpToTerminator<char>(*bytes) : "<busy>";
}

std::string Escaped(const std::wstring& text) {
    std::string out;
    for (char c : win32::ToUtf8(text)) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace tarvel::common
