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
#include "drawing/PenSample.h"
#include "settings/Settings.h"
#include "widgets/MetroButton.h"

namespace {

constexpr TAlphaColor kSelectedFrame = 0xFFFF0000;
constexpr TAlphaColor kFrame = 0xFFFFFFFF;
constexpr int kStockPenMaxWidth = 40;
constexpr QSize kListItemSize(70, 64);

QFont SizedFont(const QWidget& w, int pixels) {
  QFont f = w.font();
  f.setPixelSize(pixels);
  return f;
}

template <class T>
T* Place(QWidget* parent, int x, int y, int w, int h, int fontPixels = 0) {
  auto* c = new T(parent);
  c->setGeometry(x, y, w, h);
  if (fontPixels > 0) c->setFont(SizedFont(*c, fontPixels));
  return c;
}

QPushButton* PlaceButton(QWidget* parent, const char* text, int x, int y, int w, int h, int fontPixels = 0) {
  auto* b = Place<QPushButton>(parent, x, y, w, h, fontPixels);
  b->setText(QString::fromLatin1(text));
  b->setAutoDefault(false);
  return b;
}

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

void SetUpTileList(QListWidget& list) {
  list.setFlow(QListView::LeftToRight);
  list.setWrapping(true);
  list.setResizeMode(QListView::Adjust);
  list.setUniformItemSizes(true);
  list.setSpacing(0);
  list.setSelectionMode(QAbstractItemView::MultiSelection);
  list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  // A selected tile shows by the band around it.
  list.setStyleSheet(QStringLiteral("QListWidget::item:selected { background: #E51400; }"));
}

template <class T>
void Exchange(T& a, T& b) {
  T t = a;
  a = b;
  b = t;
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

void TMenuList::mousePressEvent(QMouseEvent* event) {
  QListWidget::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  FPressed = true;
  FDragging = false;
  FPressedAt = event->position();
  if (OnMouseDown) OnMouseDown(FPressedAt);
}

void TMenuList::mouseMoveEvent(QMouseEvent* event) {
  if (!FPressed || !(event->buttons() & Qt::LeftButton)) {
    QListWidget::mouseMoveEvent(event);
    return;
  }
  if (!FDragging && (event->position() - FPressedAt).manhattanLength() >= QApplication::startDragDistance())
    FDragging = true;
  if (FDragging)
    viewport()->setCursor(OnDragOver && OnDragOver(event->position()) ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
}

void TMenuList::mouseReleaseEvent(QMouseEvent* event) {
  const bool dropped = FDragging && event->button() == Qt::LeftButton;
  FPressed = false;
  FDragging = false;
  viewport()->unsetCursor();
  QListWidget::mouseReleaseEvent(event);
  if (!dropped) return;
  const QPointF at = event->position();
  if (OnDragOver && OnDragOver(at) && OnDragDrop) OnDragDrop(at);
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
  PenTypeRT = {pwPn, pwMk, pwRbPn, pwRbMk, pwArPn0, pwArPn1, pwArMk0, pwArMk1};
  BrowseFolder = ::BrowseFolder;

  TabControl1 = Place<QTabWidget>(this, 4, 8, 473, 413);
  TabControl1->setStyleSheet(QStringLiteral("QTabBar::tab { width: 80px; height: 20px; padding: 0px; }"));
  TabItem1 = new QWidget;
  TabItem2 = new QWidget;
  TabItem5 = new QWidget;
  TabItem3 = new QWidget;
  TabItem4 = new QWidget;
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

  CreateStockPenPage();
  CreateToolBarPage();
  CreatePenSetupPage();
  CreateFilePage();
  CreateDetailedPage();
}

TSetupDlg::~TSetupDlg() { ClearLists(); }

void TSetupDlg::CreateStockPenPage() {
  QWidget* page = TabItem1;
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
  connect(StockPenTypeCB, &QComboBox::currentIndexChanged, this, &TSetupDlg::StockPenTypeCBChange);

  // The square, its hue bar and the digits sit under the swatch they drive.
  StockPenColorBox = Place<TColorBox>(page, 280, 56, 177, 50);
  StockPenColorQD = Place<TColorQuad>(page, 280, 56 + 57, 137, 133);
  StockPenColorPkr = Place<THueBar>(page, 280 + 152, 56 + 57, 25, 133);
  StockPenColorEdit = Place<QLineEdit>(page, 280, 56 + 200, 113, 22);
  StockPenColorBtn = PlaceButton(page, "color", 280 + 120, 56 + 200, 57, 22);
  StockPenColorQD->SetColorBox(StockPenColorBox);
  StockPenColorPkr->SetColorQuad(StockPenColorQD);
  connect(StockPenColorQD, &TColorQuad::Changed, this, &TSetupDlg::StockPenColorQDChange);
  connect(StockPenColorBtn, &QPushButton::clicked, this, &TSetupDlg::StockPenColorBtnClick);

  StockPenSB = Place<QSpinBox>(page, 280, 290, 177, 40, 20);
  StockPenSB->setRange(1, kStockPenMaxWidth);
  connect(StockPenSB, &QSpinBox::valueChanged, this, &TSetupDlg::StockPenSBChange);

  StockPenDashCB = Place<QComboBox>(page, 280, 338, 177, 38);
  StockPenDashCB->addItems({QStringLiteral("Solid"), QStringLiteral("Dash"), QStringLiteral("Dot"),
                            QStringLiteral("DashDot"), QStringLiteral("DashDotDot")});
  connect(StockPenDashCB, &QComboBox::currentIndexChanged, this, &TSetupDlg::StockPenDashCBChange);
}

void TSetupDlg::CreateToolBarPage() {
  QWidget* page = TabItem2;
  LnchLB = Place<QListWidget>(page, 8, 16, 160, 361);
  MenuLB = Place<TMenuList>(page, 300, 16, 160, 361);
  SetUpTileList(*LnchLB);
  SetUpTileList(*MenuLB);
  MenuLB->OnMouseDown = [this](QPointF p) { MenuLBMouseDown(p); };
  MenuLB->OnDragOver = [this](QPointF p) { return MenuLBDragOver(p); };
  MenuLB->OnDragDrop = [this](QPointF p) { MenuLBDragDrop(p); };

  MenuBarAdd = PlaceButton(page, ">", 176, 76, 120, 60, 30);
  MenuBarBack = PlaceButton(page, "<", 176, 170, 120, 60, 30);
  MenuBarBackAllBtn = PlaceButton(page, "<<", 176, 264, 120, 60, 30);
  connect(MenuBarAdd, &QPushButton::clicked, this, &TSetupDlg::MenuBarAddClick);
  connect(MenuBarBack, &QPushButton::clicked, this, &TSetupDlg::MenuBarBackClick);
  connect(MenuBarBackAllBtn, &QPushButton::clicked, this, &TSetupDlg::MenuBarBackAllBtnClick);
}

void TSetupDlg::CreatePenSetupPage() {
  QWidget* page = TabItem5;
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
  connect(PenColorQD, &TColorQuad::Changed, this, &TSetupDlg::PenColorQDChange);
  connect(PenColorBtn, &QPushButton::clicked, this, &TSetupDlg::PenColorBtnClick);

  GroupBox4 = Place<QGroupBox>(page, 336, 20, 129, 265);
  GroupBox4->setTitle(QStringLiteral("Pen Thickness"));
  for (int t = 0; t < 5; ++t) {
    auto* sb = Place<QSpinBox>(GroupBox4, 8, 22 + 48 * t, 110, 40, 20);
    sb->setRange(1, 60);
    connect(sb, &QSpinBox::valueChanged, this, [this, t] { PenThicknessSBXChange(t); });
    PenThicknessSB[static_cast<std::size_t>(t)] = sb;
  }
}

void TSetupDlg::CreateFilePage() {
  QWidget* page = TabItem3;
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
  connect(Button1, &QPushButton::clicked, this, &TSetupDlg::Button1Click);
}

void TSetupDlg::CreateDetailedPage() {
  QWidget* page = TabItem4;
  PenSmoothing = Place<QCheckBox>(page, 324, 8, 150, 40, 16);
  PenSmoothing->setText(QStringLiteral("Pen Smoothing"));
  PenPressure = Place<QCheckBox>(page, 324, 56, 150, 40, 16);
  PenPressure->setText(QStringLiteral("Pen Pressure"));
  connect(PenSmoothing, &QCheckBox::toggled, this, &TSetupDlg::PenSmoothingChange);
  connect(PenPressure, &QCheckBox::toggled, this, &TSetupDlg::PenPressureChange);
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

void TSetupDlg::RepaintPage() {
  for (TSwatch* s : ColorRect) s->update();
  for (TSwatch* s : PenColorRect) s->update();
}

// --- Stock Pen page -------------------------------------------------------------

int TSetupDlg::TypeIndex(TPWPenType type) const {
  const auto it = std::find(PenTypeRT.begin(), PenTypeRT.end(), type);
  return it == PenTypeRT.end() ? 0 : static_cast<int>(it - PenTypeRT.begin());
}

void TSetupDlg::ShowStockPen(int index) {
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

void TSetupDlg::ColorRectXMouseUp(int tag) {
  ShowStockPen(tag);
  RepaintPage();
}

void TSetupDlg::ColorRectXPaint(int tag, QPainter& canvas, const QRectF& rect) {
  DrawPenSample(StockPens[static_cast<std::size_t>(tag)], canvas, rect);
  DrawFrame(canvas, rect, tag == PenIndex);
}

void TSetupDlg::StockPenTypeCBChange() {
  const int i = StockPenTypeCB->currentIndex();
  if (i < 0) return;
  StockPens[static_cast<std::size_t>(PenIndex)].PenType = PenTypeRT[static_cast<std::size_t>(i)];
  RepaintPage();
}

void TSetupDlg::StockPenColorQDChange() {
  const TAlphaColor c = StockPenColorBox->Color() | 0xFF000000;
  StockPens[static_cast<std::size_t>(PenIndex)].PenColor = c;
  StockPenColorEdit->setText(ColorText(c));
  RepaintPage();
}

void TSetupDlg::StockPenColorBtnClick() {
  const TAlphaColor c = ParseColorText(StockPenColorEdit->text());
  StockPens[static_cast<std::size_t>(PenIndex)].PenColor = c;
  const QSignalBlocker b(StockPenColorQD);
  StockPenColorPkr->SetColor(c);
  StockPenColorBox->SetColor(c);
  StockPenColorEdit->setText(ColorText(c));
  RepaintPage();
}

void TSetupDlg::StockPenSBChange() {
  StockPens[static_cast<std::size_t>(PenIndex)].PenThickness = static_cast<float>(StockPenSB->value());
  RepaintPage();
}

void TSetupDlg::StockPenDashCBChange() {
  const int i = StockPenDashCB->currentIndex();
  if (i < 0) return;
  StockPens[static_cast<std::size_t>(PenIndex)].PenDash = static_cast<TStrokeDash>(i);
  RepaintPage();
}

// --- Pen Setup page -------------------------------------------------------------

void TSetupDlg::ShowPenColor(int index) {
  PenColorIndex = index;
  const TAlphaColor c = PresetColor[static_cast<std::size_t>(index)];
  const QSignalBlocker b(PenColorQD);
  PenColorPkr->SetColor(c);
  PenColorBox->SetColor(c);
  PenColorEdit->setText(ColorText(c));
}

void TSetupDlg::PenColorXMouseUp(int tag) {
  ShowPenColor(tag);
  RepaintPage();
}

void TSetupDlg::PenColorXPaint(int tag, QPainter& canvas, const QRectF& rect) {
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

void TSetupDlg::PenColorQDChange() {
  const TAlphaColor c = PenColorBox->Color() | 0xFF000000;
  PresetColor[static_cast<std::size_t>(PenColorIndex)] = c;
  PenColorEdit->setText(ColorText(c));
  RepaintPage();
}

void TSetupDlg::PenColorBtnClick() {
  const TAlphaColor c = ParseColorText(PenColorEdit->text());
  PresetColor[static_cast<std::size_t>(PenColorIndex)] = c;
  const QSignalBlocker b(PenColorQD);
  PenColorPkr->SetColor(c);
  PenColorBox->SetColor(c);
  PenColorEdit->setText(ColorText(c));
  RepaintPage();
}

void TSetupDlg::ShowThickness() {
  for (int t = 0; t < 5; ++t) {
    QSpinBox* sb = PenThicknessSB[static_cast<std::size_t>(t)];
    const QSignalBlocker b(sb);
    sb->setValue(static_cast<int>(std::lround(PresetThickness[static_cast<std::size_t>(t)])));
  }
}

void TSetupDlg::PenThicknessSBXChange(int tag) {
  PresetThickness[static_cast<std::size_t>(tag)] =
      static_cast<float>(PenThicknessSB[static_cast<std::size_t>(tag)]->value());
}

// --- File and Detailed pages -----------------------------------------------------

void TSetupDlg::ShowImageType() {
  for (int n = 1; n <= 5; ++n) {
    QRadioButton* rb = DefaultImageIndex[static_cast<std::size_t>(n - 1)];
    const QSignalBlocker b(rb);
    // Exclusive buttons cannot all be cleared, as an unknown type needs.
    rb->setAutoExclusive(false);
    rb->setChecked(ImageTypeDefault == n);
    rb->setAutoExclusive(true);
  }
}

void TSetupDlg::DefaultImageIndexXChange(int tag) { ImageTypeDefault = tag; }

void TSetupDlg::Button1Click() {
  QString path = ImagePathEdit->text();
  if (!BrowseFolder || !BrowseFolder(QStringLiteral("Default Image Folder"), path, this)) return;
  const bool endsInSeparator = path.endsWith(QDir::separator()) || path.endsWith(QLatin1Char('/'));
  ImagePathEdit->setText(endsInSeparator ? path : path + QDir::separator());
}

void TSetupDlg::PenSmoothingChange() { isSmoothing = PenSmoothing->isChecked(); }

void TSetupDlg::PenPressureChange() { isPressure = PenPressure->isChecked(); }

// --- ToolBar page ---------------------------------------------------------------

TMetroButton* TSetupDlg::NewTile(const TPWMenuItem& item) {
  auto* tile = new TMetroButton(this, mtSmallSingle);
  ::MenuButtonSet(item, *tile);
  tile->setAttribute(Qt::WA_TransparentForMouseEvents);
  tile->hide();
  return tile;
}

void TSetupDlg::CreateLaunchTiles() {
  ClearLists();
  for (int i = 0; i < LaunchCount - 1; ++i) {
    TMetroButton* tile = NewTile(LaunchItems[static_cast<std::size_t>(i)]);
    tile->Tag = i;
    LnchBtn.push_back(tile);
  }
  RebuildLists();
}

bool TSetupDlg::InMenu(const TPWMenuItem& item) const {
  for (int i = 0; i < MenuCount; ++i)
    if (SameEntry(MenuItems[static_cast<std::size_t>(i)], item)) return true;
  return false;
}

int TSetupDlg::LaunchIndex(const TPWMenuItem& item) const {
  for (int i = 0; i < LaunchCount - 1; ++i)
    if (SameEntry(LaunchItems[static_cast<std::size_t>(i)], item)) return i;
  return -1;
}

void TSetupDlg::AddListItem(QListWidget& list, int tag, TMetroButton* tile) {
  auto* item = new QListWidgetItem(&list);
  item->setSizeHint(kListItemSize);
  item->setData(Qt::UserRole, tag);
  // Presses and drags go through the tile to the list item under it.
  auto* holder = new QWidget;
  holder->setAttribute(Qt::WA_TransparentForMouseEvents);
  tile->setParent(holder);
  tile->move(2, 2);
  tile->show();
  list.setItemWidget(item, holder);
}

void TSetupDlg::RebuildLists() {
  // Every offered entry needs its tile, also after the launcher table changed.
  if (LnchBtn.size() != static_cast<std::size_t>(std::max(0, LaunchCount - 1))) return CreateLaunchTiles();
  LnchLB->setUpdatesEnabled(false);
  MenuLB->setUpdatesEnabled(false);
  // The lists delete what they hold, so the tiles are taken out first.
  for (TMetroButton* tile : LnchBtn) {
    tile->hide();
    tile->setParent(this);
  }
  for (TMetroButton* tile : FSpareTiles) {
    tile->hide();
    tile->setParent(this);
  }
  LnchLB->clear();
  MenuLB->clear();
  qDeleteAll(FSpareTiles);
  FSpareTiles.clear();

  for (int i = 0; i < LaunchCount - 1; ++i)
    if (!InMenu(LaunchItems[static_cast<std::size_t>(i)]))
      AddListItem(*LnchLB, i, LnchBtn[static_cast<std::size_t>(i)]);

  int n = 0;
  for (int i = 0; i < MenuCount; ++i) {
    const TPWMenuItem entry = MenuItems[static_cast<std::size_t>(i)];
    const int k = LaunchIndex(entry);
    if (k < 0) continue;
    MenuItems[static_cast<std::size_t>(n)] = entry;
    TMetroButton* tile = LnchBtn[static_cast<std::size_t>(k)];
    if (tile->parent() != this) {
      // Only a hand-edited file holds one entry twice.
      tile = NewTile(entry);
      tile->Tag = k;
      FSpareTiles.push_back(tile);
    }
    AddListItem(*MenuLB, n, tile);
    ++n;
  }
  MenuCount = n;
  for (int i = n; i < MenuCapacity; ++i) MenuItems[static_cast<std::size_t>(i)].PenType = pwNone;

  LnchLB->setUpdatesEnabled(true);
  MenuLB->setUpdatesEnabled(true);
}

void TSetupDlg::ClearLists() {
  for (TMetroButton* tile : LnchBtn) tile->setParent(this);
  for (TMetroButton* tile : FSpareTiles) tile->setParent(this);
  LnchLB->clear();
  MenuLB->clear();
  qDeleteAll(LnchBtn);
  LnchBtn.clear();
  qDeleteAll(FSpareTiles);
  FSpareTiles.clear();
}

int TSetupDlg::InsertPosition() const {
  for (int row = 0; row < MenuLB->count(); ++row)
    if (MenuLB->item(row)->isSelected()) return MenuLB->item(row)->data(Qt::UserRole).toInt();
  return MenuLB->count();
}

void TSetupDlg::MenuBarAddClick() {
  std::vector<int> picked;
  for (int row = 0; row < LnchLB->count(); ++row)
    if (LnchLB->item(row)->isSelected()) picked.push_back(LnchLB->item(row)->data(Qt::UserRole).toInt());
  if (picked.empty()) return;
  // What the lists show is what the column gets: it keeps no more than its
  // body before the fixed tail, and when not all fit, the first ones go in.
  picked.resize(std::min(picked.size(), static_cast<std::size_t>(std::max(0, MenuBodyCapacity - MenuCount))));
  const int p = InsertPosition();
  // Inserting from the last to the first keeps the left list's order.
  for (auto it = picked.rbegin(); it != picked.rend(); ++it) {
    for (int i = MenuCount; i > p; --i)
      MenuItems[static_cast<std::size_t>(i)] = MenuItems[static_cast<std::size_t>(i - 1)];
    MenuItems[static_cast<std::size_t>(p)] = LaunchItems[static_cast<std::size_t>(*it)];
    ++MenuCount;
  }
  RebuildLists();
}

void TSetupDlg::MenuBarBackClick() {
  if (MenuLB->selectedItems().isEmpty()) return;
  for (int row = MenuLB->count() - 1; row >= 0; --row) {
    const QListWidgetItem* item = MenuLB->item(row);
    if (!item->isSelected()) continue;
    for (int i = item->data(Qt::UserRole).toInt(); i < MenuCount - 1; ++i)
      MenuItems[static_cast<std::size_t>(i)] = MenuItems[static_cast<std::size_t>(i + 1)];
    --MenuCount;
  }
  RebuildLists();
}

void TSetupDlg::MenuBarBackAllBtnClick() {
  MenuCount = 0;
  RebuildLists();
}

void TSetupDlg::MenuLBMouseDown(QPointF pos) { StartingPoint = pos; }

bool TSetupDlg::MenuLBDragOver(QPointF pos) const { return MenuLB->itemAt(pos.toPoint()) != nullptr; }

void TSetupDlg::MenuLBDragDrop(QPointF pos) {
  QListWidgetItem* a = MenuLB->itemAt(StartingPoint.toPoint());
  QListWidgetItem* b = MenuLB->itemAt(pos.toPoint());
  if (!a || !b || a == b) return;
  const int ta = a->data(Qt::UserRole).toInt();
  const int tb = b->data(Qt::UserRole).toInt();
  Exchange(MenuItems[static_cast<std::size_t>(ta)], MenuItems[static_cast<std::size_t>(tb)]);
  // The items keep their places and Tags; their tiles and selection change
  // places, which is the exchange the user sees.
  QWidget* ha = MenuLB->itemWidget(a);
  QWidget* hb = MenuLB->itemWidget(b);
  auto* tileA = ha->findChild<TMetroButton*>();
  auto* tileB = hb->findChild<TMetroButton*>();
  tileA->setParent(hb);
  tileB->setParent(ha);
  tileA->move(2, 2);
  tileB->move(2, 2);
  tileA->show();
  tileB->show();
  const bool selectedA = a->isSelected();
  a->setSelected(b->isSelected());
  b->setSelected(selectedA);
}
