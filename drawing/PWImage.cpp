#include "PWImage.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QCursor>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPixmap>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "CursorPicture.h"
#include "PWEngine.h"
#include "resources/Pictures.h"

// The floating lasso selection: the selected strokes' outlines in black.
class TSelectionView : public QWidget {
 public:
  TSelectionView(QWidget* parent, const TPWEngine& engine) : QWidget(parent), FEngine(engine) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (FEngine.SelLines().empty()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor::fromRgba(0xFF000000), FEngine.CrPen().PenThickness, Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(FEngine.SelPathData());
  }

 private:
  const TPWEngine& FEngine;
};

TPWImage::TPWImage(QWidget* owner) : QWidget(owner), FEngine(std::make_unique<TPWEngine>()) {
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_TransparentForMouseEvents, true);
  setMouseTracking(true);
  setCursor(Qt::BlankCursor);
  // No focus policy: a press would take the focus and with it repaint the
  // whole surface; a text being typed takes the focus itself, and keys
  // reach the surface only then.
  // Every pointer report is a point of the stroke: merging the moves that
  // queued up while the program was busy would cut corners off it.
  QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
  FFrameTimer = new QTimer(this);
  FFrameTimer->setSingleShot(true);
  FFrameTimer->setTimerType(Qt::PreciseTimer);
  connect(FFrameTimer, &QTimer::timeout, this, [this] {
    if (BeforeHeldFrame) BeforeHeldFrame();
    FrameOut();
  });
  FLaserTimer = new QTimer(this);
  FLaserTimer->setTimerType(Qt::PreciseTimer);
  connect(FLaserTimer, &QTimer::timeout, this, [this] {
    FEngine->LaserTick();
    Flush();
  });
  SelImage = new TSelectionView(this, *FEngine);
  SelImage->hide();
  if (owner) resize(owner->size());
  FEngine->Resize(size(), devicePixelRatioF());
  SetCursorPicture();
}

TPWImage::~TPWImage() = default;

void TPWImage::Flush() {
  const QRegion dirty = FEngine->TakeDirty();
  const qreal s = FEngine->Scale();
  QRegion pending;
  if (s == 1) {
    pending = dirty;
  } else {
    // Device pixels to the logical ones that hold them.
    for (const QRect& r : dirty) {
      const int x0 = static_cast<int>(std::floor(r.left() / s)), y0 = static_cast<int>(std::floor(r.top() / s));
      const int x1 = static_cast<int>(std::ceil((r.right() + 1) / s));
      const int y1 = static_cast<int>(std::ceil((r.bottom() + 1) / s));
      pending += QRect(x0, y0, x1 - x0, y1 - y0);
    }
  }
  PlaceSelection();
  NoteHoverWanted();
  if (!FEngine->LaserFading()) {
    FLaserTimer->stop();
  } else if (!FLaserTimer->isActive()) {
    FLaserTimer->start(static_cast<int>(std::max<qint64>(1, FrameGapNs() * 4 / 1000000)));
  }
  if (pending.isEmpty()) return;
  FRepaintAsked = true;
  FHeldDevice += dirty;
  Repaint(pending);
}

// A repaint asked for runs as soon as the pointer events already queued have
// been taken, so moves that piled up while the program was busy share one.
// Frames closer than a quarter of the screen's frame would show nothing
// sooner to the eye and cost the window system a composed frame each: a
// change then waits for that mark, never longer, so that at a mouse's 125
// reports a second each report still gets its own frame.
void TPWImage::Repaint(const QRegion& region) {
  FHeld += region;
  if (FFrameTimer->isActive()) return;
  const qint64 gap = FrameGapNs();
  const qint64 since = FLastFrame.isValid() ? FLastFrame.nsecsElapsed() : gap;
  // Whole milliseconds, rounded down: at the mark or just before, not after.
  const qint64 wait = (gap - since) / 1000000;
  if (wait <= 0) {
    FrameOut();
    return;
  }
  FFrameTimer->start(static_cast<int>(wait));
}

