#include <QElapsedTimer>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QThread>
#include <QWindow>
#include <cstdio>
#include <memory>

#include "app/Application.h"
#include "app/BackendChoice.h"
#include "app/CommandLine.h"
#include "app/Shortcuts.h"
#include "app/MainFrm.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/LnchDlg.h"
#include "dialogs/PenSetupDlg.h"
#include "dialogs/SetupDlg.h"
#include "dialogs/SplashFrm.h"
#include "platform/Platform.h"

namespace {

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

// Help, version and unknown options end the program before anything starts;
// -1 lets it go on.
int Answer(const TCommandLine& line, int argc, char** argv) {
  switch (line.Kind) {
    case TCommandLine::Help:
      std::fputs(UsageText().toLocal8Bit().constData(), stdout);
      return 0;
    case TCommandLine::Version: {
      const QCoreApplication core(argc, argv);
      const std::string version = FileVersionText(QCoreApplication::applicationFilePath().toStdString());
      std::printf("korivan-dsk %s\n", version.c_str());
      return 0;
    }
    case TCommandLine::InstallGnomeShortcut:
    case TCommandLine::RemoveGnomeShortcut: {
      const QCoreApplication core(argc, argv);
      return AnswerGnomeShortcut(line.Kind == TCommandLine::InstallGnomeShortcut);
    }
    case TCommandLine::Unknown:
      std::fprintf(stderr, "korivan-dsk: unknown option %s\n%s", line.Offending.toLocal8Bit().constData(),
                   UsageText().toLocal8Bit().constData());
      return 2;
    default:
      return -1;
  }
}

int Forward(TRemoteCommand command, int argc, char** argv) {
  const QCoreApplication core(argc, argv);
  const QString error = SendCommand(CommandChannelPath(), command);
  if (error.isEmpty()) return 0;
  std::fprintf(stderr, "korivan-dsk: %s\n", error.toLocal8Bit().constData());
  return 1;
}

// What each command of the command line does: what its tile or key does.
void RunRemoteCommand(TMainFrm& mainFrm, TRemoteCommand command) {
  switch (command) {
    case TRemoteCommand::Toggle: mainFrm.WriteRectClick(); break;
    case TRemoteCommand::Save: mainFrm.MenuButtonClick({pwSave}); break;
    case TRemoteCommand::EraseAll: mainFrm.MenuButtonClick({pwEraseAll}); break;
    case TRemoteCommand::Undo: mainFrm.MenuButtonClick({pwUndo}); break;
    case TRemoteCommand::Redo: mainFrm.MenuButtonClick({pwRedo}); break;
    case TRemoteCommand::NextPen: mainFrm.MenuButtonClick({pwMarkIdx}); break;
    case TRemoteCommand::Quit: mainFrm.MenuButtonClick({pwClose}); break;
    case TRemoteCommand::Spotlight: mainFrm.MenuButtonClick({pwSpotlight}); break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  const TCommandLine line = ParseCommandLine(arguments);
  if (const int status = Answer(line, argc, argv); status >= 0) return status;

  // Held until the process ends; a second start ends here, handing its
  // command, if any, to the running instance.
  const TSingleInstance instance("KORIVAN_ORVEL_NET");
  const bool command = line.Kind == TCommandLine::Remote;
  if (instance.State() == TInstanceState::AlreadyRunning) return command ? Forward(line.Command, argc, argv) : 0;
  if (command && line.Command != TRemoteCommand::Toggle) {
    std::fputs("KORIVAN DSK is not running\n", stderr);
    return 1;
  }

  TBackend backend = StartBackend(line);
  TApplication app(argc, argv);
  const std::unique_ptr<TWindowSystem> windowSystem = backend.CreateWindowSystem(app);

  auto splash = std::make_unique<TSplashFrm>();
  splash->show();
  PaintNow(*splash);
  QThread::msleep(500);

  TMainFrm mainFrm(*windowSystem);
  TBackend::TMainWindow onBackend(backend, mainFrm);
  TSetupDlg setupDlg;
  // The shortcuts stand beside the keypad keys and so share their rules.
  TShortcuts shortcuts(*windowSystem, [&mainFrm](int key) { mainFrm.KeyDown(key, QChar(), Qt::NoModifier); });
  mainFrm.Dialogs.Setup = [&setupDlg, &shortcuts] {
    const bool confirmed = setupDlg.Execute();
    if (confirmed) shortcuts.Apply();
    return confirmed;
  };
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

  TCommandServer commands([&mainFrm] { return mainFrm.IsBusy(); },
                          [&mainFrm](TRemoteCommand c) { RunRemoteCommand(mainFrm, c); });
  if (const QString error = commands.Listen(CommandChannelPath()); !error.isEmpty())
    std::fprintf(stderr, "korivan-dsk: no command line for this instance: %s\n", error.toLocal8Bit().constData());

  mainFrm.ShowOverlay();
  onBackend.Shown();
  if (backend.DesktopBindsKeys()) shortcuts.UseDesktopPortal();
  shortcuts.Apply();
  if (command) commands.Enqueue(line.Command);
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
