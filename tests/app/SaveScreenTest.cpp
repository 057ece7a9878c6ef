#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/DesktopCapture.h"
#include "app/MainFrm.h"
#include "app/PaintRect.h"
#include "app/SaveScreen.h"
#include "app/SaveWriter.h"
#include "drawing/PWImage.h"
#include "imaging/FMXBitmapEx.h"
#include "imaging/FMXPSD.h"
#include "settings/Settings.h"
#include "tests/app/FormTestSupport.h"

namespace {

constexpr QRgb Desktop = 0xFF2060A0;

// A screen that shows a plain desktop.
class TScreenWindowSystem final : public TFakeWindowSystem {
 public:
  bool CaptureScreen(const TPlatformRect& r, std::span<std::uint32_t> pixels) override {
    if (Refuse) return false;
    const QSize size = QGuiApplication::primaryScreen()->size();
    if (r.X < 0 || r.Y < 0 || r.X + r.Width > size.width() || r.Y + r.Height > size.height())
      return false;
    // A part of the screen looks different at every look, as at every new
    // frame, so that the save's waits for the screen end at once.
    const bool part = QSize(r.Width, r.Height) != size;
    std::fill(pixels.begin(), pixels.end(), part ? Desktop + (++Frame & 1) : Desktop);
    return true;
  }
  std::string CaptureError() const override { return Refuse ? "no screen capture here" : ""; }

  bool Refuse = false;
  int Frame = 0;
};

QImage Load(const QString& fileName) {
  if (fileName.endsWith(".psd")) {
    QImage merged;
    return LoadPSDFile(fileName, merged) ? merged : QImage();
  }
  TFMXBitmapEx bitmap;
  return bitmap.LoadFromFileEx(fileName) ? QImage(bitmap) : QImage();
}

class SaveScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Folder.isValid());
    Form = std::make_unique<TMainFrm>(System);
    Form->ShowOverlay();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
    QTest::qWait(20);
  }
  void TearDown() override {
    Form.reset();
    DefaultSetup();
  }
  // A stroke, drawn as the user does, with the pointer left on the surface.
  void DrawStroke() {
    Form->WriteRectClick();
    QTest::mousePress(Form->PWImage, Qt::LeftButton, {}, {100, 200});
    for (int x = 120; x <= 400; x += 20) QTest::mouseMove(Form->PWImage, {x, 200});
    QTest::mouseRelease(Form->PWImage, Qt::LeftButton, {}, {400, 200});
    QTest::mouseMove(Form->PWImage, {250, 350});
  }
  void Save() {
    Form->RunCommand([this] { Form->SaveImage(); });
  }

  QTemporaryDir Folder;
  TScreenWindowSystem System;
  std::unique_ptr<TMainFrm> Form;
};

