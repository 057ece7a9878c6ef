#pragma once

#include <QWidget>
#include <functional>

class QPainter;

// A rectangle whose look and behaviour come from its window's handlers:
// the corner buttons, the tile panel, the background of the surface.
class TPaintRect : public QWidget {
  Q_OBJECT

 public:
  explicit TPaintRect(QWidget* parent);

  std::function<void(QPainter&, const QRect&)> OnPaint;
  std::function<void()> OnClick;
  std::function<void()> OnMouseLeave;
  std::function<void()> OnResize;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool FPressed = false;
};
