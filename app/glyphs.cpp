#include "app/glyphs.h"

#include <QPainter>
#include <QPixmap>

namespace troz {
namespace {

QImage ToImage(const PixelImage& pixels) {
    QImage image(pixels.width, pixels.height, QImage::Format_ARGB32);
    for (int y = 0; y < pixels.height; ++y) {
        for (int x = 0; x < pixels.width; ++x) {
            image.setPixel(x, y, pixels.At(x, y));
        }
    }
    return image;
}

PixelImage ToPixels(const QImage& image) {
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    PixelImage pixels{source.width(), source.height(), {}};
    pixels.pixels.reserve(static_cast<std::size_t>(source.width() * source.height()));
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            pixels.pixels.push_back(source.pixel(x, y));
        }
    }
    return pixels;
}

QColor ToColor(Argb colour) {
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

}  // namespace

QImage GlyphImage(Glyph glyph) {
    return ToImage(GlyphPixels(glyph));
}

QImage GreyedImage(const QImage& normal) {
    return ToImage(GreyedPixels(ToPixels(normal)));
}

QIcon GlyphIcon(Glyph glyph) {
    const QImage normal = GlyphImage(glyph);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(GreyedImage(normal)), QIcon::Disabled);
    return icon;
}

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

    painter.setPen(ToColor(kPinOutline));
    painter.setBrush(ToColor(kPinFill));
    for (const ChipRect& pin : ChipPins()) {
        painter.drawRect(pin.left, pin.top, pin.width, pin.height);
    }

    painter.setPen(ToColor(kBodyOutline));
    painter.setBrush(ToColor(kBodyFill));
    painter.drawRect(kChipBody.left, kChipBody.top, kChipBody.width, kChipBody.height);
    painter.setBrush(ToColor(kNotchFill));
    painter.drawEllipse(QPoint(0, kNotchCentreY), kNotchRadius, kNotchRadius);
    painter.end();
    return image;
}

QIcon ApplicationIcon() {
    return QIcon(QPixmap::fromImage(ApplicationIconImage()));
}

}  // namespace troz
