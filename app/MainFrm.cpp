#include "app/MainFrm.h"

#include <QApplication>
#include <QFileDialog>
#include <QPointer>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <vector>

#include "app/PaintRect.h"
#include "app/SaveScreen.h"
#include "app/SaveWriter.h"
#include "app/ScreenSurfaces.h"
#include "app/StrokeInput.h"
#include "drawing/DevicePixels.h"
#include "drawing/PWImage.h"
#include "resources/Pictures.h"
#include "settings/Settings.h"
#include "widgets/MetroButton.h"

namespace {

constexpr int CornerSize = 30;
constexpr int MenuPanelWidth = 140;
constexpr QRgb MenuPanelFill = 0xFF1F1F1F;
constexpr double CornerOpacity = 0.4;

// A corner picture over the whole button, faint, scaled without smoothing,
// drawn from its source for the screen's pixel ratio. A missing picture
// draws nothing.
void DrawCornerPicture(QPainter& canvas, const QRect& rect, const char* name) {
  const qreal ratio = canvas.device() ? canvas.device()->devicePixelRatioF() : 1;
  const QImage picture = LoadPicture(QString::fromLatin1(name), ratio);
  if (picture.isNull()) return;
  canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
  canvas.setOpacity(CornerOpacity);
  canvas.drawImage(QRectF(rect), picture);
}

// The device pixels a logical rectangle of the window covers.
TPlatformRect ToPlatform(const QRect& r, qreal scale) {
  const QRect d = DeviceRect(r, scale);
  return {d.x(), d.y(), d.width(), d.height()};
}

}  // namespace

TMainFrm::TMainFrm(TWindowSystem& windowSystem, QWidget* parent)
    : QWidget(parent), FWindowSystem(windowSystem) {
  // Bypassing the window manager is what keeps the overlay above a
  // fullscreen window on X11; it also keeps clicks on it from taking the
  // focus from the program in front.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                 Qt::X11BypassWindowManagerHint);
  setAttribute(Qt::WA_TranslucentBackground);
  setWindowTitle(QStringLiteral("KORIVAN D"));
  setCursor(Qt::ArrowCursor);
  resize(600, 400);

  RectBK = new TPaintRect(this);
  ModeRect = new TPaintRect(this);
  ModeRect->resize(CornerSize, CornerSize);
  ModeRect->setCursor(Qt::PointingHandCursor);
  ModeRect->OnPaint = [this](QPainter& c, const QRect& r) { ModeRectPaint(c, r); };
  ModeRect->OnClick = [this] { ModeRectClick(); };
  Timer1 = new QTimer(this);
  Timer1->setInterval(200);
  connect(Timer1, &QTimer::timeout, this, &TMainFrm::Timer1Timer);
  WriteRect = new TPaintRect(this);
  WriteRect->resize(CornerSize, CornerSize);
  WriteRect->setCursor(Qt::PointingHandCursor);
  WriteRect->OnPaint = [this](QPainter& c, const QRect& r) { WriteRectPaint(c, r); };
  WriteRect->OnClick = [this] { WriteRectClick(); };
  MenuPanel = new TPaintRect(this);
  MenuPanel->resize(MenuPanelWidth, 400 - CornerSize);
  MenuPanel->OnPaint = [](QPainter& c, const QRect& r) {
    c.fillRect(r, QColor::fromRgba(MenuPanelFill));
    c.setPen(Qt::black);
    c.drawRect(r.adjusted(0, 0, -1, -1));
  };
  MenuPanel->OnMouseLeave = [this] { MenuPanelMouseLeave(); };
  // Windows of their own, so that the pointer over them is followed while
  // over the surface it is reported only with a button held. The surface
  // stays in the main window.
  QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  for (QWidget* w : {static_cast<QWidget*>(ModeRect), static_cast<QWidget*>(WriteRect),
                     static_cast<QWidget*>(MenuPanel)}) {
    w->setAttribute(Qt::WA_NativeWindow);
    w->setAttribute(Qt::WA_TranslucentBackground);
  }
  MenuPanel->OnResize = [this] { MenuPanelResize(); };
  MetroTimer = new QTimer(this);
  MetroTimer->setInterval(500);
  MetroTimer->setSingleShot(true);
  connect(MetroTimer, &QTimer::timeout, this, &TMainFrm::MetroTimerTimer);
  SaveDialog = new QFileDialog(this);
  SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  WatchSaveDialogFolder(*SaveDialog, false);
  SaveNotice = new QLabel(this);
  SaveNotice->setAttribute(Qt::WA_TransparentForMouseEvents);
  SaveNotice->setStyleSheet(QStringLiteral(
      "QLabel { background: rgba(31, 31, 31, 220); color: white; padding: 8px 14px; }"));
  SaveNotice->hide();
  SaveNoticeTimer = new QTimer(this);
  SaveNoticeTimer->setInterval(2000);
  SaveNoticeTimer->setSingleShot(true);
  connect(SaveNoticeTimer, &QTimer::timeout, SaveNotice, &QWidget::hide);
  SaveWriter = std::make_unique<TSaveWriter>([this] {
    QMetaObject::invokeMethod(this, &TMainFrm::SaveResultsReady, Qt::QueuedConnection);
  });

  FormCreate();
  Surfaces = std::make_unique<TScreenSurfaces>(*this, FWindowSystem);
  new TStrokeInput(FWindowSystem, this);
  // Keypad taps count from before the overlay is seen, not from the first
  // tick: a tap at once after start-up would otherwise be lost.
  FWindowSystem.KeyPressed(vkMultiply);
  Timer1->start();
  qApp->installEventFilter(this);
}

