#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <functional>

#include "QtTestApp.h"
#include "drawing/CursorPicture.h"
#include "drawing/PWEngine.h"
#include "drawing/PWImage.h"
#include "settings/Settings.h"

namespace {

constexpr TPWMenuItem kRedPen{pwPn, 0xFFFF0000, 10, sdSolid};
constexpr TPWMenuItem kBlueMarker{pwMk, 0xFF0000FF, 20, sdSolid};

// A shown surface inside a plain window, in write mode.
struct Surface {
  QWidget window;
  TPWImage* image;
  explicit Surface(QSize size = {300, 200}) {
    window.resize(size);
    image = new TPWImage(&window);
    image->setGeometry(window.rect());
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    image->SetCanWrite(true);
  }
  void Press(QPoint p) { QTest::mousePress(image, Qt::LeftButton, {}, p); }
  void Move(QPoint p) { QTest::mouseMove(image, p); }
  void Release(QPoint p) { QTest::mouseRelease(image, Qt::LeftButton, {}, p); }
  void Drag(const std::vector<QPoint>& pts) {
    Press(pts.front());
    for (std::size_t i = 1; i < pts.size(); ++i) Move(pts[i]);
    Release(pts.back());
  }
  QRgb Pen(int x, int y) const { return image->PenBitmap().pixel(x, y); }
  QRgb Display(int x, int y) { return image->Engine().Display().pixel(x, y); }
};

class PWImageTest : public ::testing::Test {
 protected:
  void SetUp() override { isSmoothing = false; }
  void TearDown() override { isSmoothing = true; }
};

TEST_F(PWImageTest, PressAndReleaseWithoutMovementLeavesARoundDot) {
  Surface s;
  s.image->SetCrPen(kRedPen);
  s.Press({100, 100});
  s.Release({100, 100});
  ASSERT_EQ(s.image->History().p(), 0);
  EXPECT_EQ(s.image->History().Rec()[0].Points.size(), 2u);
  EXPECT_EQ(s.Pen(100, 100), 0xFFFF0000u);
  // Radius 5 every way, nothing beyond: a round dot of the pen's width.
  for (auto [dx, dy] : {std::pair{3, 0}, {0, 3}, {-3, 0}, {0, -3}, {2, 2}, {-2, -2}}) {
    EXPECT_EQ(s.Pen(100 + dx, 100 + dy), 0xFFFF0000u) << dx << "," << dy;
  }
  for (auto [dx, dy] : {std::pair{7, 0}, {0, -7}, {5, 5}, {-5, 5}}) {
    EXPECT_EQ(qAlpha(s.Pen(100 + dx, 100 + dy)), 0) << dx << "," << dy;
  }
  // The window shows it too.
  EXPECT_EQ(s.Display(100, 100), 0xFFFF0000u);
  const QImage shown = s.image->grab().toImage();
  EXPECT_EQ(shown.pixel(100, 100), 0xFFFF0000u);
}

TEST_F(PWImageTest, MoveToTheLastAcceptedPositionAddsNothing) {
  Surface s;
  s.image->SetCrPen(kRedPen);
  s.Press({20, 20});
  s.Move({40, 30});
  s.image->Engine().TakeDirty();
  s.image->Engine().Move(QPointF(40, 30));
  EXPECT_TRUE(s.image->Engine().TakeDirty().isEmpty()) << "a repeated position draws nothing";
  s.Move({40, 30});
  s.Move({60, 50});
  s.Release({60, 50});
  ASSERT_EQ(s.image->History().p(), 0);
  const TPolygon expected{{20, 20}, {40, 30}, {60, 50}};
  EXPECT_EQ(s.image->History().Rec()[0].Points, expected);
}

TEST_F(PWImageTest, LeavingCommitsTheStrokeAndComingBackDoesNotContinueIt) {
  for (const bool byLeaveEvent : {false, true}) {
    Surface s;
    s.image->SetCrPen(kRedPen);
    s.Press({50, 50});
    s.Move({100, 50});
    if (byLeaveEvent) {
      QEvent leave(QEvent::Leave);
      QCoreApplication::sendEvent(s.image, &leave);
    } else {
      s.Move({350, 50});  // outside the 300-wide surface, button still held
    }
    EXPECT_FALSE(s.image->isWorking());
    ASSERT_EQ(s.image->History().p(), 0) << byLeaveEvent;
    EXPECT_EQ(s.image->History().Rec()[0].Points.size(), 2u);
    EXPECT_EQ(s.Pen(75, 50), 0xFFFF0000u);
    s.Move({150, 120});
    s.Move({200, 120});
    s.Release({200, 120});
    EXPECT_EQ(s.image->History().p(), 0) << "coming back does not continue or start a stroke";
    EXPECT_EQ(qAlpha(s.Pen(175, 120)), 0);
  }
}

TEST_F(PWImageTest, AnotherButtonDuringAStrokeDoesNotRestartIt) {
  Surface s;
  s.image->SetCrPen(kRedPen);
  s.Press({20, 20});
  s.Move({60, 20});
  QTest::mousePress(s.image, Qt::RightButton, {}, {60, 20});
  s.Move({100, 20});
  QTest::mouseRelease(s.image, Qt::RightButton, {}, {100, 20});
  EXPECT_TRUE(s.image->isWorking()) << "the other button's release ended the stroke";
  s.Move({140, 20});
  s.Release({140, 20});
  ASSERT_EQ(s.image->History().p(), 0);
  EXPECT_EQ(s.image->History().Rec()[0].Points.size(), 4u);
  EXPECT_EQ(s.Pen(30, 20), 0xFFFF0000u);
}

TEST_F(PWImageTest, WriteModeOffIgnoresPressesAndTogglingKeepsStrokes) {
  Surface s;
  s.image->SetCrPen(kRedPen);
  s.Drag({{30, 30}, {80, 30}});
  ASSERT_EQ(s.image->History().p(), 0);
  EXPECT_EQ(qAlpha(s.Display(200, 150)), 1) << "write mode shows white of alpha 1";

  s.image->SetCanWrite(false);
  EXPECT_EQ(s.Display(200, 150), 0u) << "pass-through is fully transparent";
  EXPECT_EQ(s.Display(50, 30), 0xFFFF0000u);
  EXPECT_TRUE(s.image->testAttribute(Qt::WA_TransparentForMouseEvents));
  // Even an event delivered straight to the surface draws nothing.
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 100), QPointF(100, 100), Qt::LeftButton,
                    Qt::LeftButton, {});
  QCoreApplication::sendEvent(s.image, &press);
  EXPECT_FALSE(s.image->isWorking());
  s.image->Engine().Move(QPointF(150, 150));
  s.image->Engine().Release(QPointF(150, 150));
  EXPECT_EQ(s.image->History().p(), 0);

  s.image->SetCanWrite(true);
  EXPECT_EQ(s.Display(50, 30), 0xFFFF0000u);
  EXPECT_EQ(qAlpha(s.Display(200, 150)), 1);
  EXPECT_EQ(s.image->History().p(), 0);
}

