#include <QApplication>
#include <QPainter>
#include <QWidget>

#include "drawing/PenSample.h"

namespace {

// Until the overlay exists: a window that shows the pen previews.
class TPenSampleWindow : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(0x1F, 0x1F, 0x1F));
    const TPWMenuItem pens[] = {
        {pwPn, 0xFFFF0000, 4, sdSolid},   {pwMk, 0xFFFFFF00, 16, sdSolid},
        {pwRbPn, 0, 8, sdSolid},          {pwArPn0, 0xFF0000FF, 6, sdDash},
        {pwEr, 0, 12, sdSolid},           {pwPn, 0xFF00AA00, 6, sdDot},
    };
    int y = 10;
    for (const auto& pen : pens) {
      DrawPenSample(pen, p, QRectF(10, y, width() - 20, 40));
      y += 50;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TPenSampleWindow w;
  w.setWindowTitle("KORIVAN D");
  w.resize(400, 320);
  w.show();
  return app.exec();
}
