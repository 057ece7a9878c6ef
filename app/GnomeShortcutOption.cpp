#include <QCoreApplication>
#include <cstdio>

#include "app/CommandLine.h"
#include "settings/GnomeShortcut.h"
#include "settings/Settings.h"

int AnswerGnomeShortcut(bool install) {
  QString error;
  if (install) {
    LoadSetup();
    QString accelerator = GnomeAccelerator(HotKeys[hkToggle]);
    if (accelerator.isEmpty()) accelerator = QStringLiteral("KP_Multiply");
    error = InstallGnomeShortcut(GnomeToggleCommand(QCoreApplication::applicationFilePath()), accelerator);
    if (error.isEmpty()) std::printf("GNOME shortcut %s added: it switches drawing on and off\n", accelerator.toUtf8().constData());
  } else {
    error = RemoveGnomeShortcut();
    if (error.isEmpty()) std::printf("GNOME shortcut removed\n");
  }
  if (error.isEmpty()) return 0;
  std::fprintf(stderr, "korivan-dsk: %s\n", error.toLocal8Bit().constData());
  return 1;
}
