#include <set>
#include <vector>

#include "dialogs/PenSetupDlg.h"
#include "settings/Settings.h"
#include "tests/dialogs/DialogTestSupport.h"

namespace {

using TDown = std::set<int>;

template <std::size_t N>
TDown DownOf(const std::array<TMetroButton*, N>& group) {
  TDown down;
  for (std::size_t i = 0; i < N; ++i)
    if (group[i]->Down()) down.insert(int(i));
  return down;
}

class PenSetupDlgTest : public ::testing::Test {
 protected:
  void SetUp() override { DefaultSetup(); }
  void TearDown() override { DefaultSetup(); }
  TPenSetupDlg dlg;
};

// A pen the dialog opens on, the tiles the user then clicks, the pen it ends
// with and the tiles down in each group.
TEST_F(PenSetupDlgTest, DownTilesFollowThePenThroughEveryGroup) {
  struct TCase {
    const char* name;
    TPWMenuItem pen;
    std::vector<TMetroButton*> clicks;
    TPWMenuItem edited;
    TDown type, color, width, dash, stock;
  };
  const TPWMenuItem black8{pwPn, 0xFF000000, 8, sdSolid};  // factory stock pen 0
  const std::vector<TCase> cases = {
      {"width 8 is no preset but stock pen 0", black8, {}, black8, {0}, {0}, {}, {0}, {0}},
      {"a rainbow pen shows no colour", {pwRbPn, 0xFFFF0000, 10, sdDot}, {}, {pwRbPn, 0xFFFF0000, 10, sdDot},
       {1}, {}, {1}, {2}, {}},
      {"a colour chosen under a rainbow type shows with a plain one", {pwRbMk, 0xFF000000, 20, sdSolid},
       {dlg.PenCBtn[4], dlg.PenTBtn[2]}, {pwMk, 0xFFFF0000, 20, sdSolid}, {2}, {4}, {2}, {0}, {}},
      {"a marker arrow keeps its type through a colour", {pwArMk0, 0xFF000000, 10, sdSolid}, {dlg.PenCBtn[1]},
       {pwArMk0, 0xFF0000FF, 10, sdSolid}, {}, {1}, {1}, {0}, {}},
      {"stock tile 5 takes the black dashed pen whole", {pwArPn1, 0xFFFF0000, 40, sdDot}, {dlg.PenSBtn[5]},
       {pwPn, 0xFF000000, 8, sdDash}, {0}, {0}, {}, {1}, {5}},
      {"width, dash and type edit one field each", black8, {dlg.PenWBtn[4], dlg.PenDBtn[3], dlg.PenTBtn[5]},
       {pwArPn1, 0xFF000000, 60, sdDashDot}, {5}, {0}, {4}, {3}, {}},
  };
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    dlg.Prepare(c.pen);
    for (TMetroButton* tile : c.clicks) Click(tile);
    EXPECT_EQ(dlg.PenItem, c.edited);
    EXPECT_EQ(DownOf(dlg.PenTBtn), c.type);
    EXPECT_EQ(DownOf(dlg.PenCBtn), c.color);
    EXPECT_EQ(DownOf(dlg.PenWBtn), c.width);
    EXPECT_EQ(DownOf(dlg.PenDBtn), c.dash);
    EXPECT_EQ(DownOf(dlg.PenSBtn), c.stock);
  }
}

TEST_F(PenSetupDlgTest, CancelReturnsThePenGivenWhateverTilesWereClicked) {
  const TPWMenuItem given{pwMk, 0xFF00FF00, 20, sdDot};
  for (TMetroButton* finish : {dlg.CancelButton, dlg.OKButton}) {
    TPWMenuItem result;
    WhileOpen(
        dlg, [&] { for (TMetroButton* t : {dlg.PenSBtn[5], dlg.PenTBtn[2], dlg.PenTBtn[0], finish}) Click(t); },
        [&] { result = dlg.Execute(given); });
    EXPECT_EQ(result, finish == dlg.OKButton ? StockPens[5] : given);
  }
}

TEST_F(PenSetupDlgTest, RefilledFromTheSettingsAtEveryOpeningAndCentredWithHalvesToEven) {
  dlg.Prepare(StockPens[0]);
  PresetColor[0] = 0xFF12AB34;
  PresetThickness = {2, 2.5, 3.5, 8, 60};
  StockPens[3] = {pwRbPn, 0xFFFF0000, 10, sdSolid};  // was a cyan marker
  QWidget main;
  main.setGeometry(100, 50, 1921, 1081);
  TPenSetupDlg centred(&main);
  for (TPenSetupDlg* d : {&dlg, &centred}) d->Prepare({pwPn, 0xFF12AB34, 2.5, sdSolid});

  EXPECT_EQ(dlg.PenCBtn[0]->Text(), "#12AB34");
  EXPECT_EQ(DownOf(dlg.PenCBtn), TDown{0});
  // Shown rounded half to even, marked only by the exact width.
  EXPECT_EQ(dlg.PenWBtn[1]->Text(), "2px");
  EXPECT_EQ(dlg.PenWBtn[2]->Text(), "4px");
  EXPECT_EQ(DownOf(dlg.PenWBtn), TDown{1});
  // The rainbow pen shows on the default blue, not on the colour before.
  EXPECT_EQ(dlg.PenSBtn[3]->Color(), MetroBlue);
  // (1921 - 680) / 2 = 620.5 and (1081 - 430) / 2 = 325.5.
  EXPECT_EQ(centred.geometry(), QRect(100 + 620, 50 + 326, 680, 430));
  // The thinnest dot is still two pixels across.
  const QImage dot = WidthDotIcon(2);
  int across = 0;
  for (int x = 0; x < 30; ++x) across += qAlpha(dot.pixel(x, 15)) > 127;
  EXPECT_EQ(across, 2);
}

}  // namespace
