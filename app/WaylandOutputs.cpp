#include "app/WaylandOutputs.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QWidget>

TWaylandOutputs::TWaylandOutputs(TWaylandOverlay& main, QWidget& mainWindow,
                                 std::vector<std::unique_ptr<TWaylandOverlay>>& others, const std::vector<QRect>& places)
    : FMain(main), FMainWindow(mainWindow) {
  for (std::size_t i = 0; i < others.size() && i < places.size(); ++i) {
    TWaylandOverlay* overlay = others[i].get();
    auto events = std::make_unique<QSocketNotifier>(overlay->Descriptor(), QSocketNotifier::Read);
    connect(events.get(), &QSocketNotifier::activated, this, [overlay, notifier = events.get()] {
      if (!overlay->ReadEvents()) notifier->setEnabled(false);
    });
    FOutputs.push_back({overlay, places[i], std::move(events), nullptr, nullptr});
  }
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this, [this] {
    for (const auto& o : FOutputs) o.Overlay->Flush();
  });
  qApp->installEventFilter(this);
}

TWaylandOutputs::~TWaylandOutputs() = default;

TWaylandOverlay* TWaylandOutputs::OverlayOf(TNativeWindow window) const {
  const QWidget* w = QWidget::find(static_cast<WId>(window));
  if (w == &FMainWindow) return &FMain;
  for (const auto& o : FOutputs)
    if (w && w == o.Window) return o.Overlay;
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
    o.Events->setEnabled(false);  // the presenter reads them
    o.Presenter = std::make_unique<TWaylandPresenter>(*o.Overlay, *w, false);
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
    o.Events->setEnabled(true);
  }
}

void TWaylandOutputs::Remake() {
  for (auto& o : FOutputs) {
    if (!o.Overlay->Remake(TWaylandKeyboard::OnDemand)) continue;
    if (o.Presenter)
      o.Presenter->Restart();
    else
      o.Overlay->Roundtrip();  // a size before a window is shown there
  }
}
