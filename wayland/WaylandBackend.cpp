#include "wayland/WaylandBackend.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cstdio>

#include "wayland/WaylandOutputs.h"
#include "wayland/WaylandPresenter.h"

#if KORIVAN_HAVE_PORTAL
#include "portal/Screenshot.h"
#endif

std::unique_ptr<TWaylandBackend> TWaylandBackend::Open(QString& error) {
  std::string why;
  std::unique_ptr<TWaylandBackend> backend(new TWaylandBackend);
  backend->FConnection = TWaylandConnection::Connect(nullptr, why);
  error = QString::fromStdString(why);
  TWaylandConnection* const connection = backend->FConnection.get();
  if (!connection) return nullptr;
  if (!connection->HasLayerShell()) {
    error = QStringLiteral("the compositor offers no layer shell (zwlr_layer_shell_v1)");
    return nullptr;
  }
  backend->FMain = connection->CreateSurface(TWaylandKeyboard::OnDemand);
  // The size comes with the first configure, answering the first commit.
  if (!backend->FMain || !connection->Roundtrip() || backend->FMain->Width() <= 0) {
    error = QStringLiteral("the compositor gave the overlay no size");
    return nullptr;
  }
  // The other outputs; one that gets no size is left without, and all are
  // when the main one's is not known. Each lies below the main surface, made
  // before it in the same layer.
  const int outputs = connection->OutputCount();
  const int main = outputs > 1 ? backend->FMain->ShownOn(2000) : -1;
  auto& others = backend->FOthers;
  for (int i = 0; i < outputs && main >= 0; ++i)
    if (i != main)
      if (auto other = connection->CreateSurface(TWaylandKeyboard::OnDemand, i)) others.push_back(std::move(other));
  if (!others.empty()) connection->Roundtrip();
  std::erase_if(others, [](const auto& o) { return o->Width() <= 0; });
  return backend;
}

TWaylandBackend::~TWaylandBackend() {
  MainWindowGone();
}

// Qt's screens as big as the surfaces, so that it keeps popups and dialogs
// on them, with the outputs' scale: the main surface's first, the others
// side by side to its right (their places among each other do not matter:
// no window spans two). Each corner lies where the screens before it end in
// device pixels, as Qt on X11 places monitors of several scales: a save's
// picture of them all has them there, none over another.
void TWaylandBackend::ConfigureQt() {
  QByteArray platform("offscreen");
  auto config = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/korivan-screen-XXXXXX.json"));
  // The platform's options are parted by colons.
  if (config->open() && !config->fileName().contains(u':')) {
    QStringList screens;
    int x = 0;
    const auto add = [&](const TLayerSurface& s) {
      const QRect place(x, 0, s.Width(), s.Height());
      screens << QStringLiteral(R"({"name":"output%1","x":%2,"y":0,"width":%3,"height":%4,"dpr":%5})")
                     .arg(screens.size())
                     .arg(x)
                     .arg(s.Width())
                     .arg(s.Height())
                     .arg(s.OutputScale());
      x += s.Width() * s.OutputScale();
      return place;
    };
    add(*FMain);
    for (const auto& other : FOthers) FOtherPlaces.push_back(add(*other));
    config->write(QStringLiteral(R"({"screens":[%1]})").arg(screens.join(u',')).toUtf8());
    config->flush();
    platform += ":configfile=" + QFile::encodeName(config->fileName());
    FScreenConfig = std::move(config);
  } else {
    FOthers.clear();  // one screen only
  }
  qputenv("QT_QPA_PLATFORM", platform);
}

std::unique_ptr<TWindowSystem> TWaylandBackend::CreateWindowSystem() {
  FScreenConfig.reset();  // read by now
  // Only the main window's input region has holes: in its screen's pixels,
  // which may be fewer than another screen's.
  const QScreen* primary = QGuiApplication::primaryScreen();
  const double mainRatio = primary ? primary->devicePixelRatio() : qGuiApp->devicePixelRatio();
  std::vector<TWaylandOutputPlace> places;
  for (std::size_t i = 0; i < FOthers.size() && i < FOtherPlaces.size(); ++i)
    places.push_back({FOthers[i].get(), FOtherPlaces[i].x(), FOtherPlaces[i].y()});
#if KORIVAN_HAVE_PORTAL
  TWaylandFallbackCapture fallback = CapturePortalScreen;
#else
  TWaylandFallbackCapture fallback;
#endif
  return CreateWaylandWindowSystem(
      *FConnection, *FMain, [this](TNativeWindow w) { return FOutputs ? FOutputs->SurfaceOf(w) : FMain.get(); },
      mainRatio, places, fallback);
}

void TWaylandBackend::ReadEvents() {
  if (FConnection->ReadEvents()) return;
  std::fputs("korivan-dsk: the Wayland compositor closed the connection\n", stderr);
  FEvents->setEnabled(false);
  if (FWindow) FWindow->close();
}

void TWaylandBackend::MainWindowMade(QWidget& window) {
  FWindow = &window;
  FOutputs = std::make_unique<TWaylandOutputs>(*FConnection, *FMain, window, FOthers, FOtherPlaces);
}

void TWaylandBackend::MainWindowShown() {
  FPresenter = std::make_unique<TWaylandPresenter>(*FConnection, *FMain, *FWindow);
  // Read from now on, when every surface shown has its listener: what came
  // meanwhile (a surface closed) waits for it.
  FEvents = std::make_unique<QSocketNotifier>(FConnection->Descriptor(), QSocketNotifier::Read);
  QObject::connect(FEvents.get(), &QSocketNotifier::activated, &FContext, [this] { ReadEvents(); });
  QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &FContext,
                   [this] { FConnection->Flush(); });
  // The other outputs' surfaces go below the main window's new one.
  QObject::connect(FPresenter.get(), &TWaylandPresenter::Reopened, FOutputs.get(), &TWaylandOutputs::Remake);
}

void TWaylandBackend::MainWindowGone() {
  // The presenters let go of the window and the surfaces; nothing is read now.
  FEvents.reset();
  FPresenter.reset();
  FOutputs.reset();
  FWindow = nullptr;
}
