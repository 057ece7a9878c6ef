#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <map>
#include <vector>

#include "platform/Platform.h"

class QScreen;
class QTimer;
class QWidget;
class TMainFrm;
class TPWImage;
class TScreenOverlay;

// The drawing surfaces of every monitor: the main window's on the primary
// screen and, with "All screens" on, one window of its own on each other
// screen, at that screen's pixel ratio. The other windows follow the main
// one's pen and drawing switch; undo and redo go through one history, in the
// order the strokes were made on whichever monitor.
class TScreenSurfaces : public QObject {
 public:
  TScreenSurfaces(TMainFrm& form, TWindowSystem& windowSystem);
  ~TScreenSurfaces() override;

  // Covers the screens anew after the setting or the screens changed. The
  // windows of screens that stay keep their strokes. The setting is read
  // only when asked: a monitor plugged in while the settings dialog is open
  // must not bring in an unconfirmed change.
  void Update(bool readSetting = true);
  // Hands the main surface's pen and drawing switch to the others.
  void Sync();
  // Whether the windows cover every screen (as of the last Update).
  bool AllScreens() const { return FAll; }

  // The commands of the history, over every surface.
  void Undo();
  void Redo();
  void EraseAll();

  // Shows or hides the strokes on the other screens (a PSD's bare desktop).
  void SetStrokesVisible(bool visible);
  // Every stroke over transparency where it lies on the desktop.
  QImage StrokesLayer(const QRect& desktop) const;
  // The surfaces of the other screens, for tests.
  std::vector<TPWImage*> Others() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The surface's new records since it was last looked at go into the order.
  void Notice(TPWImage* surface);
  void ApplyInput(TScreenOverlay* overlay);
  TScreenOverlay* NewOverlay(QScreen* screen);
  void KeepStrokesOnTheirScreens(QScreen* primary);
  // Carries out the command on the surface of the latest entry of from and
  // moves that entry onto to.
  void Step(std::vector<QPointer<TPWImage>>& from, std::vector<QPointer<TPWImage>>& to,
            void (TPWImage::*command)());
  // Deletes the window of a screen that is no longer covered.
  void Drop(TScreenOverlay* overlay);
  QPoint DeviceOrigin(const QWidget* window) const;

  TMainFrm& FForm;
  TWindowSystem& FWindowSystem;
  bool FAll = false;
  std::map<QScreen*, TScreenOverlay*> FOverlays;
  // Which surface holds each record in effect, oldest first, and each
  // undone one, latest undone last.
  std::vector<QPointer<TPWImage>> FDone;
  std::vector<QPointer<TPWImage>> FUndone;
  std::map<const TPWImage*, int> FSeen;
  QTimer* FTopMost = nullptr;
};