TMainFrm::~TMainFrm() {
  // The entry point runs FormDestroy itself and reports a failed write; here
  // an exception must not leave the destructor.
  try {
    FormDestroy();
  } catch (const std::exception& e) {
    qWarning("%s", e.what());
  }
}

void TMainFrm::FormCreate() {
  isFirst = true;
  isWorking = true;
  CrSetup = -1;
  LoadSetup();
  isMenu = true;
  CreateMenuButtons();
  PWImage = new TPWImage(this);
  PWImage->setParent(RectBK);
  PWImage->show();
  PWImage->OnHoverWanted = [this] { UpdateInputShape(); };
  TPWMenuItem start;
  GetStartPen(start, PenIndex);
  PWImage->SetCrPen(start);
  PrPen = PWImage->CrPen();
  FormResize();
  // The pictures folder stands in for the default image folder of the
  // settings until they provide one.
  SaveDialog->setDirectory(SaveDialogFolder(ImagePathDefault));
  ActiveWindowHandle = 0;
  isWorking = false;
}

void TMainFrm::FormDestroy() {
  if (FDestroyed) return;
  FDestroyed = true;
  // No tick may reach a surface that is being destroyed.
  Timer1->stop();
  MetroTimer->stop();
  // No picture is lost at exit: pending writes finish first, and those that
  // failed are raised once the settings are written.
  SaveWriter->WaitForAll();
  QStringList failed;
  for (TSaveWriter::TResult result; SaveWriter->TakeResult(result);) {
    if (!result.Error) continue;
    try {
      std::rethrow_exception(result.Error);
    } catch (const std::exception& e) {
      failed.append(QString::fromLocal8Bit(e.what()));
    } catch (...) {
      failed.append(result.FileName);
    }
  }
  const auto release = [this] {
    FreeMenuButtons();
    delete PWImage;
    PWImage = nullptr;
  };
  try {
    SaveSetup();
  } catch (...) {
    release();
    throw;
  }
  release();
  if (!failed.isEmpty()) throw std::runtime_error(failed.join(QLatin1Char('\n')).toStdString());
}

// The first paint is where the tile column gets its layout at the size the
// window really has once shown.
void TMainFrm::FormPaint() {
  if (!isFirst) return;
  MenuPanelResize();
  isFirst = false;
}

void TMainFrm::FormResize() {
  const int w = width();
  const int h = height();
  RectBK->setGeometry(0, 0, w, h);
  ModeRect->move(w - ModeRect->width(), 0);
  WriteRect->move(w - 2 * ModeRect->width(), 0);
  MenuPanel->setGeometry(w - MenuPanel->width(), ModeRect->height(), MenuPanel->width(),
                         h - ModeRect->height());
  if (PWImage) PWImage->setGeometry(0, 0, w, h);
  UpdateInputShape();
}

void TMainFrm::WriteRectPaint(QPainter& canvas, const QRect& rect) {
  DrawCornerPicture(canvas, rect, PWImage && PWImage->CanWrite() ? "PW_PEN" : "PW_ARROW");
}

void TMainFrm::WriteRectClick() {
  RunCommand([this] {
    PWImage->SetCanWrite(!PWImage->CanWrite());
    WriteRect->update();
    PWImage->update();
    UpdateInputShape();
    RestoreActiveWindow();
  });
}

void TMainFrm::ModeRectPaint(QPainter& canvas, const QRect& rect) {
  DrawCornerPicture(canvas, rect, isMenu ? "PW_RIGHT" : "PW_LEFT");
}

void TMainFrm::ModeRectClick() {
  RunCommand([this] {
    isMenu = !isMenu;
    MenuPanel->setVisible(isMenu);
    ModeRect->update();
    UpdateInputShape();
  });
}