TEST_F(PWImageTest, ResizeClearsDrawingAndHistory) {
  Surface s;
  s.image->SetCrPen(kRedPen);
  s.Drag({{30, 30}, {80, 30}});
  ASSERT_EQ(s.image->History().p(), 0);
  s.image->resize(401, 250);
  EXPECT_EQ(s.image->History().p(), -1);
  EXPECT_FALSE(s.image->History().CanUndo());
  EXPECT_EQ(s.image->PenBitmap().size(), QSize(401, 250));
  EXPECT_EQ(s.image->Engine().Display().size(), QSize(401, 250));
  EXPECT_EQ(qAlpha(s.Pen(50, 30)), 0);
}

TEST_F(PWImageTest, MarkerCrossingItselfIsUniformlyTranslucent) {
  Surface s;
  s.image->SetCrPen(kBlueMarker);
  // A loop that crosses itself at (150, 100).
  s.Press({100, 100});
  for (QPoint p : {QPoint{200, 100}, {200, 150}, {150, 150}, {150, 50}}) s.Move(p);
  const QRgb crossing = s.Display(150, 100);
  const QRgb single = s.Display(175, 100);
  EXPECT_EQ(crossing, single) << "live display darkens where the stroke crosses itself";
  EXPECT_GT(qBlue(single), 0);
  EXPECT_LT(qAlpha(single), 255);
  s.Release({150, 50});
  EXPECT_EQ(s.Pen(150, 100), s.Pen(175, 100)) << "committed stroke darkens at the crossing";
  EXPECT_NEAR(qAlpha(s.Pen(150, 100)), 102, 1);
}

