#pragma once

#include <QImage>
#include <QWidget>

#include "drawing/PenItem.h"

class TColorQuad;

// A vertical bar of every hue, top to bottom, that sets the hue of its
// colour square.
class THueBar : public QWidget {
 public:
  explicit THueBar(QWidget* parent = nullptr) : QWidget(parent) {}

  void SetColorQuad(TColorQuad* quad) { FColorQuad = quad; }
  // Shows the colour on the square (and its box) without reporting a change.
  void SetColor(TAlphaColor color);
  double Hue() const { return FHue; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void PickAt(double y);

  TColorQuad* FColorQuad = nullptr;
  double FHue = 0;
  QImage FBar;
};
