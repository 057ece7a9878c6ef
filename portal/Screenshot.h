#pragma once

// The desktop's Screenshot portal (org.freedesktop.portal.Screenshot on the
// session bus), asked for the whole screen without a dialog: the way to read
// the screen where the compositor offers no screen copy of its own (KDE
// Plasma's, for one).

#include <QImage>
#include <QString>

#include <cstdint>
#include <span>
#include <string>

#include "platform/Platform.h"

// The screen as the portal gives it, or null with why in error: no session
// bus or portal, a refusal, a picture that cannot be read, or no answer
// within timeoutMs. The portal keeps the file it wrote; it is not ours.
QImage PortalScreenshot(int timeoutMs, QString& error);

// rect of the portal's picture as opaque 0xFFRRGGBB pixels; false, pixels
// untouched and why in error, when it cannot be had.
bool CapturePortalScreen(const TPlatformRect& rect, std::span<std::uint32_t> pixels, std::string& error);
