#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <optional>

#include "dialogs/SetupDlg.h"
#include "dialogs/SetupPages.h"
#include "settings/Settings.h"
#include "tests/drawing/QtTestApp.h"

// Each page of the settings dialog works on its own, without the dialog
// around it: it writes the live settings from its controls.

namespace {

class SetupPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DefaultSetup();
    CheckSetup();
  }
  void TearDown() override { DefaultSetup(); }
};

TEST_F(SetupPagesTest, StockPenPageEditsThePenItShows) {
  TStockPenPage page;
  page.ShowStockPen(3);
  EXPECT_EQ(page.StockPenSB->value(), static_cast<int>(StockPens[3].PenThickness));
  page.StockPenSB->setValue(17);
  page.StockPenDashCB->setCurrentIndex(sdDot);
  EXPECT_EQ(StockPens[3].PenThickness, 17.0f);
  EXPECT_EQ(StockPens[3].PenDash, sdDot);
  const TPWMenuItem untouched = StockPens[2];
  page.ColorRectXMouseUp(2);
  EXPECT_EQ(page.PenIndex, 2);
  EXPECT_EQ(StockPens[2], untouched);
}

TEST_F(SetupPagesTest, FilePageTakesTheBrowsedFolderWithOneSeparator) {
  const QString sep = QDir::separator();
  struct TCase {
    const char* Name;
    std::optional<QString> Picked;  // none: the browser was cancelled
    QString Shown;
  };
  const TCase cases[] = {
      {"cancelled", std::nullopt, QStringLiteral("before")},
      {"bare folder", QStringLiteral("pics"), QStringLiteral("pics") + sep},
      {"folder with separator", QStringLiteral("pics") + sep, QStringLiteral("pics") + sep},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TFilePage page;
    page.ImagePathEdit->setText(QStringLiteral("before"));
    QString asked;
    page.Browse = [&](const QString&, QString& path) {
      asked = path;
      if (!c.Picked) return false;
      path = *c.Picked;
      return true;
    };
    page.Button1Click();
    EXPECT_EQ(asked, QStringLiteral("before"));
    EXPECT_EQ(page.ImagePathEdit->text(), c.Shown);
  }
  TFilePage page;
  page.DefaultImageIndex[2]->setChecked(true);
  EXPECT_EQ(ImageTypeDefault, 3);
}

TEST_F(SetupPagesTest, ToolBarPageMovesEveryTileBackToTheLauncher) {
  TToolBarPage page;
  page.CreateLaunchTiles();
  const int offered = LaunchCount - 1;
  ASSERT_GT(MenuCount, 0);
  EXPECT_EQ(page.MenuLB->count(), MenuCount);
  EXPECT_EQ(page.LnchLB->count() + page.MenuLB->count(), offered);
  page.MenuBarBackAllBtn->click();
  EXPECT_EQ(MenuCount, 0);
  EXPECT_EQ(page.MenuLB->count(), 0);
  EXPECT_EQ(page.LnchLB->count(), offered);
  page.ClearLists();
  EXPECT_TRUE(page.LnchBtn.empty());
}

}  // namespace
