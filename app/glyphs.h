// The Qt window's pictures: the 32 x 32 application icon and the 16 x 16 button glyphs, made
// from the shapes both windows share (app/glyph_shapes.h). Each glyph comes with its greyed
// form, which the buttons show while disabled.
#pragma once

#include <QIcon>
#include <QImage>

#include "app/glyph_shapes.h"

namespace troz {

// The normal image of a glyph: transparent where the background shows through.
QImage GlyphImage(Glyph glyph);
// The greyed image a disabled button shows: the glyph's shape embossed in grey and white.
QImage GreyedImage(const QImage& normal);
// The glyph with its normal and greyed (disabled) forms.
QIcon GlyphIcon(Glyph glyph);

// An integrated-circuit chip lying diagonally, with yellow pins.
QImage ApplicationIconImage();
// The same drawing at size x size pixels, for the desktop's icon theme. Other sizes than
// kIconSize are drawn smoothed, since their edges no longer fall on whole pixels.
QImage ApplicationIconImage(int size);
QIcon ApplicationIcon();

}  // namespace troz
