#include "app/SaveScreen.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
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
#include "drawing/PWImage.h"
#include "imaging/FMXBitmapEx.h"
#include "imaging/FMXPSD.h"
#include "settings/Settings.h"
#include "widgets/MetroButton.h"

QString DefaultFileName(const QDateTime& when) {
  return when.toString(QStringLiteral("yyyyMMdd_HHmmss"));
}

QString DefaultFileName() { return DefaultFileName(QDateTime::currentDateTime()); }

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
    // At a device pixel ratio above 1 the pen layer has the window's size,
    // the capture the screen's pixels; both layers get the latter.
    if (penLayer.size() != capture.size())
      penLayer = penLayer.scaled(capture.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
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
  SaveDialog->setDirectory(folder);
  SaveDialog->selectFile(DefaultFileName());
  if (SaveDialog->exec() != QDialog::Accepted) return;
  const QStringList files = SaveDialog->selectedFiles();
  if (files.isEmpty()) return;
  const int index = int(filters.indexOf(SaveDialog->selectedNameFilter())) + 1;
  // The dialog has to be gone from the screen before it is captured.
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 1000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  QCoreApplication::processEvents();
  SaveScreen(QDir::toNativeSeparators(files.first()), index > 0 ? index : 2);
}

namespace {

// A widget's rectangle on the screen, in device pixels.
QRect DeviceRectOf(const QWidget* widget, const QRect& local) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen || !widget->isVisible()) return {};
  const qreal dpr = screen->devicePixelRatio();
  const QPoint origin = screen->geometry().topLeft();
  const QPoint p = widget->mapToGlobal(local.topLeft()) - origin;
  const QRect r(origin + QPoint(int(std::floor(p.x() * dpr)), int(std::floor(p.y() * dpr))),
                QSize(int(std::ceil(local.width() * dpr)), int(std::ceil(local.height() * dpr))));
  return r.intersected(PrimaryScreenDeviceRect());
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
      Form->FCapturing = false;
      // Outcomes that came in during the capture are handed on now.
      QTimer::singleShot(0, Form, &TMainFrm::SaveResultsReady);
    }
  } restore{this, !WriteRect->isHidden(), !ModeRect->isHidden(), !MenuPanel->isHidden(),
            !RectBK->isHidden(), PWImage->CurVisible(), MetroTimer->isActive(), MetroEntered};
  const QString name = WithImageExtension(fileName, imageIndex);
  const bool isPSD = imageIndex == ImageIndexPSD;
  // The pen layer has the screen's device pixels, whatever the pixel ratio.
  QImage capture(PWImage->PenBitmap().size(), QImage::Format_ARGB32);
  capture.fill(Qt::transparent);

  // What the screen shows of each control that goes, to know when it has gone.
  std::vector<std::pair<QRect, QImage>> shown;
  const auto remember = [&](const QWidget* w, const QRect& local) {
    const QRect r = DeviceRectOf(w, local);
    if (r.isEmpty()) return;
    QImage now = CaptureScreenRect(FWindowSystem, r);
    if (!now.isNull()) shown.emplace_back(r, std::move(now));
  };
  const QRect corner = DeviceRectOf(WriteRect, WriteRect->rect()) | DeviceRectOf(ModeRect, ModeRect->rect());
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
  WriteRect->hide();
  ModeRect->hide();
  MenuPanel->hide();
  SaveNotice->hide();
  if (isPSD)
    RectBK->hide();
  else
    PWImage->SetCurVisible(false);
  if (isVisible()) repaint(gone);
  WaitUntilScreenChanged(shown);
  if (CaptureDesktop(FWindowSystem, capture) && !corner.isEmpty())
    FLastHidden = {corner, capture.copy(corner.translated(-PrimaryScreenDeviceRect().topLeft()))};
  // The drawing goes on meanwhile, so the job gets the pen layer as it is now.
  QImage pen = isPSD ? PWImage->PenBitmap() : QImage();
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
      const QImage now = CaptureScreenRect(FWindowSystem, rect);
      if (now.isNull() || now == before) {
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
