#include "app/BackendChoice.h"

#include <QDir>
#include <cstdio>

#if KORIVAN_HAVE_WAYLAND
#include "platform/WaylandOverlay.h"
#endif

namespace {

// Without the layer surface: X11 where there is an X server, XWayland's
// included, so that a toolkit plugin for Wayland does not make the overlay an
// ordinary window.
TBackendChoice WithoutLayerSurface(const TBackendFacts& facts, const QString& why) {
  if (facts.Displays.X11)
    return {TBackendChoice::X11, why.isEmpty() ? QString() : QStringLiteral("%1; running as an X11 window").arg(why)};
  return {TBackendChoice::Toolkit,
          why.isEmpty() ? QString() : QStringLiteral("%1, and no X display (DISPLAY) either").arg(why)};
}

#if KORIVAN_HAVE_WAYLAND
// The layer surface with its first size; the toolkit then draws offscreen at
// the surface's size and scale, which the presenter shows on it.
QString OpenOverlay(TStartedBackend& started) {
  std::string error;
  auto overlay = TWaylandOverlay::Connect(nullptr, error);
  if (!overlay) return QString::fromStdString(error);
  if (!overlay->HasLayerShell()) return QStringLiteral("the compositor offers no layer shell (zwlr_layer_shell_v1)");
  overlay->CreateSurface(TWaylandKeyboard::OnDemand);
  // The size comes with the first configure, answering the first commit.
  if (!overlay->Roundtrip() || overlay->Width() <= 0) return QStringLiteral("the compositor gave the overlay no size");
  started.Overlay = std::move(overlay);
  return {};
}

// The toolkit's one screen as big as the surface, so that it keeps popups
// and dialogs on the surface, with the output's scale.
void ConfigureOffscreen(TStartedBackend& started) {
  QByteArray platform("offscreen");
  auto config = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/korivan-screen-XXXXXX.json"));
  // The platform's options are parted by colons.
  if (config->open() && !config->fileName().contains(u':')) {
    const TWaylandOverlay& o = *started.Overlay;
    config->write(QStringLiteral(R"({"screens":[{"name":"overlay","x":0,"y":0,"width":%1,"height":%2,"dpr":%3}]})")
                      .arg(o.Width())
                      .arg(o.Height())
                      .arg(o.OutputScale())
                      .toUtf8());
    config->flush();
    platform += ":configfile=" + QFile::encodeName(config->fileName());
    started.ScreenConfig = std::move(config);
  }
  qputenv("QT_QPA_PLATFORM", platform);
}
#endif

}  // namespace

TStartedBackend::TStartedBackend() = default;
TStartedBackend::TStartedBackend(TStartedBackend&&) noexcept = default;
TStartedBackend::~TStartedBackend() = default;

TBackendChoice ChooseBackend(const TBackendFacts& facts, const std::function<QString()>& openOverlay) {
  const auto layerSurface = [&](const QString& failed) -> TBackendChoice {
    const QString why = openOverlay();
    if (why.isEmpty()) return {TBackendChoice::LayerSurface, {}};
    return WithoutLayerSurface(facts, failed.arg(why));
  };
  // The toolkit reads its argument itself, over anything set here.
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

TStartedBackend StartBackend(const TCommandLine& line) {
  const TBackendFacts facts{qEnvironmentVariable("KORIVAN_BACKEND"), !line.Platform.isEmpty(),
                            !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"), SessionDisplays()};
  TStartedBackend started;
  const TBackendChoice choice = ChooseBackend(facts, [&started] {
#if KORIVAN_HAVE_WAYLAND
    return OpenOverlay(started);
#else
    (void)started;
    return QStringLiteral("built without Wayland support");
#endif
  });
  if (!choice.Notice.isEmpty()) std::fprintf(stderr, "korivan-dsk: %s\n", choice.Notice.toLocal8Bit().constData());
  switch (choice.Kind) {
    case TBackendChoice::X11: qputenv("QT_QPA_PLATFORM", "xcb"); break;
#if KORIVAN_HAVE_WAYLAND
    case TBackendChoice::LayerSurface: ConfigureOffscreen(started); break;
#endif
    default: break;
  }
  return started;
}
