#pragma once

#include <QImage>
#include <QRect>

#include "platform/Platform.h"

// The primary screen in device pixels: its position and its size times the
// device pixel ratio. Empty without a screen.
QRect PrimaryScreenDeviceRect();

// Copies what the primary screen shows now into bitmap, which must already
// have the screen's size in device pixels: pixel (x, y) is screen pixel
// (x, y), opaque, Format_ARGB32. On a bitmap of another size, or when the
// system cannot make the capture, the bitmap is left as it was and false
// is returned.
bool CaptureDesktop(TWindowSystem& windowSystem, QImage& bitmap);

// A part of the screen (device pixels) as an opaque image; null when it
// cannot be had.
QImage CaptureScreenRect(TWindowSystem& windowSystem, const QRect& deviceRect);
