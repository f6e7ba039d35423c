#include "app/jpeg_picture.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>

#include "support/errors.h"

namespace tarvel::app {

struct JpegDecompressor::State {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    std::jmp_buf escape{};
    char message[JMSG_LENGTH_MAX] = {};
};

namespace {

// libjpeg's fatal errors come here; the message is kept and control goes
// back to the decoder's setjmp. Only C frames of libjpeg lie in between.
[[noreturn]] void OnJpegError(j_common_ptr info) {
    auto* state = reinterpret_cast<JpegDecompressor::State*>(info->client_data);
    (*info->err->format_message)(info, state->message);
    std::longjmp(state->escape, 1);
}

// Warnings (a damaged but readable stream) are not fatal.
void OnJpegMessage(j_common_ptr, int) {}

int DibStride(int width, int bits_per_pixel) { return ((width * bits_per_pixel + 31) / 32) * 4; }

// The decoding proper. Holds nothing with a destructor: a libjpeg error
// jumps back into this frame.
bool RunDecoder(JpegDecompressor::State* state, const std::uint8_t* data, size_t size, bool palette, Picture* picture) {
    if (setjmp(state->escape)) {
        jpeg_abort_decompress(&state->info);
        return false;
    }
    jpeg_decompress_struct* info = &state->info;
    jpeg_mem_src(info, data, static_cast<unsigned long>(size));
    jpeg_read_header(info, TRUE);
    // Full size, best quality.
    info->scale_num = 1;
    info->scale_denom = 1;
    info->dct_method = JDCT_ISLOW;
    info->do_fancy_upsampling = TRUE;
    info->do_block_smoothing = TRUE;
    if (palette) {
        info->out_color_space = JCS_RGB;
        info->quantize_colors = TRUE;
        info->desired_number_of_colors = 256;
        info->two_pass_quantize = TRUE;
        info->dither_mode = JDITHER_FS;
    } else {
        info->out_color_space = JCS_EXT_BGR;  // a DIB's byte order
        info->quantize_colors = FALSE;
    }
    jpeg_start_decompress(info);

    const int width = static_cast<int>(info->output_width);
    const int height = static_cast<int>(info->output_height);
    const int bits_per_pixel = palette ? 8 : 24;
    if (info->output_components * 8 != bits_per_pixel) {
        std::snprintf(state->message, sizeof state->message, "unexpected JPEG output (%d components)",
                      info->output_components);
        jpeg_abort_decompress(info);
        return false;
    }
    picture->width = width;
    picture->height = height;
    picture->bits_per_pixel = bits_per_pixel;
    picture->stride = DibStride(width, bits_per_pixel);
    picture->bits.assign(static_cast<size_t>(picture->stride) * static_cast<size_t>(height), 0);
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = picture->bits.data() + static_cast<size_t>(info->output_scanline) * picture->stride;
        jpeg_read_scanlines(info, &row, 1);
    }
    if (palette) {
        picture->palette.resize(static_cast<size_t>(info->actual_number_of_colors));
        for (int i = 0; i < info->actual_number_of_colors; ++i) {
            RGBQUAD& entry = picture->palette[static_cast<size_t>(i)];
            entry.rgbRed = info->colormap[0][i];
            entry.rgbGreen = info->colormap[1][i];
            entry.rgbBlue = info->colormap[2][i];
            entry.rgbReserved = 0;
        }
    }
    jpeg_finish_decompress(info);
    return true;
}

}  // namespace

COLORREF Picture::PixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    const std::uint8_t* row = bits.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
    if (bits_per_pixel == 8) {
        const size_t index = row[x];
        if (index >= palette.size()) return CLR_INVALID;
        return RGB(palette[index].rgbRed, palette[index].rgbGreen, palette[index].rgbBlue);
    }
    const std::uint8_t* p = row + static_cast<size_t>(x) * 3;
    return RGB(p[2], p[1], p[0]);
}

std::vector<std::uint8_t> Picture::BitmapInfo() const {
    std::vector<std::uint8_t> info(sizeof(BITMAPINFOHEADER) + palette.size() * sizeof(RGBQUAD), 0);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = -height;  // top-down
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bits_per_pixel);
    header.biCompression = BI_RGB;
    header.biClrUsed = static_cast<DWORD>(palette.size());
    std::memcpy(info.data(), &header, sizeof header);
    if (!palette.empty()) {
        std::memcpy(info.data() + sizeof header, palette.data(), palette.size() * sizeof(RGBQUAD));
    }
    return info;
}

void JpegDecompressor::StateTraits::Free(State* state) {
    jpeg_destroy_decompress(&state->info);
    delete state;
}

JpegDecompressor::JpegDecompressor() : state_(new State) {
    State* state = state_.value();
    state->info.err = jpeg_std_error(&state->errors);
    state->errors.error_exit = &OnJpegError;
    state->errors.emit_message = &OnJpegMessage;
    state->info.client_data = state;
    jpeg_create_decompress(&state->info);
}

Picture JpegDecompressor::Decode(std::span<const std::uint8_t> data, PictureDepth depth) {
    if (!state_) throw tarvel::Error("JPEG decompressor moved from");
    if (data.empty()) throw tarvel::Error("no JPEG data");
    Picture picture;
    State* state = state_.value();
    state->message[0] = '\0';
    if (!RunDecoder(state, data.data(), data.size(), depth == PictureDepth::Palette8, &picture)) {
        throw tarvel::Error(std::string("JPEG: ") + state->message);
    }
    return picture;
}

Picture DecodeJpeg(std::span<const std::uint8_t> data, PictureDepth depth) {
    JpegDecompressor decompressor;
    return decompressor.Decode(data, depth);
}

PictureDepth ScreenPictureDepth() {
    const win32::WindowDc screen = win32::GetWindowDc(nullptr);
    int bits = 24;
    if (screen) bits = GetDeviceCaps(screen.value().held, BITSPIXEL) * GetDeviceCaps(screen.value().held, PLANES);
    return bits <= 8 ? PictureDepth::Palette8 : PictureDepth::TrueColour;
}

std::span<const std::uint8_t> RcData(HMODULE module, const wchar_t* name) {
    HRSRC found = FindResourceW(module, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return {};
    return {static_cast<const std::uint8_t*>(bytes), size};
}

}  // namespace tarvel::app
