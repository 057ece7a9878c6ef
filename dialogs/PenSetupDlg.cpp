#include "dialogs/PenSetupDlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "dialogs/Centre.h"
#include "dialogs/MenuLook.h"
#include "drawing/PenSample.h"
#include "drawing/StrokePen.h"
#include "resources/Pictures.h"
#include "settings/Settings.h"
#include "widgets/MetroButton.h"

namespace {

constexpr QRgb kFormColor = 0xFF1F1F1F;
constexpr int kStep = MetroSmallSize + MetroSpace;
constexpr int kIconSize = 30;

QImage BlankIcon() {
  QImage icon(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
  icon.fill(QColor::fromRgba(0x00FFFFFF));
  return icon;
}

}  // namespace

QImage WidthDotIcon(float thickness) {
  QImage icon = BlankIcon();
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgba(0xFFFFFFFF));
  // The widest preset fills the icon; a thin one still shows a dot.
  const qreal r = std::max(1.0, double(thickness) / 60 * 15);
  p.drawEllipse(QPointF(15, 15), r, r);
  return icon;
}

QImage DashLineIcon(TStrokeDash dash) {
  QImage icon = BlankIcon();
  QPainter p(&icon);
  p.setRenderHint(QPainter::Antialiasing);
  // The pen strokes are drawn with, so that the tile shows what a stroke will.
  p.setPen(StrokePen(0xFFFFFFFF, 2, dash));
  p.drawLine(QPointF(0, 15), QPointF(30, 15));
  return icon;
}

QString WidthText(float thickness) {
  return QString::number(static_cast<long long>(std::nearbyint(double(thickness)))) + QStringLiteral("px");
}

TSampleRectangle::TSampleRectangle(QWidget* parent) : QWidget(parent) {}

void TSampleRectangle::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  if (OnPaint) OnPaint(p, rect());
}

TPenSetupDlg::TPenSetupDlg(QWidget* centreOn)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint), FCentreOn(centreOn) {
  setModal(true);
  FormCreate();
}

TPenSetupDlg::~TPenSetupDlg() = default;

TMetroButton* TPenSetupDlg::NewTile(int tag, int x, int y, void (TPenSetupDlg::*handler)(TMetroButton*)) {
  auto* tile = new TMetroButton(this, mtSmallSingle);
  tile->move(x, y);
  tile->Tag = tag;
  tile->OnExecute = [this, handler](TMetroButton* sender) { (this->*handler)(sender); };
  return tile;
}

