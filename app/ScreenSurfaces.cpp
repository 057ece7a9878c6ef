#include "app/ScreenSurfaces.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <set>
#include <utility>

#include "app/MainFrm.h"
#include "app/PaintRect.h"
#include "drawing/DevicePixels.h"
#include "drawing/PWImage.h"
#include "settings/Settings.h"

// A transparent window over one screen other than the primary, holding a
// drawing surface and nothing else; its keys go to the main window.
class TScreenOverlay : public QWidget {
 public:
  TScreenOverlay(QScreen* screen, QWidget& form) : QWidget(&form), FForm(form) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::X11BypassWindowManagerHint);
    setAttribute(Qt::WA_TranslucentBackground);
    // Not a dialog: the main window must not put it above itself and hand
    // it the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(form.windowTitle());
    PlaceOn(screen);
    Surface = new TPWImage(this);
    Surface->setGeometry(rect());
    Surface->show();
  }

  void PlaceOn(QScreen* screen) {
    if (!windowHandle()) create();
    windowHandle()->setScreen(screen);
    if (geometry() != screen->geometry()) setGeometry(screen->geometry());
  }

  TPWImage* Surface = nullptr;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (Surface) Surface->setGeometry(rect());
  }
  void keyPressEvent(QKeyEvent* event) override { QCoreApplication::sendEvent(&FForm, event); }

 private:
  QWidget& FForm;
};

TScreenSurfaces::TScreenSurfaces(TMainFrm& form, TWindowSystem& windowSystem)
    : FForm(form), FWindowSystem(windowSystem) {
  FTopMost = new QTimer(this);
  FTopMost->setInterval(200);
  connect(FTopMost, &QTimer::timeout, this, [this] {
    for (const auto& [screen, overlay] : FOverlays)
      if (overlay->isVisible()) FWindowSystem.PlaceTopMost(overlay->winId(), {});
  });
  FForm.PWImage->installEventFilter(this);
  const auto again = [this] { QTimer::singleShot(0, this, [this] { Update(false); }); };
  connect(qApp, &QGuiApplication::screenAdded, this, again);
  // A screen that goes takes its window with it at once, before the toolkit
  // moves the window onto another screen.
  connect(qApp, &QGuiApplication::screenRemoved, this, [this, again](QScreen* screen) {
    const auto it = FOverlays.find(screen);
    if (it != FOverlays.end()) {
      Drop(it->second);
      FOverlays.erase(it);
    }
    again();
  });
  connect(qApp, &QGuiApplication::primaryScreenChanged, this, [this, again](QScreen* primary) {
    KeepStrokesOnTheirScreens(primary);
    again();
  });
}

TScreenSurfaces::~TScreenSurfaces() {
  for (const auto& [screen, overlay] : FOverlays) delete overlay;
}

TScreenOverlay* TScreenSurfaces::NewOverlay(QScreen* screen) {
  auto* overlay = new TScreenOverlay(screen, FForm);
  overlay->Surface->installEventFilter(this);
  overlay->Surface->OnHoverWanted = [this, overlay] { ApplyInput(overlay); };
  connect(screen, &QScreen::geometryChanged, overlay,
          [this] { QTimer::singleShot(0, this, [this] { Update(false); }); });
  return overlay;
}

// The main window goes over to the new primary screen. Its surface stays on
// its monitor instead, in a window of its own there, and the main window
// takes the surface the new primary screen had (or a new one).
void TScreenSurfaces::KeepStrokesOnTheirScreens(QScreen* primary) {
  QScreen* old = FForm.windowHandle() ? FForm.windowHandle()->screen() : nullptr;
  if (!FAll || !old || old == primary || !QGuiApplication::screens().contains(old)) return;
  const auto it = FOverlays.find(primary);
  TScreenOverlay* overlay = it != FOverlays.end() ? it->second : NewOverlay(old);
  if (it != FOverlays.end()) FOverlays.erase(it);
  TPWImage* mine = FForm.PWImage;
  TPWImage* theirs = overlay->Surface;
  theirs->SetCrPen(mine->CrPen());
  theirs->SetCanWrite(mine->CanWrite());
  overlay->PlaceOn(old);
  mine->setParent(overlay);
  theirs->setParent(FForm.RectBK);
  overlay->Surface = mine;
  FForm.PWImage = theirs;
  // Each surface's hover callback serves the window that holds it: the one
  // the main window's surface brought would otherwise name an overlay that
  // may be deleted with its monitor, and be called after.
  std::swap(mine->OnHoverWanted, theirs->OnHoverWanted);
  mine->setGeometry(overlay->rect());
  mine->show();
  theirs->show();
  FOverlays[old] = overlay;
}

void TScreenSurfaces::Update(bool readSetting) {
  if (readSetting) FAll = isAllScreens;
  // Strokes made before there were other surfaces come first in the order.
  if (FAll) Notice(FForm.PWImage);
  QScreen* primary = QGuiApplication::primaryScreen();
  std::set<QScreen*> wanted;
  if (FAll)
    for (QScreen* screen : QGuiApplication::screens())
      if (screen != primary) wanted.insert(screen);
  for (auto it = FOverlays.begin(); it != FOverlays.end();) {
    if (wanted.count(it->first)) {
      ++it;
      continue;
    }
    Drop(it->second);
    it = FOverlays.erase(it);
  }
  for (QScreen* screen : wanted) {
    TScreenOverlay*& overlay = FOverlays[screen];
    if (!overlay) overlay = NewOverlay(screen);
    overlay->PlaceOn(screen);
    overlay->show();
    // The input shape holds only once the window is mapped.
    QTimer::singleShot(0, overlay, [this, overlay] { ApplyInput(overlay); });
  }
  Sync();
  if (FOverlays.empty())
    FTopMost->stop();
  else if (!FTopMost->isActive())
    FTopMost->start();
}

