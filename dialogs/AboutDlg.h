#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <functional>

class QPushButton;

// A label that reads as a link: a hand pointer, a click reports itself, and
// a text too long for the label is shortened in the middle (the whole text
// is its tool tip).
class TLinkLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLinkLabel(QWidget* parent);
  std::function<void()> OnClick;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool FPressed = false;
};

// The about box: the program's name and version, a credit line and the help
// page, which opens in the browser when clicked. Its texts are set once.
class TAboutDlg : public QDialog {
  Q_OBJECT

 public:
  // The version shown is that of programFile, the running executable.
  explicit TAboutDlg(const QString& programFile = QCoreApplication::applicationFilePath());

  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label3 = nullptr;
  TLinkLabel* Label4 = nullptr;
  QPushButton* Button1 = nullptr;

  void Label4Click();
  void Button1Click();

 private:
  void FormCreate(const QString& programFile);
};
