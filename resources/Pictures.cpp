#include "Pictures.h"

#include <QDir>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

// The resource object lives in a static library; naming its initialiser here
// makes the linker keep it whichever program links the library.
static void InitPictures() {
  static const bool once = [] {
    Q_INIT_RESOURCE(korivan_pictures);
    return true;
  }();
  (void)once;
}

QImage LoadPicture(const QString& name) {
  InitPictures();
  // A name is one path component; anything else could reach other resources.
  if (name.isEmpty() || name.contains(QLatin1Char('/'))) return QImage();
  return QImage(QStringLiteral(":/pictures/") + name + QStringLiteral(".png"));
}

QImage LoadPicture(const QString& name, qreal ratio) {
  QImage plain = LoadPicture(name);
  if (plain.isNull() || !(ratio > 0) || std::abs(ratio - 1) < 1e-3) return plain;
  QSvgRenderer svg(QStringLiteral(":/pictures/") + name + QStringLiteral(".svg"));
  if (!svg.isValid()) return plain;
  const QSize size(static_cast<int>(std::lround(plain.width() * ratio)),
                   static_cast<int>(std::lround(plain.height() * ratio)));
  QImage img(size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  {
    QPainter p(&img);
    svg.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
  }
  img.setDevicePixelRatio(ratio);
  return img;
}

QStringList PictureNames() {
  InitPictures();
  QStringList names = QDir(QStringLiteral(":/pictures")).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
  for (QString& n : names) n.chop(4);
  return names;
}
