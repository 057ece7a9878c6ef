#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

#include "platform/Platform.h"

class QTimer;

// The screen darkened but for a round light around the pointer. It lies
// over the strokes and under the corner buttons and the column, takes no
// pointer input itself (clicks reach the surface, or with drawing off the
// windows below), and follows the pointer by asking where it is at the
// screen's pace, since over other windows no event tells the program.
class TSpotlight : public QWidget {
 public:
  static constexpr int MinRadius = 40;
  static constexpr int MaxRadius = 600;
  static constexpr int StartRadius = 150;

  // The light lies over form, below the widget above.
  TSpotlight(QWidget& form, QWidget* above, TWindowSystem& windowSystem);
  ~TSpotlight() override;

  void Toggle();
  bool On() const { return isVisible(); }
  int Radius() const { return FRadius; }
  // Steps the radius by a wheel notch or a bracket key; up is larger.
  void StepRadius(int steps);
  QPoint Centre() const { return FCentre; }
  // Looks where the pointer is now and moves the light there.
  void Follow();

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QRect LightRect(QPoint centre, int radius) const;
  void MoveTo(QPoint centre, int radius);
  bool OurWindow(QObject* watched) const;

  QWidget& FForm;
  TWindowSystem& FWindowSystem;
  QTimer* FTimer = nullptr;
  QPoint FCentre{-10000, -10000};
  int FRadius = StartRadius;
};
