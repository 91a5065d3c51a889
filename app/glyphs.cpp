#include "app/glyphs.h"

#include <QPainter>
#include <QPixmap>
#include <array>

namespace troz {
namespace {

using GlyphRows = std::array<const char*, kGlyphSize>;

// One letter per pixel; '.' is the background, drawn transparent.
QRgb PaletteColour(char letter) {
    switch (letter) {
        case 'k':
            return qRgb(0x00, 0x00, 0x00);  // black
        case 'm':
            return qRgb(0x80, 0x00, 0x00);  // maroon
        case 'n':
            return qRgb(0x00, 0x00, 0x80);  // navy
        case 'g':
            return qRgb(0x80, 0x80, 0x80);  // grey
        case 's':
            return qRgb(0xC0, 0xC0, 0xC0);  // silver
        case 'r':
            return qRgb(0xFF, 0x00, 0x00);  // red
        case 'y':
            return qRgb(0xFF, 0xFF, 0x00);  // yellow
        case 'w':
            return qRgb(0xFF, 0xFF, 0xFF);  // white
        default:
            return qRgba(0, 0, 0, 0);
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

QImage ImageFromRows(const GlyphRows& rows) {
    QImage image(kGlyphSize, kGlyphSize, QImage::Format_ARGB32);
    for (int y = 0; y < kGlyphSize; ++y) {
        for (int x = 0; x < kGlyphSize; ++x) {
            image.setPixel(x, y, PaletteColour(rows[static_cast<std::size_t>(y)][x]));
        }
    }
    return image;
}

// Light parts of a glyph (white paper, yellow glass) vanish in the greyed form, as on the
// classic disabled buttons; only the darker outline stays.
constexpr int kGreyedDarknessLimit = 192;

bool PartOfGreyedShape(QRgb pixel) {
    return qAlpha(pixel) != 0 && qGray(pixel) < kGreyedDarknessLimit;
}

}  // namespace

QImage GlyphImage(Glyph glyph) {
    return ImageFromRows(RowsOf(glyph));
}

QImage GreyedImage(const QImage& normal) {
    const QImage source = normal.convertToFormat(QImage::Format_ARGB32);
    QImage greyed(source.size(), QImage::Format_ARGB32);
    greyed.fill(Qt::transparent);
    const QRgb highlight = qRgb(0xFF, 0xFF, 0xFF);
    const QRgb shadow = qRgb(0x80, 0x80, 0x80);
    // The white copy sits one pixel down and right, so the grey shape looks engraved.
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            if (PartOfGreyedShape(source.pixel(x, y)) && x + 1 < source.width() &&
                y + 1 < source.height()) {
                greyed.setPixel(x + 1, y + 1, highlight);
            }
        }
    }
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            if (PartOfGreyedShape(source.pixel(x, y))) {
                greyed.setPixel(x, y, shadow);
            }
        }
    }
    return greyed;
}

QIcon GlyphIcon(Glyph glyph) {
    const QImage normal = GlyphImage(glyph);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(GreyedImage(normal)), QIcon::Disabled);
    return icon;
}

namespace {

constexpr int kChipLength = 24;
constexpr int kChipWidth = 12;
constexpr int kPinsPerSide = 5;
constexpr int kPinLength = 4;
constexpr int kPinWidth = 2;
constexpr int kPinPitch = 4;
constexpr qreal kChipAngle = 45.0;

void DrawPins(QPainter& painter) {
    const int firstPin = -((kPinsPerSide - 1) * kPinPitch) / 2 - kPinWidth / 2;
    for (int pin = 0; pin < kPinsPerSide; ++pin) {
        const int along = firstPin + pin * kPinPitch;
        painter.drawRect(-kChipWidth / 2 - kPinLength, along, kPinLength, kPinWidth);
        painter.drawRect(kChipWidth / 2, along, kPinLength, kPinWidth);
    }
}

}  // namespace

QImage ApplicationIconImage() {
    return ApplicationIconImage(kIconSize);
}

QImage ApplicationIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, size != kIconSize);
    painter.translate(size / 2.0, size / 2.0);
    const qreal scale = static_cast<qreal>(size) / kIconSize;
    painter.scale(scale, scale);
    painter.rotate(kChipAngle);

    painter.setPen(QColor(0x80, 0x80, 0x00));
    painter.setBrush(QColor(0xFF, 0xFF, 0x00));
    DrawPins(painter);

    painter.setPen(QColor(0x00, 0x00, 0x00));
    painter.setBrush(QColor(0x40, 0x40, 0x40));
    painter.drawRect(-kChipWidth / 2, -kChipLength / 2, kChipWidth, kChipLength);
    // The notch that marks pin 1.
    painter.setBrush(QColor(0x80, 0x80, 0x80));
    painter.drawEllipse(QPoint(0, -kChipLength / 2 + 3), 2, 2);
    painter.end();
    return image;
}

QIcon ApplicationIcon() {
    return QIcon(QPixmap::fromImage(ApplicationIconImage()));
}

}  // namespace troz
