#include "app/glyph_shapes.h"

namespace troz {
namespace {

using GlyphRows = std::array<const char*, kGlyphSize>;

// One letter per pixel; '.' is the background.
Argb PaletteColour(char letter) {
    switch (letter) {
        case 'k':
            return OpaqueRgb(0x00, 0x00, 0x00);  // black
        case 'm':
            return OpaqueRgb(0x80, 0x00, 0x00);  // maroon
        case 'n':
            return OpaqueRgb(0x00, 0x00, 0x80);  // navy
        case 'g':
            return OpaqueRgb(0x80, 0x80, 0x80);  // grey
        case 's':
            return OpaqueRgb(0xC0, 0xC0, 0xC0);  // silver
        case 'r':
            return OpaqueRgb(0xFF, 0x00, 0x00);  // red
        case 'y':
            return OpaqueRgb(0xFF, 0xFF, 0x00);  // yellow
        case 'w':
            return OpaqueRgb(0xFF, 0xFF, 0xFF);  // white
        default:
            return kTransparent;
    }
}

// clang-format off
// A page with its corner folded, and a red arrow pointing right across it.
constexpr GlyphRows kOpenRows = {
    "kkkkkkkk........",
    "kwwwwwwkk.......",
    "kwwwwwwkwk......",
    "kwggggwkkkk.....",
    "kwwwwwwwwwkm....",
    "kwgggggggwkrm...",
    "kwggmmmmmmmrrm..",
    "kwwwmrrrrrrrrrm.",
    "kwggmrrrrrrrrrm.",
    "kwwwmmmmmmmrrm..",
    "kwgggggggwkrm...",
    "kwwwwwwwwwkm....",
    "kwgggggggwk.....",
    "kwwwwwwwwwk.....",
    "kwwwwwwwwwk.....",
    "kkkkkkkkkkk.....",
};

// A lit bulb: yellow glass with a highlight, a screw base, rays around it.
constexpr GlyphRows kStartRows = {
    "y.....kkkk.....y",
    ".y..kkyyyykk..y.",
    "...kywwyyyyyk...",
    "..kywwyyyyyyyk..",
    "..kywyyyyyyyyk..",
    "yykyyyyyyyyyykyy",
    "..kyyyyyyyyyyk..",
    "...kyyyyyyyyk...",
    "....kyyyyyyk....",
    ".y...kyyyyk...y.",
    "y....kssssk....y",
    ".....kggggk.....",
    ".....kssssk.....",
    ".....kggggk.....",
    "......kkkk......",
    ".......kk.......",
};

// A doorway with its door swung open towards the viewer.
constexpr GlyphRows kExitRows = {
    "..............k.",
    ".............kk.",
    "kkkkkkkkkk..kmk.",
    "kssssssssk.kmmk.",
    "ksnnnnnnskkmmmk.",
    "ksnnnnnnskkmmmk.",
    "ksnnnnnnskkmmmk.",
    "ksnnnnnnskkmmmk.",
    "ksnnnnnnskkmmyk.",
    "ksnnnnnnskkmmyk.",
    "ksnnnnnnskkmmmk.",
    "ksnnnnnnskkmmmk.",
    "ksnnnnnnskkmmmk.",
    "ksnnnnnnskkmmmk.",
    "ksnnnnnnskkmmmk.",
    "kkkkkkkkkkkkkkk.",
};
// clang-format on

const GlyphRows& RowsOf(Glyph glyph) {
    switch (glyph) {
        case Glyph::Open:
            return kOpenRows;
        case Glyph::Start:
            return kStartRows;
        case Glyph::Exit:
            return kExitRows;
    }
    return kOpenRows;
}

constexpr int kGreyedDarknessLimit = 192;
constexpr Argb kGreyedHighlight = OpaqueRgb(0xFF, 0xFF, 0xFF);
constexpr Argb kGreyedShadow = OpaqueRgb(0x80, 0x80, 0x80);

// The weighted grey of a colour (11:16:5, as Qt's qGray).
int GreyOf(Argb pixel) {
    return (RedOf(pixel) * 11 + GreenOf(pixel) * 16 + BlueOf(pixel) * 5) / 32;
}

bool PartOfGreyedShape(Argb pixel) {
    return AlphaOf(pixel) != 0 && GreyOf(pixel) < kGreyedDarknessLimit;
}

}  // namespace

PixelImage GlyphPixels(Glyph glyph) {
    const GlyphRows& rows = RowsOf(glyph);
    PixelImage image{kGlyphSize, kGlyphSize, {}};
    image.pixels.reserve(kGlyphSize * kGlyphSize);
    for (const char* row : rows) {
        for (int x = 0; x < kGlyphSize; ++x) {
            image.pixels.push_back(PaletteColour(row[x]));
        }
    }
    return image;
}

PixelImage GreyedPixels(const PixelImage& normal) {
    PixelImage greyed{normal.width, normal.height,
                      std::vector<Argb>(normal.pixels.size(), kTransparent)};
    const auto set = [&greyed](int x, int y, Argb colour) {
        greyed.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(greyed.width) +
                      static_cast<std::size_t>(x)] = colour;
    };
    // The white copy first: the grey shape lies over it.
    for (int y = 0; y + 1 < normal.height; ++y) {
        for (int x = 0; x + 1 < normal.width; ++x) {
            if (PartOfGreyedShape(normal.At(x, y))) {
                set(x + 1, y + 1, kGreyedHighlight);
            }
        }
    }
    for (int y = 0; y < normal.height; ++y) {
        for (int x = 0; x < normal.width; ++x) {
            if (PartOfGreyedShape(normal.At(x, y))) {
                set(x, y, kGreyedShadow);
            }
        }
    }
    return greyed;
}

std::array<ChipRect, 2 * kPinsPerSide> ChipPins() {
    std::array<ChipRect, 2 * kPinsPerSide> pins{};
    const int firstPin = -((kPinsPerSide - 1) * kPinPitch) / 2 - kPinWidth / 2;
    for (int pin = 0; pin < kPinsPerSide; ++pin) {
        const int along = firstPin + pin * kPinPitch;
        pins[static_cast<std::size_t>(2 * pin)] = {-kChipWidth / 2 - kPinLength, along, kPinLength,
                                                   kPinWidth};
        pins[static_cast<std::size_t>(2 * pin + 1)] = {kChipWidth / 2, along, kPinLength,
                                                       kPinWidth};
    }
    return pins;
}

}  // namespace troz
