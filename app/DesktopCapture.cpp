#include "app/DesktopCapture.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <cstring>
#include <vector>

#include "drawing/DevicePixels.h"
#if KORIVAN_HAVE_PORTAL
#include "portal/Screenshot.h"
#endif

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

// An X server without a root picture (a rootless one on a Wayland desktop)
// cannot give the screen: the compositor holds it, and hands it out through
// the desktop's Screenshot portal, where there is one.
bool CaptureThroughPortal(TWindowSystem& windowSystem, const QRect& deviceRect, std::span<std::uint32_t> pixels,
                          QString* error) {
  if (windowSystem.Name() != "x11") return false;
#if KORIVAN_HAVE_PORTAL
  std::string why;
  if (CapturePortalScreen(ToPlatform(deviceRect), pixels, why)) return true;
  if (error) *error = QStringLiteral("the X server gave no picture of its screen, and %1").arg(QString::fromStdString(why));
#else
  (void)deviceRect;
  (void)pixels;
  if (error) *error = QStringLiteral("the X server gave no picture of its screen");
#endif
  return false;
}

}  // namespace

bool CaptureDesktop(TWindowSystem& windowSystem, const QRect& deviceRect, QImage& bitmap, QString* error) {
  if (deviceRect.isEmpty() || bitmap.size() != deviceRect.size()) return false;
  // Straight into the bitmap's rows when they lie end to end, as the
  // platform fills them; the platform leaves them untouched on failure.
  const std::size_t count = std::size_t(bitmap.width()) * std::size_t(bitmap.height());
  if (bitmap.format() == QImage::Format_ARGB32 &&
      bitmap.bytesPerLine() == qsizetype(bitmap.width()) * 4) {
    auto* bits = reinterpret_cast<std::uint32_t*>(bitmap.bits());
    if (!windowSystem.CaptureScreen(ToPlatform(deviceRect), {bits, count}) &&
        !CaptureThroughPortal(windowSystem, deviceRect, {bits, count}, error))
      return false;
  } else {
    QImage captured = CaptureScreenRect(windowSystem, deviceRect);
    if (captured.isNull()) {
      QImage through(deviceRect.size(), QImage::Format_ARGB32);
      if (through.isNull() || through.bytesPerLine() != qsizetype(through.width()) * 4 ||
          !CaptureThroughPortal(windowSystem, deviceRect,
                                {reinterpret_cast<std::uint32_t*>(through.bits()), count}, error))
        return false;
      captured = std::move(through);
    }
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
