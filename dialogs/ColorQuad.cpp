#include "dialogs/ColorQuad.h"

#include <QColor>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

void TColorBox::SetColor(TAlphaColor color) {
  if (FColor == color) return;
  FColor = color;
  update();
}

void TColorBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor::fromRgba(FColor));
  p.setPen(QColor(0x80, 0x80, 0x80));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

TColorQuad::TColorQuad(QWidget* parent) : QWidget(parent) { setCursor(Qt::CrossCursor); }

void TColorQuad::SetColor(TAlphaColor color) {
  const QColor c = QColor::fromRgb(color | 0xFF000000);
  // A grey has no hue of its own; the square keeps the one it shows.
  const double hue = c.hslHueF();
  if (hue >= 0) FHue = hue;
  FSat = c.hslSaturationF();
  FLum = c.lightnessF();
  Show(color | 0xFF000000);
}

void TColorQuad::PickHue(double hue) {
  FHue = std::clamp(hue, 0.0, 1.0);
  Pick();
}

void TColorQuad::PickAt(QPointF pos) {
  const double w = std::max(1, width() - 1);
  const double h = std::max(1, height() - 1);
  FSat = std::clamp(pos.x() / w, 0.0, 1.0);
  FLum = std::clamp(1.0 - pos.y() / h, 0.0, 1.0);
  Pick();
}

void TColorQuad::Pick() {
  Show(QColor::fromHslF(float(FHue), float(FSat), float(FLum)).rgba());
  emit Changed(FColor);
}

void TColorQuad::Show(TAlphaColor color) {
  FColor = color;
  if (FColorBox) FColorBox->SetColor(color);
  update();
}

void TColorQuad::resizeEvent(QResizeEvent*) { FFieldHue = -1; }

void TColorQuad::paintEvent(QPaintEvent*) {
  if (FFieldHue != FHue || FField.size() != size()) {
    FField = QImage(size(), QImage::Format_RGB32);
    const int w = std::max(1, width() - 1);
    const int h = std::max(1, height() - 1);
    for (int y = 0; y < height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(FField.scanLine(y));
      for (int x = 0; x < width(); ++x)
        line[x] = QColor::fromHslF(float(FHue), float(x) / float(w), 1.0f - float(y) / float(h)).rgb();
    }
    FFieldHue = FHue;
  }
  QPainter p(this);
  p.drawImage(0, 0, FField);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF at(FSat * (width() - 1), (1.0 - FLum) * (height() - 1));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::black, 1));
  p.drawEllipse(at, 5, 5);
  p.setPen(QPen(Qt::white, 1));
  p.drawEllipse(at, 4, 4);
}

void TColorQuad::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) PickAt(event->position());
}

void TColorQuad::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) PickAt(event->position());
}
