#include <QKeyEvent>
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

enum TGroup { gType, gColor, gWidth, gDash, gStock };

class PenSetupDlgTest : public ::testing::Test {
 protected:
  void SetUp() override { DefaultSetup(); }
  void TearDown() override { DefaultSetup(); }

  TMetroButton* Tile(TGroup group, int i) {
    switch (group) {
      case gType: return dlg.PenTBtn[i];
      case gColor: return dlg.PenCBtn[i];
      case gWidth: return dlg.PenWBtn[i];
      case gDash: return dlg.PenDBtn[i];
      case gStock: return dlg.PenSBtn[i];
    }
    return nullptr;
  }

  TPenSetupDlg dlg;
};

// A pen as the dialog opens on it, then tiles the user clicks: which tiles
// of each group show down, and the pen the dialog now holds.
struct TDownCase {
  const char* name;
  TPWMenuItem pen;
  std::vector<std::pair<TGroup, int>> clicks;
  TPWMenuItem edited;
  TDown type, color, width, dash, stock;
};

TEST_F(PenSetupDlgTest, DownTilesFollowThePenThroughEveryTile) {
  const TPWMenuItem black8{pwPn, 0xFF000000, 8, sdSolid};  // factory stock pen 0
  const std::vector<TDownCase> cases = {
      {"width 8 is no preset, but is stock pen 0", black8, {}, black8, {0}, {0}, {}, {0}, {0}},
      {"a rainbow pen shows no colour", {pwRbPn, 0xFFFF0000, 10, sdDot}, {},
       {pwRbPn, 0xFFFF0000, 10, sdDot}, {1}, {}, {1}, {2}, {}},
      {"a colour chosen under a rainbow type is kept and shows with a plain type",
       {pwRbMk, 0xFF000000, 20, sdSolid}, {{gColor, 4}, {gType, 2}},
       {pwMk, 0xFFFF0000, 20, sdSolid}, {2}, {4}, {2}, {0}, {}},
      {"a marker arrow has no type tile and keeps its type through a colour",
       {pwArMk0, 0xFF000000, 10, sdSolid}, {{gColor, 1}},
       {pwArMk0, 0xFF0000FF, 10, sdSolid}, {}, {1}, {1}, {0}, {}},
      {"stock tile 5 takes the black dashed pen whole", {pwArPn1, 0xFFFF0000, 40, sdDot}, {{gStock, 5}},
       {pwPn, 0xFF000000, 8, sdDash}, {0}, {0}, {}, {1}, {5}},
      {"width, dash and type tiles edit one field each", black8, {{gWidth, 4}, {gDash, 3}, {gType, 5}},
       {pwArPn1, 0xFF000000, 60, sdDashDot}, {5}, {0}, {4}, {3}, {}},
      {"editing back to a stock pen marks it again", {pwPn, 0xFF0000FF, 10, sdSolid}, {{gColor, 4}, {gStock, 0}, {gColor, 4}},
       {pwPn, 0xFFFF0000, 8, sdSolid}, {0}, {4}, {}, {0}, {1}},
  };
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  for (const TDownCase& c : cases) {
    SCOPED_TRACE(c.name);
    dlg.Prepare(c.pen);
    for (auto [group, i] : c.clicks) Click(Tile(group, i));
    EXPECT_EQ(dlg.PenItem, c.edited);
    EXPECT_EQ(DownOf(dlg.PenTBtn), c.type);
    EXPECT_EQ(DownOf(dlg.PenCBtn), c.color);
    EXPECT_EQ(DownOf(dlg.PenWBtn), c.width);
    EXPECT_EQ(DownOf(dlg.PenDBtn), c.dash);
    EXPECT_EQ(DownOf(dlg.PenSBtn), c.stock);
  }
}

// How the user leaves the dialog after editing, and whether the edit counts.
TEST_F(PenSetupDlgTest, OnlyOKAndEnterReturnTheEditedPen) {
  const TPWMenuItem given{pwMk, 0xFF00FF00, 20, sdDot};
  const TPWMenuItem edited{pwPn, 0xFF000000, 8, sdDash};  // stock tile 5, then back to a plain pen
  struct TCase {
    const char* name;
    std::function<void()> finish;
    TPWMenuItem result;
  };
  const std::vector<TCase> cases = {
      {"Cancel tile", [&] { Click(dlg.CancelButton); }, given},
      {"Escape", [&] { QTest::keyClick(&dlg, Qt::Key_Escape); }, given},
      {"OK tile", [&] { Click(dlg.OKButton); }, edited},
      {"Enter", [&] { QTest::keyClick(&dlg, Qt::Key_Return); }, edited},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TPWMenuItem result;
    WhileOpen(
        dlg,
        [&] {
          Click(dlg.PenSBtn[5]);
          Click(dlg.PenTBtn[2]);
          Click(dlg.PenTBtn[0]);
          c.finish();
        },
        [&] { result = dlg.Execute(given); });
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(result, c.result);
  }
}

