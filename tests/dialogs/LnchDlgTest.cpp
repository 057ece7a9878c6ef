#include <QKeyEvent>
#include <optional>
#include <vector>

#include "dialogs/LnchDlg.h"
#include "settings/Settings.h"
#include "tests/dialogs/DialogTestSupport.h"

namespace {

// A launcher table of `count` entries: stock pens and commands, Close last.
void FillLaunchItems(int count) {
  LaunchItems.fill(TPWMenuItem{});
  const TPWPenType kinds[] = {pwSave, pwUndo, pwRedo, pwEraseAll, pwInfo, pwPenSetup, pwLasso};
  for (int i = 0; i < count - 1; ++i)
    LaunchItems[std::size_t(i)] = i % 2 ? TPWMenuItem{kinds[(i / 2) % 7], 0, 0, sdSolid}
                                        : TPWMenuItem{pwMarkPtr, std::uint32_t(i / 2 % 10), 0, sdSolid};
  LaunchItems[std::size_t(count - 1)] = {pwClose, 0, 0, sdSolid};
  LaunchCount = count;
}

class LnchDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DefaultSetup();
    dlg.MenuButtonClick = [this](const TPWMenuItem& item) {
      // Carried out only once the launcher is off the screen.
      EXPECT_FALSE(dlg.isVisible());
      handed.push_back(item);
    };
  }
  void TearDown() override { DefaultSetup(); }

  int TilesOnDialog() const { return int(dlg.findChildren<TMetroButton*>().size()); }

  TLnchDlg dlg;
  std::vector<TPWMenuItem> handed;
};

TEST_F(LnchDlgTest, GridFitsTheEntriesWithCloseAtTheTopRight) {
  struct TCase {
    int count, columns, rows, width, height;
    QPoint close;
  };
  for (const TCase& c : {TCase{2, 1, 2, 150, 140, {85, 5}}, TCase{20, 5, 4, 430, 280, {365, 5}},
                         TCase{21, 5, 5, 430, 350, {365, 5}}, TCase{50, 8, 7, 640, 490, {575, 5}}}) {
    SCOPED_TRACE(c.count);
    const TLaunchGrid grid = LaunchGrid(c.count);
    EXPECT_EQ(grid.Columns, c.columns);
    EXPECT_EQ(grid.Rows, c.rows);

    FillLaunchItems(c.count);
    dlg.Prepare(QRect(0, 0, 1920, 1080));
    EXPECT_EQ(dlg.size(), QSize(c.width, c.height));
    ASSERT_EQ(int(dlg.LnchBtn.size()), c.count);
    ASSERT_EQ(TilesOnDialog(), c.count);
    const TMetroButton* close = dlg.LnchBtn.back();
    EXPECT_EQ(close->geometry(), QRect(c.close, QSize(60, 60)));
    EXPECT_EQ(close->Color(), MetroRed);
    EXPECT_EQ(close->Text(), "Close");
    // The ordinary tiles fill rows of `columns`, left to right.
    const TMetroButton* lastOrdinary = dlg.LnchBtn[std::size_t(c.count - 2)];
    const int i = c.count - 2;
    EXPECT_EQ(lastOrdinary->pos(), QPoint(70 * (i % c.columns) + 5, 70 * (i / c.columns) + 5));
    EXPECT_LE(lastOrdinary->geometry().bottom(), c.height);
  }
}

TEST_F(LnchDlgTest, CentredOverTheWindowWithHalvesToEvenAndNoTilesLeftOver) {
  ASSERT_EQ(LaunchCount, 20);  // factory settings, without the sibling program
  struct TCase {
    QRect window;
    QPoint at;
  };
  // 430 x 280: (1921 - 430) / 2 = 745.5 -> 746, (1083 - 280) / 2 = 401.5 -> 402,
  // (1923 - 430) / 2 = 746.5 -> 746.
  for (const TCase& c : {TCase{{0, 0, 1920, 1080}, {745, 400}}, TCase{{0, 0, 1921, 1083}, {746, 402}},
                         TCase{{100, 10, 1923, 1080}, {846, 410}}}) {
    dlg.Prepare(c.window);
    EXPECT_EQ(dlg.pos(), c.at) << c.window.width();
    EXPECT_EQ(TilesOnDialog(), 20);
  }
  EXPECT_EQ(dlg.LnchBtn[0]->Text(), "Save");
  EXPECT_EQ(dlg.LnchBtn[0]->Color(), MetroBlue);
  EXPECT_EQ(dlg.LnchBtn[8]->Text(), "Pen");  // stock pen 0
  EXPECT_EQ(dlg.LnchBtn[8]->Color(), StockPens[0].PenColor);
}

TEST_F(LnchDlgTest, AChosenEntryIsCarriedOutAfterClosingAndCloseOnlyCloses) {
  FillLaunchItems(21);
  struct TCase {
    const char* name;
    std::function<void()> user;
    std::optional<TPWMenuItem> handed;
  };
  const std::vector<TCase> cases = {
      {"a stock pen", [&] { Click(dlg.LnchBtn[4]); }, LaunchItems[4]},
      {"Save", [&] { Click(dlg.LnchBtn[1]); }, LaunchItems[1]},
      {"Close", [&] { Click(dlg.LnchBtn[20]); }, std::nullopt},
      {"Escape", [&] { QTest::keyClick(&dlg, Qt::Key_Escape); }, std::nullopt},
  };
  ASSERT_EQ(LaunchItems[1].PenType, pwSave);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    handed.clear();
    WhileOpen(dlg, c.user, [&] { dlg.Execute(QRect(0, 0, 1920, 1080)); });
    EXPECT_FALSE(dlg.isVisible());
    if (c.handed) {
      ASSERT_EQ(handed.size(), 1u);
      EXPECT_EQ(handed[0], *c.handed);
    } else {
      EXPECT_TRUE(handed.empty());
    }
  }
}

}  // namespace
