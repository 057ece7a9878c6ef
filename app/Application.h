#pragma once

#include <QApplication>
#include <QStringList>
#include <functional>

// The application object. Its notify is the one place where an error raised
// by a command ends up: the text is shown in a message box once control is
// back in the event loop, and the program goes on running.
class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the error's text; errors raised while a report is open are shown
  // after it, each distinct text once.
  void ReportError(const QString& text);

 private:
  void ShowPendingErrors();

  QStringList FPending;
  bool FShowing = false;
};