void TMainFrm::Timer1Timer() {
  if (!isVisible()) return;
  const TNativeWindow h = winId();
  const TNativeWindow f = FWindowSystem.ForegroundWindow();
  // Neither the program's own dialogs nor "no window known" (as while the
  // overlay itself has the keyboard) replace the window to give focus back to.
  const std::vector<TNativeWindow> own = OwnWindows();
  if (f != h && f != 0 && std::find(own.begin(), own.end(), f) == own.end()) ActiveWindowHandle = f;
  if (f == 0 && !QApplication::activeWindow()) ActiveWindowHandle = 0;  // no window has the keyboard
  if (f != h) FWindowSystem.PlaceTopMost(h, own);
  // While the overlay has the keyboard the key's own events toggle drawing
  // and take the tap. The tap is left alone meanwhile: the toolkit learns
  // only a moment late that the keyboard went elsewhere, and a tap in that
  // moment counts at the next tick.
  if (!isActiveWindow() && FWindowSystem.KeyPressed(vkMultiply)) {
    int key = vkMultiply;
    KeyDown(key, QChar(), Qt::NoModifier);
  }
}

void TMainFrm::MetroTimerTimer() {
  MetroTimer->stop();
  // A dialog opened by a command takes the pointer from the column; that is
  // no reason to hide it behind the user's back. Nor is a message that came
  // after the command, such as the report of a failed background write.
  // The tick only ever hides: the column that hid already (its leave started
  // the timer again) is left hidden.
  if (isMenu && !MetroEntered && !isWorking && !QApplication::activeModalWidget()) ModeRectClick();
}

// The panel is left also when the pointer moves onto one of its tiles, which
// then sets MetroEntered again.
void TMainFrm::MenuPanelMouseLeave() {
  MetroEntered = false;
  MetroTimer->start();
}

bool TMainFrm::KeyDown(int& key, QChar, Qt::KeyboardModifiers) {
  if (IsBusy()) return false;
  if (key == vkMultiply) {
    WriteRectClick();
    return true;
  }
  TPWPenType command = pwNone;
  switch (key) {
    case vkAdd: command = pwSave; break;
    case vkSubtract: command = pwEraseAll; break;
    case vkDecimal: command = pwApp; break;
    case vkDivide: command = pwMarkIdx; break;
    default: return false;
  }
  MenuButtonClick({command});
  return true;
}

void TMainFrm::UpdateInputShape() {
  if (!PWImage || !isVisible() || !windowHandle()) return;
  const TNativeWindow h = winId();
  FWindowSystem.MotionOnlyWhileButtonHeld(h, !PWImage->WantsHover());
  if (PWImage->CanWrite()) {
    FWindowSystem.SetFullInput(h);
    return;
  }
  const qreal scale = devicePixelRatioF();
  std::vector<TPlatformRect> rects{ToPlatform(ModeRect->geometry(), scale),
                                   ToPlatform(WriteRect->geometry(), scale)};
  if (MenuPanel->isVisible()) rects.push_back(ToPlatform(MenuPanel->geometry(), scale));
  FWindowSystem.SetInputRegion(h, rects);
}

void TMainFrm::RunCommand(const std::function<void()>& work) {
  // Lifts the hold however the work ends; a command carried out inside
  // another (a launcher choice) leaves the hold to the outer one.
  struct TGuard {
    TMainFrm* Form;
    ~TGuard() {
      if (--Form->FCommandDepth > 0) return;
      // A keypad tap while the command held the window is not carried out
      // afterwards: only whether the key is down at a tick counts.
      Form->FWindowSystem.KeyPressed(vkMultiply);
      Form->Timer1->start();
      Form->isWorking = false;
      // The other screens' surfaces take the pen and the switch as they are now.
      Form->Surfaces->Sync();
    }
  };
  isWorking = true;
  PWImage->LassoUpdate();
  Timer1->stop();
  ++FCommandDepth;
  TGuard guard{this};
  work();
}

void TMainFrm::ShowOverlay() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen) {
    if (windowHandle() && windowHandle()->screen() != screen) windowHandle()->setScreen(screen);
    setGeometry(screen->geometry());
  }
  // A new primary screen, or a new size of it (a monitor plugged in, another
  // resolution), is covered again; the watch follows the primary screen.
  const QString watchName = QStringLiteral("PrimaryScreenWatch");
  delete findChild<QObject*>(watchName, Qt::FindDirectChildrenOnly);
  auto* watch = new QObject(this);
  watch->setObjectName(watchName);
  const auto again = [this] { QTimer::singleShot(0, this, [this] { ShowOverlay(); }); };
  connect(qApp, &QGuiApplication::primaryScreenChanged, watch, again);
  if (screen) connect(screen, &QScreen::geometryChanged, watch, again);
  show();
  UpdateInputShape();
  FWindowSystem.PlaceTopMost(winId(), OwnWindows());
  Surfaces->Update();
}

