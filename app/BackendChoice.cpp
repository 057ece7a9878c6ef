#include "app/BackendChoice.h"

#include <QDir>
#include <cstdio>

// The interface only (its destructor), also where no Wayland code is built.
#include "platform/WaylandOverlay.h"

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
std::unique_ptr<TWaylandOverlay> OpenSurface(TWaylandKeyboard keyboard, int output, QString& error) {
  std::string why;
  auto overlay = TWaylandOverlay::Connect(nullptr, why);
  error = QString::fromStdString(why);
  if (!overlay) return nullptr;
  if (!overlay->HasLayerShell()) {
    error = QStringLiteral("the compositor offers no layer shell (zwlr_layer_shell_v1)");
    return nullptr;
  }
  overlay->CreateSurfaceOn(keyboard, output);
  // The size comes with the first configure, answering the first commit.
  if (!overlay->Roundtrip() || overlay->Width() <= 0) {
    error = QStringLiteral("the compositor gave the overlay no size");
    return nullptr;
  }
  return overlay;
}

QString OpenOverlay(TStartedBackend& started) {
  QString error;
  // On the compositor's choice of output (sway: the focused one).
  started.Overlay = OpenSurface(TWaylandKeyboard::OnDemand, -1, error);
  if (!started.Overlay) return error;
  // The other outputs, for the drawing surfaces of "All screens"; one that
  // fails is left without, and all are when the main one's is not known.
  const int outputs = started.Overlay->OutputCount();
  const int main = outputs > 1 ? started.Overlay->ShownOn(2000) : -1;
  for (int i = 0; i < outputs && main >= 0; ++i)
    if (i != main)
      if (auto other = OpenSurface(TWaylandKeyboard::OnDemand, i, error)) started.Others.push_back(std::move(other));
  return {};
}

// The toolkit's screens as big as the surfaces, so that it keeps popups and
// dialogs on them, with the outputs' scale: the main surface's first, the
// others side by side to its right (their places among each other do not
// matter: no window spans two). Each corner lies where the screens before it
// end in device pixels, as the X11 toolkit places monitors of several scales:
// a save's picture of them all has them there, none over another.
void ConfigureOffscreen(TStartedBackend& started) {
  QByteArray platform("offscreen");
  auto config = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/korivan-screen-XXXXXX.json"));
  // The platform's options are parted by colons.
  if (config->open() && !config->fileName().contains(u':')) {
    QStringList screens;
    int x = 0;
    const auto add = [&](const TWaylandOverlay& o) {
      const QRect place(x, 0, o.Width(), o.Height());
      screens << QStringLiteral(R"({"name":"output%1","x":%2,"y":0,"width":%3,"height":%4,"dpr":%5})")
                     .arg(screens.size())
                     .arg(x)
                     .arg(o.Width())
                     .arg(o.Height())
                     .arg(o.OutputScale());
      x += o.Width() * o.OutputScale();
      return place;
    };
    add(*started.Overlay);
    for (const auto& other : started.Others) started.OtherPlaces.push_back(add(*other));
    config->write(QStringLiteral(R"({"screens":[%1]})").arg(screens.join(u',')).toUtf8());
    config->flush();
    platform += ":configfile=" + QFile::encodeName(config->fileName());
    started.ScreenConfig = std::move(config);
  } else {
    started.Others.clear();  // one screen only
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