TEST(SaveNames, DefaultNameAndTheExtensionOfTheChosenType) {
  EXPECT_EQ(DefaultFileName(QDateTime(QDate(2012, 9, 27), QTime(14, 30, 5))), "20120927_143005");
  EXPECT_EQ(DefaultFileName(QDateTime(QDate(2031, 1, 2), QTime(3, 4, 0))), "20310102_030400");
  const struct {
    const char* name;
    int index;
    const char* out;
  } cases[] = {
      {"shot.png", 5, "shot.psd"},      {"shot", 1, "shot.jpg"},
      {"a.tar.gz", 3, "a.tar.bmp"},     {"/x/dir.v2/shot", 4, "/x/dir.v2/shot.tga"},
      {"C:\\d.e\\shot", 2, "C:\\d.e\\shot.png"}, {"C:shot", 1, "C:shot.jpg"},
      {"/x/shot.JPG", 9, "/x/shot.png"}, {"/x/.hidden", 1, "/x/.jpg"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithImageExtension(c.name, c.index), QString(c.out)) << c.name;
}

TEST_F(SaveScreenTest, CaptureFillsOnlyABitmapOfTheScreensSize) {
  const QSize screen = QGuiApplication::primaryScreen()->size();
  QImage right(screen, QImage::Format_ARGB32);
  right.fill(0);
  Form->hide();
  EXPECT_TRUE(CaptureDesktop(System, right));
  EXPECT_EQ(right.pixel(5, 5), Desktop);
  EXPECT_EQ(right.pixel(screen.width() - 1, screen.height() - 1), Desktop);

  const struct {
    QSize size;
    bool refuse;
  } failing[] = {{screen - QSize(1, 0), false}, {QSize(16, 16), false}, {screen, true}};
  for (const auto& f : failing) {
    QImage bitmap(f.size, QImage::Format_ARGB32);
    bitmap.fill(0x12345678);
    const QImage before = bitmap.copy();
    System.Refuse = f.refuse;
    EXPECT_FALSE(CaptureDesktop(System, bitmap));
    EXPECT_EQ(bitmap, before);
  }
}

TEST_F(SaveScreenTest, FailedWriteIsReportedAndTheWindowIsAsBefore) {
  const QString blocker = Folder.filePath("file");
  {
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  ImagePathDefault = QDir::toNativeSeparators(blocker + "/Pictures/");
  ImageTypeDefault = 2;
  DrawStroke();
  TBoxCatcher boxes;
  QTimer::singleShot(0, [this] { Save(); });
  ASSERT_TRUE(WaitUntil([&] { return !boxes.Texts.isEmpty(); }));
  ASSERT_EQ(boxes.Texts.size(), 1);
  EXPECT_TRUE(boxes.Texts[0].contains(QDir::toNativeSeparators(blocker + "/Pictures/"))) << boxes.Texts[0].toStdString();
  EXPECT_TRUE(boxes.Texts[0].contains(".png"));
  EXPECT_TRUE(Form->SaveNotice->text().startsWith("Not saved"));
  EXPECT_TRUE(Form->WriteRect->isVisible() && Form->ModeRect->isVisible() && Form->MenuPanel->isVisible());
  EXPECT_TRUE(Form->RectBK->isVisible() && Form->PWImage->CurVisible());
  EXPECT_FALSE(Form->isWorking);
  EXPECT_TRUE(Form->Timer1->isActive());
  QTest::keyClick(Form.get(), Qt::Key_Asterisk, Qt::KeypadModifier);
  EXPECT_FALSE(Form->PWImage->CanWrite()) << "hot keys answer again";
}

TEST_F(SaveScreenTest, PendingWritesFinishBeforeTheWindowGoesAndTheirErrorsAreRaised) {
  DrawStroke();
  const QString blocked = Folder.filePath("file");
  {
    QFile f(blocked);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  Form->SaveScreen(Folder.filePath("a.png"), 2);
  Form->SaveScreen(Folder.filePath("b"), 5);
  Form->SaveScreen(blocked + "/c.bmp", 3);
  Form->SaveScreen(Folder.filePath("d.jpg"), 4);
  try {
    Form->FormDestroy();
    ADD_FAILURE() << "the failed write was not raised";
  } catch (const std::exception& e) {
    EXPECT_TRUE(QString(e.what()).contains(blocked + "/c.bmp")) << e.what();
  }
  EXPECT_EQ(Form->SaveWriter->Pending(), 0);
  for (const char* name : {"a.png", "b.psd", "d.tga"}) {
    const QImage picture = Load(Folder.filePath(name));
    EXPECT_EQ(picture.size(), QGuiApplication::primaryScreen()->size()) << name;
    EXPECT_EQ(picture.pixel(5, 5), Desktop) << name;
  }
}

}  // namespace

namespace {

QByteArray Bytes(const QString& fileName) {
  QFile f(fileName);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST_F(SaveScreenTest, FailedCaptureWritesNothingKeepsTheOlderFileAndSaysSo) {
  DrawStroke();
  System.Refuse = true;
  for (const int index : {2, ImageIndexPSD}) {
    const QString name = Folder.filePath(QStringLiteral("shot") + ImageExtension(index));
    {
      QFile older(name);
      ASSERT_TRUE(older.open(QIODevice::WriteOnly));
      older.write("an older picture");
    }
    TBoxCatcher boxes;
    const auto save = [&] { Form->SaveScreen(Folder.filePath("shot"), index); };
    QTimer::singleShot(0, [&] { Form->RunCommand(save); });
    ASSERT_TRUE(WaitUntil([&] { return !boxes.Texts.isEmpty(); })) << "no report";
    EXPECT_TRUE(boxes.Texts[0].contains(name) &&
                boxes.Texts[0].contains("screen could not be read: no screen capture here"))
        << boxes.Texts[0].toStdString();
    EXPECT_EQ(Form->SaveNotice->text(), "Not saved: " + name);
    Form->SaveWriter->WaitForAll();
    EXPECT_EQ(Bytes(name), "an older picture");
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files), QStringList{QFileInfo(name).fileName()});
    QFile::remove(name);
    EXPECT_TRUE(Form->WriteRect->isVisible() && Form->RectBK->isVisible() && !Form->isWorking);
  }
}

// Typed shot.png with PSD chosen: the question names shot.psd, the file that
// would be replaced; "No" goes back to the dialog and replaces nothing.
TEST_F(SaveScreenTest, SaveAsAsksAboutTheFileItWillWrite) {
  ImagePathDefault = Folder.path() + QDir::separator();
  const QString psd = Folder.filePath("shot.psd");
  {
    QFile older(psd);
    ASSERT_TRUE(older.open(QIODevice::WriteOnly));
    older.write("older");
  }
  QFile(Folder.filePath("shot.png")).open(QIODevice::WriteOnly);
  QStringList questions;
  int dialogs = 0;
  bool replace = false;
  QTimer driver;
  driver.setInterval(10);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == Form->SaveDialog) {
      if (++dialogs > 2) {
        Form->SaveDialog->reject();
        return;
      }
      Form->SaveDialog->selectNameFilter(ImageNameFilters()[ImageIndexPSD - 1]);
      // Typed, as the user does.
      if (auto* edit = Form->SaveDialog->findChild<QLineEdit*>("fileNameEdit")) edit->setText("shot.png");
      QMetaObject::invokeMethod(Form->SaveDialog, "accept");
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      questions.append(box->text());
      box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
      replace = true;
    }
  });
  driver.start();
  Form->SaveImageAs();
  Form->SaveWriter->WaitForAll();
  ASSERT_EQ(questions.size(), 2) << dialogs;
  EXPECT_TRUE(questions[0].contains(QDir::toNativeSeparators(psd))) << questions[0].toStdString();
  EXPECT_EQ(dialogs, 2) << "after No the dialog comes back";
  QImage merged;
  ASSERT_TRUE(LoadPSDFile(psd, merged)) << "Yes replaces the file asked about";
  EXPECT_EQ(merged.size(), QGuiApplication::primaryScreen()->size());
  EXPECT_EQ(Bytes(Folder.filePath("shot.png")), QByteArray());
}

