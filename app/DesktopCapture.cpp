#include "app/DesktopCapture.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <cstring>
#include <vector>

#include "drawing/DevicePixels.h"

QRect ScreenDeviceRect(TWindowSystem& windowSystem, const QScreen* screen) {
  if (!screen) return {};
  const QRect g = screen->geometry();
  for (const TPlatformRect& m : windowSystem.Monitors())
    if (m.X == g.x() && m.Y == g.y()) return {m.X, m.Y, m.Width, m.Height};
  return {g.topLeft(), DeviceSize(g.size(), screen->devicePixelRatio())};
}

QRect PrimaryScreenDeviceRect(TWindowSystem& windowSystem) {
  return ScreenDeviceRect(windowSystem, QGuiApplication::primaryScreen());
}

QRect DesktopDeviceRect(TWindowSystem& windowSystem, bool allScreens) {
  if (!allScreens) return PrimaryScreenDeviceRect(windowSystem);
  QRect all;
  for (const QScreen* screen : QGuiApplication::screens()) all |= ScreenDeviceRect(windowSystem, screen);
  return all;
}

namespace {

TPlatformRect ToPlatform(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

// Whatever the system shows between monitors of different sizes is no
// screen's: black, as the save promises.
void BlackenOutsideScreens(TWindowSystem& windowSystem, const QRect& deviceRect, QImage& bitmap) {
  QRegion outside(deviceRect);
  for (const QScreen* screen : QGuiApplication::screens())
    outside -= ScreenDeviceRect(windowSystem, screen);
  if (outside.isEmpty()) return;
  QPainter p(&bitmap);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  for (const QRect& r : outside) p.fillRect(r.translated(-deviceRect.topLeft()), Qt::black);
}

}  // namespace

bool CaptureDesktop(TWindowSystem& windowSystem, const QRect& deviceRect, QImage& bitmap) {
  if (deviceRect.isEmpty() || bitmap.size() != deviceRect.size()) return false;
  // Straight into the bitmap's rows when they lie end to end, as the
  // platform fills them; the platform leaves them untouched on failure.
  if (bitmap.format() == QImage::Format_ARGB32 &&
      bitmap.bytesPerLine() == qsizetype(bitmap.width()) * 4) {
    auto* bits = reinterpret_cast<std::uint32_t*>(bitmap.bits());
    const std::size_t count = std::size_t(bitmap.width()) * std::size_t(bitmap.height());
    if (!windowSystem.CaptureScreen(ToPlatform(deviceRect), {bits, count})) return false;
  } else {
    const QImage captured = CaptureScreenRect(windowSystem, deviceRect);
    if (captured.isNull()) return false;
    bitmap = captured.convertToFormat(bitmap.format());
  }
  BlackenOutsideScreens(windowSystem, deviceRect, bitmap);
  return true;
}

bool CaptureDesktop(TWindowSystem& windowSystem, QImage& bitmap) {
  return CaptureDesktop(windowSystem, PrimaryScreenDeviceRect(windowSystem), bitmap);
}

QImage CaptureScreenRect(TWindowSystem& windowSystem, const QRect& deviceRect) {
  if (deviceRect.isEmpty()) return {};
  QImage image(deviceRect.size(), QImage::Format_ARGB32);
  if (image.isNull()) return {};
  const std::size_t count = std::size_t(image.width()) * std::size_t(image.height());
  if (image.bytesPerLine() != qsizetype(image.width()) * 4) return {};
  if (!windowSystem.CaptureScreen(ToPlatform(deviceRect),
                                  {reinterpret_cast<std::uint32_t*>(image.bits()), count}))
    return {};
  return image;
}