void TPenSetupDlg::FormCreate() {
  setFixedSize(kStep * 9 + 50, kStep * 6 + 10);

  SampleRectangle = new TSampleRectangle(this);
  SampleRectangle->setGeometry(5, 5, 130, 60);
  SampleRectangle->OnPaint = [this](QPainter& canvas, const QRect& rect) { SampleRectanglePaint(canvas, rect); };

  for (int i = 0; i < 6; ++i)
    PenTBtn[i] = NewTile(i, kStep * (i % 2) + 5, kStep * (i / 2 + 1) + 5, &TPenSetupDlg::TypeTileClick);
  for (int i = 6; i < 14; ++i)
    PenTBtn[i] = NewTile(i, kStep * (i - 6) + 5 + (i - 6) / 2 * 10, kStep * 5 + 15, &TPenSetupDlg::TypeTileClick);
  crIndex = 0;
  AddTypeTile("Pen", "MT_PEN", pwPn);
  AddTypeTile("Pen", "MT_RBPEN", pwRbPn);
  AddTypeTile("Marker", "MT_MARKER", pwMk);
  AddTypeTile("Marker", "MT_RBMARKER", pwRbMk);
  AddTypeTile("Arrow", "MT_ARROWS", pwArPn0);
  AddTypeTile("Arrow Both", "MT_ARROWD", pwArPn1);
  AddTypeTile("Line", "MT_LINE", pwLine);
  AddTypeTile("Line Mk", "MT_LINEMK", pwLineMk);
  AddTypeTile("Box", "MT_RECT", pwRect);
  AddTypeTile("Box Mk", "MT_RECTMK", pwRectMk);
  AddTypeTile("Ellipse", "MT_ELLIPSE", pwEllipse);
  AddTypeTile("Ellipse Mk", "MT_ELLIPSEMK", pwEllipseMk);
  AddTypeTile("Text", "MT_TEXT", pwText);
  AddTypeTile("Step", "MT_STEP", pwStep);

  for (int i = 0; i < 10; ++i)
    PenCBtn[i] = NewTile(i, kStep * (i % 2 + 2) + 15, kStep * (i / 2) + 5, &TPenSetupDlg::ColorTileClick);
  for (int i = 0; i < 5; ++i) PenWBtn[i] = NewTile(i, kStep * 4 + 25, kStep * i + 5, &TPenSetupDlg::WidthTileClick);

  for (int i = 0; i < 5; ++i) PenDBtn[i] = NewTile(i, kStep * 5 + 35, kStep * i + 5, &TPenSetupDlg::DashTileClick);
  crIndex = 0;
  AddDashTile("Solid");
  AddDashTile("Dash");
  AddDashTile("Dot");
  AddDashTile("DashDot");
  AddDashTile("DashDot2");

  for (int i = 0; i < 10; ++i)
    PenSBtn[i] = NewTile(i, kStep * (i % 2 + 6) + 45, kStep * (i / 2) + 5, &TPenSetupDlg::StockTileClick);

  OKButton = NewTile(0, kStep * 8 + 55, 5, &TPenSetupDlg::OKTileClick);
  OKButton->SetText(QStringLiteral("OK"));
  OKButton->SetBitmap(LoadPicture(QStringLiteral("MT_OK")));
  OKButton->SetColor(MetroGreen);
  CancelButton = NewTile(0, kStep * 8 + 55, MetroSmallSize + 15, &TPenSetupDlg::CancelTileClick);
  CancelButton->SetText(QStringLiteral("Cancel"));
  CancelButton->SetBitmap(LoadPicture(QStringLiteral("MT_CLOSE")));
  CancelButton->SetColor(MetroRed);
}

void TPenSetupDlg::AddTypeTile(const char* text, const char* icon, TPWPenType type) {
  TMetroButton* tile = PenTBtn[crIndex];
  tile->SetText(QString::fromLatin1(text));
  PenTBtnRT[crIndex] = type;
  tile->SetBitmap(LoadPicture(QString::fromLatin1(icon)));
  ++crIndex;
}

void TPenSetupDlg::AddDashTile(const char* text) {
  TMetroButton* tile = PenDBtn[crIndex];
  tile->SetText(QString::fromLatin1(text));
  tile->SetBitmap(DashLineIcon(static_cast<TStrokeDash>(crIndex)));
  ++crIndex;
}

void TPenSetupDlg::Prepare(const TPWMenuItem& APenItem) {
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(CentredOn(FCentreOn ? FCentreOn->geometry() : screen->geometry(), size()));
  isOK = false;
  PenItem = APenItem;
  UpdateTypeTiles();
  UpdateDashTiles();
  // Refilled at every opening: the settings dialog may have changed the
  // presets and the stock pens since the last one.
  ShowColorTiles();
  ShowWidthTiles();
  ShowStockTiles();
  SampleRectangle->update();
}

TPWMenuItem TPenSetupDlg::Execute(const TPWMenuItem& APenItem) {
  Prepare(APenItem);
  exec();
  return isOK ? PenItem : APenItem;
}

