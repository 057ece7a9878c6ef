#include "app/StrokeInput.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "drawing/PWImage.h"

namespace {

Qt::MouseButton ToolkitButton(int button) {
  switch (button) {
    case 1: return Qt::LeftButton;
    case 2: return Qt::MiddleButton;
    case 3: return Qt::RightButton;
    case 8: return Qt::BackButton;
    case 9: return Qt::ForwardButton;
    default: return Qt::NoButton;  // the wheel's, which draw nothing
  }
}

Qt::KeyboardModifiers ToolkitModifiers(std::uint32_t held) {
  Qt::KeyboardModifiers m;
  if (held & hmShift) m |= Qt::ShiftModifier;
  if (held & hmControl) m |= Qt::ControlModifier;
  if (held & hmAlt) m |= Qt::AltModifier;
  if (held & hmMeta) m |= Qt::MetaModifier;
  return m;
}

}  // namespace

TStrokeInput::TStrokeInput(TWindowSystem& windowSystem, QObject* parent)
    : QObject(parent), FWindowSystem(windowSystem) {
  const int fd = FWindowSystem.StrokeInputDescriptor();
  if (fd < 0) return;
  FNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  connect(FNotifier.get(), &QSocketNotifier::activated, this, &TStrokeInput::Deliver);
  // Reports the platform read off the descriptor while answering another
  // call would otherwise wait for the next one to arrive: a stroke whose
  // release came so would not end.
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
    if (!FWaiting && FWindowSystem.StrokeInputQueued()) QTimer::singleShot(0, this, &TStrokeInput::Deliver);
  });
}

TStrokeInput::~TStrokeInput() = default;

TPWImage* TStrokeInput::SurfaceOf(TNativeWindow window) {
  QWidget* top = QWidget::find(static_cast<WId>(window));
  if (!top) return nullptr;
  // The other screens' windows are children of the main one: the surface
  // is the one this window shows.
  for (TPWImage* s : top->findChildren<TPWImage*>())
    if (s->window() == top) return s;
  return nullptr;
}

// The live stroke's frames straight into the surface's window, unless a
// widget of the toolkit's own lies over them there (one with a window of its
// own is left out by the window system anyway).
std::function<bool(const QRect&, const QImage&, const QRect&)> TStrokeInput::DirectPainter(TPWImage* surface) {
  return [this, s = QPointer<TPWImage>(surface)](const QRect& target, const QImage& image, const QRect& source) {
    if (!s || image.format() != QImage::Format_ARGB32_Premultiplied) return false;
    QWidget* top = s->window();
    const qreal ratio = top->devicePixelRatioF();
    for (const QObject* o : top->children()) {
      const auto* w = qobject_cast<const QWidget*>(o);
      if (!w || w->isWindow() || !w->isVisible() || w->internalWinId() || w == s || w->isAncestorOf(s)) continue;
      const QRectF over(QPointF(w->geometry().topLeft()) * ratio, QSizeF(w->size()) * ratio);
      if (over.intersects(target)) return false;
    }
    const auto* pixels = reinterpret_cast<const std::uint32_t*>(image.constScanLine(source.top())) + source.left();
    return FWindowSystem.DrawIntoWindow(top->winId(), {target.x(), target.y(), target.width(), target.height()},
                                        pixels, static_cast<std::size_t>(image.bytesPerLine() / 4));
  };
}

void TStrokeInput::Deliver() {
  const auto accept = [](TNativeWindow window) {
    // Where the toolkit would not let the press through (a dialog is modal,
    // a menu is open) the stroke is dropped, as the toolkit drops it.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return false;
    const TPWImage* s = SurfaceOf(window);
    return s && s->CanWrite() && s->isVisible();
  };
  const std::vector<TPointerInput> input = FWindowSystem.TakeStrokeInput(accept);
  TNativeWindow window = 0;
  QPointer<TPWImage> surface;
  std::vector<QPointF> moves;
  std::uint32_t modifiers = 0;
  const auto flushMoves = [&] {
    if (surface && !moves.empty()) surface->PointerMoves(moves, ToolkitModifiers(modifiers));
    moves.clear();
  };
  for (const TPointerInput& in : input) {
    // Shift pressed or let go within a batch constrains from where it changed.
    if (in.Modifiers != modifiers) flushMoves();
    modifiers = in.Modifiers;
    if (in.Window != window || !surface) {
      flushMoves();
      window = in.Window;
      surface = SurfaceOf(window);
      if (!surface) continue;
      if (!surface->DirectPaint) {
        surface->DirectPaint = DirectPainter(surface);
        surface->DirectPaintDone = [this] { FWindowSystem.FinishDrawingIntoWindow(); };
      }
    }
    // Device pixels of the window to the surface's own coordinates.
    const QWidget* top = surface->window();
    const QPointF inWindow = QPointF(in.X, in.Y) / top->devicePixelRatioF();
    const QPointF pos = surface->mapFrom(top, inWindow);
    if (in.Kind == TPointerInput::Move) {
      moves.push_back(pos);
      continue;
    }
    flushMoves();
    const Qt::MouseButton button = ToolkitButton(in.Button);
    if (button == Qt::NoButton) continue;
    const bool press = in.Kind == TPointerInput::Press;
    if (press && FHeld == Qt::NoButton) LeaveOthers(*surface, inWindow.toPoint());
    if (press) {
      FHeld |= button;
    } else {
      FHeld &= ~button;
    }
    QMouseEvent event(press ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, pos, inWindow,
                      surface->mapToGlobal(pos), button, FHeld, ToolkitModifiers(in.Modifiers));
    QCoreApplication::sendEvent(surface, &event);
  }
  flushMoves();
  // Only within a stroke: the press of the next is answered at once, since
  // the server holds the pointer until then.
  if (!surface || !surface->FrameHeld() || !surface->isWorking()) return;
  FWaiting = true;
  FNotifier->setEnabled(false);
  surface->BeforeHeldFrame = [this] { Resume(); };
  // Should the frame never go out (the surface hidden or gone), input
  // must not stay unread.
  QTimer::singleShot(100, this, &TStrokeInput::Resume);
}

// The toolkit learns that the pointer left its widgets (a tile, the column)
// from the press it would have had: without it the column's timer never
// starts and the column stays over the stroke.
void TStrokeInput::LeaveOthers(TPWImage& surface, QPoint inWindow) {
  QWidget* top = surface.window();
  QList<QWidget*> left;
  for (QWidget* w : top->findChildren<QWidget*>())
    if (w != &surface && w->underMouse() && w->isVisible() && !w->rect().contains(w->mapFrom(top, inWindow)))
      left.prepend(w);  // the innermost first, as the toolkit leaves them
  for (QWidget* w : left) {
    w->setAttribute(Qt::WA_UnderMouse, false);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(w, &leave);
  }
}

void TStrokeInput::Resume() {
  if (!FWaiting) return;
  FWaiting = false;
  FNotifier->setEnabled(true);
  Deliver();
}
