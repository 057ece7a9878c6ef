#include "wayland/WaylandPresenter.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

namespace {

Qt::MouseButton ButtonOf(std::uint32_t code) {
  switch (code) {
    case 0x110: return Qt::LeftButton;
    case 0x111: return Qt::RightButton;
    case 0x112: return Qt::MiddleButton;
    default: return Qt::NoButton;
  }
}

// The windows that have a surface of their own: no other surface shows them,
// even where Qt's places overlap once an output went and its window stayed.
std::set<const QWidget*>& Presented() {
  static std::set<const QWidget*> windows;
  return windows;
}

}  // namespace

TWaylandPresenter::TWaylandPresenter(TWaylandConnection& connection, TLayerSurface& surface, QWidget& window,
                                     bool main)
    : FConnection(connection), FSurface(surface), FWindow(window), FMain(main), FPointerPicture(surface) {
  FPointerPicture.Follow(nullptr);
  FSurface.SetListener(this);
  Presented().insert(&FWindow);
  // As from a window system: a release and a press, both marked repeated.
  connect(&FRepeat, &QTimer::timeout, this, [this] {
    TWaylandKeyEvent up = FRepeating;
    up.Pressed = false;
    PostKey(up, true);
    PostKey(FRepeating, true);
    FRepeat.start(FRepeating.RepeatInterval);
  });
  qApp->installEventFilter(this);
  Configured();
}

TWaylandPresenter::~TWaylandPresenter() {
  // Another output's surface outlives its window, and this; a save reads it.
  FSurface.SetListener(nullptr);
  Presented().erase(&FWindow);
  if (FMain) return;
  // Nothing of the window stays on that output, and its clicks pass.
  FSurface.SetInputRegion({});
  if (const TWaylandPixels pixels = FSurface.AcquireBuffer(FScale > 0 ? FScale : FSurface.OutputScale());
      pixels.Pixels) {
    std::memset(pixels.Pixels, 0, static_cast<std::size_t>(pixels.Stride) * static_cast<std::size_t>(pixels.Height));
    FSurface.Present({});
  }
  FConnection.Flush();
}

void TWaylandPresenter::Configured() {
  FShown = FSurface.Width() > 0;
  FWindow.setGeometry(QRect(FMain ? QPoint() : FWindow.pos(), QSize(FSurface.Width(), FSurface.Height())));
  // A new size starts from a transparent buffer, before Qt reports the resize.
  FDamage = FWindow.geometry();
  FDirty = true;
  Render();
}

void TWaylandPresenter::FrameDone() {
  FWaiting = false;
  Render();
}

// Its output went (a monitor unplugged): the main window goes on, on an
// output that remains, else on the next to come; another output's window
// stays, with its drawing, shown nowhere.
void TWaylandPresenter::Closed() {
  // One closed before it had a size lay on an output going too, or on none.
  if (FMain) QTimer::singleShot(std::exchange(FShown, false) ? 0 : 1000, this, [this] { Reopen(); });
}

void TWaylandPresenter::OutputAdded() {
  if (FMain && FSurface.Width() <= 0) QTimer::singleShot(0, this, [this] { Reopen(); });
}

void TWaylandPresenter::Reopen() {
  // Where the compositor puts a surface now, as at start; with no output
  // left, on the next to come.
  if (FSurface.Width() > 0 || !FConnection.Roundtrip() || FConnection.OutputCount() == 0) return;
  if (!FSurface.Reopen(TWaylandKeyboard::OnDemand)) return;
  Restart();
  emit Reopened();
}

void TWaylandPresenter::Restart() {
  FWaiting = false;  // the last frame's callback went with the old surface
  FScale = 0;
  FDirty = true;
  // A stroke cut off ends as if let go, else the next press would not draw.
  const QPointF at = FAt - FWindow.pos();
  for (const std::uint32_t code : {0x110u, 0x111u, 0x112u})
    if (FButtons & ButtonOf(code)) Pointer({TWaylandPointerEvent::Press, at.x(), at.y(), code, false});
  Pointer({TWaylandPointerEvent::Leave, at.x(), at.y()});
  FConnection.Roundtrip();  // its size, and Configured shows the window on it
}

bool TWaylandPresenter::eventFilter(QObject* watched, QEvent* event) {
  if (FMain && event->type() == QEvent::Show && watched != &FWindow && watched->isWidgetType()) {
    // Qt centres a dialog on its own screen, not the surface; the top stays
    // on it. Popups stay where Qt put them, beside what opened them.
    auto* w = static_cast<QWidget*>(watched);
    if (w->isWindow() && (w->windowType() == Qt::Dialog || w->windowType() == Qt::Window))
      w->move(std::max(0, (FWindow.width() - w->width()) / 2), std::max(0, (FWindow.height() - w->height()) / 2));
  }
  if (event->type() == QEvent::CursorChange) FPointerPicture.Follow(FGrabbed ? FGrabbed.data() : FHovered.data());
  // A window that comes or goes under a resting pointer changes what it is
  // over, as a window system tells at once: its picture and hover follow.
  if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->isWindow())
    QTimer::singleShot(0, this, [this] {
      if (FInside && !FGrabbed) Hover(Under(), FAt);
    });
  if (!FRendering && watched->isWidgetType()) Damage(*static_cast<QWidget*>(watched), *event);
  // Any widget that asks for a repaint makes its window post itself an
  // update request; the picture follows once Qt has handled it.
  switch (event->type()) {
    case QEvent::UpdateRequest:
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::Show:
    case QEvent::Hide:
      if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow() && !FDirty) {
        FDirty = true;
        QTimer::singleShot(0, this, [this] { Render(); });
      }
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

