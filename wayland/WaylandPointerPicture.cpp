#include "wayland/WaylandPointerPicture.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

void TWaylandPointerPicture::Follow(const QWidget* under) {
  const QCursor* override = QApplication::overrideCursor();
  const QCursor cursor = override ? *override : under ? under->cursor() : QCursor(Qt::ArrowCursor);
  const QPixmap pixmap = cursor.pixmap();
  if (cursor.shape() != Qt::BitmapCursor || pixmap.isNull()) {
    // Two-colour bitmap cursors are not used here: the arrow for them.
    const int shape = cursor.shape() == Qt::BitmapCursor ? Qt::ArrowCursor : cursor.shape();
    if (shape == FShape) return;
    FShape = shape;
    FPicture = 0;
    FSurface.SetCursorShape(shape);
    return;
  }
  if (pixmap.cacheKey() == FPicture && cursor.hotSpot() == FHot) return;
  FShape = -1;
  FPicture = pixmap.cacheKey();
  FHot = cursor.hotSpot();
  // Whole surface pixels: the picture's size a multiple of its scale.
  const int scale = qMax(1, qRound(pixmap.devicePixelRatio()));
  QImage image(pixmap.width() + (scale - pixmap.width() % scale) % scale,
               pixmap.height() + (scale - pixmap.height() % scale) % scale, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QImage picture = pixmap.toImage();
  picture.setDevicePixelRatio(1);  // copied pixel for pixel
  QPainter(&image).drawImage(0, 0, picture);
  const TWaylandPixels pixels{reinterpret_cast<std::uint32_t*>(image.bits()), image.width(), image.height(),
                              static_cast<int>(image.bytesPerLine())};
  FSurface.SetCursorPicture(pixels, FHot.x(), FHot.y(), scale);
}
