// Text placed by a click and typed: the pen's colour with a thin outline in
// a contrasting colour, legible on any background.
#include "TextKind.h"

#include <QFont>
#include <QFontMetricsF>
#include <QStringList>
#include <cmath>

#include "Kinds.h"
#include "ShapeKind.h"

namespace {

qreal OutlineWidth(float thickness) { return std::max(0.25 * thickness, 0.5); }

// Glyphs come from the font's cache of rendered letters: laying out glyph
// outlines as paths costs the rasterizer a millisecond and more a line,
// too slow for a keystroke.
QFont TextFont(float thickness) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(TextSize(thickness)))));
  font.setBold(true);
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

QStringList Lines(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).split(u'\n');
}

// The ink of every line, placed at the record's anchor (the first line's top-left).
QRectF Ink(const TStrokeData& d) {
  const QFontMetricsF m(TextFont(d.Menu.PenThickness));
  const TPointF a = d.Points.front();
  const QStringList lines = Lines(d.Text);
  QRectF ink;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (lines[i].isEmpty()) continue;
    ink |= m.boundingRect(lines[i]).translated(a.x, a.y + m.ascent() + i * m.lineSpacing());
  }
  return ink;
}

class TTextKind : public TShapeKind {
 public:
  TInput Input() const override { return TInput::Typed; }
  bool Draws(const TStrokeData& d) const override { return !d.Points.empty() && !d.Text.empty(); }

  QRectF Bounds(const TStrokeData& d, const TRenderStyle&) const override {
    const qreal m = OutlineWidth(d.Menu.PenThickness) / 2 + 3;
    return Ink(d).adjusted(-m, -m, m, m);
  }
  TPolygon LassoPoints(const TStrokeData& d) const override { return BoxCorners(Ink(d)); }
  QPainterPath Outline(const TStrokeData& d) const override { return BoxPath(Ink(d)); }

 protected:
  bool PaintedApart() const override { return true; }
  void Paint(QPainter& p, const TStrokeData& d) const override {
    const QFont font = TextFont(d.Menu.PenThickness);
    const QFontMetricsF m(font);
    const TPointF a = d.Points.front();
    const QStringList lines = Lines(d.Text);
    p.setFont(font);
    // The outline: the letters laid in the contrasting colour eight ways around.
    const qreal r = OutlineWidth(d.Menu.PenThickness) / 2;
    const auto lay = [&](QPointF offset) {
      for (qsizetype i = 0; i < lines.size(); ++i)
        p.drawText(QPointF(a.x, a.y + m.ascent() + i * m.lineSpacing()) + offset, lines[i]);
    };
    p.setPen(QColor::fromRgba(ContrastColor(d.Menu.PenColor)));
    for (int k = 0; k < 8; ++k) {
      const qreal angle = k * 3.14159265358979 / 4;
      lay(QPointF(r * std::cos(angle), r * std::sin(angle)));
    }
    p.setPen(QColor::fromRgba(d.Menu.PenColor));
    lay(QPointF(0, 0));
  }
};

}  // namespace

QLineF TextCaret(const TPWMenuItem& pen, TPointF anchor, std::string_view text) {
  const QFontMetricsF m(TextFont(pen.PenThickness));
  const QStringList lines = Lines(text);
  const qreal x = anchor.x + m.horizontalAdvance(lines.back()) + TextSize(pen.PenThickness) * 0.05;
  const qreal top = anchor.y + m.lineSpacing() * (lines.size() - 1);
  return QLineF(x, top, x, top + m.lineSpacing());
}

const TStrokeKind& TextKind() {
  static const TTextKind kind;
  return kind;
}
