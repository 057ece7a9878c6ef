#include "dialogs/AboutDlg.h"

#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include "platform/Platform.h"
#include "resources/Pictures.h"
#include "settings/Settings.h"

namespace {

QFont PixelFont(int pixels, bool bold = false) {
  QFont font;
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

}  // namespace

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent) { setCursor(Qt::PointingHandCursor); }

void TLinkLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setFont(font());
  p.setPen(palette().color(QPalette::Link));
  p.drawText(contentsRect(), int(alignment()), fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width()));
}

void TLinkLabel::mousePressEvent(QMouseEvent* event) {
  FPressed = event->button() == Qt::LeftButton;
  event->accept();
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  // A press dragged off the label is no click.
  const bool click = FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  FPressed = false;
  event->accept();
  if (click && OnClick) OnClick();
}

TAboutDlg::TAboutDlg(const QString& programFile)
    : QDialog(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("About This Application"));
  setFixedSize(354, 176);

  Image1 = new QLabel(this);
  Image1->setGeometry(16, 16, 64, 64);
  Image1->setPixmap(QPixmap::fromImage(
      LoadPicture(QStringLiteral("EMBLEM")).scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation)));

  Label1 = new QLabel(QStringLiteral("KORIVAN D"), this);
  Label1->move(92, 28);
  Label1->setFont(PixelFont(13));

  Label3 = new QLabel(QStringLiteral("Copyright (C) ORVEL PROJECT"), this);
  Label3->setGeometry(20, 96, 309, 15);
  Label3->setFont(PixelFont(12));
  Label3->setAlignment(Qt::AlignCenter);

  Label4 = new TLinkLabel(this);
  Label4->setGeometry(20, 116, 309, 15);
  Label4->setFont(PixelFont(12, true));
  Label4->setAlignment(Qt::AlignCenter);
  Label4->OnClick = [this] { Label4Click(); };

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setGeometry(260, 144, 80, 22);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, &TAboutDlg::Button1Click);

  FormCreate(programFile);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
  }
}

void TAboutDlg::FormCreate(const QString& programFile) {
  const std::string version = FileVersionText(QFile::encodeName(programFile).toStdString());
  Label1->setText(Label1->text() + QStringLiteral(" Ver.") + QString::fromStdString(version));
  Label1->adjustSize();
  Label4->setText(HelpURL);
  Label4->setToolTip(HelpURL);
}

void TAboutDlg::Label4Click() { OpenHelpPage(); }

void TAboutDlg::Button1Click() { accept(); }
