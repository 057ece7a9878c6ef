#pragma once

#include <QLineF>
#include <string_view>

#include "drawing/PenItem.h"

// The font's pixel size of a text in a pen of that width.
inline qreal TextSize(float thickness) { return 3.0 * thickness; }
// Where the caret of a text being typed stands: after its last character.
QLineF TextCaret(const TPWMenuItem& pen, TPointF anchor, std::string_view text);
