// Renders the pen chooser, the launcher and the about box with the factory
// settings, as the user first sees them, into a folder:
//
//   korivan-dialogpictures FOLDER   ->  pensetup.png, launcher.png, about.png
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTest>
#include <cstdio>

#include "dialogs/AboutDlg.h"
#include "dialogs/LnchDlg.h"
#include "dialogs/PenSetupDlg.h"
#include "settings/Settings.h"

namespace {

bool Save(QWidget& window, const QDir& folder, const char* name) {
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return false;
  QCoreApplication::processEvents();
  const QString file = folder.filePath(QString::fromLatin1(name));
  const bool saved = window.grab().toImage().save(file);
  window.hide();
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: korivan-dialogpictures FOLDER\n");
    return 1;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  DefaultSetup();
  // A stand-in install folder, so that no build machine's path shows.
  HelpURL = HelpURLFor(false, QStringLiteral("/opt/korivan-dsk"));

  // A red dashed pen of a preset width: one tile of every group but the
  // stock pens shows down.
  TPenSetupDlg penSetup;
  penSetup.Prepare({pwPn, 0xFFFF0000, 10, sdDash});
  TLnchDlg launcher;
  launcher.Prepare(QRect(0, 0, 1920, 1080));
  TAboutDlg about;

  bool ok = Save(penSetup, folder, "pensetup.png");
  ok = Save(launcher, folder, "launcher.png") && ok;
  ok = Save(about, folder, "about.png") && ok;
  return ok ? 0 : 4;
}
