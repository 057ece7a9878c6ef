#pragma once

// Shows a top-level widget of a program running on Qt's offscreen platform
// on a layer surface: renders it into the surface's buffers when it asks to
// be repainted, at most once a compositor frame, and hands the surface's
// pointer input and keys to it as Qt events. On the main window's surface
// the program's other windows are drawn too, above it.

#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

#include "platform/WaylandConnection.h"
#include "wayland/WaylandPointerPicture.h"

class TWaylandPresenter : public QObject, private TLayerSurfaceListener {
  Q_OBJECT
 public:
  // main: the surface of the main window, which also shows the dialogs;
  // else that of another output, which the window fills.
  TWaylandPresenter(TWaylandConnection& connection, TLayerSurface& surface, QWidget& window, bool main = true);
  ~TWaylandPresenter() override;
  // The surface was made anew: the window is shown on it once it has a size.
  void Restart();

 signals:
  // The main window's surface was closed and made anew, above the others.
  void Reopened();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Configured() override;
  void FrameDone() override;
  void Closed() override;
  void OutputAdded() override;
  void Pointer(const TWaylandPointerEvent& e) override;
  void Key(const TWaylandKeyEvent& e) override;
  void KeyboardLeft() override { FRepeat.stop(); }
  // Repaints asked for but not yet handled (controls a save just hid) go
  // into this frame; one still on its way takes them at its frame callback.
  void BeforeCapture() override;

  void Reopen();  // a new surface for the main window, its own closed
  void Render();
  void Damage(const QWidget& widget, const QEvent& event);
  void PostKey(const TWaylandKeyEvent& e, bool autoRepeat);
  void Hover(QWidget* target, QPointF at);
  QWidget* Under() const;  // the widget at FAt that takes the pointer
  std::vector<QWidget*> Windows() const;

  TWaylandConnection& FConnection;
  TLayerSurface& FSurface;
  QWidget& FWindow;
  bool FMain;
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
