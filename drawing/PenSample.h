#pragma once

#include "PenItem.h"

class QPainter;
class QRectF;

// Preview of a pen on a light grey field; commands show the field only.
void DrawPenSample(const TPWMenuItem& item, QPainter& canvas, const QRectF& rect);
