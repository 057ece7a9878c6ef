// Placing the settings dialog's controls at fixed positions, shared by the
// files of its pages.
#pragma once

#include <QPushButton>
#include <QWidget>

inline QFont SizedFont(const QWidget& w, int pixels) {
  QFont f = w.font();
  f.setPixelSize(pixels);
  return f;
}

template <class T>
T* Place(QWidget* parent, int x, int y, int w, int h, int fontPixels = 0) {
  auto* c = new T(parent);
  c->setGeometry(x, y, w, h);
  if (fontPixels > 0) c->setFont(SizedFont(*c, fontPixels));
  return c;
}

inline QPushButton* PlaceButton(QWidget* parent, const char* text, int x, int y, int w, int h, int fontPixels = 0) {
  auto* b = Place<QPushButton>(parent, x, y, w, h, fontPixels);
  b->setText(QString::fromLatin1(text));
  b->setAutoDefault(false);
  return b;
}
