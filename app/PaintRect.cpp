#include "app/PaintRect.h"

#include <QMouseEvent>
#include <QPainter>

TPaintRect::TPaintRect(QWidget* parent) : QWidget(parent) {}

void TPaintRect::paintEvent(QPaintEvent*) {
  if (!OnPaint) return;
  QPainter painter(this);
  OnPaint(painter, rect());
}

void TPaintRect::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !OnClick) {
    QWidget::mousePressEvent(event);
    return;
  }
  FPressed = true;
  event->accept();
}

// A click is a press and a release both on the rectangle.
void TPaintRect::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = FPressed && event->button() == Qt::LeftButton &&
                     rect().contains(event->position().toPoint());
  FPressed = false;
  if (click && OnClick) {
    event->accept();
    OnClick();
    return;
  }
  QWidget::mouseReleaseEvent(event);
}

void TPaintRect::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (OnMouseLeave) OnMouseLeave();
}

void TPaintRect::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (OnResize) OnResize();
}