void TPenSetupDlg::ShowColorTiles() {
  for (std::size_t i = 0; i < PenCBtn.size(); ++i) {
    PenCBtn[i]->SetText(QStringLiteral("#%1").arg(PresetColor[i] & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper());
    PenCBtn[i]->SetColor(PresetColor[i]);
    PenCBtn[i]->update();
  }
  UpdateColorTiles();
}

void TPenSetupDlg::ShowWidthTiles() {
  for (std::size_t i = 0; i < PenWBtn.size(); ++i) {
    PenWBtn[i]->SetText(WidthText(PresetThickness[i]));
    PenWBtn[i]->SetBitmap(WidthDotIcon(PresetThickness[i]));
    PenWBtn[i]->update();
  }
  UpdateWidthTiles();
}

void TPenSetupDlg::ShowStockTiles() {
  for (std::size_t i = 0; i < PenSBtn.size(); ++i) {
    // Cleared first: a rainbow look keeps the colour it finds, and the pen
    // this tile showed before may have been a coloured one.
    TMetroButton& tile = *PenSBtn[i];
    tile.SetColor(MetroBlue);
    tile.SetText(QString());
    tile.SetBitmap(QImage());
    MenuButtonSubSet(StockPens[i], tile);
    tile.update();
  }
  UpdateStockTiles();
}

void TPenSetupDlg::UpdateTypeTiles() {
  for (std::size_t i = 0; i < PenTBtn.size(); ++i) PenTBtn[i]->SetDown(PenTBtnRT[i] == PenItem.PenType);
}

void TPenSetupDlg::UpdateColorTiles() {
  const bool rainbow = IsRainbow(PenItem.PenType);
  for (TMetroButton* tile : PenCBtn) tile->SetDown(!rainbow && tile->Color() == PenItem.PenColor);
}

void TPenSetupDlg::UpdateWidthTiles() {
  for (std::size_t i = 0; i < PenWBtn.size(); ++i) PenWBtn[i]->SetDown(PresetThickness[i] == PenItem.PenThickness);
}

void TPenSetupDlg::UpdateDashTiles() {
  for (std::size_t i = 0; i < PenDBtn.size(); ++i) PenDBtn[i]->SetDown(int(i) == int(PenItem.PenDash));
}

void TPenSetupDlg::UpdateStockTiles() {
  for (std::size_t i = 0; i < PenSBtn.size(); ++i) PenSBtn[i]->SetDown(StockPens[i] == PenItem);
}

void TPenSetupDlg::TypeTileClick(TMetroButton* sender) {
  PenItem.PenType = PenTBtnRT[sender->Tag];
  UpdateTypeTiles();
  UpdateColorTiles();
  UpdateStockTiles();
  SampleRectangle->update();
}

void TPenSetupDlg::ColorTileClick(TMetroButton* sender) {
  PenItem.PenColor = PresetColor[sender->Tag];
  UpdateColorTiles();
  UpdateStockTiles();
  SampleRectangle->update();
}

void TPenSetupDlg::WidthTileClick(TMetroButton* sender) {
  PenItem.PenThickness = PresetThickness[sender->Tag];
  UpdateWidthTiles();
  UpdateStockTiles();
  SampleRectangle->update();
}

void TPenSetupDlg::DashTileClick(TMetroButton* sender) {
  PenItem.PenDash = static_cast<TStrokeDash>(sender->Tag);
  UpdateDashTiles();
  UpdateStockTiles();
  SampleRectangle->update();
}

void TPenSetupDlg::StockTileClick(TMetroButton* sender) {
  PenItem = StockPens[sender->Tag];
  UpdateStockTiles();
  UpdateTypeTiles();
  UpdateDashTiles();
  UpdateColorTiles();
  UpdateWidthTiles();
  SampleRectangle->update();
}

void TPenSetupDlg::OKTileClick(TMetroButton*) {
  isOK = true;
  accept();
}

void TPenSetupDlg::CancelTileClick(TMetroButton*) { reject(); }

void TPenSetupDlg::SampleRectanglePaint(QPainter& canvas, const QRect& rect) {
  DrawPenSample(PenItem, canvas, QRectF(rect));
}

void TPenSetupDlg::keyPressEvent(QKeyEvent* event) {
  // Escape rejects as in any dialog; Enter confirms like the OK tile.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    OKTileClick(OKButton);
    return;
  }
  QDialog::keyPressEvent(event);
}

void TPenSetupDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor::fromRgba(kFormColor));
}
