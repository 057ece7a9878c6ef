#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>

#include "app/MainFrm.h"
#include "app/PaintRect.h"
#include "drawing/PWImage.h"
#include "settings/Settings.h"
#include "tests/app/FormTestSupport.h"
#include "widgets/MetroButton.h"

namespace {

constexpr TPWMenuItem RedDots{pwPn, 0xFFFF0000, 12, sdDot};

class MenuColumnTest : public TFormTest {
 protected:
  void SetUp() override {
    // Factory settings: no file left by an earlier window.
    QFile::remove(SetupFilePath());
    TFormTest::SetUp();
  }
  TMetroButton& Tile(int i) { return *Form->MenuButton[static_cast<std::size_t>(i)]; }
  int VisibleTiles() {
    int n = 0;
    for (TMetroButton* t : Form->MenuButton) n += t && t->isVisible();
    return n;
  }
  TPWMenuItem Pen() { return Form->PWImage->CrPen(); }
  void Click(TPWPenType type) { Form->MenuButtonClick({type}); }
};

TEST_F(MenuColumnTest, LayoutFollowsThePanelHeightAndTheEntryCount) {
  const struct {
    int height, count;       // window height, MenuCount
    int crSetup;             // tiles showing ordinary entries
    QRect close;             // the Close tile
  } cases[] = {
      {1080, 15, 12, {5, 495, 130, 60}},   // all fit, odd: Close alone in row 8
      {480, 15, 9, {75, 355, 60, 60}},     // 6 rows: 9 entries, then the tail
      {1080, 14, 11, {75, 425, 60, 60}},   // even count: Close in the right column
      {1080, 13, 10, {5, 425, 130, 60}},
      {1080, 15, 12, {5, 495, 130, 60}},   // tile 12, wide before, is single again
  };
  Show();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.height) + " high, " + std::to_string(c.count) + " entries");
    MenuCount = c.count;
    MenuItems[static_cast<std::size_t>(c.count - 3)] = {pwLaunch};
    MenuItems[static_cast<std::size_t>(c.count - 2)] = {pwSetup};
    MenuItems[static_cast<std::size_t>(c.count - 1)] = {pwClose};
    Form->resize(1920, c.height);
    Form->MenuPanelResize();
    EXPECT_EQ(Form->CrSetup, c.crSetup);
    EXPECT_EQ(VisibleTiles(), c.crSetup + 3);
    TMetroButton& close = Tile(c.crSetup + 2);
    EXPECT_EQ(close.geometry(), c.close);
    EXPECT_EQ(close.Color(), MetroRed);
    EXPECT_EQ(close.Text(), "Close");
    EXPECT_EQ(Tile(c.crSetup).Text(), "Menu ...");
    EXPECT_EQ(Tile(c.crSetup + 1).Text(), "Setup ...");
    for (int i = 0; i < c.crSetup + 2; ++i)
      EXPECT_EQ(Tile(i).width(), MetroSmallSize) << "tile " << i << " was left wide by an earlier layout";
  }
  // The tile of the Setup entry opens the settings dialog in the short column.
  int opened = 0;
  Form->Dialogs.Setup = [&] { return ++opened, false; };
  QTest::mouseClick(&Tile(Form->CrSetup + 1), Qt::LeftButton, {}, {30, 30});
  EXPECT_EQ(opened, 1);
}

TEST_F(MenuColumnTest, TooShortForThreeTilesShowsNoneYetCommandsWork) {
  Show(1920, 160);
  EXPECT_LT(Form->CrSetup, 0);
  EXPECT_EQ(VisibleTiles(), 0);
  Click(pwMarkIdx);
  EXPECT_EQ(Form->PenIndex, 1);
  EXPECT_EQ(Pen(), StockPens[1]);
}

TEST_F(MenuColumnTest, TilesShowTheirEntryAndWhichToolIsCurrent) {
  Show();
  EXPECT_EQ(Tile(1).Color(), StockPens[1].PenColor) << "a stock pen tile has its pen's colour";
  EXPECT_EQ(Tile(8).Text(), "Eraser");
  EXPECT_EQ(Tile(8).Color(), MetroBlue);
  EXPECT_TRUE(Tile(0).Down()) << "the start pen is stock pen 0";
  EXPECT_FALSE(Tile(1).Down());

  // A pen tile equal to stock pen 2 is down together with the stock tile.
  MenuItems[5] = StockPens[2];
  Form->MenuPanelResize();
  EXPECT_EQ(Tile(5).Text(), "Pen");
  Click(pwMarkIdx);
  Click(pwMarkIdx);
  EXPECT_TRUE(Tile(2).Down());
  EXPECT_TRUE(Tile(5).Down());
  EXPECT_FALSE(Tile(0).Down());

  // Same type, other width: the pen tile is not down; the eraser is by type.
  Form->MenuButtonClick({pwPn, StockPens[2].PenColor, StockPens[2].PenThickness + 1, sdSolid});
  EXPECT_FALSE(Tile(5).Down());
  Click(pwEr);
  EXPECT_TRUE(Tile(8).Down());
  for (int i = Form->CrSetup; i < Form->CrSetup + 3; ++i) EXPECT_FALSE(Tile(i).Down());
}

