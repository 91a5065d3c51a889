// Writes the application icon, as the window draws it, into an icon theme folder:
//   trozflash-render-icons FOLDER SIZE...  ->  FOLDER/SIZExSIZE/apps/trozflash.png
// Run by the build, so the installed icons never drift from the window's own. It paints into
// images only, so it needs no application object and no display.
#include <QDir>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "app/glyphs.h"

namespace {

constexpr int kSmallestSize = 8;
constexpr int kLargestSize = 1024;

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < kSmallestSize || size > kLargestSize) {
            std::fprintf(stderr, "Err:Icon size %s is not between %d and %d\n", argv[i],
                         kSmallestSize, kLargestSize);
            return 2;
        }
        const QString apps = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        const QString file = apps + QStringLiteral("/trozflash.png");
        if (!QDir().mkpath(apps) || !troz::ApplicationIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "Err:Cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
