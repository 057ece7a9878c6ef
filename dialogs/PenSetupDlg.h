#pragma once

#include <QDialog>
#include <QPointer>
#include <array>
#include <functional>

#include "drawing/PenItem.h"

class QPainter;
class TMetroButton;

// The preview of the pen being edited.
class TSampleRectangle : public QWidget {
  Q_OBJECT

 public:
  explicit TSampleRectangle(QWidget* parent);
  std::function<void(QPainter&, const QRect&)> OnPaint;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// The pen chooser: a borderless dark window of tiles in which the user
// edits one pen's type, colour, width and dash, or takes a stock pen whole.
// It offers what the settings hold and changes none of them.
class TPenSetupDlg : public QDialog {
  Q_OBJECT

 public:
  // Centred on centreOn when it is shown (the main window); not its parent,
  // so that the dialog stays a window of its own above the overlay.
  explicit TPenSetupDlg(QWidget* centreOn = nullptr);
  ~TPenSetupDlg() override;

  // Modal. The edited pen on OK, the given pen otherwise.
  TPWMenuItem Execute(const TPWMenuItem& APenItem);
  // Everything Execute does before it shows the dialog.
  void Prepare(const TPWMenuItem& APenItem);

  TSampleRectangle* SampleRectangle = nullptr;
  TPWMenuItem PenItem;
  // The freehand types beside the sample, the shapes in a row below.
  std::array<TMetroButton*, 14> PenTBtn{};
  std::array<TPWPenType, 14> PenTBtnRT{};
  std::array<TMetroButton*, 10> PenCBtn{};
  std::array<TMetroButton*, 5> PenWBtn{};
  std::array<TMetroButton*, 5> PenDBtn{};
  std::array<TMetroButton*, 10> PenSBtn{};
  TMetroButton* OKButton = nullptr;
  TMetroButton* CancelButton = nullptr;
  bool isOK = false;

  void TypeTileClick(TMetroButton* sender);
  void ColorTileClick(TMetroButton* sender);
  void WidthTileClick(TMetroButton* sender);
  void DashTileClick(TMetroButton* sender);
  void StockTileClick(TMetroButton* sender);
  void OKTileClick(TMetroButton* sender);
  void CancelTileClick(TMetroButton* sender);
  void SampleRectanglePaint(QPainter& canvas, const QRect& rect);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void FormCreate();
  void AddTypeTile(const char* text, const char* icon, TPWPenType type);
  void AddDashTile(const char* text);
  void ShowColorTiles();
  void ShowWidthTiles();
  void ShowStockTiles();
  void UpdateTypeTiles();
  void UpdateColorTiles();
  void UpdateWidthTiles();
  void UpdateDashTiles();
  void UpdateStockTiles();
  TMetroButton* NewTile(int tag, int x, int y, void (TPenSetupDlg::*handler)(TMetroButton*));

  QPointer<QWidget> FCentreOn;
  int crIndex = 0;
};

// The 30 x 30 icons drawn for the width and dash tiles: white on transparent.
QImage WidthDotIcon(float thickness);
QImage DashLineIcon(TStrokeDash dash);
// A preset width as its tile shows it: rounded half to even, then "px".
QString WidthText(float thickness);
