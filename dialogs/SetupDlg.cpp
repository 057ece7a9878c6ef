#include "dialogs/SetupDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <algorithm>

#include "dialogs/ColorQuad.h"
#include "dialogs/HueBar.h"
#include "dialogs/MenuLook.h"
#include "dialogs/SetupDlgLayout.h"
#include "drawing/PenSample.h"
#include "settings/Settings.h"
#include "widgets/MetroButton.h"

namespace {

constexpr TAlphaColor kSelectedFrame = 0xFFFF0000;
constexpr TAlphaColor kFrame = 0xFFFFFFFF;
constexpr int kStockPenMaxWidth = 40;

void DrawFrame(QPainter& canvas, const QRectF& rect, bool selected) {
  canvas.save();
  canvas.setOpacity(1.0);
  canvas.setRenderHint(QPainter::Antialiasing, false);
  canvas.setBrush(Qt::NoBrush);
  canvas.setPen(
      QPen(QColor::fromRgba(selected ? kSelectedFrame : kFrame), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  canvas.drawRect(rect.adjusted(1, 1, -1, -1));
  canvas.restore();
}

}  // namespace

// --- Small controls ----------------------------------------------------------

void TSwatch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (OnPaint) OnPaint(*this, p);
}

void TSwatch::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnMouseUp) OnMouseUp(*this);
}

// --- Free helpers -------------------------------------------------------------

TAlphaColor ParseColorText(const QString& text) {
  const QString digits = text.trimmed();
  const auto isHexDigit = [](QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
  };
  const bool hex = !digits.isEmpty() && digits.size() <= 8 && std::all_of(digits.begin(), digits.end(), isHexDigit);
  if (!hex) return 0xFFFFFFFF;
  const auto value = static_cast<std::int32_t>(digits.toUInt(nullptr, 16));
  return static_cast<TAlphaColor>(std::clamp<std::int32_t>(value, 0, 0xFFFFFF)) | 0xFF000000;
}

