#include "MetroButton.h"

#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QtMath>

namespace {

// Labels and glyphs turn black on tiles at least this bright.
constexpr double kLightTile = 204;
constexpr int kLabelBand = 24;   // below the icon, for the label
constexpr int kIconTop = 10;     // above the icon

double Brightness(std::uint32_t c) {
  return 0.3 * qRed(c) + 0.59 * qGreen(c) + 0.11 * qBlue(c);
}

}  // namespace

TMetroButton::TMetroButton(QWidget* parent, TMetroButtonType type) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  setContentsMargins(5, 5, 5, 5);
  SetMetroButtonType(type);
  setCursor(Qt::PointingHandCursor);
}

TMetroButton::~TMetroButton() = default;

void TMetroButton::SetMetroButtonType(TMetroButtonType type) {
  FMetroButtonType = type;
  FColor = MetroBlue;
  switch (type) {
    case mtSingle:
      FMetroHeight = FMetroWidth = MetroLargeSize;
      break;
    case mtDouble:
      FMetroHeight = MetroLargeSize;
      FMetroWidth = 2 * MetroLargeSize + MetroSpace;
      break;
    case mtPicture:
      FMetroHeight = FMetroWidth = MetroLargeSize;
      FColor = 0xFFFFFFFF;
      if (FBitmap.isNull()) {
        FBitmap = QImage(MetroLargeSize, MetroLargeSize, QImage::Format_ARGB32_Premultiplied);
        FBitmap.fill(Qt::transparent);
      } else if (FBitmap.size() != QSize(MetroLargeSize, MetroLargeSize)) {
        FBitmap = FBitmap.scaled(MetroLargeSize, MetroLargeSize, Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation);
      }
      break;
    case mtSmallSingle:
      FMetroHeight = FMetroWidth = MetroSmallSize;
      break;
    case mtSmallDouble:
      FMetroHeight = MetroSmallSize;
      FMetroWidth = 2 * MetroSmallSize + MetroSpace;
      break;
  }
  // A tile retyped while pressed stays pushed in, so that the release brings
  // it back to its full size.
  const int shrink = MDown ? 2 * MetroPress : 0;
  resize(FMetroWidth - shrink, FMetroHeight - shrink);
  update();
}

void TMetroButton::SetDown(bool down) {
  if (FDown == down) return;
  FDown = down;
  update();
}

// Pointer ------------------------------------------------------------------

void TMetroButton::mousePressEvent(QMouseEvent* event) {
  // A second button while one is held must not push the tile in twice: only
  // one release would bring it back.
  if (!MDown) {
    MDown = true;
    const QRect g = geometry();
    setGeometry(g.x() + MetroPress, g.y() + MetroPress, g.width() - 2 * MetroPress,
                g.height() - 2 * MetroPress);
  }
  update();
  event->accept();
}

// Moves arrive only while a button is held (the tile does not track the
// pointer otherwise). Qt sends no leave while a button is held, so leaving
// and coming back are detected here.
void TMetroButton::mouseMoveEvent(QMouseEvent* event) {
  const bool over = OverRestingTile(event->position());
  if (over && !Enter)
    PointerEntered();
  else if (!over && Enter)
    PointerLeft();
  event->accept();
}

void TMetroButton::mouseReleaseEvent(QMouseEvent* event) {
  if (!OverRestingTile(event->position())) PointerLeft();
  const bool pressed = ReleasePress();
  update();
  event->accept();
  if (pressed && OnExecute) {
    // The handler may destroy this tile and with it OnExecute; the copy keeps
    // the running handler alive. Nothing of the tile is touched afterwards.
    const std::function<void(TMetroButton*)> handler = OnExecute;
    handler(this);
  }
}

void TMetroButton::enterEvent(QEnterEvent*) { PointerEntered(); }

void TMetroButton::leaveEvent(QEvent*) { PointerLeft(); }

