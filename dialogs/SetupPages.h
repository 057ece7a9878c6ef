#pragma once

// The settings dialog's pages, one class each. Every control writes the live
// settings as it changes; the dialog (dialogs/SetupDlg.h) shows them all
// anew and puts them back when the user leaves without OK.

#include <QPointF>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "drawing/PenItem.h"
#include "settings/Settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeySequenceEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPainter;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TColorBox;
class TColorQuad;
class THueBar;
class TMenuList;
class TMetroButton;
class TSwatch;

// The ten stock pens: a swatch each, and the type, colour, width and dash of
// the one picked.
class TStockPenPage : public QWidget {
 public:
  explicit TStockPenPage(QWidget* parent = nullptr);

  std::array<TSwatch*, 10> ColorRect{};
  QComboBox* StockPenTypeCB = nullptr;
  TColorBox* StockPenColorBox = nullptr;
  TColorQuad* StockPenColorQD = nullptr;
  THueBar* StockPenColorPkr = nullptr;
  QLineEdit* StockPenColorEdit = nullptr;
  QPushButton* StockPenColorBtn = nullptr;
  QSpinBox* StockPenSB = nullptr;
  QComboBox* StockPenDashCB = nullptr;

  std::array<TPWPenType, 8> PenTypeRT{};
  std::int32_t PenIndex = 0;

  void ColorRectXMouseUp(int tag);
  void ColorRectXPaint(int tag, QPainter& canvas, const QRectF& rect);
  void StockPenTypeCBChange();
  void StockPenColorQDChange();
  void StockPenColorBtnClick();
  void StockPenSBChange();
  void StockPenDashCBChange();

  void ShowStockPen(int index);
  int TypeIndex(TPWPenType type) const;

 private:
  void RepaintPage();
};

// The tiles of the column: the launcher's on the left, the column's on the
// right.
class TToolBarPage : public QWidget {
 public:
  explicit TToolBarPage(QWidget* parent = nullptr);

  QListWidget* LnchLB = nullptr;
  TMenuList* MenuLB = nullptr;
  QPushButton* MenuBarAdd = nullptr;
  QPushButton* MenuBarBack = nullptr;
  QPushButton* MenuBarBackAllBtn = nullptr;

  std::vector<TMetroButton*> LnchBtn;
  QPointF StartingPoint;

  void MenuBarAddClick();
  void MenuBarBackClick();
  void MenuBarBackAllBtnClick();
  void MenuLBMouseDown(QPointF pos);
  bool MenuLBDragOver(QPointF pos) const;
  void MenuLBDragDrop(QPointF pos);

  void CreateLaunchTiles();
  void RebuildLists();
  void ClearLists();
  int InsertPosition() const;
  bool InMenu(const TPWMenuItem& item) const;
  int LaunchIndex(const TPWMenuItem& item) const;

 private:
  void AddListItem(QListWidget& list, int tag, TMetroButton* tile);
  TMetroButton* NewTile(const TPWMenuItem& item);

  // Tiles for entries the column holds more than once, so that every list
  // item has a tile of its own.
  std::vector<TMetroButton*> FSpareTiles;
};

// The ten colours and five widths the pen chooser offers.
class TPenSetupPage : public QWidget {
 public:
  explicit TPenSetupPage(QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;
  std::array<TSwatch*, 10> PenColorRect{};
  TColorBox* PenColorBox = nullptr;
  TColorQuad* PenColorQD = nullptr;
  THueBar* PenColorPkr = nullptr;
  QLineEdit* PenColorEdit = nullptr;
  QPushButton* PenColorBtn = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  std::array<QSpinBox*, 5> PenThicknessSB{};

  std::int32_t PenColorIndex = 0;

  void PenColorXMouseUp(int tag);
  void PenColorXPaint(int tag, QPainter& canvas, const QRectF& rect);
  void PenColorQDChange();
  void PenColorBtnClick();
  void PenThicknessSBXChange(int tag);

  void ShowPenColor(int index);
  void ShowThickness();

 private:
  void RepaintPage();
};

// The format Save uses and the folder it saves to.
class TFilePage : public QWidget {
 public:
  explicit TFilePage(QWidget* parent = nullptr);

  QGroupBox* GroupBox2 = nullptr;
  std::array<QRadioButton*, 5> DefaultImageIndex{};  // Tag 1..5
  QGroupBox* GroupBox3 = nullptr;
  QSpinBox* ImageJPEGQUalitySP = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLineEdit* ImagePathEdit = nullptr;
  QPushButton* Button1 = nullptr;

  // The folder browser, as the dialog offers it; true with the picked folder.
  std::function<bool(const QString& title, QString& path)> Browse;

  void DefaultImageIndexXChange(int tag);
  void Button1Click();
  void ShowImageType();
};

// Smoothing, "All screens" and the shortcuts of any keyboard.
class TDetailedPage : public QWidget {
 public:
  explicit TDetailedPage(QWidget* parent = nullptr);

  QCheckBox* PenSmoothing = nullptr;
  QCheckBox* PenPressure = nullptr;
  QCheckBox* AllScreens = nullptr;
  // Shortcuts on any keyboard, one per keypad command (SetupDlgHotKeys.cpp).
  QGroupBox* HotKeyGroup = nullptr;
  std::array<QKeySequenceEdit*, HotKeyCount> HotKeyEdit{};
  std::array<QPushButton*, HotKeyCount> HotKeyClear{};

  void PenSmoothingChange();
  void PenPressureChange();
  void HotKeyEditChange(int tag);
  void HotKeyClearClick(int tag);

  void ShowHotKeys();
  // The fields as they stand: a chord typed just before OK counts, though
  // the field reports it only a moment later.
  void TakeHotKeyFields();

 private:
  void CreateHotKeyFields();
};
