#include "app/Spotlight.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPaintEvent>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/MainFrm.h"
#include "app/PaintRect.h"

namespace {

// How dark the screen goes outside the light.
constexpr int kShade = 170;
// One notch or bracket key changes the radius by this factor.
constexpr double kStep = 1.15;

}  // namespace

TSpotlight::TSpotlight(QWidget& form, QWidget* above, TWindowSystem& windowSystem)
    : QWidget(&form), FForm(form), FWindowSystem(windowSystem) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setGeometry(form.rect());
  if (above) stackUnder(above);
  hide();
  FTimer = new QTimer(this);
  FTimer->setTimerType(Qt::PreciseTimer);
  connect(FTimer, &QTimer::timeout, this, &TSpotlight::Follow);
  form.installEventFilter(this);
}

TSpotlight::~TSpotlight() {
  if (qApp) qApp->removeEventFilter(this);
}

void TSpotlight::Toggle() {
  if (On()) {
    FTimer->stop();
    qApp->removeEventFilter(this);
    hide();
    return;
  }
  setGeometry(FForm.rect());
  FCentre = QPoint(-10000, -10000);
  Follow();
  show();
  qApp->installEventFilter(this);
  qreal hz = screen() ? screen()->refreshRate() : 0;
  if (!(hz >= 1 && hz <= 1000)) hz = 60;
  FTimer->start(std::max(1, static_cast<int>(1000 / hz)));
}

void TSpotlight::StepRadius(int steps) {
  const double r = FRadius * std::pow(kStep, steps);
  MoveTo(FCentre, std::clamp(static_cast<int>(std::lround(r)), MinRadius, MaxRadius));
}

void TSpotlight::Follow() {
  int x = 0, y = 0;
  QPoint global;
  if (FWindowSystem.PointerPosition(x, y)) {
    global = (QPointF(x, y) / devicePixelRatioF()).toPoint();
  } else {
    global = QCursor::pos();
  }
  MoveTo(mapFromGlobal(global), FRadius);
}

QRect TSpotlight::LightRect(QPoint centre, int radius) const {
  // One pixel more all round for the soft edge.
  return QRect(centre.x() - radius - 1, centre.y() - radius - 1, 2 * radius + 3, 2 * radius + 3);
}

void TSpotlight::MoveTo(QPoint centre, int radius) {
  if (centre == FCentre && radius == FRadius) return;
  // Only the old and the new light change; the shade elsewhere stays.
  const QRegion changed = QRegion(LightRect(FCentre, FRadius)) + LightRect(centre, radius);
  FCentre = centre;
  FRadius = radius;
  if (isVisible()) update(changed);
}

void TSpotlight::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  const QColor shade(0, 0, 0, kShade);
  const QRect light = LightRect(FCentre, FRadius);
  // The shade is filled plainly where the light is not; only the light's
  // square needs a path with its round edge.
  for (const QRect& r : event->region() - light) p.fillRect(r, shade);
  const QRect edge = light & event->region().boundingRect();
  if (edge.isEmpty()) return;
  p.setClipRegion(event->region() & light);
  p.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);
  path.addRect(light);
  path.addEllipse(QPointF(FCentre), FRadius, FRadius);
  p.fillPath(path, shade);
}

bool TSpotlight::OurWindow(QObject* watched) const {
  const auto* w = qobject_cast<const QWidget*>(watched);
  return w && (w->window() == &FForm || w->window()->parentWidget() == &FForm);
}

bool TSpotlight::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &FForm && event->type() == QEvent::Resize) {
    setGeometry(FForm.rect());
    return false;
  }
  if (!On() || !OurWindow(watched)) return false;
  switch (event->type()) {
    case QEvent::Wheel: {
      const int notches = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
      if (notches == 0) return false;
      StepRadius(notches);
      return true;
    }
    case QEvent::KeyPress: {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key != Qt::Key_BracketLeft && key != Qt::Key_BracketRight) return false;
      StepRadius(key == Qt::Key_BracketRight ? 1 : -1);
      return true;
    }
    case QEvent::MouseMove:
      // Where the system tells no position, the events the overlay gets do.
      if (watched->isWidgetType()) {
        const auto* m = static_cast<QMouseEvent*>(event);
        MoveTo(mapFromGlobal(m->globalPosition().toPoint()), FRadius);
      }
      return false;
    default: return false;
  }
}

void TMainFrm::ToggleSpotlight() {
  if (!Spotlight) Spotlight = new TSpotlight(*this, ModeRect, FWindowSystem);
  Spotlight->Toggle();
}
