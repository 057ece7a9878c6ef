#pragma once

#include <QImage>
#include <QPointF>
#include <optional>

#include "PenItem.h"

// The pointer picture the surface shows for a pen, with the pen's colour on
// its barrel where the kind has a colour band. A null image for kinds
// without a picture (or while the artwork is missing). Drawn for a screen of
// the given device pixel ratio, at the same size in logical pixels.
QImage CursorPicture(const TPWMenuItem& item, qreal ratio = 1);

// Offset of the picture's top-left corner from the pointer; none for kinds
// without a picture (the previous offset stays).
std::optional<QPointF> CursorOffset(TPWPenType type);
