#include <gtest/gtest.h>

// Mouse events go through the window system layer, as real ones do.
#define QTEST_QPA_MOUSE_HANDLING
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeySequenceEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "dialogs/ColorQuad.h"
#include "dialogs/SetupDlg.h"
#include "settings/Settings.h"
#include "tests/drawing/QtTestApp.h"
#include "widgets/MetroButton.h"

namespace {

// Every setting the dialog edits, for comparing before and after.
struct TAll {
  std::vector<TPWMenuItem> Column;
  std::array<TPWMenuItem, StockPenCount> Pens;
  std::array<TAlphaColor, PresetColorCount> Colors;
  std::array<float, PresetThicknessCount> Widths;
  int Type, Quality;
  QString Path;
  bool Smoothing, Pressure, AllScreens;
  std::array<QString, HotKeyCount> Keys;

  static TAll Now() {
    return {{MenuItems.begin(), MenuItems.begin() + MenuCount},
            StockPens,
            PresetColor,
            PresetThickness,
            ImageTypeDefault,
            ImageJPEGQuality,
            ImagePathDefault,
            isSmoothing,
            isPressure,
            isAllScreens,
            HotKeys};
  }
  // Names the settings that differ, so that a failure says which.
  QString Diff(const TAll& o) const {
    QStringList d;
    if (Column != o.Column) d << QStringLiteral("column");
    if (Pens != o.Pens) d << QStringLiteral("stock pens");
    if (Colors != o.Colors) d << QStringLiteral("preset colours");
    if (Widths != o.Widths) d << QStringLiteral("preset widths");
    if (Type != o.Type || Quality != o.Quality) d << QStringLiteral("format");
    if (Path != o.Path) d << QStringLiteral("folder ") + Path + QStringLiteral(" / ") + o.Path;
    if (Smoothing != o.Smoothing || Pressure != o.Pressure || AllScreens != o.AllScreens)
      d << QStringLiteral("switches");
    if (Keys != o.Keys) d << QStringLiteral("shortcuts");
    return d.join(u',');
  }
};

std::vector<TPWPenType> Types(const std::vector<TPWMenuItem>& items) {
  std::vector<TPWPenType> t;
  for (const TPWMenuItem& i : items) t.push_back(i.PenType == pwMarkPtr ? TPWPenType(100 + MarkIndex(i)) : i.PenType);
  return t;
}
// A stock-pen tile, told apart from other entries by its index.
constexpr TPWPenType Mark(int i) { return TPWPenType(100 + i); }
const std::vector<TPWPenType> kTail = {pwLaunch, pwSetup, pwClose};
const std::vector<TPWPenType> kFactoryRight = {Mark(0), Mark(1), Mark(2), Mark(3),    Mark(4), pwPenSetup,
                                               pwUndo,  pwRedo,  pwEr,    pwEraseAll, pwSave,  pwInfo};

class SetupDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FSetupDir.isValid() && FProgramDir.isValid() && FPictures.isValid());
    SetSetupFolderOverride(FSetupDir.path());
    SetProgramFolderOverride(FProgramDir.path());
    DefaultSetup();
    CheckSetup();
    ImagePathDefault = Folder(FPictures.path());
    dlg = std::make_unique<TSetupDlg>();
  }
  void TearDown() override {
    dlg.reset();
    SetSetupFolderOverride({});
    SetProgramFolderOverride({});
  }
  static QString Folder(const QString& path) { return QDir::toNativeSeparators(path) + QDir::separator(); }
  void PlaceSibling() {
    QFile f(FProgramDir.filePath(QStringLiteral("KORIVAN_WBD")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    DefaultSetup();
    CheckSetup();
  }

  // Opens the dialog, does what the user does, then leaves it.
  bool Run(const std::function<void(TSetupDlg&)>& edits, const std::function<void()>& leave = {}) {
    QTimer::singleShot(0, dlg.get(), [&] {
      [&] {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        edits(*dlg);
      }();
      if (!dlg->isVisible()) return;
      if (leave)
        leave();
      else
        Click(dlg->BtnOK);
    });
    return dlg->Execute();
  }
  void Cancel() { Click(dlg->BtnCancel); }

  static void Click(QWidget* w, QPoint at = {}) {
    QTest::mouseClick(w, Qt::LeftButton, {}, at.isNull() ? w->rect().center() : at);
  }
  void Page(QWidget* page) { dlg->TabControl1->setCurrentWidget(page); }
  // Clicks a list item, which toggles its selection.
  static void Pick(QListWidget* list, int row) {
    // The factory launcher fills more than the list shows: scrolled to, as a user would.
    list->scrollToItem(list->item(row));
    Click(list->viewport(), list->visualItemRect(list->item(row)).center());
  }
  // A chord typed into a shortcut field, which takes keys through its inner line.
  static void Chord(QKeySequenceEdit* edit, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    edit->setFocus();
    QTest::keyClick(edit->focusProxy() ? edit->focusProxy() : edit, key, modifiers);
  }
  static void Type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  // What a list shows: the entry behind each item, by its Tag.
  static std::vector<TPWMenuItem> Shown(QListWidget* list, bool right) {
    std::vector<TPWMenuItem> items;
    for (int row = 0; row < list->count(); ++row) {
      const int tag = list->item(row)->data(Qt::UserRole).toInt();
      items.push_back(right ? MenuItems[size_t(tag)] : LaunchItems[size_t(tag)]);
      // The tile in the item is the one of that entry.
      auto* tile = list->itemWidget(list->item(row))->findChild<TMetroButton*>();
      EXPECT_TRUE(tile && SameEntry(LaunchItems[size_t(tile->Tag)], items.back())) << "row " << row;
      if (right) {
        EXPECT_EQ(tag, row);
      }
    }
    return items;
  }
  static std::vector<TPWPenType> Body() {
    auto t = Types(TAll::Now().Column);
    EXPECT_TRUE(t.size() >= 3 && std::vector<TPWPenType>(t.end() - 3, t.end()) == kTail);
    t.resize(t.size() - 3);
    return t;
  }

  QTemporaryDir FSetupDir, FProgramDir, FPictures;
  std::unique_ptr<TSetupDlg> dlg;
};

TEST_F(SetupDlgTest, ParsesTypedColours) {
  const std::pair<const char*, TAlphaColor> cases[] = {
      {"ff8000", 0xFFFF8000}, {"zz", 0xFFFFFFFF},       {"FFFFFFFF", 0xFF000000},  {"00ff00", 0xFF00FF00},
      {"", 0xFFFFFFFF},       {"7FFFFFFF", 0xFFFFFFFF}, {"123456789", 0xFFFFFFFF}, {"0x12", 0xFFFFFFFF},
  };
  for (const auto& [text, color] : cases) EXPECT_EQ(ParseColorText(QString::fromLatin1(text)), color) << text;
}

// Every kind of edit, each undone by Cancel, Escape or closing the window.
TEST_F(SetupDlgTest, LeavingWithoutOkRestoresEverySetting) {
  StockPens[0].PenColor = 0xFF123456;
  MenuCount = 9;
  PresetColor[0] = 0xFF654321;
  ImageTypeDefault = 3;
  isSmoothing = false;
  HotKeys[hkSave] = QStringLiteral("Meta+F9");
  CheckSetup();
  const TAll before = TAll::Now();
  const std::function<void(TSetupDlg&)> edits[] = {
      [&](TSetupDlg& d) {
        Type(d.StockPenColorEdit, QStringLiteral("ff8000"));
        Click(d.StockPenColorBtn);
        d.StockPenTypeCB->setCurrentIndex(2);
        d.StockPenSB->setValue(33);
        d.StockPenDashCB->setCurrentIndex(3);
        Click(d.StockPenColorQD, {10, 10});
      },
      [&](TSetupDlg& d) {
        Page(d.TabItem2);
        Pick(d.LnchLB, 0);
        Click(d.MenuBarAdd);
        Pick(d.MenuLB, 1);
        Click(d.MenuBarBack);
      },
      [&](TSetupDlg& d) {
        Page(d.TabItem2);
        Click(d.MenuBarBackAllBtn);
      },
      [&](TSetupDlg& d) {
        Page(d.TabItem5);
        Click(d.PenColorRect[4]);
        Click(d.PenColorQD, {100, 40});
        d.PenThicknessSB[2]->setValue(7);
      },
      [&](TSetupDlg& d) {
        Page(d.TabItem3);
        Click(d.DefaultImageIndex[1]);
        Type(d.ImagePathEdit, QStringLiteral("/"));
        Page(d.TabItem4);
        Click(d.PenSmoothing);
        Click(d.PenPressure);
        Chord(d.HotKeyEdit[hkToggle], Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
        Click(d.HotKeyClear[hkSave]);
      },
      [&](TSetupDlg& d) {
        Page(d.TabItem4);
        Click(d.AllScreens);
      },
      [&](TSetupDlg& d) { Click(d.BtnDefault); },
  };
  const std::function<void()> leaves[] = {
      [&] { Cancel(); },
      [&] { QTest::keyClick(dlg.get(), Qt::Key_Escape); },
      [&] { dlg->close(); },
  };
  for (const auto& leave : leaves)
    for (size_t e = 0; e < std::size(edits); ++e) {
      bool changed = false;
      EXPECT_FALSE(Run(
          [&](TSetupDlg& d) {
            edits[e](d);
            changed = !TAll::Now().Diff(before).isEmpty();
          },
          leave));
      EXPECT_TRUE(changed) << "edit " << e << " changed nothing";
      EXPECT_EQ(TAll::Now().Diff(before), QString()) << "edit " << e;
    }
}

TEST_F(SetupDlgTest, DefaultThenOkGivesTheFactorySettings) {
  DefaultSetup();
  CheckSetup();
  const TAll factory = TAll::Now();
  StockPens[3] = {pwRbPn, 0xFF00FF00, 30, sdDot};
  MenuCount = 5;
  PresetThickness[0] = 9;
  ImageJPEGQuality = 50;
  ImagePathDefault = Folder(FPictures.path());
  CheckSetup();
  // Enter is OK as well.
  EXPECT_TRUE(Run([](TSetupDlg& d) { Click(d.BtnDefault); }, [&] { QTest::keyClick(dlg.get(), Qt::Key_Return); }));
  EXPECT_EQ(TAll::Now().Diff(factory), QString());
  EXPECT_EQ(MenuCount, 15);
}

TEST_F(SetupDlgTest, FactoryListsWithAndWithoutTheSibling) {
  const std::vector<TPWPenType> left = {pwSaveAs, pwLasso,   Mark(5),   Mark(6),     Mark(7),
                                        Mark(8),  Mark(9),   pwLine,    pwLineMk,    pwRect,
                                        pwRectMk, pwEllipse, pwEllipseMk, pwText,    pwStep,
                                        pwSpotlight, pwLaser};
  for (bool sibling : {false, true}) {
    if (sibling) PlaceSibling();
    Run([&](TSetupDlg& d) {
      Page(d.TabItem2);
      EXPECT_EQ(Types(Shown(d.MenuLB, true)), kFactoryRight);
      auto expected = left;
      if (sibling) expected.push_back(pwApp);
      EXPECT_EQ(Types(Shown(d.LnchLB, false)), expected);
    });
  }
}

TEST_F(SetupDlgTest, AddKeepsLeftListOrderAtTheEndOrBeforeTheFirstSelected) {
  struct Case {
    std::vector<int> rightSelected;
    std::vector<TPWPenType> body;
  };
  const Case cases[] = {
      {{},
       {Mark(0), Mark(1), Mark(2), Mark(3), Mark(4), pwPenSetup, pwUndo, pwRedo, pwEr, pwEraseAll, pwSave, pwInfo,
        pwSaveAs, Mark(5)}},
      {{6, 2},
       {Mark(0), Mark(1), pwSaveAs, Mark(5), Mark(2), Mark(3), Mark(4), pwPenSetup, pwUndo, pwRedo, pwEr, pwEraseAll,
        pwSave, pwInfo}},
  };
  for (const Case& c : cases) {
    DefaultSetup();
    CheckSetup();
    EXPECT_TRUE(Run([&](TSetupDlg& d) {
      Page(d.TabItem2);
      for (int row : c.rightSelected) Pick(d.MenuLB, row);
      Pick(d.LnchLB, 2);  // stock pen 5, picked before Save As
      Pick(d.LnchLB, 0);
      Click(d.MenuBarAdd);
      EXPECT_EQ(d.LnchLB->count(), 15);
    }));
    EXPECT_EQ(Body(), c.body);
  }
}

// The column keeps at most 19 tiles before its tail, so the right list
// offers no more: what it shows is what OK keeps.
TEST_F(SetupDlgTest, AddStopsAtWhatTheColumnCanHold) {
  PlaceSibling();
  std::vector<TPWPenType> shown;
  EXPECT_TRUE(Run([&](TSetupDlg& d) {
    Page(d.TabItem2);
    for (int row = 0; row < d.LnchLB->count(); ++row) Pick(d.LnchLB, row);
    Click(d.MenuBarAdd);
    ASSERT_EQ(d.MenuLB->count(), MenuBodyCapacity);
    // The first ones picked go in, the last stays out.
    ASSERT_EQ(Types(Shown(d.LnchLB, false)), (std::vector<TPWPenType>{pwLine, pwLineMk, pwRect, pwRectMk, pwEllipse,
                                                                       pwEllipseMk, pwText, pwStep, pwSpotlight,
                                                                       pwLaser, pwApp}));
    Pick(d.LnchLB, 0);
    Click(d.MenuBarAdd);
    EXPECT_EQ(d.MenuLB->count(), MenuBodyCapacity);
    shown = Types(Shown(d.MenuLB, true));
  }));
  EXPECT_EQ(Body(), shown);
}

TEST_F(SetupDlgTest, BackRemovesEverySelectedAndBackAllLeavesTheTail) {
  EXPECT_TRUE(Run([&](TSetupDlg& d) {
    Page(d.TabItem2);
    for (int row : {5, 0, 11}) Pick(d.MenuLB, row);
    Click(d.MenuBarBack);
    EXPECT_EQ(Types(Shown(d.MenuLB, true)),
              (std::vector<TPWPenType>{Mark(1), Mark(2), Mark(3), Mark(4), pwUndo, pwRedo, pwEr, pwEraseAll, pwSave}));
    EXPECT_EQ(d.LnchLB->count(), 20);
  }));
  EXPECT_EQ(Body().size(), 9u);
  EXPECT_TRUE(Run([&](TSetupDlg& d) {
    Page(d.TabItem2);
    Click(d.MenuBarBackAllBtn);
    EXPECT_EQ(d.MenuLB->count(), 0);
    EXPECT_EQ(d.LnchLB->count(), 29);
  }));
  EXPECT_EQ(Body(), std::vector<TPWPenType>{});
}

TEST_F(SetupDlgTest, DraggingExchangesTilesAndEntries) {
  const auto drag = [](QListWidget* list, int from, int to) {
    const QPoint a = list->visualItemRect(list->item(from)).center();
    const QPoint b = list->visualItemRect(list->item(to)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, a);
    QTest::mouseMove(list->viewport(), (a + b) / 2);
    QTest::mouseMove(list->viewport(), b);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, b);
  };
  EXPECT_TRUE(Run([&](TSetupDlg& d) {
    Page(d.TabItem2);
    drag(d.MenuLB, 0, 2);
    drag(d.MenuLB, 2, 1);
    // Shown checks every tile against the entry at its position.
    EXPECT_EQ(Types(Shown(d.MenuLB, true)).front(), Mark(2));
  }));
  auto expected = kFactoryRight;
  expected[0] = Mark(2);
  expected[1] = Mark(0);
  expected[2] = Mark(1);
  EXPECT_EQ(Body(), expected);
}

TEST_F(SetupDlgTest, PressureIsOffAgainAtTheNextOpening) {
  EXPECT_TRUE(Run([&](TSetupDlg& d) {
    Page(d.TabItem4);
    Click(d.PenPressure);
    EXPECT_TRUE(isPressure);
  }));
  EXPECT_FALSE(isPressure);
  Run([&](TSetupDlg& d) { EXPECT_FALSE(d.PenPressure->isChecked()); });
}

// A chord typed into a field is the shortcut once OK is pressed, however
// soon; a second chord replaces it; Clear empties it; a text that is no key
// sequence is kept as read; Escape is never a shortcut, it undoes the typing.
TEST_F(SetupDlgTest, ShortcutFieldsTakeOneChordAndClear) {
  HotKeys[hkApp] = QStringLiteral("Hyper+Banana");
  HotKeys[hkNextPen] = QStringLiteral("Meta+F9");
  EXPECT_TRUE(Run([&](TSetupDlg& d) {
    Page(d.TabItem4);
    EXPECT_EQ(d.HotKeyEdit[hkNextPen]->keySequence(), QKeySequence(Qt::META | Qt::Key_F9));
    Chord(d.HotKeyEdit[hkToggle], Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
    Chord(d.HotKeyEdit[hkSave], Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
    Chord(d.HotKeyEdit[hkSave], Qt::Key_F5);
    Chord(d.HotKeyEdit[hkSave], Qt::Key_Escape);
    Chord(d.HotKeyEdit[hkEraseAll], Qt::Key_Escape);
    Click(d.HotKeyClear[hkNextPen]);
    EXPECT_TRUE(d.HotKeyEdit[hkNextPen]->keySequence().isEmpty());
  }));
  const std::array<QString, HotKeyCount> expected = {QStringLiteral("Ctrl+Alt+D"), QStringLiteral("F5"), QString(),
                                                     QStringLiteral("Hyper+Banana"), QString()};
  EXPECT_EQ(HotKeys, expected);
}

TEST_F(SetupDlgTest, TypedFolder) {
  const QString base = QDir::toNativeSeparators(FPictures.path());
  ASSERT_TRUE(QDir(FPictures.path()).mkdir(QStringLiteral("Kept")));
  const std::pair<QString, QString> cases[] = {
      {base + QStringLiteral("/Shots"), Folder(base)},  // no such folder: its parent
      {base + QStringLiteral("/Kept"), Folder(base + QStringLiteral("/Kept"))},
      {Folder(base), Folder(base)},
      {QStringLiteral("/no/such/folder/"), PicturesFolder()},
  };
  for (const auto& [typed, kept] : cases) {
    EXPECT_TRUE(Run([&](TSetupDlg& d) {
      Page(d.TabItem3);
      Type(d.ImagePathEdit, typed);
    }));
    EXPECT_EQ(ImagePathDefault, kept) << typed.toStdString();
  }
}

// Showing a pen changes nothing; Enter in the digits takes the colour and
// leaves the dialog open; the square's pick is the pen's colour.
TEST_F(SetupDlgTest, ShowingAPenKeepsItAndColoursReachIt) {
  StockPens[7] = {pwArMk0, 0xFF112233, 55, sdDot};
  const TPWMenuItem odd = StockPens[7];
  EXPECT_TRUE(Run([&](TSetupDlg& d) {
    Click(d.ColorRect[7]);
    EXPECT_EQ(d.StockPenTypeCB->currentIndex(), -1);
    EXPECT_EQ(d.StockPenSB->value(), 55);
    EXPECT_EQ(d.StockPenColorEdit->text(), QStringLiteral("112233"));
    EXPECT_EQ(StockPens[7], odd);

    Click(d.ColorRect[0]);
    Type(d.StockPenColorEdit, QStringLiteral("ff8000"));
    QTest::keyClick(d.StockPenColorEdit, Qt::Key_Return);  // takes the colour, stays open
    ASSERT_TRUE(d.isVisible());
    EXPECT_EQ(StockPens[0].PenColor, 0xFFFF8000);
    Click(d.StockPenColorQD, {120, 60});
    EXPECT_EQ(StockPens[0].PenColor, d.StockPenColorBox->Color());
    EXPECT_EQ(d.StockPenColorEdit->text(), ColorText(StockPens[0].PenColor));
    EXPECT_NE(StockPens[0].PenColor, 0xFFFF8000);
  }));
  EXPECT_EQ(StockPens[7], odd);
}

}  // namespace
