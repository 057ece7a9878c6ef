#pragma once

// The desktop's Screenshot portal (org.freedesktop.portal.Screenshot on the
// session bus), asked for the whole screen without a dialog: the way to read
// the screen where the compositor offers no screen copy of its own (KDE
// Plasma's, for one).

#include <QDateTime>
#include <QImage>
#include <QString>

#include <cstdint>
#include <span>
#include <string>

#include "platform/Platform.h"

// The screen as the portal gives it, or null with why in error: no session
// bus or portal, a refusal, a picture that cannot be read, or no answer
// within timeoutMs. The file the portal wrote for the request (some write it
// into the user's pictures folder) is removed once read: the user asked for
// one picture, the program's own.
QImage PortalScreenshot(int timeoutMs, QString& error);

// Removes file when it is a plain file written at asked or later; true when
// removed. Anything older, or a link, is left alone.
bool RemovePortalPicture(const QString& file, const QDateTime& asked);

// rect of the portal's picture as opaque 0xFFRRGGBB pixels; false, pixels
// untouched and why in error, when it cannot be had.
bool CapturePortalScreen(const TPlatformRect& rect, std::span<std::uint32_t> pixels, std::string& error);
