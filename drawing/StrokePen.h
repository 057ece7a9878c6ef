#pragma once

#include <QPen>

#include "PenItem.h"

// The pen every stroke is drawn with: round caps and joins, the item's dash.
// Qt caps every dash; the pattern is compensated so that what the eye sees
// matches the on/off lengths (a dot stays a dot, not a solid line).
QPen StrokePen(TAlphaColor color, qreal width, TStrokeDash dash);
