#include "app/SaveScreen.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QMessageBox>
#include <QRegion>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <utility>
#include <vector>

#include "app/DesktopCapture.h"
#include "app/MainFrm.h"
#include "app/PaintRect.h"
#include "app/SaveWriter.h"
#include "app/ScreenSurfaces.h"
#include "drawing/DevicePixels.h"
#include "drawing/PWImage.h"
#include "imaging/FMXBitmapEx.h"
#include "imaging/FMXPSD.h"
#include "imaging/ImageFileIO.h"
#include "settings/Settings.h"
#include "widgets/MetroButton.h"

QString DefaultFileName(const QDateTime& when) {
  return when.toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

QString DefaultFileName() { return DefaultFileName(QDateTime::currentDateTime()); }

// The dialog is kept between uses; hidden, its folder model would still
// follow every change in the folder it last showed (the pictures folder, as
// a rule), reading every file's type again for each write of every save.
void WatchSaveDialogFolder(QFileDialog& dialog, bool on) {
  auto* model = dialog.findChild<QFileSystemModel*>();
  if (!model) return;
  model->setOption(QFileSystemModel::DontWatchForChanges, !on);
  // The folder listed while unwatched stays unwatched until it is listed
  // again: leaving it makes the next setDirectory list it anew.
  if (on) model->setRootPath(QString());
}

QString ImageExtension(int imageIndex) {
  switch (imageIndex) {
    case 1: return QStringLiteral(".jpg");
    case 3: return QStringLiteral(".bmp");
    case 4: return QStringLiteral(".tga");
    case ImageIndexPSD: return QStringLiteral(".psd");
    default: return QStringLiteral(".png");
  }
}

QString WithImageExtension(const QString& fileName, int imageIndex) {
  qsizetype nameStart = 0;
  for (qsizetype i = 0; i < fileName.size(); ++i) {
    const QChar c = fileName[i];
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':')) nameStart = i + 1;
  }
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  const QString stem = dot >= nameStart ? fileName.left(dot) : fileName;
  return stem + ImageExtension(imageIndex);
}

QStringList ImageNameFilters() {
  return {QStringLiteral("JPEG File (*.jpg *.jpeg)"), QStringLiteral("PNG File (*.png)"),
          QStringLiteral("BMP File (*.bmp)"), QStringLiteral("TGA File (*.tga)"),
          QStringLiteral("PSD File (*.psd)")};
}

void EnsureImageFolder(const QString& fileName) {
  const QString folder = QFileInfo(QDir::fromNativeSeparators(fileName)).absolutePath();
  if (QFileInfo(folder).isDir()) return;
  if (!QDir().mkpath(folder))
    throw EImageFileError(EImageFileError::ekWrite, fileName,
                          QStringLiteral("the folder \"%1\" cannot be created")
                              .arg(QDir::toNativeSeparators(folder)));
}

void WriteSavedScreen(const QString& fileName, int imageIndex, QImage capture, QImage penLayer) {
  EnsureImageFolder(fileName);
  if (imageIndex == ImageIndexPSD) {
    // Both layers have the capture's pixels, one for one: a pen layer a
    // pixel wider than the screen loses what lies beyond its edge.
    if (penLayer.size() != capture.size()) penLayer = penLayer.copy(capture.rect());
    TPSDFile doc;
    doc.LayerCount = 2;
    doc.Layer.resize(2);
    doc.Layer[0].Bitmap = std::move(capture);
    doc.Layer[1].Bitmap = std::move(penLayer);
    struct TFree {
      TPSDFile& Doc;
      ~TFree() { FreePSDLayers(Doc); }
    } freeLayers{doc};
    SavePSDFile(fileName, doc);
    return;
  }
  TFMXBitmapEx bitmap;
  bitmap.Assign(std::move(capture));
  bitmap.SaveToFileEx(fileName);
}

void TMainFrm::SaveImage() { SaveScreen(ImagePathDefault + DefaultFileName(), ImageTypeDefault); }