QString ColorText(TAlphaColor color) {
  return QStringLiteral("%1").arg(color & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

bool SameEntry(const TPWMenuItem& a, const TPWMenuItem& b) {
  return a.PenType == b.PenType && (a.PenColor & 0xFFFFFF) == (b.PenColor & 0xFFFFFF) &&
         a.PenThickness == b.PenThickness && a.PenDash == b.PenDash;
}

QString TypedImageFolder(const QString& text) {
  // The settings take the part before the last separator as the folder, so
  // an existing folder typed without one would lose its own name.
  const bool endsInSeparator = text.endsWith(QLatin1Char('/')) || text.endsWith(QDir::separator());
  if (!text.isEmpty() && !endsInSeparator && QDir::isAbsolutePath(text) && QFileInfo(text).isDir())
    return text + QDir::separator();
  return text;
}

bool BrowseFolder(const QString& title, QString& path, QWidget* owner) {
  const QString start =
      QFileInfo(path).isDir() ? path : QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  const QString picked = QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
  if (picked.isEmpty()) return false;
  path = QDir::toNativeSeparators(picked);
  const bool isRoot = QDir(picked).isRoot();
  if (!isRoot)
    while (path.endsWith(QDir::separator())) path.chop(1);
  return true;
}

// --- The dialog ---------------------------------------------------------------

TSetupDlg::TSetupDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Setup"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(490, 492);
  BrowseFolder = ::BrowseFolder;
  FFilePage->Browse = [this](const QString& title, QString& path) {
    return BrowseFolder && BrowseFolder(title, path, this);
  };

  TabControl1 = Place<QTabWidget>(this, 4, 8, 473, 413);
  TabControl1->setStyleSheet(QStringLiteral("QTabBar::tab { width: 80px; height: 20px; padding: 0px; }"));
  TabControl1->addTab(TabItem1, QStringLiteral("Stock Pen"));
  TabControl1->addTab(TabItem2, QStringLiteral("ToolBar"));
  TabControl1->addTab(TabItem5, QStringLiteral("Pen Setup"));
  TabControl1->addTab(TabItem3, QStringLiteral("File"));
  TabControl1->addTab(TabItem4, QStringLiteral("Detailed"));
  // Tiles show the stock pens as they are now, edited or not.
  connect(TabControl1, &QTabWidget::currentChanged, this, [this](int index) {
    if (TabControl1->widget(index) == TabItem2) CreateLaunchTiles();
  });

  BtnDefault = PlaceButton(this, "Default", 8, 432, 90, 45, 16);
  BtnOK = PlaceButton(this, "OK", 288, 432, 90, 45, 16);
  BtnCancel = PlaceButton(this, "Cancel", 392, 432, 90, 45, 16);
  BtnOK->setDefault(true);
  connect(BtnDefault, &QPushButton::clicked, this, &TSetupDlg::BtnDefaultClick);
  connect(BtnOK, &QPushButton::clicked, this, &TSetupDlg::BtnOKClick);
  connect(BtnCancel, &QPushButton::clicked, this, &TSetupDlg::BtnCancelClick);
}

TSetupDlg::~TSetupDlg() { ClearLists(); }

TStockPenPage::TStockPenPage(QWidget* parent) : QWidget(parent) {
  QWidget* page = this;
  PenTypeRT = {pwPn, pwMk, pwRbPn, pwRbMk, pwArPn0, pwArPn1, pwArMk0, pwArMk1};
  for (int t = 0; t < 10; ++t) {
    auto* r = new TSwatch(page, t);
    r->setGeometry(t < 5 ? 8 : 138, 12 + 60 * (t % 5), 130, 60);
    r->OnPaint = [this](TSwatch& s, QPainter& p) { ColorRectXPaint(s.Tag, p, QRectF(s.rect())); };
    r->OnMouseUp = [this](TSwatch& s) { ColorRectXMouseUp(s.Tag); };
    ColorRect[static_cast<std::size_t>(t)] = r;
  }
  StockPenTypeCB = Place<QComboBox>(page, 280, 12, 177, 38);
  StockPenTypeCB->addItems({QStringLiteral("Pen"), QStringLiteral("Marker"), QStringLiteral("Rainbow Pen"),
                            QStringLiteral("Rainbow Marker"), QStringLiteral("Single Arrow"),
                            QStringLiteral("Both Arrows")});
  connect(StockPenTypeCB, &QComboBox::currentIndexChanged, this, &TStockPenPage::StockPenTypeCBChange);

  // The square, its hue bar and the digits sit under the swatch they drive.
  StockPenColorBox = Place<TColorBox>(page, 280, 56, 177, 50);
  StockPenColorQD = Place<TColorQuad>(page, 280, 56 + 57, 137, 133);
  StockPenColorPkr = Place<THueBar>(page, 280 + 152, 56 + 57, 25, 133);
  StockPenColorEdit = Place<QLineEdit>(page, 280, 56 + 200, 113, 22);
  StockPenColorBtn = PlaceButton(page, "color", 280 + 120, 56 + 200, 57, 22);
  StockPenColorQD->SetColorBox(StockPenColorBox);
  StockPenColorPkr->SetColorQuad(StockPenColorQD);
  connect(StockPenColorQD, &TColorQuad::Changed, this, &TStockPenPage::StockPenColorQDChange);
  connect(StockPenColorBtn, &QPushButton::clicked, this, &TStockPenPage::StockPenColorBtnClick);

  StockPenSB = Place<QSpinBox>(page, 280, 290, 177, 40, 20);
  StockPenSB->setRange(1, kStockPenMaxWidth);
  connect(StockPenSB, &QSpinBox::valueChanged, this, &TStockPenPage::StockPenSBChange);

  StockPenDashCB = Place<QComboBox>(page, 280, 338, 177, 38);
  StockPenDashCB->addItems({QStringLiteral("Solid"), QStringLiteral("Dash"), QStringLiteral("Dot"),
                            QStringLiteral("DashDot"), QStringLiteral("DashDotDot")});
  connect(StockPenDashCB, &QComboBox::currentIndexChanged, this, &TStockPenPage::StockPenDashCBChange);
}

TPenSetupPage::TPenSetupPage(QWidget* parent) : QWidget(parent) {
  QWidget* page = this;
  Label1 = Place<QLabel>(page, 8, 20, 120, 15);
  Label1->setText(QStringLiteral("Pen Color"));
  for (int t = 0; t < 10; ++t) {
    auto* r = new TSwatch(page, t);
    r->setGeometry(t < 5 ? 8 : 78, 40 + 60 * (t % 5), 60, 60);
    r->OnPaint = [this](TSwatch& s, QPainter& p) { PenColorXPaint(s.Tag, p, QRectF(s.rect())); };
    r->OnMouseUp = [this](TSwatch& s) { PenColorXMouseUp(s.Tag); };
    PenColorRect[static_cast<std::size_t>(t)] = r;
  }
  PenColorBox = Place<TColorBox>(page, 148, 40, 177, 50);
  PenColorQD = Place<TColorQuad>(page, 148, 40 + 57, 137, 133);
  PenColorPkr = Place<THueBar>(page, 148 + 152, 40 + 57, 25, 133);
  PenColorEdit = Place<QLineEdit>(page, 148, 40 + 200, 113, 22);
  PenColorBtn = PlaceButton(page, "color", 148 + 120, 40 + 200, 57, 22);
  PenColorQD->SetColorBox(PenColorBox);
  PenColorPkr->SetColorQuad(PenColorQD);
  connect(PenColorQD, &TColorQuad::Changed, this, &TPenSetupPage::PenColorQDChange);
  connect(PenColorBtn, &QPushButton::clicked, this, &TPenSetupPage::PenColorBtnClick);

  GroupBox4 = Place<QGroupBox>(page, 336, 20, 129, 265);
  GroupBox4->setTitle(QStringLiteral("Pen Thickness"));
  for (int t = 0; t < 5; ++t) {
    auto* sb = Place<QSpinBox>(GroupBox4, 8, 22 + 48 * t, 110, 40, 20);
    sb->setRange(1, 60);
    connect(sb, &QSpinBox::valueChanged, this, [this, t] { PenThicknessSBXChange(t); });
    PenThicknessSB[static_cast<std::size_t>(t)] = sb;
  }
}

TFilePage::TFilePage(QWidget* parent) : QWidget(parent) {
  QWidget* page = this;
  GroupBox2 = Place<QGroupBox>(page, 12, 12, 225, 293);
  GroupBox2->setTitle(QStringLiteral("Default Image Format"));
  const char* names[] = {"JPEG Format", "PNG Format", "BMP Format", "TGA Format", "PSD (Pen Layer)"};
  for (int tag = 1; tag <= 5; ++tag) {
    auto* rb = Place<QRadioButton>(GroupBox2, 16, 20 + 56 * (tag - 1), tag == 5 ? 205 : 120, 40, 16);
    rb->setText(QString::fromLatin1(names[tag - 1]));
    connect(rb, &QRadioButton::toggled, this, [this, tag](bool on) {
      if (on) DefaultImageIndexXChange(tag);
    });
    DefaultImageIndex[static_cast<std::size_t>(tag - 1)] = rb;
  }
  GroupBox3 = Place<QGroupBox>(page, 240, 16, 225, 89);
  GroupBox3->setTitle(QStringLiteral("JPEG Quarity"));
  GroupBox3->hide();
  ImageJPEGQUalitySP = Place<QSpinBox>(GroupBox3, (225 - 187) / 2, (89 - 40) / 2, 187, 40, 20);
  ImageJPEGQUalitySP->setRange(0, 100);

  GroupBox1 = Place<QGroupBox>(page, 12, 312, 449, 73);
  GroupBox1->setTitle(QStringLiteral("Default Image Folder"));
  ImagePathEdit = Place<QLineEdit>(GroupBox1, 8, 20, 341, 40, 16);
  Button1 = PlaceButton(GroupBox1, "Browse", 356, 20, 85, 40, 16);
  connect(Button1, &QPushButton::clicked, this, &TFilePage::Button1Click);
}

TDetailedPage::TDetailedPage(QWidget* parent) : QWidget(parent) {
  QWidget* page = this;
  PenSmoothing = Place<QCheckBox>(page, 324, 8, 150, 40, 16);
  PenSmoothing->setText(QStringLiteral("Pen Smoothing"));
  PenPressure = Place<QCheckBox>(page, 324, 56, 150, 40, 16);
  PenPressure->setText(QStringLiteral("Pen Pressure"));
  connect(PenSmoothing, &QCheckBox::toggled, this, &TDetailedPage::PenSmoothingChange);
  connect(PenPressure, &QCheckBox::toggled, this, &TDetailedPage::PenPressureChange);
  // Read by the overlay when the dialog closes with OK, not while it is open.
  AllScreens = Place<QCheckBox>(page, 8, 8, 150, 40, 16);
  AllScreens->setText(QStringLiteral("All screens"));
  connect(AllScreens, &QCheckBox::toggled, this, [this] { isAllScreens = AllScreens->isChecked(); });
  CreateHotKeyFields();
}

// --- Execute ------------------------------------------------------------------

bool TSetupDlg::Execute() {
  TabControl1->setCurrentIndex(0);
  isOK = false;
  const TSetupSnapshot snapshot = TSetupSnapshot::Take();
  ShowSetup();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
  exec();
  if (isOK) {
    TakeHotKeyFields();
    ImageJPEGQuality = ImageJPEGQUalitySP->value();
    ImagePathDefault = TypedImageFolder(ImagePathEdit->text());
  } else {
    snapshot.Restore();
  }
  CheckSetup();
  ClearLists();
  return isOK;
}

void TSetupDlg::BtnOKClick() {
  isOK = true;
  accept();
}

void TSetupDlg::BtnCancelClick() { reject(); }

void TSetupDlg::BtnDefaultClick() {
  DefaultSetup();
  ShowSetup();
}

void TSetupDlg::keyPressEvent(QKeyEvent* event) {
  // Enter in a colour box takes the typed colour; everywhere else it is OK.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && focusWidget() == StockPenColorEdit) return StockPenColorBtnClick();
  if (enter && focusWidget() == PenColorEdit) return PenColorBtnClick();
  QDialog::keyPressEvent(event);
}

void TSetupDlg::ShowSetup() {
  ShowStockPen(0);
  CreateLaunchTiles();
  ShowPenColor(0);
  ShowThickness();
  ShowImageType();
  const QSignalBlocker b1(ImageJPEGQUalitySP), b2(PenSmoothing), b3(PenPressure), b4(AllScreens);
  ImageJPEGQUalitySP->setValue(ImageJPEGQuality);
  ImagePathEdit->setText(ImagePathDefault);
  PenSmoothing->setChecked(isSmoothing);
  PenPressure->setChecked(isPressure);
  AllScreens->setChecked(isAllScreens);
  ShowHotKeys();
}

void TStockPenPage::RepaintPage() {
  for (TSwatch* s : ColorRect) s->update();
}

void TPenSetupPage::RepaintPage() {
  for (TSwatch* s : PenColorRect) s->update();
}

// --- Stock Pen page -------------------------------------------------------------

int TStockPenPage::TypeIndex(TPWPenType type) const {
  const auto it = std::find(PenTypeRT.begin(), PenTypeRT.end(), type);
  return it == PenTypeRT.end() ? 0 : static_cast<int>(it - PenTypeRT.begin());
}

void TStockPenPage::ShowStockPen(int index) {
  PenIndex = index;
  const TPWMenuItem& pen = StockPens[static_cast<std::size_t>(index)];
  const QSignalBlocker b1(StockPenTypeCB), b2(StockPenSB), b3(StockPenDashCB), b4(StockPenColorQD);
  // A type the combo has no item for shows as none rather than as another.
  const int type = TypeIndex(pen.PenType);
  const bool listed = PenTypeRT[static_cast<std::size_t>(type)] == pen.PenType && type < StockPenTypeCB->count();
  StockPenTypeCB->setCurrentIndex(listed ? type : -1);
  StockPenColorPkr->SetColor(pen.PenColor);
  StockPenColorBox->SetColor(pen.PenColor);
  StockPenColorEdit->setText(ColorText(pen.PenColor));
  // A wider pen from a hand-edited file shows its own width.
  const int width = std::max(1, static_cast<int>(std::lround(pen.PenThickness)));
  StockPenSB->setMaximum(std::max(kStockPenMaxWidth, width));
  StockPenSB->setValue(width);
  StockPenDashCB->setCurrentIndex(pen.PenDash < StockPenDashCB->count() ? pen.PenDash : -1);
}

void TStockPenPage::ColorRectXMouseUp(int tag) {
  ShowStockPen(tag);
  RepaintPage();
}

void TStockPenPage::ColorRectXPaint(int tag, QPainter& canvas, const QRectF& rect) {
  DrawPenSample(StockPens[static_cast<std::size_t>(tag)], canvas, rect);
  DrawFrame(canvas, rect, tag == PenIndex);
}

void TStockPenPage::StockPenTypeCBChange() {
  const int i = StockPenTypeCB->currentIndex();
  if (i < 0) return;
  StockPens[static_cast<std::size_t>(PenIndex)].PenType = PenTypeRT[static_cast<std::size_t>(i)];
  RepaintPage();
}

void TStockPenPage::StockPenColorQDChange() {
  const TAlphaColor c = StockPenColorBox->Color() | 0xFF000000;
  StockPens[static_cast<std::size_t>(PenIndex)].PenColor = c;
  StockPenColorEdit->setText(ColorText(c));
  RepaintPage();
}

void TStockPenPage::StockPenColorBtnClick() {
  const TAlphaColor c = ParseColorText(StockPenColorEdit->text());
  StockPens[static_cast<std::size_t>(PenIndex)].PenColor = c;
  const QSignalBlocker b(StockPenColorQD);
  StockPenColorPkr->SetColor(c);
  StockPenColorBox->SetColor(c);
  StockPenColorEdit->setText(ColorText(c));
  RepaintPage();
}

void TStockPenPage::StockPenSBChange() {
  StockPens[static_cast<std::size_t>(PenIndex)].PenThickness = static_cast<float>(StockPenSB->value());
  RepaintPage();
}

void TStockPenPage::StockPenDashCBChange() {
  const int i = StockPenDashCB->currentIndex();
  if (i < 0) return;
  StockPens[static_cast<std::size_t>(PenIndex)].PenDash = static_cast<TStrokeDash>(i);
  RepaintPage();
}

// --- Pen Setup page -------------------------------------------------------------

void TPenSetupPage::ShowPenColor(int index) {
  PenColorIndex = index;
  const TAlphaColor c = PresetColor[static_cast<std::size_t>(index)];
  const QSignalBlocker b(PenColorQD);
  PenColorPkr->SetColor(c);
  PenColorBox->SetColor(c);
  PenColorEdit->setText(ColorText(c));
}

void TPenSetupPage::PenColorXMouseUp(int tag) {
  ShowPenColor(tag);
  RepaintPage();
}

void TPenSetupPage::PenColorXPaint(int tag, QPainter& canvas, const QRectF& rect) {
  canvas.save();
  canvas.setOpacity(1.0);
  const QRectF fill = rect.adjusted(3, 3, -3, -3);
  canvas.fillRect(fill, QColor::fromRgba(PresetColor[static_cast<std::size_t>(tag)]));
  // A hairline keeps a white preset from vanishing into the white frame.
  canvas.setPen(QPen(QColor(0xC0, 0xC0, 0xC0), 1));
  canvas.drawRect(fill.adjusted(0.5, 0.5, -0.5, -0.5));
  canvas.restore();
  DrawFrame(canvas, rect, tag == PenColorIndex);
}

void TPenSetupPage::PenColorQDChange() {
  const TAlphaColor c = PenColorBox->Color() | 0xFF000000;
  PresetColor[static_cast<std::size_t>(PenColorIndex)] = c;
  PenColorEdit->setText(ColorText(c));
  RepaintPage();
}

void TPenSetupPage::PenColorBtnClick() {
  const TAlphaColor c = ParseColorText(PenColorEdit->text());
  PresetColor[static_cast<std::size_t>(PenColorIndex)] = c;
  const QSignalBlocker b(PenColorQD);
  PenColorPkr->SetColor(c);
  PenColorBox->SetColor(c);
  PenColorEdit->setText(ColorText(c));
  RepaintPage();
}

void TPenSetupPage::ShowThickness() {
  for (int t = 0; t < 5; ++t) {
    QSpinBox* sb = PenThicknessSB[static_cast<std::size_t>(t)];
    const QSignalBlocker b(sb);
    sb->setValue(static_cast<int>(std::lround(PresetThickness[static_cast<std::size_t>(t)])));
  }
}

void TPenSetupPage::PenThicknessSBXChange(int tag) {
  PresetThickness[static_cast<std::size_t>(tag)] =
      static_cast<float>(PenThicknessSB[static_cast<std::size_t>(tag)]->value());
}

// --- File and Detailed pages -----------------------------------------------------

void TFilePage::ShowImageType() {
  for (int n = 1; n <= 5; ++n) {
    QRadioButton* rb = DefaultImageIndex[static_cast<std::size_t>(n - 1)];
    const QSignalBlocker b(rb);
    // Exclusive buttons cannot all be cleared, as an unknown type needs.
    rb->setAutoExclusive(false);
    rb->setChecked(ImageTypeDefault == n);
    rb->setAutoExclusive(true);
  }
}

void TFilePage::DefaultImageIndexXChange(int tag) { ImageTypeDefault = tag; }

void TFilePage::Button1Click() {
  QString path = ImagePathEdit->text();
  if (!Browse || !Browse(QStringLiteral("Default Image Folder"), path)) return;
  const bool endsInSeparator = path.endsWith(QDir::separator()) || path.endsWith(QLatin1Char('/'));
  ImagePathEdit->setText(endsInSeparator ? path : path + QDir::separator());
}

void TDetailedPage::PenSmoothingChange() { isSmoothing = PenSmoothing->isChecked(); }

void TDetailedPage::PenPressureChange() { isPressure = PenPressure->isChecked(); }

// --- The dialog's names for its pages' handlers -----------------------------

void TSetupDlg::ColorRectXMouseUp(int tag) { FStockPenPage->ColorRectXMouseUp(tag); }
void TSetupDlg::ColorRectXPaint(int tag, QPainter& canvas, const QRectF& rect) {
  FStockPenPage->ColorRectXPaint(tag, canvas, rect);
}
void TSetupDlg::StockPenTypeCBChange() { FStockPenPage->StockPenTypeCBChange(); }
void TSetupDlg::StockPenColorQDChange() { FStockPenPage->StockPenColorQDChange(); }
void TSetupDlg::StockPenColorBtnClick() { FStockPenPage->StockPenColorBtnClick(); }
void TSetupDlg::StockPenSBChange() { FStockPenPage->StockPenSBChange(); }
void TSetupDlg::StockPenDashCBChange() { FStockPenPage->StockPenDashCBChange(); }
void TSetupDlg::ShowStockPen(int index) { FStockPenPage->ShowStockPen(index); }
int TSetupDlg::TypeIndex(TPWPenType type) const { return FStockPenPage->TypeIndex(type); }

void TSetupDlg::MenuBarAddClick() { FToolBarPage->MenuBarAddClick(); }
void TSetupDlg::MenuBarBackClick() { FToolBarPage->MenuBarBackClick(); }
void TSetupDlg::MenuBarBackAllBtnClick() { FToolBarPage->MenuBarBackAllBtnClick(); }
void TSetupDlg::MenuLBMouseDown(QPointF pos) { FToolBarPage->MenuLBMouseDown(pos); }
bool TSetupDlg::MenuLBDragOver(QPointF pos) const { return FToolBarPage->MenuLBDragOver(pos); }
void TSetupDlg::MenuLBDragDrop(QPointF pos) { FToolBarPage->MenuLBDragDrop(pos); }
void TSetupDlg::CreateLaunchTiles() { FToolBarPage->CreateLaunchTiles(); }
void TSetupDlg::RebuildLists() { FToolBarPage->RebuildLists(); }
void TSetupDlg::ClearLists() { FToolBarPage->ClearLists(); }
int TSetupDlg::InsertPosition() const { return FToolBarPage->InsertPosition(); }
bool TSetupDlg::InMenu(const TPWMenuItem& item) const { return FToolBarPage->InMenu(item); }
int TSetupDlg::LaunchIndex(const TPWMenuItem& item) const { return FToolBarPage->LaunchIndex(item); }

void TSetupDlg::PenColorXMouseUp(int tag) { FPenSetupPage->PenColorXMouseUp(tag); }
void TSetupDlg::PenColorXPaint(int tag, QPainter& canvas, const QRectF& rect) {
  FPenSetupPage->PenColorXPaint(tag, canvas, rect);
}
void TSetupDlg::PenColorQDChange() { FPenSetupPage->PenColorQDChange(); }
void TSetupDlg::PenColorBtnClick() { FPenSetupPage->PenColorBtnClick(); }
void TSetupDlg::PenThicknessSBXChange(int tag) { FPenSetupPage->PenThicknessSBXChange(tag); }
void TSetupDlg::ShowPenColor(int index) { FPenSetupPage->ShowPenColor(index); }
void TSetupDlg::ShowThickness() { FPenSetupPage->ShowThickness(); }

void TSetupDlg::DefaultImageIndexXChange(int tag) { FFilePage->DefaultImageIndexXChange(tag); }
void TSetupDlg::Button1Click() { FFilePage->Button1Click(); }
void TSetupDlg::ShowImageType() { FFilePage->ShowImageType(); }

void TSetupDlg::PenSmoothingChange() { FDetailedPage->PenSmoothingChange(); }
void TSetupDlg::PenPressureChange() { FDetailedPage->PenPressureChange(); }
void TSetupDlg::HotKeyEditChange(int tag) { FDetailedPage->HotKeyEditChange(tag); }
void TSetupDlg::HotKeyClearClick(int tag) { FDetailedPage->HotKeyClearClick(tag); }
void TSetupDlg::ShowHotKeys() { FDetailedPage->ShowHotKeys(); }
void TSetupDlg::TakeHotKeyFields() { FDetailedPage->TakeHotKeyFields(); }
