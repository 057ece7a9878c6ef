#pragma once

// Shows a top-level widget of a program running on Qt's offscreen platform
// through the overlay surface: renders it into the surface's buffers when it
// asks to be repainted, at most once a compositor frame, and hands the
// surface's pointer input to it as Qt mouse events: the Wayland path, chosen
// at start (BackendChoice.h). The program's other windows are drawn on
// the same surface, above it.

#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

#include "app/WaylandPointerPicture.h"
#include "platform/WaylandOverlay.h"

class TWaylandPresenter : public QObject {
  Q_OBJECT
 public:
  // main: the surface of the main window, which also shows the dialogs;
  // else that of another output, which the window fills.
  TWaylandPresenter(TWaylandOverlay& overlay, QWidget& window, bool main = true);
  ~TWaylandPresenter() override;
  // The surface was made anew: the window is shown on it once it has a size.
  void Restart();

 signals:
  // The main window's surface was closed and made anew, above the others.
  void Reopened();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Reopen();  // a new surface for the main window, its own closed
  void Render();
  void PresentNow();
  void Damage(const QWidget& widget, const QEvent& event);
  void Pointer(const TWaylandPointerEvent& e);
  void Key(const TWaylandKeyEvent& e);
  void PostKey(const TWaylandKeyEvent& e, bool autoRepeat);
  void Hover(QWidget* target, QPointF at);
  QWidget* Under() const;  // the widget at FAt that takes the pointer
  std::vector<QWidget*> Windows() const;

  TWaylandOverlay& FOverlay;
  QWidget& FWindow;
  bool FMain;
  QSocketNotifier FNotifier;
  bool FDirty = true;
  bool FShown = false;  // the surface has had a size
  bool FWaiting = false;  // a frame is on its way to the screen
  QPointer<QWidget> FHovered;
  QPointer<QWidget> FGrabbed;  // the widget pressed on keeps the pointer until release
  Qt::MouseButtons FButtons;
  QPointF FAt;
  bool FInside = false;  // the pointer is on the surface
  TWaylandPointerPicture FPointerPicture;
  QRegion FDamage;  // surface pixels to paint anew
  int FScale = 0;   // of the last picture
  bool FRendering = false;
  QTimer FRepeat;  // the held key's next repeat
  TWaylandKeyEvent FRepeating;
};
