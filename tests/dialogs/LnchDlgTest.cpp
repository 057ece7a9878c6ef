#include <vector>

#include "dialogs/LnchDlg.h"
#include "settings/Settings.h"
#include "tests/dialogs/DialogTestSupport.h"

namespace {

// Commands and stock pens, Close last.
void FillLaunchItems(int count) {
  for (int i = 0; i < count - 1; ++i)
    LaunchItems[std::size_t(i)] = i % 2 ? TPWMenuItem{pwSave} : TPWMenuItem{pwMarkPtr, std::uint32_t(i / 2 % 10)};
  LaunchItems[std::size_t(count - 1)] = {pwClose};
  LaunchCount = count;
}

class LnchDlgTest : public ::testing::Test {
 protected:
  void TearDown() override { DefaultSetup(); }
  TLnchDlg dlg;
};

TEST_F(LnchDlgTest, GridFitsTheCountWithCloseTopRightAndNoTilesLeftOver) {
  struct TCase {
    int count, columns, rows, width, height, closeX;
    QPoint at;  // over a 1921 x 1083 window: halves to even
  };
  for (const TCase& c : {TCase{21, 5, 5, 430, 350, 365, {746, 366}}, TCase{2, 1, 2, 150, 140, 85, {886, 472}},
                         TCase{50, 8, 7, 640, 490, 575, {640, 296}}, TCase{20, 5, 4, 430, 280, 365, {746, 402}}}) {
    SCOPED_TRACE(c.count);
    EXPECT_EQ(LaunchGrid(c.count).Columns, c.columns);
    EXPECT_EQ(LaunchGrid(c.count).Rows, c.rows);
    FillLaunchItems(c.count);
    dlg.Prepare(QRect(0, 0, 1921, 1083));
    EXPECT_EQ(dlg.geometry(), QRect(c.at, QSize(c.width, c.height)));
    EXPECT_EQ(dlg.findChildren<TMetroButton*>().size(), qsizetype(c.count));
    EXPECT_EQ(dlg.LnchBtn.back()->geometry(), QRect(c.closeX, 5, 60, 60));
    EXPECT_EQ(dlg.LnchBtn.back()->Color(), MetroRed);
    const int i = c.count - 2;  // the last ordinary tile
    EXPECT_EQ(dlg.LnchBtn[std::size_t(i)]->pos(), QPoint(70 * (i % c.columns) + 5, 70 * (i / c.columns) + 5));
  }
}

TEST_F(LnchDlgTest, AChoiceIsCarriedOutOnceClosedAndCloseOnlyCloses) {
  FillLaunchItems(21);
  std::vector<TPWMenuItem> handed;
  dlg.MenuButtonClick = [&](const TPWMenuItem& item) {
    EXPECT_FALSE(dlg.isVisible());
    handed.push_back(item);
  };
  // Escape after a choice: the earlier opening's choice is not carried out again.
  const std::function<void()> choices[] = {[&] { Click(dlg.LnchBtn[4]); },
                                           [&] { QTest::keyClick(&dlg, Qt::Key_Escape); },
                                           [&] { Click(dlg.LnchBtn[20]); }};
  for (const auto& choose : choices) WhileOpen(dlg, choose, [&] { dlg.Execute(QRect(0, 0, 1920, 1080)); });
  EXPECT_EQ(handed, std::vector<TPWMenuItem>{LaunchItems[4]});
}

}  // namespace
