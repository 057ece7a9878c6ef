// Renders every page of the settings dialog, filled with the factory
// settings, into one PNG per page.
//
//   korivan-setuppictures FOLDER
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTabWidget>
#include <cstdio>

#include "dialogs/SetupDlg.h"
#include "settings/Settings.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: korivan-setuppictures FOLDER\n");
    return 1;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));

  DefaultSetup();
  CheckSetup();
  // A folder of no machine in particular.
  ImagePathDefault = QStringLiteral("/home/user/Pictures/");

  TSetupDlg dlg;
  dlg.ShowSetup();
  dlg.show();
  const char* names[] = {"setup-stock-pen", "setup-toolbar", "setup-pen-setup", "setup-file", "setup-detailed"};
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
    if (!dlg.grab().save(file)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 4;
    }
    std::printf("%s\n", qPrintable(file));
  }
  dlg.ClearLists();
  return 0;
}
