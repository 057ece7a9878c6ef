#include "PWImage.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QResizeEvent>

#include "CursorPicture.h"
#include "PWEngine.h"
#include "resources/Pictures.h"

// A child that shows a picture and lets the pointer through.
class TPictureView : public QWidget {
 public:
  explicit TPictureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
  }
  void SetPicture(const QImage& picture) {
    FPicture = picture;
    resize(picture.isNull() ? QSize(0, 0) : picture.size());
    update();
  }
  const QImage& Picture() const { return FPicture; }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (FPicture.isNull()) return;
    QPainter p(this);
    p.drawImage(0, 0, FPicture);
  }

 private:
  QImage FPicture;
};

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
  SelImage = new TSelectionView(this, *FEngine);
  SelImage->hide();
  // Created after the selection so that it lies above it.
  CurImage = new TPictureView(this);
  CurImage->hide();
  if (owner) resize(owner->size());
  FEngine->Resize(size());
  SetCursorPicture();
}

TPWImage::~TPWImage() = default;

void TPWImage::Flush() {
  const QRegion dirty = FEngine->TakeDirty();
  if (!dirty.isEmpty()) update(dirty);
  PlaceSelection();
}

void TPWImage::Init() {
  FEngine->Init();
  Flush();
}

void TPWImage::PWResize() {
  FEngine->Resize(size());
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
  FCurVisible = visible;
  CurImage->setVisible(visible);
}

bool TPWImage::isWorking() const { return FEngine->isWorking(); }
const TPWRecArray& TPWImage::History() const { return FEngine->History(); }

QImage TPWImage::CursorImage() const { return CurImage->Picture(); }
QRect TPWImage::CursorGeometry() const { return CurImage->isVisible() ? CurImage->geometry() : QRect(); }
QRect TPWImage::SelectionGeometry() const { return SelImage->isVisible() ? SelImage->geometry() : QRect(); }

void TPWImage::SetCursorPicture() {
  const TPWMenuItem pen = FEngine->CrPen();
  CurImage->SetPicture(CursorPicture(pen));
  FPictureName.clear();
  if (const auto offset = CursorOffset(pen.PenType)) CurOffset = *offset;
}

void TPWImage::ShowPicture(const char* name, QPointF offset) {
  CurOffset = offset;
  if (FPictureName == name) return;
  FPictureName = name;
  CurImage->SetPicture(LoadPicture(QString::fromLatin1(name)));
}

void TPWImage::PlaceCursor(QPointF pos) {
  if (FEngine->CrPen().PenType == pwLasso) {
    const bool overSelection = !FEngine->SelLines().empty() && FEngine->SelRF().contains(pos);
    if (overSelection) {
      ShowPicture("CR_HAND0", QPointF(-12, -24));
    } else {
      ShowPicture("CR_LASSO", QPointF(-1, -2));
    }
  }
  CurImage->move((pos + CurOffset).toPoint());
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
  QPainter p(this);
  // The display carries its own alpha: the background's 0 or 1 must reach
  // the window as it is.
  p.setCompositionMode(QPainter::CompositionMode_Source);
  const QImage& display = FEngine->Display();
  for (const QRect& r : event->region()) p.drawImage(r.topLeft(), display, r);
}

void TPWImage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Qt also delivers resize events that keep the size (a first show, a
  // grab); only a real change of size discards the drawing.
  if (event->size() != event->oldSize() || FEngine->Size() != size()) PWResize();
}

void TPWImage::mousePressEvent(QMouseEvent* event) {
  // Only the main button draws: another button pressed during a stroke
  // would otherwise start over and lose it.
  if (event->button() != Qt::LeftButton || FEngine->isDown() != 0) return;
  const QPointF pos = event->position();
  if (!FEngine->Press(pos)) return;
  if (FEngine->isDown() == 3) {
    ShowPicture("CR_HAND1", QPointF(-12, -24));
    CurImage->move((pos + CurOffset).toPoint());
  }
  FOutside = false;
  Flush();
}

void TPWImage::mouseMoveEvent(QMouseEvent* event) {
  const QPointF pos = event->position();
  if (!rect().contains(pos.toPoint())) {
    // With a button held the pointer keeps reporting outside the surface:
    // that is leaving it.
    if (!FOutside) PointerLeft();
    FOutside = true;
    return;
  }
  if (FOutside) {
    FOutside = false;
    CurImage->setVisible(FCurVisible);
  }
  if (FEngine->isDown() == 3) {
    FEngine->Move(pos);
    CurImage->move((pos + CurOffset).toPoint());
    Flush();
    return;
  }
  PlaceCursor(pos);
  FEngine->Move(pos);
  Flush();
}

void TPWImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const bool dragging = FEngine->isDown() == 3;
  FEngine->Release(event->position());
  if (dragging) {
    ShowPicture("CR_HAND0", QPointF(-12, -24));
    CurImage->move((event->position() + CurOffset).toPoint());
  }
  Flush();
}

void TPWImage::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  FOutside = false;
  CurImage->setVisible(FCurVisible);
}

void TPWImage::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  PointerLeft();
}

void TPWImage::PointerLeft() {
  CurImage->hide();
  FEngine->Leave();
  Flush();
}
