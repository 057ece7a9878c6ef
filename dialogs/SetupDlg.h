#pragma once

#include <QDialog>
#include <QListWidget>
#include <QPointF>
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
class QPainter;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class TColorBox;
class TColorQuad;
class THueBar;
class TMetroButton;

// A rectangle with a Tag that paints through, and reports releases to, its
// dialog.
class TSwatch : public QWidget {
 public:
  TSwatch(QWidget* parent, int tag) : QWidget(parent), Tag(tag) {}
  const int Tag;
  std::function<void(TSwatch&, QPainter&)> OnPaint;
  std::function<void(TSwatch&)> OnMouseUp;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// The tile column's list: a press and a release on another item exchange
// the two.
class TMenuList : public QListWidget {
 public:
  using QListWidget::QListWidget;
  std::function<void(QPointF)> OnMouseDown;
  std::function<bool(QPointF)> OnDragOver;
  std::function<void(QPointF)> OnDragDrop;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPointF FPressedAt;
  bool FPressed = false;
  bool FDragging = false;
};

// The settings dialog. Every control writes the live settings as it
// changes; Execute puts them back when the user leaves without OK.
//
// Controls and fields are public like a form's design.
class TSetupDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TSetupDlg(QWidget* parent = nullptr);
  ~TSetupDlg() override;

  // Modal; true when the user left with OK.
  bool Execute();

  QTabWidget* TabControl1 = nullptr;
  QWidget* TabItem1 = nullptr;  // Stock Pen
  QWidget* TabItem2 = nullptr;  // ToolBar
  QWidget* TabItem5 = nullptr;  // Pen Setup
  QWidget* TabItem3 = nullptr;  // File
  QWidget* TabItem4 = nullptr;  // Detailed
  QPushButton* BtnDefault = nullptr;
  QPushButton* BtnOK = nullptr;
  QPushButton* BtnCancel = nullptr;

  std::array<TSwatch*, 10> ColorRect{};
  QComboBox* StockPenTypeCB = nullptr;
  TColorBox* StockPenColorBox = nullptr;
  TColorQuad* StockPenColorQD = nullptr;
  THueBar* StockPenColorPkr = nullptr;
  QLineEdit* StockPenColorEdit = nullptr;
  QPushButton* StockPenColorBtn = nullptr;
  QSpinBox* StockPenSB = nullptr;
  QComboBox* StockPenDashCB = nullptr;

  QListWidget* LnchLB = nullptr;
  TMenuList* MenuLB = nullptr;
  QPushButton* MenuBarAdd = nullptr;
  QPushButton* MenuBarBack = nullptr;
  QPushButton* MenuBarBackAllBtn = nullptr;

  QLabel* Label1 = nullptr;
  std::array<TSwatch*, 10> PenColorRect{};
  TColorBox* PenColorBox = nullptr;
  TColorQuad* PenColorQD = nullptr;
  THueBar* PenColorPkr = nullptr;
  QLineEdit* PenColorEdit = nullptr;
  QPushButton* PenColorBtn = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  std::array<QSpinBox*, 5> PenThicknessSB{};

  QGroupBox* GroupBox2 = nullptr;
  std::array<QRadioButton*, 5> DefaultImageIndex{};  // Tag 1..5
  QGroupBox* GroupBox3 = nullptr;
  QSpinBox* ImageJPEGQUalitySP = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLineEdit* ImagePathEdit = nullptr;
  QPushButton* Button1 = nullptr;

  QCheckBox* PenSmoothing = nullptr;
  QCheckBox* PenPressure = nullptr;
  QCheckBox* AllScreens = nullptr;
  // Shortcuts on any keyboard, one per keypad command (SetupDlgHotKeys.cpp).
  QGroupBox* HotKeyGroup = nullptr;
  std::array<QKeySequenceEdit*, HotKeyCount> HotKeyEdit{};
  std::array<QPushButton*, HotKeyCount> HotKeyClear{};

  bool isOK = false;
  std::array<TPWPenType, 8> PenTypeRT{};
  std::int32_t PenIndex = 0;
  std::vector<TMetroButton*> LnchBtn;
  std::int32_t PenColorIndex = 0;
  QPointF StartingPoint;

  // The folder browser; true with the picked folder (no trailing separator).
  std::function<bool(const QString& title, QString& path, QWidget* owner)> BrowseFolder;

  void BtnDefaultClick();
  void BtnOKClick();
  void BtnCancelClick();

  void ColorRectXMouseUp(int tag);
  void ColorRectXPaint(int tag, QPainter& canvas, const QRectF& rect);
  void StockPenTypeCBChange();
  void StockPenColorQDChange();
  void StockPenColorBtnClick();
  void StockPenSBChange();
  void StockPenDashCBChange();

  void PenColorXMouseUp(int tag);
  void PenColorXPaint(int tag, QPainter& canvas, const QRectF& rect);
  void PenColorQDChange();
  void PenColorBtnClick();
  void PenThicknessSBXChange(int tag);

  void DefaultImageIndexXChange(int tag);
  void Button1Click();
  void PenSmoothingChange();
  void PenPressureChange();
  void HotKeyEditChange(int tag);
  void HotKeyClearClick(int tag);

  void MenuBarAddClick();
  void MenuBarBackClick();
  void MenuBarBackAllBtnClick();
  void MenuLBMouseDown(QPointF pos);
  bool MenuLBDragOver(QPointF pos) const;
  void MenuLBDragDrop(QPointF pos);

  void ShowSetup();
  void ShowStockPen(int index);
  int TypeIndex(TPWPenType type) const;
  void ShowPenColor(int index);
  void ShowThickness();
  void ShowImageType();
  void ShowHotKeys();
  // The fields as they stand: a chord typed just before OK counts, though
  // the field reports it only a moment later.
  void TakeHotKeyFields();
  void CreateLaunchTiles();
  void RebuildLists();
  void ClearLists();
  int InsertPosition() const;
  bool InMenu(const TPWMenuItem& item) const;
  int LaunchIndex(const TPWMenuItem& item) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CreateStockPenPage();
  void CreateToolBarPage();
  void CreatePenSetupPage();
  void CreateFilePage();
  void CreateDetailedPage();
  void CreateHotKeyFields();
  void AddListItem(QListWidget& list, int tag, TMetroButton* tile);
  TMetroButton* NewTile(const TPWMenuItem& item);
  void RepaintPage();

  // Tiles for entries the column holds more than once, so that every list
  // item has a tile of its own.
  std::vector<TMetroButton*> FSpareTiles;
};

// A colour typed as up to eight hexadecimal digits; anything else is white.
TAlphaColor ParseColorText(const QString& text);
// The colour as the edit boxes show it: six upper-case hexadecimal digits.
QString ColorText(TAlphaColor color);
// Same entry as far as the column's lists are concerned: the alpha byte of
// the colour does not count.
bool SameEntry(const TPWMenuItem& a, const TPWMenuItem& b);
// The default folder for what the folder box holds: a folder that exists is
// taken whole, with or without its trailing separator.
QString TypedImageFolder(const QString& text);
// The platform's modal folder browser.
bool BrowseFolder(const QString& title, QString& path, QWidget* owner);