// While a stroke is drawn its new pixels may go straight into the window, for
// a frame without the toolkit's round of painting and copying; the toolkit's
// own copy of the window is brought up to date when the stroke ends.
void TPWImage::FrameOut() {
  if (DirectPaint && FEngine->isDown() == 1 && isVisible()) {
    const QImage& display = FEngine->Display();
    const qreal s = FEngine->Scale();
    const QPoint origin = mapTo(window(), QPoint());
    const QPoint at(static_cast<int>(std::lround(origin.x() * s)), static_cast<int>(std::lround(origin.y() * s)));
    bool drawn = true;
    for (const QRect& r : FHeldDevice) {
      const QRect source = r & display.rect();
      if (!source.isEmpty() && !DirectPaint(source.translated(at), display, source)) {
        drawn = false;
        break;
      }
    }
    if (drawn) {
      FBehind += FHeld;
      FHeld = QRegion();
      FHeldDevice = QRegion();
      FRepaintAsked = false;
      FLastFrame.start();
      return;
    }
  }
  if (!FBehind.isEmpty() && DirectPaintDone) DirectPaintDone();
  update(FHeld + FBehind);
  FHeld = QRegion();
  FHeldDevice = QRegion();
  FBehind = QRegion();
}

qint64 TPWImage::FrameGapNs() const {
  qreal hz = screen() ? screen()->refreshRate() : 0;
  if (!(hz >= 1 && hz <= 1000)) hz = 60;
  return static_cast<qint64>(1e9 / hz / 4);
}

bool TPWImage::FrameHeld() const { return FFrameTimer->isActive(); }

bool TPWImage::FramePending() const { return (FRepaintAsked || FFrameTimer->isActive()) && isVisible(); }

void TPWImage::Init() {
  FEngine->Init();
  Flush();
}

void TPWImage::PWResize() {
  FEngine->Resize(size(), devicePixelRatioF());
  // The pointer picture is drawn anew for a screen of another ratio.
  if (!FPicture.isNull() && FPicture.devicePixelRatio() != PictureRatio()) SetCursorPicture();
  Flush();
}

void TPWImage::ZoomPosSet() {
  FEngine->ZoomPosSet();
  Flush();
}

void TPWImage::PWImageBitmapUpdate() {
  FEngine->PWImageBitmapUpdate();
  Flush();
}

void TPWImage::EraseAll() {
  FEngine->EraseAll();
  Flush();
}

void TPWImage::PWUndo() {
  FEngine->PWUndo();
  Flush();
}

void TPWImage::PWRedo() {
  FEngine->PWRedo();
  Flush();
}

void TPWImage::LassoUpdate() {
  FEngine->LassoUpdate();
  Flush();
}

const QImage& TPWImage::PenBitmap() const { return FEngine->PenBitmap(); }
TPWMenuItem TPWImage::CrPen() const { return FEngine->CrPen(); }

void TPWImage::SetCrPen(const TPWMenuItem& item) {
  FEngine->SetCrPen(item);
  Flush();
  SetCursorPicture();
}

float TPWImage::MKOpacity() const { return FEngine->MKOpacity(); }
void TPWImage::SetMKOpacity(float opacity) { FEngine->SetMKOpacity(opacity); }
bool TPWImage::CanWrite() const { return FEngine->CanWrite(); }

void TPWImage::SetCanWrite(bool on) {
  setAttribute(Qt::WA_TransparentForMouseEvents, !on);
  FEngine->SetCanWrite(on);
  Flush();
}

bool TPWImage::CurVisible() const { return FCurVisible; }

void TPWImage::SetCurVisible(bool visible) {
  if (FCurVisible == visible) return;
  FCurVisible = visible;
  ApplyCursor();
}

bool TPWImage::isWorking() const { return FEngine->isWorking(); }
const TPWRecArray& TPWImage::History() const { return FEngine->History(); }

void TPWImage::DropLaser() {
  FEngine->DropLaser();
  Flush();
}

QImage TPWImage::CursorImage() const { return FPicture; }

QRect TPWImage::CursorGeometry() const {
  if (!FCurVisible || !FInside || FPicture.isNull()) return {};
  return QRect((FPointer + CurOffset).toPoint(), FPicture.deviceIndependentSize().toSize());
}
QRect TPWImage::SelectionGeometry() const { return SelImage->isVisible() ? SelImage->geometry() : QRect(); }

