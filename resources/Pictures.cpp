#include "Pictures.h"

QImage LoadPicture(const QString& name) {
  return QImage(QStringLiteral(":/pictures/") + name + QStringLiteral(".png"));
}
