// The operating-instructions picture: JPEG data decoded with libjpeg into a
// device-independent bitmap, at full size and in the decoder's best-quality
// mode.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "support/win32/owner.h"

struct jpeg_decompress_struct;

namespace tarvel::app {

enum class PictureDepth {
    TrueColour,  // 24 bits per pixel
    Palette8,    // 8-bit indices into a palette of up to 256 colours
};

// A decoded picture, rows top-down, each row padded to 4 bytes as a DIB.
struct Picture {
    int width = 0;
    int height = 0;
    int bits_per_pixel = 0;
    int stride = 0;
    std::vector<std::uint8_t> bits;
    std::vector<RGBQUAD> palette;

    bool Empty() const { return width == 0 || height == 0; }
    // The colour at (x, y) as COLORREF; CLR_INVALID outside.
    COLORREF PixelAt(int x, int y) const;
    // A BITMAPINFO for SetDIBitsToDevice / StretchDIBits (top-down).
    std::vector<std::uint8_t> BitmapInfo() const;
};

// Owns a libjpeg decompressor with its error manager; destroyed with it.
class JpegDecompressor {
public:
    JpegDecompressor();

    // Decodes a whole JPEG held in memory. Throws tarvel::Error with
    // libjpeg's message when the data is not a picture it can read.
    Picture Decode(std::span<const std::uint8_t> data, PictureDepth depth);

    struct State;

private:
    struct StateTraits {
        using Value = State*;
        static bool Holds(State* state) { return state != nullptr; }
        static void Free(State* state);  // jpeg_destroy_decompress, then the state
    };
    win32::Owner<StateTraits> state_;
};

Picture DecodeJpeg(std::span<const std::uint8_t> data, PictureDepth depth);

// The depth the screen wants: a palette on 8 bits per pixel or fewer.
PictureDepth ScreenPictureDepth();

// The bytes of an RCDATA resource of the module; empty when there is none.
std::span<const std::uint8_t> RcData(HMODULE module, const wchar_t* name);

}  // namespace tarvel::app