void TPWImage::SetCursorPicture() {
  const TPWMenuItem pen = FEngine->CrPen();
  FPicture = CursorPicture(pen, PictureRatio());
  FPictureName.clear();
  if (const auto offset = CursorOffset(pen.PenType)) CurOffset = *offset;
  ApplyCursor();
}

void TPWImage::ShowPicture(const char* name, QPointF offset) {
  if (FPictureName == name && CurOffset == offset) return;
  CurOffset = offset;
  FPictureName = name;
  FPicture = LoadPicture(QString::fromLatin1(name), PictureRatio());
  ApplyCursor();
}

qreal TPWImage::PictureRatio() const { return devicePixelRatioF(); }

// The picture is the system pointer itself: the window system moves it at
// no cost to the program, and no screen capture holds it.
void TPWImage::ApplyCursor() {
  if (!FCurVisible || FPicture.isNull()) {
    setCursor(Qt::BlankCursor);
    return;
  }
  const QPoint hot = (-CurOffset).toPoint();
  setCursor(QCursor(QPixmap::fromImage(FPicture), hot.x(), hot.y()));
}

bool TPWImage::WantsHover() const {
  return FEngine->CrPen().PenType == pwLasso && !FEngine->SelLines().empty();
}

void TPWImage::NoteHoverWanted() {
  const bool wanted = WantsHover();
  if (wanted == FHoverWanted) return;
  FHoverWanted = wanted;
  if (OnHoverWanted) OnHoverWanted();
}

void TPWImage::PlaceCursor(QPointF pos) {
  FPointer = pos;
  if (FEngine->CrPen().PenType == pwLasso) {
    const bool overSelection = !FEngine->SelLines().empty() && FEngine->SelRF().contains(pos);
    if (overSelection) {
      ShowPicture("CR_HAND0", QPointF(-12, -24));
    } else {
      ShowPicture("CR_LASSO", QPointF(-1, -2));
    }
  }
}

void TPWImage::PlaceSelection() {
  const bool show = !FEngine->SelLines().empty();
  if (show) {
    const QRectF r(FEngine->SelPosition(), FEngine->SelRF().size());
    const QRect whole(r.topLeft().toPoint(), r.size().toSize());
    if (SelImage->geometry() != whole) SelImage->setGeometry(whole);
    SelImage->update();
  }
  SelImage->setVisible(show);
}

void TPWImage::paintEvent(QPaintEvent* event) {
  FRepaintAsked = false;
  FLastFrame.start();
  QPainter p(this);
  // The display carries its own alpha: the background's 0 or 1 must reach
  // the window as it is.
  p.setCompositionMode(QPainter::CompositionMode_Source);
  const QImage& display = FEngine->Display();
  const qreal s = FEngine->Scale();
  if (s == 1) {
    for (const QRect& r : event->region()) p.drawImage(r.topLeft(), display, r);
    return;
  }
  // Whole device pixels of the display onto the same device pixels of the
  // window: a copy, never a resampling.
  for (const QRect& r : event->region()) {
    const int x0 = static_cast<int>(std::floor(r.left() * s)), y0 = static_cast<int>(std::floor(r.top() * s));
    const int x1 = static_cast<int>(std::ceil((r.right() + 1) * s));
    const int y1 = static_cast<int>(std::ceil((r.bottom() + 1) * s));
    const QRect source(x0, y0, x1 - x0, y1 - y0);
    p.drawImage(QRectF(x0 / s, y0 / s, source.width() / s, source.height() / s), display, source);
  }
}

void TPWImage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Qt also delivers resize events that keep the size (a first show, a
  // grab); only a real change of size discards the drawing.
  // A new pixel ratio (the window moved to another screen) sizes the
  // layers anew as well.
  if (event->size() != event->oldSize() || FEngine->Scale() != devicePixelRatioF() ||
      FEngine->Size() != TPWEngine::LayerSize(size(), devicePixelRatioF())) {
    PWResize();
  }
}