void TMainFrm::SaveImageAs() {
  const QStringList filters = ImageNameFilters();
  SaveDialog->setWindowTitle(QStringLiteral("Image Save As"));
  SaveDialog->setNameFilters(filters);
  const int selected = ImageTypeDefault >= 1 && ImageTypeDefault <= 5 ? ImageTypeDefault : 2;
  SaveDialog->selectNameFilter(filters[selected - 1]);
  // Pointed at a folder that did not exist yet, the dialog falls back to the
  // working directory; so it opens in the default folder, made as Save makes it.
  const QString folder = SaveDialogFolder(ImagePathDefault);
  QDir().mkpath(folder);
  WatchSaveDialogFolder(*SaveDialog, true);
  struct TUnwatch {
    QFileDialog& Dialog;
    ~TUnwatch() { WatchSaveDialogFolder(Dialog, false); }
  } unwatch{*SaveDialog};
  SaveDialog->setDirectory(folder);
  SaveDialog->selectFile(DefaultFileName());
  // The type chosen overrides the typed extension, so the dialog's own
  // question would name another file than the one replaced: asked here.
  SaveDialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  QString name;
  int index = 0;
  for (;;) {
    if (SaveDialog->exec() != QDialog::Accepted) return;
    const QStringList files = SaveDialog->selectedFiles();
    if (files.isEmpty()) return;
    index = int(filters.indexOf(SaveDialog->selectedNameFilter())) + 1;
    if (index <= 0) index = 2;
    name = WithImageExtension(QDir::toNativeSeparators(files.first()), index);
    if (!QFileInfo::exists(name)) break;
    const auto answer = QMessageBox::question(
        this, SaveDialog->windowTitle(),
        QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(name));
    if (answer == QMessageBox::Yes) break;
    // No: back to the dialog, on the name the user typed.
    SaveDialog->selectFile(QFileInfo(files.first()).fileName());
  }
  // The dialog has to be gone from the screen before it is captured.
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 1000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  QCoreApplication::processEvents();
  SaveScreen(name, index);
}

namespace {

// A widget's rectangle on the screen, in device pixels, within the desktop.
QRect DeviceRectOf(const QWidget* widget, const QRect& local, const QRect& desktop) {
  const QScreen* screen = widget->screen();
  if (!screen || !widget->isVisible()) return {};
  const QPoint origin = screen->geometry().topLeft();
  const QRect logical(widget->mapToGlobal(local.topLeft()) - origin, local.size());
  return DeviceRect(logical, screen->devicePixelRatio()).translated(origin).intersected(desktop);
}

}  // namespace

