#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include "platform/Platform.h"

class QScreen;

// A screen in device pixels: its origin as the toolkit keeps it (in device
// pixels already), its size as the window system reports the monitor there;
// where the system tells nothing, the logical size by the rounding rule of
// the layers. Empty without a screen.
QRect ScreenDeviceRect(TWindowSystem& windowSystem, const QScreen* screen);
QRect PrimaryScreenDeviceRect(TWindowSystem& windowSystem);
// What a save captures: the primary screen, or with allScreens the bounding
// rectangle of every screen.
QRect DesktopDeviceRect(TWindowSystem& windowSystem, bool allScreens);

// Copies what the screen shows in deviceRect now into bitmap, which must
// already have that size: pixel (x, y) is screen pixel deviceRect.topLeft()
// + (x, y), opaque, Format_ARGB32, black where no screen lies. On a bitmap
// of another size, or when the system cannot make the capture, the bitmap
// is left as it was and false is returned. Where the X server cannot read
// its screen, the desktop's Screenshot portal is asked instead; why neither
// could goes into error, when given.
bool CaptureDesktop(TWindowSystem& windowSystem, const QRect& deviceRect, QImage& bitmap, QString* error = nullptr);
// The same of the primary screen.
bool CaptureDesktop(TWindowSystem& windowSystem, QImage& bitmap);

// A part of the screen (device pixels) as an opaque image; null when it
// cannot be had.
QImage CaptureScreenRect(TWindowSystem& windowSystem, const QRect& deviceRect);