void TPWImage::mousePressEvent(QMouseEvent* event) {
  // Only the main button draws: another button pressed during a stroke
  // would otherwise start over and lose it.
  if (event->button() != Qt::LeftButton || FEngine->isDown() != 0) return;
  const QPointF pos = event->position();
  // Shift is read from the pointer event, so it counts whatever window has the keyboard.
  FEngine->SetConstrain(event->modifiers() & Qt::ShiftModifier);
  if (!FEngine->Press(pos)) return;
  FollowText();
  FPointer = pos;
  if (FEngine->isDown() == 3) ShowPicture("CR_HAND1", QPointF(-12, -24));
  FOutside = false;
  Flush();
}

void TPWImage::mouseMoveEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  if (MoveTo(pos, event->modifiers())) FEngine->Move(pos);
  Flush();
}

void TPWImage::PointerMoves(std::span<const QPointF> positions, Qt::KeyboardModifiers modifiers) {
  // Moves inside the surface go to the engine together; leaving the
  // surface comes between them in its place.
  std::vector<QPointF> run;
  for (const QPointF& pos : positions) {
    if (!FOutside && !rect().contains(pos.toPoint()) && !run.empty()) {
      FEngine->MoveBatch(run);
      run.clear();
    }
    if (MoveTo(pos, modifiers)) run.push_back(pos);
  }
  if (!run.empty()) FEngine->MoveBatch(run);
  Flush();
}

// What a move does before the engine takes it; false when the engine is not
// to take it.
bool TPWImage::MoveTo(QPointF pos, Qt::KeyboardModifiers modifiers) {
  if (!rect().contains(pos.toPoint())) {
    // With a button held the pointer keeps reporting outside the surface:
    // that is leaving it.
    if (!FOutside) PointerLeft();
    FOutside = true;
    return false;
  }
  if (FOutside) {
    FOutside = false;
    FInside = true;
  }
  FEngine->SetConstrain(modifiers & Qt::ShiftModifier);
  if (FEngine->isDown() == 3) {
    FPointer = pos;
  } else {
    PlaceCursor(pos);
  }
  return true;
}

void TPWImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const bool dragging = FEngine->isDown() == 3;
  FEngine->SetConstrain(event->modifiers() & Qt::ShiftModifier);
  FEngine->Release(event->position());
  FPointer = event->position();
  if (dragging) ShowPicture("CR_HAND0", QPointF(-12, -24));
  Flush();
}

void TPWImage::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  FOutside = false;
  FInside = true;
  FPointer = event->position();
}

void TPWImage::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  PointerLeft();
}

void TPWImage::PointerLeft() {
  FInside = false;
  FEngine->Leave();
  Flush();
}

void TPWImage::FollowText() {
  const bool open = FEngine->TextOpen();
  setAttribute(Qt::WA_InputMethodEnabled, open);
  if (open) {
    setFocus(Qt::MouseFocusReason);
    QGuiApplication::inputMethod()->update(Qt::ImEnabled | Qt::ImCursorRectangle);
  }
}

void TPWImage::keyPressEvent(QKeyEvent* event) {
  if (!FEngine->TextOpen()) {
    event->ignore();
    return;
  }
  switch (event->key()) {
    case Qt::Key_Escape: FEngine->EndText(); break;
    case Qt::Key_Backspace: FEngine->TypeBackspace(); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: FEngine->TypeText(QStringLiteral("\n")); break;
    default:
      // Keypad keys stay the program's hot keys; other chords are not text.
      if ((event->modifiers() & (Qt::KeypadModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) ||
          event->text().isEmpty()) {
        event->ignore();
        return;
      }
      FEngine->TypeText(event->text());
  }
  event->accept();
  FollowText();
  Flush();
}

void TPWImage::inputMethodEvent(QInputMethodEvent* event) {
  if (FEngine->TextOpen() && !event->commitString().isEmpty()) {
    FEngine->TypeText(event->commitString());
    Flush();
  }
  event->accept();
}

QVariant TPWImage::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled: return FEngine->TextOpen();
    case Qt::ImCursorRectangle: return FEngine->TextCaretRect().toRect();
    default: return QWidget::inputMethodQuery(query);
  }
}