void TMainFrm::SaveScreen(const QString& fileName, int imageIndex) {
  // The waits below let events through; a save they would start is dropped.
  if (FCapturing) return;
  // Outcomes of earlier saves wait until the capture is over, so that no
  // message is opened in the middle of it.
  FCapturing = true;
  // Brings back everything hidden, however the capture ends.
  struct TRestore {
    TMainFrm* Form;
    bool WriteShown, ModeShown, MenuShown, BackShown, CursorShown, HideTicking, Entered;
    ~TRestore() {
      // Hiding the column under the pointer is no leaving by the user: the
      // column must not hide itself half a second after the save.
      if (!HideTicking) Form->MetroTimer->stop();
      MetroEntered = Entered;
      Form->WriteRect->setVisible(WriteShown);
      Form->ModeRect->setVisible(ModeShown);
      Form->MenuPanel->setVisible(MenuShown);
      Form->RectBK->setVisible(BackShown);
      Form->PWImage->SetCurVisible(CursorShown);
      Form->Surfaces->SetStrokesVisible(true);
      Form->FCapturing = false;
      // Outcomes that came in during the capture are handed on now.
      QTimer::singleShot(0, Form, &TMainFrm::SaveResultsReady);
    }
  } restore{this, !WriteRect->isHidden(), !ModeRect->isHidden(), !MenuPanel->isHidden(),
            !RectBK->isHidden(), PWImage->CurVisible(), MetroTimer->isActive(), MetroEntered};
  const QString name = WithImageExtension(fileName, imageIndex);
  const bool isPSD = imageIndex == ImageIndexPSD;
  // The screen's own device pixels, whatever the ratio and however the
  // window's logical size rounds.
  const QRect desktop = DesktopDeviceRect(FWindowSystem, Surfaces->AllScreens());
  QImage capture(desktop.size(), QImage::Format_ARGB32);

  // What the screen shows of each control that goes, to know when it has gone.
  std::vector<std::pair<QRect, QImage>> shown;
  const auto remember = [&](const QWidget* w, const QRect& local) {
    const QRect r = DeviceRectOf(w, local, desktop);
    if (r.isEmpty()) return;
    // Kept null where the part cannot be read: the wait then gives the
    // compositor its frames by the clock.
    shown.emplace_back(r, CaptureScreenRect(FWindowSystem, r));
  };
  const QRect corner =
      DeviceRectOf(WriteRect, WriteRect->rect(), desktop) | DeviceRectOf(ModeRect, ModeRect->rect(), desktop);
  if (isVisible()) {
    // A save right after another (a held key) must not take the screen that
    // still shows the last one's hidden controls for the shown ones.
    if (FLastHidden.first == corner) WaitUntilScreenChanged({FLastHidden});
    for (const QWidget* w : {static_cast<QWidget*>(WriteRect), static_cast<QWidget*>(ModeRect),
                             static_cast<QWidget*>(MenuPanel), static_cast<QWidget*>(SaveNotice)})
      remember(w, w->rect());
  }

  // Painted at once rather than at the next update tick, so that the wait
  // below starts from a flushed window.
  QRegion gone = isPSD ? QRegion(rect()) : QRegion(WriteRect->geometry()) + ModeRect->geometry();
  if (!isPSD) {
    if (MenuPanel->isVisible()) gone += MenuPanel->geometry();
    if (SaveNotice->isVisible()) gone += SaveNotice->geometry();
  }
  // The laser's trail is never part of a picture.
  PWImage->DropLaser();
  for (TPWImage* other : Surfaces->Others()) other->DropLaser();
  WriteRect->hide();
  ModeRect->hide();
  MenuPanel->hide();
  SaveNotice->hide();
  if (isPSD) {
    RectBK->hide();
    Surfaces->SetStrokesVisible(false);
  } else {
    PWImage->SetCurVisible(false);
  }
  if (isVisible()) repaint(gone);
  WaitUntilScreenChanged(shown);
  // A picture that was not captured is never written: an empty one would
  // replace the user's file without a word.
  QString why;
  if (capture.isNull() || !CaptureDesktop(FWindowSystem, desktop, capture, &why)) {
    ShowSaveNotice(name, false);
    if (why.isEmpty()) why = QString::fromStdString(FWindowSystem.CaptureError());
    throw EImageFileError(EImageFileError::ekWrite, name,
                          QStringLiteral("the screen could not be read") + (why.isEmpty() ? QString() : ": " + why));
  }
  if (!corner.isEmpty()) FLastHidden = {corner, capture.copy(corner.translated(-desktop.topLeft()))};
  // The drawing goes on meanwhile, so the job gets the pen layer as it is now.
  QImage pen = isPSD ? Surfaces->StrokesLayer(desktop) : QImage();
  auto job = [name, imageIndex, capture = std::move(capture), pen = std::move(pen)]() mutable {
    WriteSavedScreen(name, imageIndex, std::move(capture), std::move(pen));
  };
  if (!SaveWriter->Synchronous) {
    SaveWriter->Post(name, std::move(job));
    return;
  }
  try {
    SaveWriter->Post(name, std::move(job));
  } catch (...) {
    ShowSaveNotice(name, false);
    throw;
  }
  ShowSaveNotice(name, true);
}

void TMainFrm::WaitUntilScreenChanged(const std::vector<std::pair<QRect, QImage>>& shown) {
  QCoreApplication::processEvents();
  if (shown.empty()) return;
  // The compositor presents the repaint a frame or so later; a loaded
  // machine may take longer, but never this long.
  constexpr int Bound = 1500;
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    bool allGone = true;
    for (const auto& [rect, before] : shown) {
      const QImage now = before.isNull() ? QImage() : CaptureScreenRect(FWindowSystem, rect);
      // A part that cannot be read (a portal gives only the whole screen)
      // tells nothing; the compositor is given a few frames to show the
      // repaint, no more.
      if (now.isNull()) {
        while (waited.elapsed() < 100) {
          QThread::msleep(5);
          QCoreApplication::processEvents();
        }
        return;
      }
      if (now == before) {
        allGone = false;
        break;
      }
    }
    if (allGone || waited.elapsed() > Bound) return;
    QThread::msleep(2);
    QCoreApplication::processEvents();
  }
}

void TMainFrm::SaveResultsReady() {
  if (FCapturing || !SaveWriter) return;
  TSaveWriter::TResult result;
  if (!SaveWriter->TakeResult(result)) return;
  if (SaveWriter->HasResults())
    QTimer::singleShot(0, this, &TMainFrm::SaveResultsReady);
  ShowSaveNotice(result.FileName, !result.Error);
  if (result.Error) std::rethrow_exception(result.Error);
}

void TMainFrm::ShowSaveNotice(const QString& fileName, bool written) {
  SaveNotice->setText(written ? QStringLiteral("Saved %1").arg(fileName)
                              : QStringLiteral("Not saved: %1").arg(fileName));
  SaveNotice->adjustSize();
  SaveNotice->move((width() - SaveNotice->width()) / 2, height() - SaveNotice->height() - 40);
  SaveNotice->show();
  SaveNotice->raise();
  SaveNoticeTimer->start();
}
