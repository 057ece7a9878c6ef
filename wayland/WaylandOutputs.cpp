#include "wayland/WaylandOutputs.h"

#include <QApplication>
#include <QWidget>

TWaylandOutputs::TWaylandOutputs(TWaylandConnection& connection, TLayerSurface& main, QWidget& mainWindow,
                                 const std::vector<std::unique_ptr<TLayerSurface>>& others,
                                 const std::vector<QRect>& places)
    : FConnection(connection), FMain(main), FMainWindow(mainWindow) {
  for (std::size_t i = 0; i < others.size() && i < places.size(); ++i)
    FOutputs.push_back({others[i].get(), places[i], nullptr, nullptr});
  qApp->installEventFilter(this);
}

TWaylandOutputs::~TWaylandOutputs() = default;

TLayerSurface* TWaylandOutputs::SurfaceOf(TNativeWindow window) const {
  const QWidget* w = QWidget::find(static_cast<WId>(window));
  if (w == &FMainWindow) return &FMain;
  for (const auto& o : FOutputs)
    if (w && w == o.Window) return o.Surface;
  return nullptr;
}

bool TWaylandOutputs::eventFilter(QObject* watched, QEvent* event) {
  const bool shown = event->type() == QEvent::Show;
  if ((!shown && event->type() != QEvent::Hide) || !watched->isWidgetType() || watched == &FMainWindow ||
      !static_cast<QWidget*>(watched)->isWindow())
    return QObject::eventFilter(watched, event);
  auto* w = static_cast<QWidget*>(watched);
  if (!shown) Gone(w);
  for (auto& o : FOutputs) {
    if (!shown || !o.Place.contains(w->geometry().center()) || o.Window == w) continue;
    o.Presenter.reset();
    o.Window = w;
    o.Presenter = std::make_unique<TWaylandPresenter>(FConnection, *o.Surface, *w, false);
    // Gone without a Hide when deleted while shown.
    connect(w, &QObject::destroyed, this, [this, w] { Gone(w); });
  }
  return QObject::eventFilter(watched, event);
}

void TWaylandOutputs::Gone(const QWidget* window) {
  for (auto& o : FOutputs) {
    if (o.Window != window) continue;
    o.Presenter.reset();
    o.Window = nullptr;
  }
}

void TWaylandOutputs::Remake() {
  for (auto& o : FOutputs) {
    if (!o.Surface->Remake(TWaylandKeyboard::OnDemand)) continue;
    if (o.Presenter)
      o.Presenter->Restart();
    else
      FConnection.Roundtrip();  // a size before a window is shown there
  }
}
