// Prints the English and the Japanese help page the program would open if it
// were in the folder given, as local files.
#include <QUrl>
#include <cstdio>

#include "settings/Settings.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korivan_help_lookup PROGRAM-FOLDER\n");
    return 1;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  for (const bool japanese : {false, true})
    std::printf("%s\n", QUrl(HelpURLFor(japanese, folder)).toLocalFile().toLocal8Bit().constData());
  return 0;
}
