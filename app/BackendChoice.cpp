#include "app/BackendChoice.h"

#include <QGuiApplication>
#include <cstdio>

#if KORIVAN_HAVE_WAYLAND
#include "wayland/WaylandBackend.h"
#endif

namespace {

// Without the layer surface: X11 where there is an X server, XWayland's
// included, so that a Qt plugin for Wayland does not make the overlay an
// ordinary window.
TBackendChoice WithoutLayerSurface(const TBackendFacts& facts, const QString& why) {
  if (facts.Displays.X11)
    return {TBackendChoice::X11, why.isEmpty() ? QString() : QStringLiteral("%1; running as an X11 window").arg(why)};
  return {TBackendChoice::Toolkit,
          why.isEmpty() ? QString() : QStringLiteral("%1, and no X display (DISPLAY) either").arg(why)};
}

std::unique_ptr<TWindowSystem> WindowSystemOf(const QGuiApplication& app) {
  void* connection = nullptr;
  if (auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>()) connection = x11->connection();
  return CreateWindowSystem(QGuiApplication::platformName().toStdString(), connection);
}

}  // namespace

TBackendChoice ChooseBackend(const TBackendFacts& facts, const std::function<QString()>& openOverlay) {
  const auto layerSurface = [&](const QString& failed) -> TBackendChoice {
    const QString why = openOverlay();
    if (why.isEmpty()) return {TBackendChoice::LayerSurface, {}};
    return WithoutLayerSurface(facts, failed.arg(why));
  };
  // Qt reads its argument itself, over anything set here.
  if (facts.PlatformArgument)
    return {TBackendChoice::Toolkit,
            facts.Requested.isEmpty() ? QString() : QStringLiteral("-platform given; KORIVAN_BACKEND ignored")};
  if (facts.Requested == QLatin1String("x11")) return {TBackendChoice::X11, {}};
  if (facts.Requested == QLatin1String("wayland")) return layerSurface(QStringLiteral("no Wayland overlay (%1)"));
  QString notice;
  if (!facts.Requested.isEmpty())
    notice = QStringLiteral("KORIVAN_BACKEND=%1 is neither x11 nor wayland; ignored").arg(facts.Requested);
  TBackendChoice choice;
  if (facts.PlatformVariable)
    choice = {TBackendChoice::Toolkit, {}};
  else if (facts.Displays.Wayland)
    choice = layerSurface(QStringLiteral("no overlay surface on this Wayland desktop (%1)"));
  else
    choice = WithoutLayerSurface(facts, {});
  if (!notice.isEmpty()) choice.Notice = choice.Notice.isEmpty() ? notice : notice + QStringLiteral("; ") + choice.Notice;
  return choice;
}

TBackend::TBackend() = default;
TBackend::TBackend(TBackend&&) noexcept = default;
TBackend::~TBackend() = default;

TBackend StartBackend(const TCommandLine& line) {
  const TBackendFacts facts{qEnvironmentVariable("KORIVAN_BACKEND"), !line.Platform.isEmpty(),
                            !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"), SessionDisplays()};
  TBackend started;
  const TBackendChoice choice = ChooseBackend(facts, [&started] {
#if KORIVAN_HAVE_WAYLAND
    QString error;
    started.FWayland.reset(TWaylandBackend::Open(error).release());
    return started.FWayland ? QString() : error;
#else
    (void)started;
    return QStringLiteral("built without Wayland support");
#endif
  });
  if (!choice.Notice.isEmpty()) std::fprintf(stderr, "korivan-dsk: %s\n", choice.Notice.toLocal8Bit().constData());
  if (choice.Kind == TBackendChoice::X11) qputenv("QT_QPA_PLATFORM", "xcb");
#if KORIVAN_HAVE_WAYLAND
  if (started.FWayland) started.FWayland->ConfigureQt();
#endif
  return started;
}

#if KORIVAN_HAVE_WAYLAND
void TBackend::TWaylandDeleter::operator()(TWaylandBackend* backend) const {
  delete backend;
}

std::unique_ptr<TWindowSystem> TBackend::CreateWindowSystem(const QGuiApplication& app) {
  return FWayland ? FWayland->CreateWindowSystem() : WindowSystemOf(app);
}

TBackend::TMainWindow::TMainWindow(TBackend& backend, QWidget& window) : FBackend(backend) {
  if (FBackend.FWayland) FBackend.FWayland->MainWindowMade(window);
}

TBackend::TMainWindow::~TMainWindow() {
  if (FBackend.FWayland) FBackend.FWayland->MainWindowGone();
}

void TBackend::TMainWindow::Shown() {
  if (FBackend.FWayland) FBackend.FWayland->MainWindowShown();
}
#else
void TBackend::TWaylandDeleter::operator()(TWaylandBackend*) const {}

std::unique_ptr<TWindowSystem> TBackend::CreateWindowSystem(const QGuiApplication& app) {
  return WindowSystemOf(app);
}

TBackend::TMainWindow::TMainWindow(TBackend& backend, QWidget&) : FBackend(backend) {}
TBackend::TMainWindow::~TMainWindow() = default;
void TBackend::TMainWindow::Shown() {}
#endif

bool TBackend::DesktopBindsKeys() const {
  return FWayland != nullptr;
}
