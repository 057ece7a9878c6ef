#include "app/Application.h"

#include <QMessageBox>
#include <QTimer>
#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ReportError(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    ReportError(tr("An unknown error occurred."));
  }
  return false;
}

void TApplication::ReportError(const QString& text) {
  if (!FPending.contains(text)) FPending.append(text);
  // Not from inside the failing handler: a modal box there could re-enter it
  // (a paint, a timer) before it has unwound.
  if (!FShowing) QTimer::singleShot(0, this, &TApplication::ShowPendingErrors);
  FShowing = true;
}

void TApplication::ShowPendingErrors() {
  while (!FPending.isEmpty()) {
    const QString text = FPending.takeFirst();
    QMessageBox box(QMessageBox::Critical, QStringLiteral("KORIVAN D"), text, QMessageBox::Ok);
    box.exec();
  }
  FShowing = false;
}