TEST_F(PenSetupDlgTest, TilesAreRefilledFromTheSettingsAtEveryOpening) {
  dlg.Prepare(StockPens[0]);
  ASSERT_EQ(dlg.PenSBtn[3]->Color(), StockPens[3].PenColor);
  PresetColor[0] = 0xFF12AB34;
  PresetThickness = {2, 2.5, 3.5, 8, 60};
  StockPens[3] = {pwRbPn, 0xFFFF0000, 10, sdSolid};
  dlg.Prepare({pwPn, 0xFF12AB34, 2.5, sdSolid});

  EXPECT_EQ(dlg.PenCBtn[0]->Text(), "#12AB34");
  EXPECT_EQ(dlg.PenCBtn[0]->Color(), 0xFF12AB34u);
  EXPECT_EQ(DownOf(dlg.PenCBtn), TDown{0});
  // Rounded half to even, as shown; marked only by the exact width.
  EXPECT_EQ(dlg.PenWBtn[0]->Text(), "2px");
  EXPECT_EQ(dlg.PenWBtn[1]->Text(), "2px");
  EXPECT_EQ(dlg.PenWBtn[2]->Text(), "4px");
  EXPECT_EQ(dlg.PenWBtn[4]->Text(), "60px");
  EXPECT_EQ(DownOf(dlg.PenWBtn), TDown{1});
  // The rainbow pen now in slot 3 shows on the default blue, not on the
  // colour of the pen the tile showed before.
  EXPECT_EQ(dlg.PenSBtn[3]->Text(), "Pen");
  EXPECT_EQ(dlg.PenSBtn[3]->Color(), MetroBlue);
  EXPECT_EQ(dlg.PenSBtn[4]->Color(), StockPens[4].PenColor);
}

// The drawn icons: a dot that grows with the width, never smaller than a
// pixel's radius, and a line broken by its dash.
TEST(PenSetupIcons, DotsGrowWithTheWidthAndLinesShowTheirDash) {
  const auto opaqueAcross = [](const QImage& icon, int y) {
    int n = 0;
    for (int x = 0; x < icon.width(); ++x) n += qAlpha(icon.pixel(x, y)) > 127;
    return n;
  };
  struct TDot {
    float width;
    int across;  // opaque pixels along the middle row
  };
  for (const TDot& d : {TDot{2, 2}, TDot{1, 2}, TDot{20, 10}, TDot{60, 30}}) {
    SCOPED_TRACE(d.width);
    const QImage dot = WidthDotIcon(d.width);
    ASSERT_EQ(dot.size(), QSize(30, 30));
    EXPECT_NEAR(opaqueAcross(dot, 15), d.across, 1);
    EXPECT_EQ(qAlpha(dot.pixel(0, 0)), 0);
  }
  const int solid = opaqueAcross(DashLineIcon(sdSolid), 15);
  EXPECT_EQ(solid, 30);
  EXPECT_EQ(opaqueAcross(DashLineIcon(sdSolid), 5), 0);
  int previous = solid;
  for (TStrokeDash dash : {sdDash, sdDashDot, sdDot}) {
    const int covered = opaqueAcross(DashLineIcon(dash), 15);
    EXPECT_GT(covered, 0) << int(dash);
    EXPECT_LT(covered, previous) << int(dash);
    previous = covered;
  }
  EXPECT_EQ(WidthText(2.5f), "2px");
  EXPECT_EQ(WidthText(3.5f), "4px");
}

TEST_F(PenSetupDlgTest, LaidOutInItsGroupsAndCentredOnTheMainWindow) {
  QWidget main;
  main.setGeometry(100, 50, 1921, 1081);
  TPenSetupDlg centred(&main);
  centred.Prepare(StockPens[0]);
  EXPECT_EQ(centred.size(), QSize(680, 350));
  // (1921 - 680) / 2 = 620.5 and (1081 - 350) / 2 = 365.5, both to even.
  EXPECT_EQ(centred.pos(), QPoint(100 + 620, 50 + 366));

  dlg.Prepare(StockPens[0]);

  struct TAt {
    TGroup group;
    int i;
    QPoint at;
    const char* text;
  };
  for (const TAt& t : {TAt{gType, 0, {5, 75}, "Pen"}, TAt{gType, 5, {75, 215}, "Arrow Both"},
                       TAt{gColor, 9, {225, 285}, "#B865CC"}, TAt{gWidth, 4, {305, 285}, "60px"},
                       TAt{gDash, 4, {385, 285}, "DashDot2"}, TAt{gStock, 0, {465, 5}, "Pen"},
                       TAt{gStock, 9, {535, 285}, "Arrow Both"}}) {
    TMetroButton* tile = Tile(t.group, t.i);
    EXPECT_EQ(tile->geometry(), QRect(t.at, QSize(60, 60))) << t.group << " " << t.i;
    EXPECT_EQ(tile->Text(), QString::fromLatin1(t.text)) << t.group << " " << t.i;
  }
  EXPECT_EQ(dlg.OKButton->geometry(), QRect(615, 5, 60, 60));
  EXPECT_EQ(dlg.OKButton->Color(), MetroGreen);
  EXPECT_EQ(dlg.CancelButton->geometry(), QRect(615, 75, 60, 60));
  EXPECT_EQ(dlg.CancelButton->Color(), MetroRed);
  EXPECT_EQ(dlg.SampleRectangle->geometry(), QRect(5, 5, 130, 60));
}

}  // namespace