TEST_F(PWImageTest, SmoothedStrokeKeepsItsEndsAndPoints) {
  isSmoothing = true;
  Surface s;
  s.image->SetCrPen({pwPn, 0xFF00FF00, 4, sdSolid});
  // A zigzag; smoothed, its inner points are (60, 100), (80, 60), (100, 100).
  s.Drag({{40, 100}, {60, 60}, {80, 100}, {100, 60}, {120, 100}});
  ASSERT_EQ(s.image->History().Rec()[0].Points.size(), 5u) << "the record keeps the raw points";
  EXPECT_EQ(s.image->History().Rec()[0].Points[1], (TPointF{60, 60}));
  EXPECT_EQ(qAlpha(s.Pen(60, 61)), 0) << "raw corner drawn instead of the smoothed path";
  EXPECT_EQ(qAlpha(s.Pen(80, 100)), 0) << "raw corner drawn instead of the smoothed path";
  EXPECT_EQ(s.Pen(70, 80), 0xFF00FF00u);
  EXPECT_EQ(s.Pen(80, 61), 0xFF00FF00u);
  EXPECT_EQ(s.Pen(40, 100), 0xFF00FF00u) << "start moved";
  EXPECT_EQ(s.Pen(120, 100), 0xFF00FF00u) << "end moved";
}

TEST_F(PWImageTest, UndoRedoAndEraseAll) {
  Surface s;
  s.image->SetCrPen(kBlueMarker);
  s.Drag({{30, 30}, {130, 30}});
  const QImage one = s.image->PenBitmap().copy();
  s.image->SetCrPen(kRedPen);
  s.Drag({{30, 80}, {130, 80}, {130, 20}});
  const QImage two = s.image->PenBitmap().copy();

  s.image->PWUndo();
  EXPECT_EQ(s.image->PenBitmap(), one);
  EXPECT_EQ(s.Display(130, 60), s.Display(200, 180)) << "the display still shows the undone stroke";
  s.image->PWUndo();
  EXPECT_EQ(qAlpha(s.Pen(80, 30)), 0);
  s.image->PWUndo();  // nothing left to undo
  EXPECT_EQ(s.image->History().p(), -1);
  s.image->PWRedo();
  EXPECT_EQ(s.image->PenBitmap(), one) << "the marker comes back identically";
  s.image->PWRedo();
  EXPECT_EQ(s.image->PenBitmap(), two);
  s.image->PWRedo();
  EXPECT_EQ(s.image->History().p(), 1);

  s.image->EraseAll();
  EXPECT_EQ(qAlpha(s.Pen(80, 30)), 0);
  EXPECT_EQ(qAlpha(s.Display(80, 30)), 1);
  s.image->PWUndo();
  s.image->PWRedo();
  EXPECT_EQ(s.image->History().p(), -1);
  EXPECT_EQ(qAlpha(s.Pen(80, 30)), 0);
}

TEST_F(PWImageTest, PenSetterAndPointerPicture) {
  Surface s;
  s.image->SetCrPen({pwPn, 0xFF000000, 20, sdSolid});
  s.image->SetCrPen({pwLasso, 0xFF00FF00, 3, sdDash});
  EXPECT_EQ(s.image->CrPen().PenThickness, 20) << "the lasso keeps the previous width";
  EXPECT_EQ(s.image->CrPen().PenType, pwLasso);
  s.image->SetCrPen({pwSave, 0, 0, sdSolid});
  EXPECT_TRUE(s.image->CursorImage().isNull()) << "a command has no pointer picture";

  EXPECT_EQ(CursorOffset(pwEr), QPointF(-16, 0));
  EXPECT_EQ(CursorOffset(pwLasso), QPointF(-1, -2));
  EXPECT_EQ(CursorOffset(pwArMk1), QPointF(0, 0));
  EXPECT_FALSE(CursorOffset(pwUndo).has_value());

  // The picture follows the pointer at the pen's offset.
  s.image->SetCrPen({pwEr, 0, 30, sdSolid});
  QEnterEvent enter(QPointF(50, 50), QPointF(50, 50), QPointF(50, 50));
  QCoreApplication::sendEvent(s.image, &enter);
  s.Move({100, 60});
  if (!s.image->CursorImage().isNull()) {
    EXPECT_EQ(s.image->CursorGeometry().topLeft(), QPoint(84, 60));
  }
  s.image->SetCurVisible(false);
  EXPECT_FALSE(s.image->CurVisible());
  EXPECT_TRUE(s.image->CursorGeometry().isEmpty());
}

