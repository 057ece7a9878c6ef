#include "dialogs/SplashFrm.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "resources/Pictures.h"

TSplashFrm::TSplashFrm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setWindowTitle(QStringLiteral("KORIVAN D"));
  FPicture = LoadPicture(QStringLiteral("SPLASH"));
  resize(512, 400);
  FormCreate();
}

void TSplashFrm::FormCreate() {
  resize(width(), 256);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
  }
}

void TSplashFrm::paintEvent(QPaintEvent*) {
  if (FPicture.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRectF(rect()), FPicture);
}
