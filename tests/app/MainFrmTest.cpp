#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <stdexcept>
#include <vector>

#include "app/Application.h"
#include "app/MainFrm.h"
#include "app/PaintRect.h"
#include "tests/app/FormTestSupport.h"
#include "drawing/PWImage.h"
#include "settings/Settings.h"

namespace {

TPlatformRect Rect(const QWidget* w) {
  const QRect g = w->geometry();
  return {g.x(), g.y(), g.width(), g.height()};
}

class MainFrmTest : public TFormTest {
 protected:
  void Drag(QPoint from, QPoint to) {
    QWidget* surface = Form->PWImage;
    QTest::mousePress(surface, Qt::LeftButton, {}, from);
    for (int i = 1; i <= 10; ++i) QTest::mouseMove(surface, from + (to - from) * i / 10);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, to);
  }
};

TEST_F(MainFrmTest, LaysOutCornerButtonsPanelAndSurface) {
  Show();
  const struct {
    int w, h;
  } sizes[] = {{1920, 1080}, {1280, 720}, {3840, 2160}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
    Form->resize(s.w, s.h);
    EXPECT_EQ(Form->ModeRect->geometry(), QRect(s.w - 30, 0, 30, 30));
    EXPECT_EQ(Form->WriteRect->geometry(), QRect(s.w - 60, 0, 30, 30));
    EXPECT_EQ(Form->MenuPanel->geometry(), QRect(s.w - 140, 30, 140, s.h - 30));
    EXPECT_EQ(Form->RectBK->geometry(), QRect(0, 0, s.w, s.h));
    EXPECT_EQ(Form->PWImage->parentWidget(), Form->RectBK);
    EXPECT_EQ(Form->PWImage->geometry(), QRect(0, 0, s.w, s.h));
    EXPECT_EQ(Form->PWImage->PenBitmap().size(), QSize(s.w, s.h));
  }
}

TEST_F(MainFrmTest, StartsWithTheStartPenInPassThrough) {
  TPWMenuItem start;
  std::int32_t index = -1;
  GetStartPen(start, index);
  EXPECT_EQ(Form->PWImage->CrPen(), start);
  EXPECT_EQ(Form->PrPen, start);
  EXPECT_EQ(Form->PenIndex, index);
  EXPECT_FALSE(Form->PWImage->CanWrite());
  EXPECT_TRUE(Form->isMenu);
  EXPECT_FALSE(Form->isWorking);
  EXPECT_EQ(Form->CrSetup, -1);
  EXPECT_EQ(Form->ActiveWindowHandle, 0u);
  EXPECT_TRUE(Form->Timer1->isActive());
  EXPECT_EQ(Form->Timer1->interval(), 200);
  EXPECT_FALSE(Form->MetroTimer->isActive());
  EXPECT_EQ(Form->MetroTimer->interval(), 500);

  EXPECT_TRUE(Form->isFirst);
  Show();
  EXPECT_FALSE(Form->isFirst) << "the first paint clears it";
  EXPECT_TRUE(Form->MenuPanel->isVisible());
}

TEST_F(MainFrmTest, WriteRectClickTogglesDrawingAndWhereThePointerIsTaken) {
  Show();
  const std::vector<TPlatformRect> passThrough{Rect(Form->ModeRect), Rect(Form->WriteRect),
                                               Rect(Form->MenuPanel)};
  ASSERT_TRUE(WaitUntil([&] { return System.ShapeChanges > 0; }));
  EXPECT_FALSE(System.FullInput);
  EXPECT_EQ(System.Region, passThrough);

  // Pass-through: a drag over the surface draws nothing.
  Drag({100, 100}, {400, 300});
  EXPECT_EQ(Form->PWImage->History().p(), -1);

  QTest::mouseClick(Form->WriteRect, Qt::LeftButton, {}, {15, 15});
  EXPECT_TRUE(Form->PWImage->CanWrite());
  EXPECT_TRUE(System.FullInput);
  Drag({100, 100}, {400, 300});
  EXPECT_EQ(Form->PWImage->History().p(), 0);

  QTest::mouseClick(Form->WriteRect, Qt::LeftButton, {}, {15, 15});
  EXPECT_FALSE(Form->PWImage->CanWrite());
  EXPECT_FALSE(System.FullInput);
  EXPECT_EQ(System.Region, passThrough);
  EXPECT_EQ(Form->PWImage->History().p(), 0) << "the stroke stays";
  EXPECT_FALSE(Form->isWorking);
  EXPECT_TRUE(Form->Timer1->isActive());

  // A press that leaves the button before its release is no click.
  QTest::mousePress(Form->WriteRect, Qt::LeftButton, {}, {15, 15});
  QTest::mouseRelease(Form->WriteRect, Qt::LeftButton, {}, {45, 15});
  EXPECT_FALSE(Form->PWImage->CanWrite());
}