// Records the region of every paint event of a widget.
class PaintSpy : public QObject {
 public:
  QRegion painted;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
    return false;
  }
};

TEST_F(PWImageTest, RepaintsOnlyWhatAMoveChanged) {
  Surface s(QSize(800, 600));
  s.image->SetCrPen(kRedPen);
  PaintSpy spy;
  s.image->installEventFilter(&spy);
  s.Press({100, 100});
  s.Move({110, 105});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !s.image->FramePending(); }, 1000));
  QCoreApplication::processEvents();
  spy.painted = QRegion();
  s.Move({130, 110});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !spy.painted.isEmpty(); }, 1000));
  EXPECT_LE(spy.painted.boundingRect().width(), 20 + 2 * 10) << "the window repainted more than the move changed";
  EXPECT_LE(spy.painted.boundingRect().height(), 5 + 2 * 10);
  EXPECT_EQ(s.image->grab(QRect(120, 108, 1, 1)).toImage().pixel(0, 0), 0xFFFF0000u);
  s.image->Engine().TakeDirty();
  s.image->Engine().Move(QPointF(140, 115));
  const QRect dirty = s.image->Engine().TakeDirty().boundingRect();
  EXPECT_FALSE(dirty.isEmpty());
  EXPECT_TRUE(dirty.contains(QRect(130, 110, 10, 5)));
  EXPECT_LE(dirty.width(), 10 + 2 * 10);
  EXPECT_LE(dirty.height(), 5 + 2 * 10);
  s.Release({140, 115});
}

// A move shows as soon as the events before it have been handled when the
// last frame went out a quarter of the screen's frame ago or more; moves that
// piled up while the program was busy share one repaint; a move that comes
// sooner after a frame waits for that mark, not longer.
TEST_F(PWImageTest, RepaintsAtOnceOrAtTheQuarterFrameMarkAndOncePerPileOfMoves) {
  Surface s(QSize(800, 600));
  s.image->SetCrPen(kRedPen);
  QElapsedTimer clock;
  clock.start();
  int paints = 0;
  QRegion last;
  qint64 lastAt = 0, previousAt = 0;
  struct Counter : QObject {
    std::function<void(QPaintEvent*)> seen;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) seen(static_cast<QPaintEvent*>(event));
      return false;
    }
  } counter;
  counter.seen = [&](QPaintEvent* event) {
    ++paints;
    last = event->region();
    previousAt = lastAt;
    lastAt = clock.nsecsElapsed();
  };
  s.image->installEventFilter(&counter);
  qreal hz = s.image->screen()->refreshRate();
  if (!(hz >= 1 && hz <= 1000)) hz = 60;
  const qint64 gap = static_cast<qint64>(1e9 / hz / 4);
  s.Press({100, 100});
  QCoreApplication::processEvents();
  // Until the frames asked for so far are out (the toolkit paints one up to
  // a few milliseconds after it is asked) and a quarter frame has passed.
  const qint64 quiet = 2 * std::max<qint64>(gap, 6'000'000);
  do QTest::qWait(1);
  while (clock.nsecsElapsed() - lastAt < quiet);
  paints = 0;
  constexpr int kMoves = 200;
  for (int i = 1; i <= kMoves; ++i) s.Move({100 + i * 3, 100 + (i % 2) * 20});
  EXPECT_EQ(paints, 0) << "nothing is painted while moves are still queued";
  QCoreApplication::processEvents();
  EXPECT_EQ(paints, 1);
  EXPECT_TRUE(last.contains(QPoint(100 + kMoves * 3, 100))) << "the newest move was shown";
  // A move a quarter frame after the last frame is painted before the next one comes.
  for (int i = 1; i <= 3; ++i) {
    QTest::qWait(static_cast<int>(gap / 1000000) + 2);
    paints = 0;
    const QPoint at(100 + kMoves * 3 + i * 20, 140);
    s.Move(at);
    QCoreApplication::processEvents();
    EXPECT_EQ(paints, 1) << "move " << i;
    EXPECT_TRUE(last.contains(at)) << "move " << i;
  }
  // At once after that frame: the move waits for the mark.
  paints = 0;
  const qint64 since = clock.nsecsElapsed() - lastAt;
  const QPoint soon(100 + kMoves * 3 + 80, 160);
  s.Move(soon);
  QCoreApplication::processEvents();
  if (since + 1000000 < gap) {  // else the machine was too slow to tell
    EXPECT_EQ(paints, 0) << "painted " << since / 1000 << " us after the last frame";
    EXPECT_TRUE(s.image->FramePending());
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return paints == 1; }, 1000));
  EXPECT_TRUE(last.contains(soon));
  EXPECT_GE(lastAt - previousAt, gap - 1000000) << "frames closer than a quarter frame";
  QTest::qWait(static_cast<int>(gap / 1000000) + 2);
  paints = 0;
  s.Release({100 + kMoves * 3 + 60, 140});
  QCoreApplication::processEvents();
  EXPECT_GE(paints, 1) << "the stroke's end was shown";
  EXPECT_FALSE(s.image->FramePending());
}

