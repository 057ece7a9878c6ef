#include "app/DesktopCapture.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <cstring>
#include <vector>

QRect PrimaryScreenDeviceRect() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return {};
  const QRect g = screen->geometry();
  const qreal dpr = screen->devicePixelRatio();
  // Qt keeps a screen's origin in device pixels and divides only its size.
  return {g.topLeft(), QSize(int(std::lround(g.width() * dpr)), int(std::lround(g.height() * dpr)))};
}

namespace {

TPlatformRect ToPlatform(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

}  // namespace

bool CaptureDesktop(TWindowSystem& windowSystem, QImage& bitmap) {
  const QRect screen = PrimaryScreenDeviceRect();
  if (screen.isEmpty() || bitmap.size() != screen.size()) return false;
  // Straight into the bitmap's rows when they lie end to end, as the
  // platform fills them; the platform leaves them untouched on failure.
  if (bitmap.format() == QImage::Format_ARGB32 &&
      bitmap.bytesPerLine() == qsizetype(bitmap.width()) * 4) {
    auto* bits = reinterpret_cast<std::uint32_t*>(bitmap.bits());
    const std::size_t count = std::size_t(bitmap.width()) * std::size_t(bitmap.height());
    return windowSystem.CaptureScreen(ToPlatform(screen), {bits, count});
  }
  const QImage captured = CaptureScreenRect(windowSystem, screen);
  if (captured.isNull()) return false;
  bitmap = captured.convertToFormat(bitmap.format());
  return true;
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
