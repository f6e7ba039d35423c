// The embedded instructions picture: its JPEG form as stored, and what
// libjpeg makes of it in both depths; damaged data is an error, not a crash.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "app/About.h"
#include "app/jpeg_picture.h"
#include "support/errors.h"

namespace tarvel::app {
namespace {

std::span<const std::uint8_t> Embedded() { return RcData(GetModuleHandleW(nullptr), kHelpPictureResource); }

// Colours of the design at points inside large plain areas.
struct Spot {
    int x, y;
    COLORREF colour;
};
constexpr Spot kSpots[] = {
    {630, 30, RGB(0x1f, 0x5f, 0xa8)},   // heading band
    {100, 400, RGB(0xd4, 0xd0, 0xc8)},  // face of the pictured main window
    {300, 600, RGB(0xff, 0xfb, 0xe6)},  // an example of the text layouts
    {320, 130, RGB(0xf7, 0xfb, 0xff)},  // the plan's ground
};

bool Similar(COLORREF got, COLORREF want, int tolerance) {
    return std::abs(GetRValue(got) - GetRValue(want)) <= tolerance &&
           std::abs(GetGValue(got) - GetGValue(want)) <= tolerance &&
           std::abs(GetBValue(got) - GetBValue(want)) <= tolerance;
}

TEST(HelpPicture, StoredAsBaselineJfifWithYSampledTwoByTwo) {
    const auto data = Embedded();
    ASSERT_GT(data.size(), 1000u);
    EXPECT_NEAR(static_cast<double>(data.size()), 83295.0, 1500.0);
    ASSERT_EQ(data[0], 0xFF);
    ASSERT_EQ(data[1], 0xD8);
    bool jfif = false, baseline = false;
    for (size_t i = 2; i + 4 < data.size();) {
        if (data[i] != 0xFF) break;
        const int marker = data[i + 1];
        const size_t length = (static_cast<size_t>(data[i + 2]) << 8) | data[i + 3];
        const std::uint8_t* segment = &data[i + 4];
        if (marker == 0xE0 && std::string(reinterpret_cast<const char*>(segment), 5) == std::string("JFIF\0", 5)) {
            jfif = segment[5] == 1 && segment[6] == 1;  // version 1.01
        }
        if (marker == 0xC2 || marker == 0xC1) ADD_FAILURE() << "not a baseline frame";
        if (marker == 0xC0) {
            baseline = true;
            EXPECT_EQ(segment[0], 8) << "bits per sample";
            EXPECT_EQ((segment[1] << 8) | segment[2], 700);
            EXPECT_EQ((segment[3] << 8) | segment[4], 641);
            ASSERT_EQ(segment[5], 3);
            EXPECT_EQ(segment[7], 0x22) << "Y sampled 2 x 2";
            EXPECT_EQ(segment[10], 0x11) << "Cb 1 x 1";
            EXPECT_EQ(segment[13], 0x11) << "Cr 1 x 1";
            break;
        }
        i += 2 + length;
    }
    EXPECT_TRUE(jfif);
    EXPECT_TRUE(baseline);
}

TEST(HelpPicture, DecodesAtFullSizeInBothDepths) {
    struct Case {
        PictureDepth depth;
        int bits;
        int tolerance;
    };
    for (const Case& c : {Case{PictureDepth::TrueColour, 24, 6}, Case{PictureDepth::Palette8, 8, 16}}) {
        SCOPED_TRACE(c.bits);
        const Picture picture = DecodeJpeg(Embedded(), c.depth);
        EXPECT_EQ(picture.width, 641);
        EXPECT_EQ(picture.height, 700);
        EXPECT_EQ(picture.bits_per_pixel, c.bits);
        EXPECT_EQ(picture.stride % 4, 0);
        EXPECT_GE(picture.stride, 641 * c.bits / 8);
        ASSERT_EQ(picture.bits.size(), static_cast<size_t>(picture.stride) * 700);
        if (c.depth == PictureDepth::Palette8) {
            EXPECT_GT(picture.palette.size(), 16u);
            EXPECT_LE(picture.palette.size(), 256u);
        } else {
            EXPECT_TRUE(picture.palette.empty());
        }
        for (const Spot& spot : kSpots) {
            const COLORREF got = picture.PixelAt(spot.x, spot.y);
            EXPECT_TRUE(Similar(got, spot.colour, c.tolerance))
                << "at " << spot.x << "," << spot.y << ": " << std::hex << got;
        }
        EXPECT_EQ(picture.PixelAt(641, 0), CLR_INVALID);
        EXPECT_EQ(picture.PixelAt(0, 700), CLR_INVALID);
    }
}

TEST(HelpPicture, DamagedDataIsAnErrorAndTheDecompressorStaysUsable) {
    const auto good = Embedded();
    const std::vector<std::uint8_t> garbage(200, 0x5A);
    const std::vector<std::uint8_t> headerOnly(good.begin(), good.begin() + 20);
    JpegDecompressor decompressor;
    for (const std::vector<std::uint8_t>* bad : {&garbage, &headerOnly}) {
        EXPECT_THROW(decompressor.Decode(*bad, PictureDepth::TrueColour), tarvel::Error);
    }
    EXPECT_THROW(decompressor.Decode({}, PictureDepth::TrueColour), tarvel::Error);
    // The same decompressor reads a good picture after the failures.
    EXPECT_EQ(decompressor.Decode(good, PictureDepth::TrueColour).width, 641);
    JpegDecompressor moved = std::move(decompressor);
    EXPECT_EQ(moved.Decode(good, PictureDepth::Palette8).height, 700);
}

}  // namespace
}  // namespace tarvel::app