std::vector<QWidget*> TWaylandPresenter::Windows() const {
  // The main window first, then the others, the modal one and a popup on top.
  std::vector<QWidget*> windows{&FWindow};
  QWidget* modal = QApplication::activeModalWidget();
  QWidget* popup = QApplication::activePopupWidget();
  // Those on this surface's output: the windows of other outputs have surfaces of their own.
  const auto here = [this](const QWidget* w) {
    return w->isVisible() && !Presented().contains(w) && w->geometry().intersects(FWindow.geometry());
  };
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != &FWindow && w != modal && w != popup && here(w)) windows.push_back(w);
  for (QWidget* w : {modal, popup})
    if (w && w != &FWindow && here(w)) windows.push_back(w);
  return windows;
}

void TWaylandPresenter::Damage(const QWidget& widget, const QEvent& event) {
  // What Qt paints into its own buffers now is what changed on the surface;
  // a window that comes, goes, moves or changes size changes its places.
  const QWidget* window = widget.window();
  const QPoint at = widget.mapTo(window, QPoint()) + window->pos();
  const QRect place(widget.pos(), widget.size());  // of a window, on the surface
  switch (event.type()) {
    case QEvent::Paint:
      if (widget.isVisible()) FDamage += static_cast<const QPaintEvent&>(event).region().translated(at);
      break;
    case QEvent::Move:
      if (widget.isWindow())
        FDamage += QRegion(QRect(static_cast<const QMoveEvent&>(event).oldPos(), widget.size())) + place;
      break;
    case QEvent::Resize:
      if (widget.isWindow())
        FDamage += QRegion(QRect(widget.pos(), static_cast<const QResizeEvent&>(event).oldSize())) + place;
      break;
    case QEvent::Show:
    case QEvent::Hide:
      if (widget.isWindow()) FDamage += place;
      break;
    default:
      break;
  }
}

void TWaylandPresenter::Render() {
  if (!FDirty || FWaiting || !FWindow.isVisible()) return;
  const auto windows = Windows();
  // While one is open it takes the clicks, the overlay's other parts none,
  // and the keyboard; else the overlay takes the keyboard when clicked.
  FSurface.SetInputOverride(windows.size() > 1);
  FSurface.SetKeyboard(windows.size() > 1 ? TWaylandKeyboard::Exclusive : TWaylandKeyboard::OnDemand);
  const int scale = FSurface.OutputScale();
  if (scale != FScale) {
    FDamage = FWindow.geometry();  // every pixel anew, and the theme's pointer pictures
    FPointerPicture.Forget();
    FPointerPicture.Follow(FGrabbed ? FGrabbed.data() : FHovered.data());
  }
  FDamage &= FWindow.geometry();
  if (FDamage.isEmpty()) {
    FDirty = false;
    return;
  }
  const TWaylandPixels pixels = FSurface.AcquireBuffer(scale);
  if (!pixels.Pixels) return;  // both with the compositor: the next update tries again
  FScale = scale;
  QImage image(reinterpret_cast<uchar*>(pixels.Pixels), pixels.Width, pixels.Height, pixels.Stride,
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  // The buffer holds the last picture: only the damage is painted anew.
  const QPoint origin = FWindow.pos();  // of the surface, among Qt's screens
  {
    QPainter clear(&image);
    clear.setCompositionMode(QPainter::CompositionMode_Source);
    for (const QRect& r : FDamage) clear.fillRect(r.translated(-origin), Qt::transparent);
  }
  // The program's other windows (dialogs, messages) lie on the same surface,
  // where their windows would be on a screen of the surface's size: a surface
  // of their own could come out below the overlay in the same layer.
  FRendering = true;
  for (QWidget* w : windows) {
    const QRegion own = FDamage.translated(-w->pos()) & w->rect();
    if (own.isEmpty()) continue;
    // The region's corner goes to the offset.
    w->render(&image, w->pos() - origin + own.boundingRect().topLeft(), own,
              w == &FWindow ? QWidget::DrawChildren : QWidget::DrawWindowBackground | QWidget::DrawChildren);
  }
  FRendering = false;
  std::vector<TPlatformRect> damage;
  for (const QRect& r : FDamage)
    damage.push_back({(r.x() - origin.x()) * scale, (r.y() - origin.y()) * scale, r.width() * scale,
                      r.height() * scale});
  FDamage = QRegion();
  FSurface.Present(damage);
  FDirty = false;
  FWaiting = true;
}

void TWaylandPresenter::BeforeCapture() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
  Render();
}

