#pragma once

#include "drawing/StrokeKind.h"

// One function per kind unit, each in a file of its own here.
const TStrokeKind& PenKind();
const TStrokeKind& ArrowKind();
const TStrokeKind& RainbowKind();
const TStrokeKind& EraserKind();
const TStrokeKind& LineKind();
const TStrokeKind& RectKind();
const TStrokeKind& EllipseKind();
const TStrokeKind& TextKind();
const TStrokeKind& StepKind();