TEST_F(MenuColumnTest, DispatchOfTools) {
  Show();
  // A pen tile in pass-through mode leaves pass-through on.
  Form->MenuButtonClick(RedDots);
  EXPECT_EQ(Pen(), RedDots);
  EXPECT_FALSE(Form->PWImage->CanWrite());

  // The eraser switches drawing on; a second click returns to the pen before.
  Click(pwEr);
  EXPECT_EQ(Pen().PenType, pwEr);
  EXPECT_TRUE(Form->PWImage->CanWrite());
  Click(pwEr);
  EXPECT_EQ(Pen(), RedDots);

  // Stock pens switch drawing on and leave the previous pen alone; divide
  // wraps from stock pen 9 to 0.
  Form->PWImage->SetCanWrite(false);
  Form->MenuButtonClick({pwMarkPtr, 9});
  EXPECT_EQ(Form->PenIndex, 9);
  EXPECT_EQ(Pen(), StockPens[9]);
  EXPECT_TRUE(Form->PWImage->CanWrite());
  Click(pwMarkIdx);
  EXPECT_EQ(Form->PenIndex, 0);
  EXPECT_EQ(Pen(), StockPens[0]);
  EXPECT_EQ(Form->PrPen, RedDots);

  // Unbound types do nothing.
  const TPWMenuItem before = Pen();
  for (TPWPenType t : {pwWBrd, pwOpen, pwZoom0, pwMove, pwNone}) Click(t);
  EXPECT_EQ(Pen(), before);
  EXPECT_FALSE(Form->isWorking);
}

TEST_F(MenuColumnTest, DialogCommandsRunInsideOneHoldAndPenSetupEditsThePenBeforeTheEraser) {
  Show();
  bool heldDuringDialog = false;
  bool heldAfterNested = false;
  Form->Dialogs.Launcher = [&](const QRect& rect) {
    EXPECT_EQ(rect, Form->geometry());
    heldDuringDialog = Form->isWorking && !Form->Timer1->isActive();
    Form->MenuButtonClick(RedDots);  // the launcher's choice
    heldAfterNested = Form->isWorking && !Form->Timer1->isActive();
  };
  Click(pwLaunch);
  EXPECT_TRUE(heldDuringDialog);
  EXPECT_TRUE(heldAfterNested) << "the inner command lifted the outer one's hold";
  EXPECT_FALSE(Form->isWorking);
  EXPECT_TRUE(Form->Timer1->isActive());
  EXPECT_EQ(Pen(), RedDots);

  Click(pwEr);
  Form->PWImage->SetCanWrite(false);
  TPWMenuItem edited;
  Form->Dialogs.PenSetup = [&](const TPWMenuItem& pen) {
    edited = pen;
    return TPWMenuItem{pwMk, 0xFF00FF00, 20, sdSolid};
  };
  Click(pwPenSetup);
  EXPECT_EQ(edited, RedDots);
  EXPECT_EQ(Pen(), (TPWMenuItem{pwMk, 0xFF00FF00, 20, sdSolid}));
  EXPECT_TRUE(Form->PWImage->CanWrite());

  // A confirmed settings dialog rebuilds the column from the new settings.
  Form->Dialogs.Setup = [] {
    StockPens[0].PenColor = 0xFF00FF00;
    return true;
  };
  Click(pwSetup);
  QTest::qWait(0);
  EXPECT_EQ(Tile(0).Color(), 0xFF00FF00u);
  EXPECT_TRUE(Tile(0).isVisible());
}

TEST_F(MenuColumnTest, ColumnHidesWhenThePointerLeavesForTheDesktopNotForATile) {
  Show();
  const QPoint panel = Form->MenuPanel->geometry().topLeft();
  QTest::mouseMove(Form.get(), panel + QPoint(2, 2));
  QTest::mouseMove(Form.get(), panel + Tile(0).geometry().center());
  EXPECT_TRUE(MetroEntered);
  QTest::qWait(700);
  EXPECT_TRUE(Form->isMenu) << "moving onto a tile kept the column";

  // Not while a command (a dialog) holds the window.
  Form->isWorking = true;
  Form->MenuPanelMouseLeave();
  QTest::qWait(700);
  EXPECT_TRUE(Form->isMenu);
  Form->isWorking = false;

  QTest::mouseMove(Form.get(), panel + QPoint(2, 2));
  QTest::mouseMove(Form.get(), {500, 500});
  QElapsedTimer waited;
  waited.start();
  while (Form->isMenu && waited.elapsed() < 2000) QTest::qWait(10);
  EXPECT_FALSE(Form->isMenu);
  EXPECT_GE(waited.elapsed(), 400);
}

TEST_F(MenuColumnTest, APressWhileDrawingTakesTheKeyboard) {
  Show();
  QTest::mousePress(Form->PWImage, Qt::LeftButton, {}, {100, 100});
  QTest::mouseRelease(Form->PWImage, Qt::LeftButton, {}, {100, 100});
  EXPECT_TRUE(System.Focused.empty()) << "pass-through leaves the keyboard alone";
  Form->PWImage->SetCanWrite(true);
  QTest::mousePress(Form->PWImage, Qt::LeftButton, {}, {100, 100});
  QTest::mouseRelease(Form->PWImage, Qt::LeftButton, {}, {100, 100});
  EXPECT_EQ(System.Focused, std::vector<TNativeWindow>{Form->winId()});
}

}  // namespace
