#include "Pictures.h"

#include <QDir>

// The resource object lives in a static library; naming its initialiser here
// makes the linker keep it whichever program links the library.
static void InitPictures() {
  static const bool once = [] {
    Q_INIT_RESOURCE(korivan_pictures);
    return true;
  }();
  (void)once;
}

QImage LoadPicture(const QString& name) {
  InitPictures();
  // A name is one path component; anything else could reach other resources.
  if (name.isEmpty() || name.contains(QLatin1Char('/'))) return QImage();
  return QImage(QStringLiteral(":/pictures/") + name + QStringLiteral(".png"));
}

QStringList PictureNames() {
  InitPictures();
  QStringList names = QDir(QStringLiteral(":/pictures")).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
  for (QString& n : names) n.chop(4);
  return names;
}
