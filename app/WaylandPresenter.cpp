#include "app/WaylandPresenter.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTimer>
#include <cstdio>

namespace {

Qt::MouseButton ButtonOf(std::uint32_t code) {
  switch (code) {
    case 0x110: return Qt::LeftButton;
    case 0x111: return Qt::RightButton;
    case 0x112: return Qt::MiddleButton;
    default: return Qt::NoButton;
  }
}

}  // namespace

std::unique_ptr<TWaylandOverlay> TWaylandPresenter::Choose() {
  if (qEnvironmentVariable("KORIVAN_BACKEND") != QLatin1String("wayland")) return nullptr;
  std::string error;
  auto overlay = TWaylandOverlay::Connect(nullptr, error);
  if (overlay && !overlay->HasLayerShell()) error = "the compositor offers no zwlr_layer_shell_v1";
  if (overlay && error.empty()) {
    overlay->CreateSurface(false);
    // The size comes with the first configure, answering the first commit.
    if (!overlay->Roundtrip() || overlay->Width() <= 0) error = "the compositor gave the overlay no size";
  }
  if (!error.empty()) {
    std::fprintf(stderr, "korivan-dsk: no Wayland overlay (%s); going on as an X11 window\n", error.c_str());
    return nullptr;
  }
  // The program's windows are drawn here, not by a window system of Qt's.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  return overlay;
}

TWaylandPresenter::TWaylandPresenter(TWaylandOverlay& overlay, QWidget& window)
    : FOverlay(overlay), FWindow(window), FNotifier(overlay.Descriptor(), QSocketNotifier::Read) {
  connect(&FNotifier, &QSocketNotifier::activated, this, [this] {
    if (FOverlay.ReadEvents()) return;
    std::fputs("korivan-dsk: the Wayland compositor closed the connection\n", stderr);
    FNotifier.setEnabled(false);
    FWindow.close();
  });
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          [this] { FOverlay.Flush(); });
  FOverlay.Configured = [this] {
    FWindow.setGeometry(0, 0, FOverlay.Width(), FOverlay.Height());
    FDirty = true;
    Render();
  };
  FOverlay.FrameDone = [this] {
    FWaiting = false;
    Render();
  };
  FOverlay.Closed = [this] { FWindow.close(); };
  FOverlay.Pointer = [this](const TWaylandPointerEvent& e) { Pointer(e); };
  FWindow.installEventFilter(this);
  FOverlay.Configured();
}

bool TWaylandPresenter::eventFilter(QObject* watched, QEvent* event) {
  // Any widget of the window that asks for a repaint makes the window post
  // itself an update request; the picture follows once Qt has handled it.
  if (watched == &FWindow && (event->type() == QEvent::UpdateRequest || event->type() == QEvent::Resize)) {
    FDirty = true;
    QTimer::singleShot(0, this, [this] { Render(); });
  }
  return QObject::eventFilter(watched, event);
}

void TWaylandPresenter::Render() {
  if (!FDirty || FWaiting || !FWindow.isVisible()) return;
  const int scale = FOverlay.OutputScale();
  FOverlay.SetBufferScale(scale);
  const TWaylandPixels pixels = FOverlay.AcquireBuffer();
  if (!pixels.Pixels) return;  // both with the compositor: the next frame callback tries again
  QImage image(reinterpret_cast<uchar*>(pixels.Pixels), pixels.Width, pixels.Height, pixels.Stride,
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  image.fill(Qt::transparent);
  FWindow.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  FOverlay.Present({});
  FDirty = false;
  FWaiting = true;
}

void TWaylandPresenter::Hover(QWidget* target, QPointF at) {
  if (target == FHovered) return;
  if (FHovered) {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(FHovered, &leave);
  }
  FHovered = target;
  if (target) {
    QEnterEvent enter(target->mapFrom(&FWindow, at), at, at);
    QCoreApplication::sendEvent(target, &enter);
  }
}

void TWaylandPresenter::Pointer(const TWaylandPointerEvent& e) {
  FAt = QPointF(e.X, e.Y);
  QWidget* under = FWindow.childAt(FAt.toPoint());
  if (!under) under = &FWindow;
  const auto send = [this](QWidget* target, QEvent::Type type, Qt::MouseButton button) {
    QMouseEvent event(type, target->mapFrom(&FWindow, FAt), FAt, FAt, button, FButtons,
                      QGuiApplication::keyboardModifiers());
    QCoreApplication::sendEvent(target, &event);
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
        send(FGrabbed, QEvent::MouseButtonPress, button);
      } else {
        FButtons &= ~button;
        send(FGrabbed ? FGrabbed.data() : under, QEvent::MouseButtonRelease, button);
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