// The pointer picture is the system pointer over the surface, with the
// picture's hot spot where the pen's offset puts the pointer.
TEST_F(PWImageTest, PointerPictureIsTheSystemPointer) {
  struct Case {
    TPWMenuItem pen;
    QSize size;
    QPoint hot;
  };
  const Case cases[] = {
      {{pwPn, 0xFF00FF00, 8, sdSolid}, {32, 60}, {0, 0}},
      {{pwMk, 0xFF0000FF, 8, sdSolid}, {32, 60}, {0, 0}},
      {{pwEr, 0, 30, sdSolid}, {32, 52}, {16, 0}},
      {{pwRbPn, 0, 8, sdSolid}, {32, 60}, {0, 0}},
      {{pwLasso, 0, 8, sdSolid}, {32, 23}, {1, 2}},
  };
  Surface s;
  for (const Case& c : cases) {
    s.image->SetCrPen(c.pen);
    const QCursor pointer = s.image->cursor();
    ASSERT_EQ(pointer.shape(), Qt::BitmapCursor) << c.pen.PenType;
    EXPECT_EQ(pointer.pixmap().size(), c.size) << c.pen.PenType;
    EXPECT_EQ(pointer.hotSpot(), c.hot) << c.pen.PenType;
    if (c.pen.PenType == pwPn || c.pen.PenType == pwMk) {
      EXPECT_EQ(pointer.pixmap().toImage().pixel(10, 19), c.pen.PenColor) << "the colour band";
    }
  }
  // Over a lasso selection the open hand, dragging it the grabbing one.
  s.image->SetCrPen(kRedPen);
  s.Drag({{60, 60}, {120, 60}});
  s.image->SetCrPen({pwLasso, 0, 8, sdSolid});
  s.Drag({{40, 40}, {200, 40}, {200, 100}, {40, 100}, {40, 41}});
  s.Move({90, 60});
  EXPECT_EQ(s.image->cursor().hotSpot(), QPoint(12, 24));
  const QImage open = s.image->cursor().pixmap().toImage();
  s.Press({90, 60});
  EXPECT_EQ(s.image->cursor().hotSpot(), QPoint(12, 24));
  EXPECT_NE(s.image->cursor().pixmap().toImage(), open) << "the grabbing hand";
  s.Release({90, 60});
  // Hidden: no pointer picture at all, and none for a command.
  s.image->SetCurVisible(false);
  EXPECT_EQ(s.image->cursor().shape(), Qt::BlankCursor);
  s.image->SetCurVisible(true);
  EXPECT_EQ(s.image->cursor().shape(), Qt::BitmapCursor);
  s.image->SetCrPen({pwSave, 0, 0, sdSolid});
  EXPECT_EQ(s.image->cursor().shape(), Qt::BlankCursor);
}

}  // namespace
