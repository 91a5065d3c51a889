#include "app/win32/win32_glyphs.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace troz::win32 {
namespace {

// A top-down 32-bit DIB: its pixels are laid out as ours, 0xAARRGGBB per pixel.
HBITMAP MakeBitmap(int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

HBITMAP BitmapOf(const PixelImage& image) {
    void* bits = nullptr;
    HBITMAP bitmap = MakeBitmap(image.width, image.height, &bits);
    if (bitmap != nullptr) {
        // Alpha is 0 or 255 only, so the pixels are already premultiplied.
        std::memcpy(bits, image.pixels.data(), image.pixels.size() * sizeof(Argb));
    }
    return bitmap;
}

constexpr int kButtonStates = 6;
constexpr int kDisabledState = 3;

COLORREF ColorOf(Argb colour) {
    return RGB(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

// Outlined and filled the way the Qt window's painter draws them: the outline covers the
// right and bottom edge too.
void DrawChipRect(HDC dc, const ChipRect& rect) {
    Rectangle(dc, rect.left, rect.top, rect.left + rect.width + 1, rect.top + rect.height + 1);
}

void DrawChip(HDC dc) {
    SetGraphicsMode(dc, GM_ADVANCED);
    const double radians = kChipAngle * std::numbers::pi / 180.0;
    XFORM rotation{};
    rotation.eM11 = static_cast<FLOAT>(std::cos(radians));
    rotation.eM12 = static_cast<FLOAT>(std::sin(radians));
    rotation.eM21 = static_cast<FLOAT>(-std::sin(radians));
    rotation.eM22 = static_cast<FLOAT>(std::cos(radians));
    rotation.eDx = kIconSize / 2.0F;
    rotation.eDy = kIconSize / 2.0F;
    SetWorldTransform(dc, &rotation);

    const auto draw = [dc](Argb outline, Argb fill, auto&& shapes) {
        HPEN pen = CreatePen(PS_SOLID, 0, ColorOf(outline));
        HBRUSH brush = CreateSolidBrush(ColorOf(fill));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, brush);
        shapes();
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        DeleteObject(pen);
        DeleteObject(brush);
    };
    draw(kPinOutline, kPinFill, [dc] {
        for (const ChipRect& pin : ChipPins()) {
            DrawChipRect(dc, pin);
        }
    });
    draw(kBodyOutline, kBodyFill, [dc] { DrawChipRect(dc, kChipBody); });
    draw(kBodyOutline, kNotchFill, [dc] {
        Ellipse(dc, -kNotchRadius, kNotchCentreY - kNotchRadius, kNotchRadius + 1,
                kNotchCentreY + kNotchRadius + 1);
    });
}

}  // namespace

HIMAGELIST MakeGlyphImageList(Glyph glyph) {
    HIMAGELIST list = ImageList_Create(kGlyphSize, kGlyphSize, ILC_COLOR32, kButtonStates, 0);
    if (list == nullptr) {
        return nullptr;
    }
    const PixelImage normal = GlyphPixels(glyph);
    HBITMAP normalBitmap = BitmapOf(normal);
    HBITMAP greyedBitmap = BitmapOf(GreyedPixels(normal));
    for (int state = 0; state < kButtonStates; ++state) {
        ImageList_Add(list, state == kDisabledState ? greyedBitmap : normalBitmap, nullptr);
    }
    DeleteObject(normalBitmap);
    DeleteObject(greyedBitmap);
    return list;
}

HICON MakeApplicationIcon() {
    // Drawn on a key colour no shape uses; what still shows it afterwards is background.
    constexpr Argb kKey = 0x00FF00FF;
    void* bits = nullptr;
    HBITMAP colour = MakeBitmap(kIconSize, kIconSize, &bits);
    if (colour == nullptr) {
        return nullptr;
    }
    auto* pixels = static_cast<Argb*>(bits);
    const std::size_t count = static_cast<std::size_t>(kIconSize) * kIconSize;
    for (std::size_t i = 0; i < count; ++i) {
        pixels[i] = kKey;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, colour);
    DrawChip(dc);
    GdiFlush();
    SelectObject(dc, old);
    DeleteDC(dc);
    for (std::size_t i = 0; i < count; ++i) {
        pixels[i] = (pixels[i] & 0x00FFFFFF) == kKey ? kTransparent : (pixels[i] | 0xFF000000);
    }
    HBITMAP mask = CreateBitmap(kIconSize, kIconSize, 1, 1, nullptr);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = mask;
    info.hbmColor = colour;
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(colour);
    return icon;
}

}  // namespace troz::win32
