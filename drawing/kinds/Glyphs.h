#pragma once

#include <QPainterPath>
#include <string_view>

// Text as outlines, so that it scales with the layer's pixels and draws the
// same in every band of a rebuild. Lines break at '\n'; the first line's
// top-left corner is at (0, 0); size is the font's pixel size.
QPainterPath GlyphPath(std::string_view utf8, qreal size);
// Line spacing and the advance of the last line, at that size.
qreal GlyphLineSpacing(qreal size);
qreal GlyphLastLineAdvance(std::string_view utf8, qreal size);
int GlyphLineCount(std::string_view utf8);
