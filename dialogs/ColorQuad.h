#pragma once

#include <QImage>
#include <QWidget>

#include "drawing/PenItem.h"

// A plain swatch that shows one colour.
class TColorBox : public QWidget {
 public:
  explicit TColorBox(QWidget* parent = nullptr) : QWidget(parent) {}
  TAlphaColor Color() const { return FColor; }
  void SetColor(TAlphaColor color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TAlphaColor FColor = 0xFFFFFFFF;
};

// Saturation (left to right) and luminance (bottom to top) of one hue. What
// the user picks goes to its colour box and is reported through Changed;
// colours set by the program are shown exactly and reported to no one.
class TColorQuad : public QWidget {
  Q_OBJECT

 public:
  explicit TColorQuad(QWidget* parent = nullptr);

  void SetColorBox(TColorBox* box) { FColorBox = box; }
  // Always opaque.
  TAlphaColor Color() const { return FColor; }
  void SetColor(TAlphaColor color);
  double Hue() const { return FHue; }
  // A hue picked on the hue bar: saturation and luminance stay.
  void PickHue(double hue);

 signals:
  void Changed(TAlphaColor color);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PickAt(QPointF pos);
  void Pick();
  void Show(TAlphaColor color);

  TColorBox* FColorBox = nullptr;
  double FHue = 0;
  double FSat = 0;
  double FLum = 0;
  TAlphaColor FColor = 0xFF000000;
  QImage FField;
  double FFieldHue = -1;
};
