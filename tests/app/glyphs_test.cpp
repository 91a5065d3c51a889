// The pictures of the window: each glyph shows its subject in its colours, on a transparent
// background, and has a greyed form made of grey and white only.
#include "app/glyphs.h"

#include <QTest>

using namespace troz;

namespace {

int CountPixels(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kYellow = 0xFFFFFF00;
constexpr QRgb kMaroon = 0xFF800000;
constexpr QRgb kGrey = 0xFF808080;
constexpr QRgb kWhite = 0xFFFFFFFF;

}  // namespace

Q_DECLARE_METATYPE(troz::Glyph)

class GlyphsTest final : public QObject {
    Q_OBJECT
private slots:
    void glyphShowsItsColours_data();
    void glyphShowsItsColours();
    void chipLiesDiagonallyWithYellowPins();
};

void GlyphsTest::glyphShowsItsColours_data() {
    QTest::addColumn<Glyph>("glyph");
    QTest::addColumn<QRgb>("colour");
    QTest::newRow("Open: red arrow") << Glyph::Open << kRed;
    QTest::newRow("Start: yellow bulb") << Glyph::Start << kYellow;
    QTest::newRow("Exit: brown door") << Glyph::Exit << kMaroon;
}

void GlyphsTest::glyphShowsItsColours() {
    QFETCH(Glyph, glyph);
    QFETCH(QRgb, colour);
    const QImage normal = GlyphImage(glyph);
    QCOMPARE(normal.size(), QSize(kGlyphSize, kGlyphSize));
    QVERIFY(CountPixels(normal, colour) >= 8);
    QVERIFY(CountPixels(normal, qRgba(0, 0, 0, 0)) >= 8);

    const QImage greyed = GreyedImage(normal);
    const int grey = CountPixels(greyed, kGrey);
    const int white = CountPixels(greyed, kWhite);
    const int clear = CountPixels(greyed, qRgba(0, 0, 0, 0));
    QVERIFY(grey >= 16);
    QVERIFY(white > 0);
    QCOMPARE(grey + white + clear, kGlyphSize * kGlyphSize);

    const QIcon icon = GlyphIcon(glyph);
    QCOMPARE(icon.pixmap(kGlyphSize, kGlyphSize, QIcon::Disabled)
                 .toImage()
                 .convertToFormat(QImage::Format_ARGB32),
             greyed);
}

void GlyphsTest::chipLiesDiagonallyWithYellowPins() {
    const QImage icon = ApplicationIconImage();
    QCOMPARE(icon.size(), QSize(kIconSize, kIconSize));
    QVERIFY(CountPixels(icon, kYellow) >= 20);
    // The body runs from the lower left to the upper right: those corners hold the chip's
    // ends, the other two stay clear.
    QVERIFY(qAlpha(icon.pixel(16, 16)) == 255 && qGray(icon.pixel(16, 16)) < 128);
    QVERIFY(qAlpha(icon.pixel(23, 8)) == 255);
    QVERIFY(qAlpha(icon.pixel(8, 23)) == 255);
    QCOMPARE(qAlpha(icon.pixel(3, 3)), 0);
    QCOMPARE(qAlpha(icon.pixel(28, 28)), 0);
}

QTEST_MAIN(GlyphsTest)
#include "glyphs_test.moc"
