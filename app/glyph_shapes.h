// What the window's pictures show, without a toolkit: the 16 x 16 button glyphs pixel by
// pixel in the 16 colours of the VGA palette, their greyed forms, and the shapes of the
// 32 x 32 application icon. Each window turns them into its toolkit's images.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace troz {

enum class Glyph { Open, Start, Exit };

constexpr int kGlyphSize = 16;
constexpr int kIconSize = 32;

// Pixels as 0xAARRGGBB, row by row; alpha 0 where the background shows through.
using Argb = std::uint32_t;
constexpr Argb kTransparent = 0x00000000;

constexpr Argb OpaqueRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return 0xFF000000u | (Argb{red} << 16) | (Argb{green} << 8) | Argb{blue};
}
constexpr std::uint8_t AlphaOf(Argb pixel) {
    return static_cast<std::uint8_t>(pixel >> 24);
}
constexpr std::uint8_t RedOf(Argb pixel) {
    return static_cast<std::uint8_t>(pixel >> 16);
}
constexpr std::uint8_t GreenOf(Argb pixel) {
    return static_cast<std::uint8_t>(pixel >> 8);
}
constexpr std::uint8_t BlueOf(Argb pixel) {
    return static_cast<std::uint8_t>(pixel);
}

struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<Argb> pixels;  // width * height, row by row

    Argb At(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

// The normal image of a glyph.
PixelImage GlyphPixels(Glyph glyph);
// The greyed image a disabled button shows: the shape's darker parts in grey, with a white
// copy one pixel down and right, so the shape looks engraved; light parts (white paper,
// yellow glass) vanish, as on the classic disabled buttons.
PixelImage GreyedPixels(const PixelImage& normal);

// The application icon: an integrated-circuit chip lying diagonally (kChipAngle degrees,
// clockwise, about the centre), drawn in chip coordinates with the origin at its centre.
constexpr int kChipLength = 24;
constexpr int kChipWidth = 12;
constexpr int kPinsPerSide = 5;
constexpr int kPinLength = 4;
constexpr int kPinWidth = 2;
constexpr int kPinPitch = 4;
constexpr double kChipAngle = 45.0;
// The notch that marks pin 1, a circle on the body's upper end.
constexpr int kNotchCentreY = -kChipLength / 2 + 3;
constexpr int kNotchRadius = 2;

constexpr Argb kPinOutline = OpaqueRgb(0x80, 0x80, 0x00);
constexpr Argb kPinFill = OpaqueRgb(0xFF, 0xFF, 0x00);
constexpr Argb kBodyOutline = OpaqueRgb(0x00, 0x00, 0x00);
constexpr Argb kBodyFill = OpaqueRgb(0x40, 0x40, 0x40);
constexpr Argb kNotchFill = OpaqueRgb(0x80, 0x80, 0x80);

struct ChipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The body, then the pins of both sides.
constexpr ChipRect kChipBody{-kChipWidth / 2, -kChipLength / 2, kChipWidth, kChipLength};
std::array<ChipRect, 2 * kPinsPerSide> ChipPins();

}  // namespace troz
