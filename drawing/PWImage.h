#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "PenItem.h"
#include "StrokeHistory.h"

class QTimer;
class TPWEngine;
class TSelectionView;

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
  // The laser trail off the screen at once (a picture is about to be taken).
  void DropLaser();

  // The engine behind the surface, for tests and tools.
  TPWEngine& Engine() { return *FEngine; }
  // The pointer picture (the system pointer over the surface) and where it
  // lies, in surface coordinates: empty while hidden or outside.
  QImage CursorImage() const;
  QRect CursorGeometry() const;
  // Changes are on their way to the screen: a repaint is asked for, or
  // held until the next frame's mark.
  bool FramePending() const;
  // Moves read past the toolkit (by the platform layer, all that waited),
  // in surface coordinates: each taken as a move event would take it, and
  // one repaint for all.
  void PointerMoves(std::span<const QPointF> positions, Qt::KeyboardModifiers modifiers = {});
  // Whether a repaint is held for the next frame's mark; BeforeHeldFrame
  // runs just before it goes out, to bring in what came meanwhile.
  bool FrameHeld() const;
  std::function<void()> BeforeHeldFrame;
  // Where set, the live stroke's frames go through it: source (device
  // pixels of image) to target (device pixels of the window). False: the
  // toolkit paints that frame instead.
  std::function<bool(const QRect& target, const QImage& image, const QRect& source)> DirectPaint;
  // Returns once what DirectPaint wrote is on the window: the toolkit's
  // repaint that follows takes another way there and must land over it.
  std::function<void()> DirectPaintDone;
  // The floating selection, in surface coordinates (hidden: empty).
  QRect SelectionGeometry() const;
  // Whether moves with no button held matter: the lasso shows a hand over a
  // selection. OnHoverWanted hears when that changes.
  bool WantsHover() const;
  std::function<void()> OnHoverWanted;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // The surface shows no focus: gaining or losing it repaints nothing.
  void focusInEvent(QFocusEvent*) override {}
  void focusOutEvent(QFocusEvent*) override {}
  void inputMethodEvent(QInputMethodEvent* event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

 private:
  void SetCursorPicture();
  void ShowPicture(const char* name, QPointF offset);
  void PlaceCursor(QPointF pos);
  void PointerLeft();
  // While a text is open the surface takes the keyboard and the input method.
  void FollowText();
  void PlaceSelection();
  void NoteHoverWanted();
  // Takes what the engine changed and asks the window to repaint it.
  void Flush();
  // Asks for the repaint now, or at the next frame's mark when the last
  // frame went out less than a quarter of the screen's frame ago.
  void Repaint(const QRegion& region);
  void FrameOut();
  qint64 FrameGapNs() const;
  bool MoveTo(QPointF pos, Qt::KeyboardModifiers modifiers);
  void ApplyCursor();
  qreal PictureRatio() const;

  std::unique_ptr<TPWEngine> FEngine;
  TSelectionView* SelImage = nullptr;
  QImage FPicture;
  QPointF CurOffset;
  QPointF FPointer;
  bool FInside = false;
  bool FRepaintAsked = false;
  // When the last frame went out, and what waits for the next mark.
  QElapsedTimer FLastFrame;
  QRegion FHeld;
  QRegion FHeldDevice;
  // Drawn into the window past the toolkit, which has yet to repaint it.
  QRegion FBehind;
  QTimer* FFrameTimer = nullptr;
  // Runs at the screen's pace while a laser trail fades, and only then.
  QTimer* FLaserTimer = nullptr;
  // Name of a hand or lasso picture shown instead of the pen's own.
  QString FPictureName;
  bool FCurVisible = true;
  // The pointer left the surface while a button was held.
  bool FOutside = false;
  bool FHoverWanted = false;
};