void TWaylandPresenter::Hover(QWidget* target, QPointF at) {
  if (target == FHovered) return;
  if (FHovered) QCoreApplication::postEvent(FHovered, new QEvent(QEvent::Leave));
  FHovered = target;
  FPointerPicture.Follow(target);
  if (target) QCoreApplication::postEvent(target, new QEnterEvent(target->mapFromGlobal(at), at, at));
}

QWidget* TWaylandPresenter::Under() const {
  // The topmost window there; while a modal one is open, nothing else; an
  // open popup has every event, to close itself on a click elsewhere.
  QWidget* under = nullptr;
  QWidget* modal = QApplication::activeModalWidget();
  QWidget* popup = QApplication::activePopupWidget();
  const auto windows = Windows();
  for (auto w = windows.rbegin(); w != windows.rend() && !under; ++w) {
    if (popup && *w != popup) break;
    if (modal && *w != modal && *w != popup) break;
    if (!popup && !(*w)->geometry().contains(FAt.toPoint())) continue;
    under = (*w)->childAt((*w)->mapFromGlobal(FAt.toPoint()));
    if (!under) under = *w;
  }
  return under;
}

void TWaylandPresenter::Pointer(const TWaylandPointerEvent& e) {
  FAt = QPointF(e.X, e.Y) + FWindow.pos();
  FInside = e.Kind != TWaylandPointerEvent::Leave;
  QWidget* under = Under();
  if (!under && !FGrabbed) {
    Hover(nullptr, FAt);
    return;
  }
  // Posted, not sent: a click that opens a dialog runs its event loop from
  // Qt's, not from inside the compositor's events. On the offscreen platform
  // a window's place is its place on the surface.
  const auto send = [this](QWidget* target, QEvent::Type type, Qt::MouseButton button) {
    QCoreApplication::postEvent(target, new QMouseEvent(type, target->mapFromGlobal(FAt), FAt, FAt, button, FButtons,
                                                        QGuiApplication::keyboardModifiers()));
  };
  switch (e.Kind) {
    case TWaylandPointerEvent::Enter:
    case TWaylandPointerEvent::Motion: {
      if (!FGrabbed) Hover(under, FAt);
      QWidget* target = FGrabbed ? FGrabbed.data() : under;
      // As from Qt itself: moves without a button only to widgets that track them.
      if (FButtons != Qt::NoButton || target->hasMouseTracking()) send(target, QEvent::MouseMove, Qt::NoButton);
      break;
    }
    case TWaylandPointerEvent::Press: {
      const Qt::MouseButton button = ButtonOf(e.Button);
      if (button == Qt::NoButton) break;
      if (e.Pressed) {
        FButtons |= button;
        if (!FGrabbed) FGrabbed = under;
        // Qt moves the focus on a click of the system's only, not on a posted one.
        for (QWidget* w = FGrabbed; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
          if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus)) {
            w->setFocus(Qt::MouseFocusReason);
            break;
          }
        }
        send(FGrabbed, QEvent::MouseButtonPress, button);
      } else {
        FButtons &= ~button;
        if (QWidget* target = FGrabbed ? FGrabbed.data() : under) send(target, QEvent::MouseButtonRelease, button);
        if (FButtons == Qt::NoButton) {
          FGrabbed = nullptr;
          Hover(under, FAt);
        }
      }
      break;
    }
    case TWaylandPointerEvent::Leave:
      if (!FGrabbed) Hover(nullptr, FAt);
      break;
  }
}

void TWaylandPresenter::Key(const TWaylandKeyEvent& e) {
  // The compositor leaves repeating to its clients: the last key pressed
  // that repeats does, until it is let go (a modifier pressed meanwhile does
  // not stop it).
  if (e.Pressed && e.RepeatDelay > 0) {
    FRepeating = e;
    FRepeat.start(e.RepeatDelay);
  } else if (!e.Pressed && e.Code == FRepeating.Code) {
    FRepeat.stop();
  }
  PostKey(e, false);
}

void TWaylandPresenter::PostKey(const TWaylandKeyEvent& e, bool autoRepeat) {
  // To the focus widget of the topmost window, as Qt would give it.
  QWidget* window = Windows().back();
  QWidget* target = window->focusWidget() ? window->focusWidget() : window;
  Qt::KeyboardModifiers modifiers;
  const std::pair<THotKeyModifier, Qt::KeyboardModifier> bits[] = {
      {hmShift, Qt::ShiftModifier}, {hmControl, Qt::ControlModifier}, {hmAlt, Qt::AltModifier}, {hmMeta, Qt::MetaModifier}};
  for (const auto& [bit, modifier] : bits)
    if (e.Modifiers & bit) modifiers |= modifier;
  if (e.Keypad) modifiers |= Qt::KeypadModifier;
  QCoreApplication::postEvent(target, new QKeyEvent(e.Pressed ? QEvent::KeyPress : QEvent::KeyRelease,
                                                    static_cast<int>(e.Key), modifiers,
                                                    QString::fromUtf8(e.Text.c_str()), autoRepeat));
}
