#include "PenSample.h"

#include <QPainter>
#include <algorithm>
#include <string_view>

#include "StrokeKind.h"
#include "StrokePen.h"

void DrawPenSample(const TPWMenuItem& item, QPainter& canvas, const QRectF& rect) {
  canvas.save();
  canvas.setOpacity(1.0);
  canvas.fillRect(rect, QColor::fromRgba(0xFFEEEEEE));
  if (IsShapeKind(item.PenType) && item.PenType != pwLine && item.PenType != pwLineMk) {
    // The shape itself, fitted to the field, markers at full opacity.
    canvas.setRenderHint(QPainter::Antialiasing, true);
    canvas.setClipRect(rect);
    const qreal m = std::min(item.PenThickness / 2.0 + 2, rect.height() / 4);
    const QRectF box = rect.adjusted(m, m, -m, -m);
    TPolygon points{{float(box.left()), float(box.top())}, {float(box.right()), float(box.bottom())}};
    std::string_view text;
    TPWMenuItem pen = item;
    if (item.PenType == pwStep) {
      pen.PenThickness = static_cast<float>(std::min<qreal>(rect.height() - 4, 3 * item.PenThickness) / 3);
      points = {{float(rect.center().x()), float(rect.center().y())}};
      text = "1";
    } else if (item.PenType == pwText) {
      pen.PenThickness = static_cast<float>(std::min<qreal>(rect.height() * 0.7, 3 * item.PenThickness) / 3);
      points = {{float(rect.left() + 4), float(rect.center().y() - 1.6 * pen.PenThickness)}};
      text = "Abc";
    }
    TRenderStyle full;
    full.MkOpacity = 1;
    StrokeKindOf(item.PenType)->PaintLive(canvas, {pen, points, text}, full);
  } else if (IsStrokeKind(item.PenType)) {
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
