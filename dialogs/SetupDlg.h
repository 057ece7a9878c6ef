#pragma once

#include <QDialog>
#include <QListWidget>
#include <QPointF>
#include <array>
#include <functional>
#include <vector>

#include "dialogs/SetupPages.h"
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
// Each page is a class of its own (dialogs/SetupPages.h) that holds its
// controls; the dialog's fields and handlers below reach them under their
// names, public like a form's design.
class TSetupDlg : public QDialog {
  Q_OBJECT

  // Made first, for the names below to refer to; the tab control takes them.
  TStockPenPage* const FStockPenPage = new TStockPenPage;
  TToolBarPage* const FToolBarPage = new TToolBarPage;
  TPenSetupPage* const FPenSetupPage = new TPenSetupPage;
  TFilePage* const FFilePage = new TFilePage;
  TDetailedPage* const FDetailedPage = new TDetailedPage;

 public:
  explicit TSetupDlg(QWidget* parent = nullptr);
  ~TSetupDlg() override;

  // Modal; true when the user left with OK.
  bool Execute();

  QTabWidget* TabControl1 = nullptr;
  QWidget* TabItem1 = FStockPenPage;  // Stock Pen
  QWidget* TabItem2 = FToolBarPage;   // ToolBar
  QWidget* TabItem5 = FPenSetupPage;  // Pen Setup
  QWidget* TabItem3 = FFilePage;      // File
  QWidget* TabItem4 = FDetailedPage;  // Detailed
  QPushButton* BtnDefault = nullptr;
  QPushButton* BtnOK = nullptr;
  QPushButton* BtnCancel = nullptr;

  std::array<TSwatch*, 10>& ColorRect = FStockPenPage->ColorRect;
  QComboBox*& StockPenTypeCB = FStockPenPage->StockPenTypeCB;
  TColorBox*& StockPenColorBox = FStockPenPage->StockPenColorBox;
  TColorQuad*& StockPenColorQD = FStockPenPage->StockPenColorQD;
  THueBar*& StockPenColorPkr = FStockPenPage->StockPenColorPkr;
  QLineEdit*& StockPenColorEdit = FStockPenPage->StockPenColorEdit;
  QPushButton*& StockPenColorBtn = FStockPenPage->StockPenColorBtn;
  QSpinBox*& StockPenSB = FStockPenPage->StockPenSB;
  QComboBox*& StockPenDashCB = FStockPenPage->StockPenDashCB;

  QListWidget*& LnchLB = FToolBarPage->LnchLB;
  TMenuList*& MenuLB = FToolBarPage->MenuLB;
  QPushButton*& MenuBarAdd = FToolBarPage->MenuBarAdd;
  QPushButton*& MenuBarBack = FToolBarPage->MenuBarBack;
  QPushButton*& MenuBarBackAllBtn = FToolBarPage->MenuBarBackAllBtn;

  QLabel*& Label1 = FPenSetupPage->Label1;
  std::array<TSwatch*, 10>& PenColorRect = FPenSetupPage->PenColorRect;
  TColorBox*& PenColorBox = FPenSetupPage->PenColorBox;
  TColorQuad*& PenColorQD = FPenSetupPage->PenColorQD;
  THueBar*& PenColorPkr = FPenSetupPage->PenColorPkr;
  QLineEdit*& PenColorEdit = FPenSetupPage->PenColorEdit;
  QPushButton*& PenColorBtn = FPenSetupPage->PenColorBtn;
  QGroupBox*& GroupBox4 = FPenSetupPage->GroupBox4;
  std::array<QSpinBox*, 5>& PenThicknessSB = FPenSetupPage->PenThicknessSB;

  QGroupBox*& GroupBox2 = FFilePage->GroupBox2;
  std::array<QRadioButton*, 5>& DefaultImageIndex = FFilePage->DefaultImageIndex;  // Tag 1..5
  QGroupBox*& GroupBox3 = FFilePage->GroupBox3;
  QSpinBox*& ImageJPEGQUalitySP = FFilePage->ImageJPEGQUalitySP;
  QGroupBox*& GroupBox1 = FFilePage->GroupBox1;
  QLineEdit*& ImagePathEdit = FFilePage->ImagePathEdit;
  QPushButton*& Button1 = FFilePage->Button1;

  QCheckBox*& PenSmoothing = FDetailedPage->PenSmoothing;
  QCheckBox*& PenPressure = FDetailedPage->PenPressure;
  QCheckBox*& AllScreens = FDetailedPage->AllScreens;
  // Shortcuts on any keyboard, one per keypad command (SetupDlgHotKeys.cpp).
  QGroupBox*& HotKeyGroup = FDetailedPage->HotKeyGroup;
  std::array<QKeySequenceEdit*, HotKeyCount>& HotKeyEdit = FDetailedPage->HotKeyEdit;
  std::array<QPushButton*, HotKeyCount>& HotKeyClear = FDetailedPage->HotKeyClear;

  bool isOK = false;
  std::array<TPWPenType, 8>& PenTypeRT = FStockPenPage->PenTypeRT;
  std::int32_t& PenIndex = FStockPenPage->PenIndex;
  std::vector<TMetroButton*>& LnchBtn = FToolBarPage->LnchBtn;
  std::int32_t& PenColorIndex = FPenSetupPage->PenColorIndex;
  QPointF& StartingPoint = FToolBarPage->StartingPoint;

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