void TMetroButton::hideEvent(QHideEvent*) {
  // A hidden tile gets no release; give it back its size now.
  ReleasePress();
  Enter = false;
}

void TMetroButton::PointerEntered() {
  Enter = true;
  MetroEntered = true;
  update();
}

void TMetroButton::PointerLeft() {
  Enter = false;
  ReleasePress();
  update();
}

bool TMetroButton::ReleasePress() {
  if (!MDown) return false;
  MDown = false;
  const QRect g = geometry();
  setGeometry(g.x() - MetroPress, g.y() - MetroPress, g.width() + 2 * MetroPress,
              g.height() + 2 * MetroPress);
  return true;
}

// Whether a point (in tile coordinates) lies on the tile at its resting size:
// a press near the edge must not count as leaving just because the pressed
// tile shrank away from under the pointer.
bool TMetroButton::OverRestingTile(const QPointF& pos) const {
  const QRect r = MDown ? rect().adjusted(-MetroPress, -MetroPress, MetroPress, MetroPress) : rect();
  return r.contains(QPoint(qFloor(pos.x()), qFloor(pos.y())));
}

// Painting -----------------------------------------------------------------

// Glyphs are drawn white and turned black on light tiles; rainbow glyphs keep
// their colours on the default blue. Changes the icon itself, so that doing
// it again changes nothing.
void TMetroButton::RecolourIcon() {
  if (FColor == MetroBlue || FBitmap.isNull()) return;
  const bool white = Brightness(FColor) < kLightTile;
  const bool premultiplied = FBitmap.format() == QImage::Format_ARGB32_Premultiplied;
  if (!premultiplied && FBitmap.format() != QImage::Format_ARGB32)
    FBitmap.convertTo(QImage::Format_ARGB32);
  for (int y = 0; y < FBitmap.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(FBitmap.scanLine(y));
    for (int x = 0; x < FBitmap.width(); ++x) {
      const int a = qAlpha(line[x]);
      const int c = white ? (premultiplied ? a : 255) : 0;
      line[x] = qRgba(c, c, c, a);
    }
  }
}

void TMetroButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = width(), h = height();
  p.fillRect(rect(), QColor::fromRgba(FColor));

  if (Enter || FDown) {
    // A white frame two pixels wide along the edge with a black line inside
    // it, so that it shows on white tiles too. Pixel-aligned for crisp edges.
    QPen black(QColor::fromRgba(0xFF000000), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    p.setPen(black);
    p.drawRect(QRectF(2.5, 2.5, w - 5, h - 5));
    QPen white(QColor::fromRgba(0xFFFFFFFF), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    p.setPen(white);
    p.drawRect(QRectF(1, 1, w - 2, h - 2));
  }

  p.setRenderHint(QPainter::SmoothPixmapTransform);
  if (FMetroButtonType == mtPicture) {
    if (!FBitmap.isNull()) {
      p.setOpacity(0.5);
      p.drawImage(QRectF(rect()), FBitmap);
    }
    return;
  }

  const double s = h - kLabelBand - kIconTop;
  const double d = (w - s) / 2;
  const QRectF iconRect(d, h - kLabelBand - s, s, s);
  const bool whiteLabel = Brightness(FColor) < kLightTile;
  RecolourIcon();
  if (!FBitmap.isNull() && s > 0) p.drawImage(iconRect, FBitmap);

  if (FText.isEmpty()) return;
  QFont font;
  font.setFamilies({QStringLiteral("Segoe UI")});
  font.setStyleHint(QFont::SansSerif);
  // The label's size is in pixels; Qt's in points.
  font.setPointSizeF(h * 0.16 * 72.0 / logicalDpiY());
  p.setFont(font);
  p.setPen(QColor::fromRgba(whiteLabel ? 0xFFFFFFFF : 0xFF000000));
  p.drawText(QRectF(6, 3, w - 12, h - 6), Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, FText);
}
