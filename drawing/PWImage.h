#pragma once

#include <QImage>
#include <QWidget>

#include "PenItem.h"
#include "StrokeHistory.h"

// The drawing surface: shows the pen layer over a background that is fully
// transparent (pointer passes through) or white of alpha 1 (write mode),
// takes pointer input in write mode, keeps the stroke history.
//
// This is the contract the main window codes against; the engine behind it
// lives in this folder.
class TPWImage : public QWidget {
  Q_OBJECT

 public:
  explicit TPWImage(QWidget* owner);
  ~TPWImage() override;

  // Sizes the layers to the widget and clears drawing and history.
  void Init();
  void PWResize();
  void ZoomPosSet();
  // Composes the display from the background and the pen layer.
  void PWImageBitmapUpdate();
  void EraseAll();
  void PWUndo();
  void PWRedo();
  // Commits a pending lasso selection; nothing unless the lasso is current.
  void LassoUpdate();

  // Every stroke in effect over transparency (QImage::Format_ARGB32_Premultiplied).
  const QImage& PenBitmap() const;

  TPWMenuItem CrPen() const;
  void SetCrPen(const TPWMenuItem& item);
  float MKOpacity() const;
  void SetMKOpacity(float opacity);
  bool CanWrite() const;
  void SetCanWrite(bool on);
  bool CurVisible() const;
  void SetCurVisible(bool visible);
  // True from a press until its release, and while a live drawing runs.
  bool isWorking() const;

  const TPWRecArray& History() const;
};
