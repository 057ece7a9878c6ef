// The least a Qt program like the overlay can spend on pointer events: a
// translucent, frameless, top-most window over the whole screen that tracks
// the pointer and does nothing with it. The whole-system benchmark runs it
// beside the overlay, so that the toolkit's own share of a figure shows.
#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

namespace {

class TFloorWindow : public QWidget {
 public:
  TFloorWindow() {
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    // The title the benchmark waits for.
    setWindowTitle(QStringLiteral("KORIVAN D"));
  }

 protected:
  void mouseMoveEvent(QMouseEvent* event) override { event->accept(); }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TFloorWindow window;
  window.setGeometry(QGuiApplication::primaryScreen()->geometry());
  window.show();
  return app.exec();
}
