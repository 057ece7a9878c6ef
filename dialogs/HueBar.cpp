#include "dialogs/HueBar.h"

#include <QColor>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "dialogs/ColorQuad.h"

void THueBar::SetColor(TAlphaColor color) {
  if (FColorQuad) {
    FColorQuad->SetColor(color);
    FHue = FColorQuad->Hue();
  } else {
    FHue = std::max(0.0f, QColor::fromRgb(color).hslHueF());
  }
  update();
}

void THueBar::PickAt(double y) {
  FHue = std::clamp(y / std::max(1, height() - 1), 0.0, 1.0);
  if (FColorQuad) FColorQuad->PickHue(FHue);
  update();
}

void THueBar::paintEvent(QPaintEvent*) {
  if (FBar.height() != height()) {
    FBar = QImage(1, height(), QImage::Format_RGB32);
    const int h = std::max(1, height() - 1);
    for (int y = 0; y < height(); ++y)
      FBar.setPixel(0, y, QColor::fromHslF(std::min(0.9999f, float(y) / float(h)), 1.0f, 0.5f).rgb());
  }
  QPainter p(this);
  p.drawImage(rect().adjusted(3, 0, -3, 0), FBar);
  const int y = std::clamp(int(FHue * (height() - 1) + 0.5), 2, std::max(2, height() - 3));
  p.setPen(Qt::black);
  p.setBrush(Qt::white);
  p.drawRect(0, y - 2, width() - 1, 4);
}

void THueBar::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) PickAt(event->position().y());
}

void THueBar::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) PickAt(event->position().y());
}
