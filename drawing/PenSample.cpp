#include "PenSample.h"

#include <QPainter>

#include "StrokePen.h"

void DrawPenSample(const TPWMenuItem& item, QPainter& canvas, const QRectF& rect) {
  canvas.save();
  canvas.setOpacity(1.0);
  canvas.fillRect(rect, QColor::fromRgba(0xFFEEEEEE));
  if (IsStrokeKind(item.PenType)) {
    canvas.setRenderHint(QPainter::Antialiasing, true);
    const qreal y = rect.top() + rect.height() / 2;
    const qreal h = item.PenThickness / 2;
    const qreal left = rect.left() + h;
    const qreal right = rect.right() - h;
    if (IsRainbow(item.PenType)) {
      const qreal d = (right - left) / 7;
      for (int i = 0; i < 7; ++i) {
        canvas.setPen(StrokePen(RainbowColors[i], item.PenThickness, item.PenDash));
        canvas.drawLine(QPointF(left + d * i, y), QPointF(left + d * (i + 1), y));
      }
    } else {
      const TAlphaColor color = item.PenType == pwEr ? 0xFFFFFFFF : item.PenColor;
      canvas.setPen(StrokePen(color, item.PenThickness, item.PenDash));
      canvas.drawLine(QPointF(left, y), QPointF(right, y));
    }
  }
  canvas.restore();
}