void TScreenSurfaces::Sync() {
  const TPWImage* main = FForm.PWImage;
  for (const auto& [screen, overlay] : FOverlays) {
    TPWImage* s = overlay->Surface;
    if (!(s->CrPen() == main->CrPen())) s->SetCrPen(main->CrPen());
    if (s->CanWrite() != main->CanWrite()) {
      s->SetCanWrite(main->CanWrite());
      s->update();
    }
    ApplyInput(overlay);
  }
}

void TScreenSurfaces::Drop(TScreenOverlay* overlay) {
  FSeen.erase(overlay->Surface);
  delete overlay;
}

void TScreenSurfaces::ApplyInput(TScreenOverlay* overlay) {
  if (!overlay->isVisible() || !overlay->windowHandle()) return;
  FWindowSystem.MotionOnlyWhileButtonHeld(overlay->winId(), !overlay->Surface->WantsHover());
  if (overlay->Surface->CanWrite())
    FWindowSystem.SetFullInput(overlay->winId());
  else
    FWindowSystem.SetInputRegion(overlay->winId(), {});
}

std::vector<TPWImage*> TScreenSurfaces::Others() const {
  std::vector<TPWImage*> others;
  for (const auto& [screen, overlay] : FOverlays) others.push_back(overlay->Surface);
  return others;
}

void TScreenSurfaces::Notice(TPWImage* surface) {
  const int now = surface->History().p();
  const auto seen = FSeen.find(surface);
  int before = seen == FSeen.end() ? -1 : seen->second;
  FSeen[surface] = now;
  if (now > before) {
    FDone.insert(FDone.end(), std::size_t(now - before), surface);
    FUndone.clear();
  }
  // Records the surface no longer has (its screen changed size) leave the order.
  for (auto it = FDone.end(); before > now && it != FDone.begin();) {
    if (*--it == surface) {
      it = FDone.erase(it);
      --before;
    }
  }
}

void TScreenSurfaces::Undo() {
  if (FOverlays.empty()) return FForm.PWImage->PWUndo();
  for (TPWImage* s : Others()) s->LassoUpdate();
  Notice(FForm.PWImage);
  for (TPWImage* s : Others()) Notice(s);
  Step(FDone, FUndone, &TPWImage::PWUndo);
}

void TScreenSurfaces::Redo() {
  if (FOverlays.empty()) return FForm.PWImage->PWRedo();
  Step(FUndone, FDone, &TPWImage::PWRedo);
}

void TScreenSurfaces::Step(std::vector<QPointer<TPWImage>>& from, std::vector<QPointer<TPWImage>>& to,
                           void (TPWImage::*command)()) {
  // Surfaces whose screen went leave gaps.
  while (!from.empty() && !from.back()) from.pop_back();
  if (from.empty()) return;
  TPWImage* s = from.back();
  from.pop_back();
  (s->*command)();
  FSeen[s] = s->History().p();
  to.push_back(s);
}

void TScreenSurfaces::EraseAll() {
  FForm.PWImage->EraseAll();
  for (TPWImage* s : Others()) s->EraseAll();
  FDone.clear();
  FUndone.clear();
  FSeen.clear();
}

void TScreenSurfaces::SetStrokesVisible(bool visible) {
  for (const auto& [screen, overlay] : FOverlays) {
    overlay->Surface->setVisible(visible);
    if (overlay->isVisible()) overlay->repaint();
  }
}

QPoint TScreenSurfaces::DeviceOrigin(const QWidget* window) const {
  const QScreen* screen = window->screen();
  if (!screen) return {};
  const QPoint origin = screen->geometry().topLeft();
  return origin + DeviceRect(QRect(window->pos() - origin, QSize()), screen->devicePixelRatio()).topLeft();
}

QImage TScreenSurfaces::StrokesLayer(const QRect& desktop) const {
  const QPoint at = DeviceOrigin(&FForm) - desktop.topLeft();
  if (FOverlays.empty()) {
    const QImage& layer = FForm.PWImage->PenBitmap();
    // The layer itself where it is the desktop, pixel for pixel (shared, not
    // copied); beyond the layer a copy is transparent.
    if (at.isNull() && layer.size() == desktop.size()) return layer;
    return layer.copy(QRect(-at, desktop.size()));
  }
  QImage all(desktop.size(), QImage::Format_ARGB32_Premultiplied);
  all.fill(0);
  QPainter p(&all);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(at, FForm.PWImage->PenBitmap());
  for (const auto& [screen, overlay] : FOverlays)
    p.drawImage(DeviceOrigin(overlay) - desktop.topLeft(), overlay->Surface->PenBitmap());
  return all;
}

bool TScreenSurfaces::eventFilter(QObject* watched, QEvent* event) {
  auto* surface = qobject_cast<TPWImage*>(watched);
  if (!surface || FOverlays.empty()) return false;
  if (event->type() == QEvent::MouseButtonPress && surface != FForm.PWImage && surface->CanWrite()) {
    // As on the main window: a press while drawing takes the keyboard, so
    // that the keypad keys reach the program.
    FWindowSystem.TakeFocus(surface->window()->winId());
  } else if (event->type() == QEvent::MouseButtonRelease) {
    // Looked at once the surface has taken the release.
    QTimer::singleShot(0, this, [this, s = QPointer<TPWImage>(surface)] {
      if (s) Notice(s);
    });
  }
  return false;
}