// The dialog is kept between uses. Hidden, it used to follow the folder it
// last showed and read every file's type again for each write into it, in
// the background of every save; now only the open dialog follows it.
TEST_F(SaveScreenTest, SaveAsDialogFollowsItsFolderOnlyWhileOpen) {
  ImagePathDefault = Folder.path() + QDir::separator();
  auto* model = Form->SaveDialog->findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  QStringList shown;
  QObject::connect(model, &QAbstractItemModel::rowsInserted, [&](const QModelIndex& parent, int first, int last) {
    for (int row = first; row <= last; ++row) shown.append(model->fileName(model->index(row, 0, parent)));
  });
  const auto write = [&](const QString& name) { QFile(Folder.filePath(name)).open(QIODevice::WriteOnly); };
  QElapsedTimer open;
  QTimer driver;
  driver.setInterval(10);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    if (QApplication::activeModalWidget() != Form->SaveDialog) return;
    if (!open.isValid()) {
      open.start();
      write("while-open.png");
    } else if (shown.contains("while-open.png") || open.elapsed() > 5000) {
      Form->SaveDialog->reject();
    }
  });
  driver.start();
  Form->SaveImageAs();
  ASSERT_TRUE(shown.contains("while-open.png")) << "the open dialog did not show a new file";

  write("while-hidden.png");
  QTest::qWait(1000);
  EXPECT_FALSE(shown.contains("while-hidden.png")) << "the hidden dialog followed its folder";
}

}  // namespace