TEST_F(MainFrmTest, ModeRectClickHidesAndShowsThePanel) {
  Show();
  QTest::mouseClick(Form->ModeRect, Qt::LeftButton, {}, {15, 15});
  EXPECT_FALSE(Form->isMenu);
  EXPECT_FALSE(Form->MenuPanel->isVisible());
  const std::vector<TPlatformRect> corners{Rect(Form->ModeRect), Rect(Form->WriteRect)};
  EXPECT_EQ(System.Region, corners) << "a hidden panel lets the pointer through";
  QTest::mouseClick(Form->ModeRect, Qt::LeftButton, {}, {15, 15});
  EXPECT_TRUE(Form->isMenu);
  EXPECT_TRUE(Form->MenuPanel->isVisible());
  EXPECT_EQ(System.Region.size(), 3u);
}

TEST_F(MainFrmTest, PanelHidesHalfASecondAfterThePointerLeft) {
  Show();
  Form->MenuPanelMouseLeave();
  EXPECT_TRUE(Form->MetroTimer->isActive());
  QTest::qWait(300);
  EXPECT_TRUE(Form->isMenu);
  EXPECT_TRUE(WaitUntil([&] { return !Form->isMenu; }, 1000));
  EXPECT_FALSE(Form->MenuPanel->isVisible());
  EXPECT_FALSE(Form->MetroTimer->isActive());
}

TEST_F(MainFrmTest, TimerKeepsOnTopAndRemembersTheWindowInFront) {
  Show();
  // Ticked by hand from here on: a slow build may have ticked already.
  Form->Timer1->stop();
  System.TopMost.clear();
  const TNativeWindow own = Form->winId();
  System.Foreground = own;
  Form->Timer1Timer();
  EXPECT_TRUE(System.TopMost.empty());
  EXPECT_EQ(Form->ActiveWindowHandle, 0u);

  System.Foreground = 0x77;
  Form->Timer1Timer();
  EXPECT_EQ(Form->ActiveWindowHandle, 0x77u);
  EXPECT_EQ(System.TopMost, std::vector<TNativeWindow>{own});

  // After a change of mode the window that was in front gets the keyboard back.
  Form->WriteRectClick();
  EXPECT_EQ(System.Raised, std::vector<TNativeWindow>{0x77});
}

TEST_F(MainFrmTest, PolledMultiplyKeyTogglesDrawingUnlessBusy) {
  Show();
  // While the overlay has the keyboard its own key events count, not the poll.
  ASSERT_TRUE(WaitUntil([&] { return Form->isActiveWindow(); }));
  System.MultiplyTaps = 1;
  Form->Timer1Timer();
  EXPECT_EQ(System.MultiplyTaps, 0) << "the tap is drained";
  EXPECT_FALSE(Form->PWImage->CanWrite());

  // Another program in front.
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(WaitUntil([&] { return !Form->isActiveWindow(); }));
  System.MultiplyTaps = 1;
  EXPECT_TRUE(WaitUntil([&] { return Form->PWImage->CanWrite(); }, 1000)) << "by the running timer";

  Form->isWorking = true;
  System.MultiplyTaps = 1;
  Form->Timer1Timer();
  EXPECT_TRUE(Form->PWImage->CanWrite()) << "ignored while a command runs";
  Form->isWorking = false;

  // While a stroke is being drawn.
  QTest::mousePress(Form->PWImage, Qt::LeftButton, {}, {50, 50});
  System.MultiplyTaps = 1;
  Form->Timer1Timer();
  EXPECT_TRUE(Form->PWImage->CanWrite());
  QTest::mouseRelease(Form->PWImage, Qt::LeftButton, {}, {50, 50});
}

TEST_F(MainFrmTest, KeypadHotKeys) {
  Show();
  QTest::keyClick(Form.get(), Qt::Key_Asterisk, Qt::KeypadModifier);
  EXPECT_TRUE(Form->PWImage->CanWrite());
  QTest::keyClick(Form.get(), Qt::Key_Asterisk);
  EXPECT_TRUE(Form->PWImage->CanWrite()) << "only the keypad's key";

  Drag({100, 100}, {300, 200});
  ASSERT_EQ(Form->PWImage->History().p(), 0);
  QTest::keyClick(Form.get(), Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_EQ(Form->PWImage->History().p(), -1) << "erase all";
  Form->PWImage->PWUndo();
  EXPECT_EQ(Form->PWImage->History().p(), -1);

  QTest::keyClick(Form.get(), Qt::Key_Slash, Qt::KeypadModifier);
  EXPECT_EQ(Form->PenIndex, 1) << "the next stock pen";
  EXPECT_EQ(Form->PWImage->CrPen(), StockPens[1]);

  QTest::keyClick(Form.get(), Qt::Key_Asterisk, Qt::KeypadModifier);
  EXPECT_FALSE(Form->PWImage->CanWrite());
}

TEST_F(MainFrmTest, ShowOverlayCoversThePrimaryScreen) {
  Form->ShowOverlay();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(Form->geometry(), screen);
  EXPECT_EQ(Form->PWImage->size(), screen.size());
  EXPECT_FALSE(System.TopMost.empty());
}

class TThrower : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("disk full");
    return QObject::event(e);
  }
};