void TMainFrm::RestoreActiveWindow() {
  // The window remembered may have gone since the last tick (minimised, the
  // keyboard nowhere): then none was active, and none is raised.
  if (FWindowSystem.ForegroundWindow() == 0 && !QApplication::activeWindow()) ActiveWindowHandle = 0;
  if (ActiveWindowHandle != 0) FWindowSystem.RaiseWindow(ActiveWindowHandle);
}

bool TMainFrm::IsBusy() const { return isWorking || (PWImage && PWImage->isWorking()); }

std::vector<TNativeWindow> TMainFrm::OwnWindows() const {
  std::vector<TNativeWindow> own;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != this && w->isVisible() && w->internalWinId() != 0) own.push_back(w->internalWinId());
  return own;
}

// The overlay bypasses the window manager, so a newly managed window is put
// below it; dialogs and messages are lifted above it and given the keyboard
// as soon as the screen shows them.
bool TMainFrm::eventFilter(QObject* watched, QEvent* event) {
  // The overlay bypasses the window manager, which so never gives it the
  // keyboard: a press on it (the surface while drawing, a tile, a corner
  // button) takes it, as a click on a top-most window would, so that the
  // keypad keys reach the overlay.
  if (event->type() == QEvent::MouseButtonPress) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && w->window() == this && (w != PWImage || PWImage->CanWrite()))
      FWindowSystem.TakeFocus(winId());
  } else if (event->type() == QEvent::Show && watched != this) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && w->isWindow() && !w->testAttribute(Qt::WA_ShowWithoutActivating))
      PlaceAboveWhenShown(w);
  } else if (event->type() == QEvent::Hide && watched != this && isVisible()) {
    // The overlay went below the dialog to let it lie above; it is back on
    // top at once, before the window manager raises the next window over it.
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && w->isWindow()) FWindowSystem.PlaceTopMost(winId(), OwnWindows());
  }
  return QWidget::eventFilter(watched, event);
}

void TMainFrm::PlaceAboveWhenShown(QWidget* window) {
  QPointer<QWidget> target(window);
  auto* poll = new QTimer(this);
  poll->setInterval(20);
  // A window manager may restack a new frame once more after mapping it, so
  // the window is placed a few times over its first ticks on screen.
  auto ticks = std::make_shared<int>(0);
  auto placed = std::make_shared<int>(0);
  connect(poll, &QTimer::timeout, this, [this, target, poll, ticks, placed] {
    bool done = !target || !target->isVisible() || ++*ticks > 100;
    if (!done && target->windowHandle() && target->windowHandle()->isExposed()) {
      FWindowSystem.PlaceAboveOverlay(target->winId(), winId());
      done = ++*placed >= 5;
    }
    if (done) {
      poll->stop();
      poll->deleteLater();
    }
  });
  poll->start();
}

void TMainFrm::paintEvent(QPaintEvent*) { FormPaint(); }

void TMainFrm::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

void TMainFrm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The input shape holds only once the window is mapped, which happens
  // after this event.
  QTimer::singleShot(0, this, &TMainFrm::UpdateInputShape);
}

void TMainFrm::keyPressEvent(QKeyEvent* event) {
  int key = KeypadVirtualKey(event->key(), event->modifiers());
  // The key watcher saw this press too; the poll must not count it again.
  if (key == vkMultiply) FWindowSystem.KeyPressed(vkMultiply);
  if (key != 0 && KeyDown(key, event->text().isEmpty() ? QChar() : event->text().front(),
                          event->modifiers())) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

QString SaveDialogFolder(const QString& imagePath) {
  QString folder = imagePath;
  const auto isSeparator = [](QChar c) { return c == QLatin1Char('/') || c == QLatin1Char('\\'); };
  const bool isRoot = folder.size() == 1 ||
                      (folder.size() == 3 && folder[1] == QLatin1Char(':'));  // "/", "C:\"
  if (!folder.isEmpty() && isSeparator(folder.back()) && !isRoot) folder.chop(1);
  return folder;
}

int KeypadVirtualKey(int qtKey, Qt::KeyboardModifiers modifiers) {
  if (!(modifiers & Qt::KeypadModifier)) return 0;
  switch (qtKey) {
    case Qt::Key_Asterisk: return vkMultiply;
    case Qt::Key_Plus: return vkAdd;
    case Qt::Key_Minus: return vkSubtract;
    case Qt::Key_Period:
    case Qt::Key_Comma: return vkDecimal;
    case Qt::Key_Slash: return vkDivide;
    default: return 0;
  }
}
