#include <QElapsedTimer>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>
#include <memory>

#include "app/Application.h"
#include "app/MainFrm.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/LnchDlg.h"
#include "dialogs/PenSetupDlg.h"
#include "dialogs/SetupDlg.h"
#include "dialogs/SplashFrm.h"
#include "platform/Platform.h"

namespace {

std::unique_ptr<TWindowSystem> WindowSystemOf(const QGuiApplication& app) {
  void* connection = nullptr;
  if (auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>())
    connection = x11->connection();
  return CreateWindowSystem(QGuiApplication::platformName().toStdString(), connection);
}

// Lets the splash be drawn before the pause blocks the event loop.
void PaintNow(QWidget& window) {
  QElapsedTimer waited;
  waited.start();
  do {
    QCoreApplication::processEvents();
  } while (!(window.windowHandle() && window.windowHandle()->isExposed()) && waited.elapsed() < 1000);
  window.repaint();
  QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  // Held until the process ends; a second start ends here, silently.
  const TSingleInstance instance("KORIVAN_ORVEL_NET");
  if (instance.State() == TInstanceState::AlreadyRunning) return 0;

  TApplication app(argc, argv);
  app.setApplicationDisplayName(QStringLiteral("KORIVAN D"));
  const std::unique_ptr<TWindowSystem> windowSystem = WindowSystemOf(app);

  auto splash = std::make_unique<TSplashFrm>();
  splash->show();
  PaintNow(*splash);
  QThread::msleep(500);

  TMainFrm mainFrm(*windowSystem);
  TSetupDlg setupDlg;
  mainFrm.Dialogs.Setup = [&setupDlg] { return setupDlg.Execute(); };
  TAboutDlg aboutDlg;
  TPenSetupDlg penSetupDlg(&mainFrm);
  TLnchDlg lnchDlg;
  lnchDlg.MenuButtonClick = [&mainFrm](const TPWMenuItem& item) { mainFrm.MenuButtonClick(item); };
  mainFrm.Dialogs.PenSetup = [&penSetupDlg](const TPWMenuItem& pen) { return penSetupDlg.Execute(pen); };
  mainFrm.Dialogs.Launcher = [&lnchDlg](const QRect& rect) { lnchDlg.Execute(rect); };
  mainFrm.Dialogs.About = [&aboutDlg] { aboutDlg.exec(); };
  splash.reset();

  // The system's request to end closes the window, so that the settings are
  // written as on any other close.
  std::unique_ptr<QSocketNotifier> closeRequests;
  if (const int fd = CloseRequestDescriptor(); fd >= 0) {
    closeRequests = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(closeRequests.get(), &QSocketNotifier::activated, &mainFrm, [&mainFrm] {
      AcknowledgeCloseRequest();
      mainFrm.close();
    });
  }

  mainFrm.ShowOverlay();
  const int status = app.exec();
  // The event loop is over, so a failed settings write is shown here.
  try {
    mainFrm.FormDestroy();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("KORIVAN D"), QString::fromLocal8Bit(e.what()));
    return 1;
  }
  return status;
}