TEST(ErrorReport, ShowsTheTextAndTheProgramGoesOn) {
  TBoxCatcher boxes;
  TThrower thrower;
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  ASSERT_TRUE(WaitUntil([&] { return !boxes.Texts.isEmpty(); }));
  EXPECT_EQ(boxes.Texts, QStringList{"disk full"});

  // Two failures at once: both are reported, the same text once.
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QTimer::singleShot(0, [] { throw std::logic_error("second"); });
  ASSERT_TRUE(WaitUntil([&] { return boxes.Texts.size() >= 3; }));
  QTest::qWait(50);
  EXPECT_EQ(boxes.Texts, (QStringList{"disk full", "disk full", "second"}));
}

TEST_F(MainFrmTest, FailedCommandIsReportedAndReleasesTheWindow) {
  Show();
  TBoxCatcher boxes;
  QTimer::singleShot(0, [&] { Form->RunCommand([] { throw std::runtime_error("cannot write"); }); });
  ASSERT_TRUE(WaitUntil([&] { return !boxes.Texts.isEmpty(); }));
  EXPECT_EQ(boxes.Texts, QStringList{"cannot write"});
  EXPECT_FALSE(Form->isWorking) << "hot keys work again";
  EXPECT_TRUE(Form->Timer1->isActive()) << "top-most upkeep runs again";
  QTest::keyClick(Form.get(), Qt::Key_Asterisk, Qt::KeypadModifier);
  EXPECT_TRUE(Form->PWImage->CanWrite());
}

TEST(SaveDialogFolder, DropsTheTrailingSeparatorButNotARoot) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"/home/user/Pictures/", "/home/user/Pictures"},
      {"/home/user/Pictures", "/home/user/Pictures"},
      {"/", "/"},
      {"C:\\", "C:\\"},
      {"D:\\Shots\\", "D:\\Shots"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SaveDialogFolder(c.in), QString(c.out)) << c.in;
}

}  // namespace

namespace {

class MainFrmSettingsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    QFile::remove(SetupFilePath());
    DefaultSetup();
  }
  TFakeWindowSystem System;
};

TEST_F(MainFrmSettingsTest, WrittenOnceAtCloseAndReadBackAtTheNextStart) {
  QFile::remove(SetupFilePath());
  auto first = std::make_unique<TMainFrm>(System);
  const TPWMenuItem edited{pwMk, 0xFF00FF00, 12, sdDash};
  StockPens[0] = edited;
  ImageTypeDefault = 4;
  isSmoothing = false;

  first->FormDestroy();  // what the entry point does once the loop is over
  ASSERT_TRUE(QFile::exists(SetupFilePath()));
  QFile::remove(SetupFilePath());
  first.reset();
  EXPECT_FALSE(QFile::exists(SetupFilePath())) << "the settings were written a second time";

  // Written again by hand the same way, then read by a fresh window.
  QTemporaryDir pictures;
  ASSERT_TRUE(pictures.isValid());
  StockPens[0] = edited;
  ImageTypeDefault = 4;
  isSmoothing = false;
  ImagePathDefault = QDir::toNativeSeparators(pictures.path()) + QDir::separator();
  SaveSetup();
  DefaultSetup();
  auto second = std::make_unique<TMainFrm>(System);
  EXPECT_EQ(second->PWImage->CrPen(), edited);
  EXPECT_EQ(second->PenIndex, 0);
  EXPECT_EQ(ImageTypeDefault, 4);
  EXPECT_FALSE(isSmoothing);
  EXPECT_EQ(second->SaveDialog->directory().absolutePath(), QDir(pictures.path()).absolutePath());
}

TEST_F(MainFrmSettingsTest, FailedWriteIsRaisedAndTheWindowStillGoes) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString blocker = dir.filePath("not-a-folder");
  {
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  const QString saved = SetupFolder();
  SetSetupFolderOverride(blocker);
  auto frm = std::make_unique<TMainFrm>(System);
  EXPECT_THROW(frm->FormDestroy(), ESetupWriteError);
  EXPECT_EQ(frm->PWImage, nullptr);
  EXPECT_NO_THROW(frm.reset());
  SetSetupFolderOverride(saved);
}

}  // namespace
