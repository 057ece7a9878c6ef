// Live drawing of the kinds drawn whole (lines, boxes, badges) and the text
// being typed.
#include <QPainter>

#include "PWEngine.h"
#include "StrokeKind.h"
#include "kinds/TextKind.h"

void TPWEngine::ComposeLive(const QRect& rect) {
  const QRect r = rect & FDisplay.rect();
  if (r.isEmpty()) return;
  QPainter p(&FDisplay);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.fillRect(r, QColor::fromRgba(FLiveBackground));
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.drawImage(r.topLeft(), FPnBitmap, r);
  p.drawImage(r.topLeft(), FDLnBitmap, r);
  FDirty += r;
}

void TPWEngine::LiveWhole(const TPolygon& points, std::string_view text, bool caret) {
  const TStrokeKind* kind = StrokeKindOf(FCrPen.PenType);
  if (!kind) return;
  const QRect old = FLiveRect;
  ClearRect(FDLnBitmap, old & FDLnBitmap.rect());
  const TPWMenuItem pen = ToDevice(FCrPen);
  const TPolygon device = ToDevice(points);
  const TStrokeData d{pen, device, text};
  QRect now;
  {
    QPainter s(&FDLnBitmap);
    s.setRenderHint(QPainter::Antialiasing, true);
    if (!device.empty() && kind->Draws(d)) {
      now = PixelRect(kind->Bounds(d, FStyle), FDLnBitmap.size());
      s.setClipRect(now);
      kind->PaintLive(s, d, FStyle);
      s.setClipping(false);
    }
    if (caret && !device.empty()) {
      const QLineF line = TextCaret(pen, device.front(), text);
      const qreal w = std::max<qreal>(1, TextSize(pen.PenThickness) / 16);
      const QRect r = PixelRect(QRectF(line.p1(), line.p2()).normalized().adjusted(-w - 2, -2, w + 2, 2),
                                FDLnBitmap.size());
      s.setPen(QPen(QColor::fromRgba(FCrPen.PenColor | 0xFF000000u), w, Qt::SolidLine, Qt::FlatCap));
      s.drawLine(line);
      now |= r;
    }
  }
  FLiveRect = now;
  FLiveTiles.Add(now);
  ComposeLive(old);
  ComposeLive(now);
}

int TPWEngine::NextStep() const {
  int n = 1;
  for (int i = 0; i <= FHistory.p(); ++i) n += FHistory.Rec()[i].Menu.PenType == pwStep;
  return n;
}

void TPWEngine::TypeText(const QString& typed) {
  if (!FTextOpen) return;
  QString clean;
  for (const QChar c : typed) {
    if (c == u'\r' || c == u'\n') {
      clean += u'\n';
    } else if (c.isPrint() || c.isSurrogate()) {
      clean += c;
    }
  }
  if (clean.isEmpty()) return;
  FText += clean.toStdString();
  LiveWhole({FTextAt}, FText, true);
}

void TPWEngine::TypeBackspace() {
  if (!FTextOpen || FText.empty()) return;
  QString text = QString::fromStdString(FText);
  text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
  FText = text.toStdString();
  LiveWhole({FTextAt}, FText, true);
}

void TPWEngine::EndText() {
  if (!FTextOpen) return;
  FTextOpen = false;
  const std::string text = std::move(FText);
  FText.clear();
  AddRecord({FTextAt}, text);
}

QRectF TPWEngine::TextCaretRect() const {
  if (!FTextOpen) return {};
  const QLineF line = TextCaret(FCrPen, FTextAt, FText);
  return QRectF(line.p1(), line.p2()).adjusted(-1, 0, 1, 0);
}
