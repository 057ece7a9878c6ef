// Renders the dialogs with the factory settings, as the user first sees
// them, into a folder:
//
//   korivan-dialogpictures FOLDER   ->  pensetup.png, launcher.png, about.png,
//                                       setup-*.png (every page of the settings)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <cstdio>

#include "dialogs/AboutDlg.h"
#include "dialogs/LnchDlg.h"
#include "dialogs/PenSetupDlg.h"
#include "dialogs/SetupDlg.h"
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

bool SaveSetupPages(const QDir& folder) {
  TSetupDlg dlg;
  dlg.ShowSetup();
  dlg.show();
  const char* names[] = {"setup-stock-pen", "setup-toolbar", "setup-pen-setup", "setup-file", "setup-detailed"};
  bool ok = true;
  for (int page = 0; page < dlg.TabControl1->count(); ++page) {
    dlg.TabControl1->setCurrentIndex(page);
    // Show what a selection looks like.
    if (dlg.TabControl1->currentWidget() == dlg.TabItem2 && dlg.LnchLB->count() > 1)
      dlg.LnchLB->item(1)->setSelected(true);
    // Lists lay out and show their scroll bars on later turns of the loop.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const QString file = folder.filePath(QString::fromLatin1(names[page]) + QStringLiteral(".png"));
    const bool saved = dlg.grab().save(file);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    ok = ok && saved;
  }
  dlg.ClearLists();
  return ok;
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
  CheckSetup();
  // Stand-in folders, so that no build machine's paths show.
  HelpURL = HelpURLFor(false, QStringLiteral("/usr/bin"));
  ImagePathDefault = QStringLiteral("/home/user/Pictures/");

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
  ok = SaveSetupPages(folder) && ok;
  return ok ? 0 : 4;
}
