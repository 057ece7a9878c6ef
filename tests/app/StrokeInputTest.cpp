// Strokes that the window system reads past the toolkit, as the X11 layer
// hands them over: scripted reports through a pipe the program watches.
#include <fcntl.h>
#include <unistd.h>

#include <QDialog>
#include <utility>

#include "FormTestSupport.h"
#include "app/StrokeInput.h"
#include "drawing/PWImage.h"

namespace {

class TScriptedStrokes : public TFakeWindowSystem {
 public:
  TScriptedStrokes() {
    if (pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0) FPipe[0] = FPipe[1] = -1;
  }
  ~TScriptedStrokes() override {
    for (int fd : FPipe)
      if (fd >= 0) close(fd);
  }
  int StrokeInputDescriptor() override { return FPipe[0]; }
  // As the server would: a press with no button held before it starts a
  // grab and is asked about; one refused goes back to the toolkit.
  std::vector<TPointerInput> TakeStrokeInput(const std::function<bool(TNativeWindow)>& accept) override {
    char drain[64];
    while (read(FPipe[0], drain, sizeof drain) > 0) {
    }
    std::vector<TPointerInput> out;
    for (const TPointerInput& in : std::exchange(Queued, {})) {
      if (in.Kind == TPointerInput::Press && Held == 0 && !accept(in.Window)) {
        Refused.push_back(in);
        continue;
      }
      if (in.Kind == TPointerInput::Press) ++Held;
      if (in.Kind == TPointerInput::Release && Held > 0) --Held;
      out.push_back(in);
    }
    return out;
  }
  void Send(const std::vector<TPointerInput>& in) {
    Queued.insert(Queued.end(), in.begin(), in.end());
    ASSERT_EQ(write(FPipe[1], "x", 1), 1);
  }

  std::vector<TPointerInput> Queued;
  std::vector<TPointerInput> Refused;
  int Held = 0;

 private:
  int FPipe[2] = {-1, -1};
};

// Press, the moves through points, release at the last, on window w.
std::vector<TPointerInput> Drag(TNativeWindow w, const std::vector<QPointF>& points, int button = 1) {
  std::vector<TPointerInput> out;
  out.push_back({TPointerInput::Press, w, points.front().x(), points.front().y(), button});
  for (std::size_t i = 1; i < points.size(); ++i)
    out.push_back({TPointerInput::Move, w, points[i].x(), points[i].y(), 0});
  out.push_back({TPointerInput::Release, w, points.back().x(), points.back().y(), button});
  return out;
}

TPolygon Polygon(const std::vector<QPointF>& points) {
  TPolygon out;
  for (const QPointF& p : points) out.push_back({float(p.x()), float(p.y())});
  return out;
}

class StrokeInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TMainFrm>(System);
    Form->resize(800, 600);
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    Window = Form->winId();
  }
  void DrawingOn() {
    Form->WriteRectClick();
    ASSERT_TRUE(Form->PWImage->CanWrite());
  }
  const TPWRecArray& History() const { return Form->PWImage->History(); }

  TScriptedStrokes System;
  std::unique_ptr<TMainFrm> Form;
  TNativeWindow Window = 0;
};

TEST_F(StrokeInputTest, StrokesInOneReadKeepEveryPointAndTheirOrder) {
  DrawingOn();
  std::vector<QPointF> first, second;
  for (int i = 0; i < 60; ++i) first.emplace_back(100.5 + i * 4, 200.25 + (i % 2) * 30);
  for (int i = 0; i < 40; ++i) second.emplace_back(120 + i * 5, 400 - (i % 3) * 12.75);
  // Two whole strokes in one read: each press and release between its moves.
  std::vector<TPointerInput> both = Drag(Window, first);
  const std::vector<TPointerInput> more = Drag(Window, second);
  both.insert(both.end(), more.begin(), more.end());
  System.Focused.clear();
  System.Send(both);
  ASSERT_TRUE(WaitUntil([&] { return History().p() == 1 && !Form->PWImage->isWorking(); }));
  EXPECT_EQ(History().Rec()[0].Points, Polygon(first));
  EXPECT_EQ(History().Rec()[1].Points, Polygon(second));
  // The presses went by the toolkit's own event: the overlay took the keyboard.
  EXPECT_FALSE(System.Focused.empty());
  EXPECT_TRUE(System.Refused.empty());
  // A stroke read in pieces, as reports come while the program draws, is one stroke.
  const std::vector<TPointerInput> third = Drag(Window, {{50, 50}, {60, 55}, {70, 50}, {80, 58}});
  System.Send({third.begin(), third.begin() + 2});
  ASSERT_TRUE(WaitUntil([&] { return Form->PWImage->isWorking(); }));
  System.Send({third.begin() + 2, third.end()});
  ASSERT_TRUE(WaitUntil([&] { return History().p() == 2 && !Form->PWImage->isWorking(); }));
  EXPECT_EQ(History().Rec()[2].Points, Polygon({{50, 50}, {60, 55}, {70, 50}, {80, 58}}));
}

TEST_F(StrokeInputTest, PressesTheToolkitWouldNotDeliverGoBack) {
  // Drawing off: the surface takes no press.
  System.Send(Drag(Window, {{100, 100}, {150, 120}}));
  ASSERT_TRUE(WaitUntil([&] { return System.Refused.size() == 1; }));
  DrawingOn();
  // A modal dialog open over the overlay.
  QDialog dialog(Form.get());
  dialog.setModal(true);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  System.Send(Drag(Window, {{100, 100}, {150, 120}}));
  ASSERT_TRUE(WaitUntil([&] { return System.Refused.size() == 2; }));
  dialog.hide();
  // A window that is none of the program's goes back too; the secondary
  // button is taken but draws nothing.
  System.Send(Drag(Window + 1000, {{100, 100}, {150, 120}}));
  ASSERT_TRUE(WaitUntil([&] { return System.Refused.size() == 3; }));
  System.Send(Drag(Window, {{100, 100}, {150, 120}}, 3));
  QTest::qWait(50);
  EXPECT_EQ(History().p(), -1);
  EXPECT_FALSE(Form->PWImage->isWorking());
  System.Send(Drag(Window, {{100, 100}, {150, 120}}));
  ASSERT_TRUE(WaitUntil([&] { return History().p() == 0; }));
  EXPECT_EQ(System.Refused.size(), 3u);
}

}  // namespace
