#pragma once

#include <QImage>
#include <QWidget>

// The splash shown while the program starts: the product's artwork,
// borderless, centred on the screen, never taking the focus.
class TSplashFrm : public QWidget {
  Q_OBJECT

 public:
  explicit TSplashFrm(QWidget* parent = nullptr);

  void FormCreate();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage FPicture;
};
