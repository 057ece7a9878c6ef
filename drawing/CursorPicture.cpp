#include "CursorPicture.h"

#include <QPainter>

#include "resources/Pictures.h"

namespace {

const char* PictureName(TPWPenType type) {
  switch (type) {
    case pwPn:
    case pwArPn0:
    case pwArPn1: return "CR_PEN";
    case pwMk:
    case pwArMk0:
    case pwArMk1: return "CR_MARKER";
    case pwEr: return "CR_ERASER";
    case pwRbPn: return "CR_RBPEN";
    case pwRbMk: return "CR_RBMARKER";
    case pwLasso: return "CR_LASSO";
    case pwLine:
    case pwLineMk: return "CR_LINE";
    case pwRect:
    case pwRectMk: return "CR_RECT";
    case pwEllipse:
    case pwEllipseMk: return "CR_ELLIPSE";
    case pwText: return "CR_TEXT";
    case pwStep: return "CR_STEP";
    case pwLaser: return "CR_LASER";
    default: return nullptr;
  }
}

bool HasColourBand(TPWPenType type) {
  return type == pwPn || type == pwArPn0 || type == pwArPn1 || type == pwMk || type == pwArMk0 ||
         type == pwArMk1 || IsShapeKind(type) || type == pwLaser;
}

}  // namespace

QImage CursorPicture(const TPWMenuItem& item, qreal ratio) {
  const char* name = PictureName(item.PenType);
  if (!name) return {};
  QImage picture = LoadPicture(QString::fromLatin1(name), ratio);
  if (picture.isNull()) return {};
  picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  // The band is drawn in the picture's logical pixels.
  if (HasColourBand(item.PenType)) {
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor::fromRgba(item.PenColor), 5.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(7.5, 14.5), QPointF(12.5, 24.5));
  }
  return picture;
}

std::optional<QPointF> CursorOffset(TPWPenType type) {
  switch (type) {
    case pwEr: return QPointF(-16, 0);
    case pwLasso: return QPointF(-1, -2);
    default: break;
  }
  if (PictureName(type)) return QPointF(0, 0);
  return std::nullopt;
}
