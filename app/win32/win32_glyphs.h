// The Win32 window's pictures, made from the shapes both windows share
// (app/glyph_shapes.h): the button glyphs as image lists and the application icon.
#pragma once

#include "app/glyph_shapes.h"
#include "app/win32/win32_window_api.h"

namespace troz::win32 {

// One image per button state, in the order BCM_SETIMAGELIST reads them (normal, hot,
// pressed, disabled, defaulted, stylus hot): the greyed form for the disabled state, the
// normal one for all others. The caller destroys it.
HIMAGELIST MakeGlyphImageList(Glyph glyph);

// The chip, 32 x 32 with a transparent background. The caller destroys it.
HICON MakeApplicationIcon();

}  // namespace troz::win32
