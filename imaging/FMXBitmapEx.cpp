#include "imaging/FMXBitmapEx.h"

#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTransform>

#include <algorithm>

#include "imaging/FMXPSD.h"
#include "imaging/FMXTGA.h"

namespace {

QString Extension(const QString& name) {
  const qsizetype dot = name.lastIndexOf('.');
  if (dot < 0) return {};
  for (qsizetype i = dot + 1; i < name.size(); ++i) {
    const QChar c = name[i];
    if (c == '\\' || c == ':' || c == '/') return {};
  }
  QString ext = name.mid(dot);
  for (QChar& c : ext)
    if (c >= 'A' && c <= 'Z') c = QChar(c.unicode() + ('a' - 'A'));
  return ext;
}

// The Qt format name for a platform extension.
QByteArray PlatformFormat(const QString& ext) {
  if (ext == ".jpg" || ext == ".jpeg") return "jpeg";
  if (ext == ".png") return "png";
  return "bmp";
}

}  // namespace

TImageFileKind ImageFileKind(const QString& AFileName) {
  const QString ext = Extension(AFileName);
  if (ext == ".jpg" || ext == ".jpeg" || ext == ".png" || ext == ".bmp") return ikPlatform;
  if (ext == ".psd") return ikPSD;
  if (ext == ".tga") return ikTGA;
  return ikOther;
}

TFMXBitmapEx::TFMXBitmapEx(int AWidth, int AHeight)
    : QImage(AWidth > 0 && AHeight > 0 ? QImage(AWidth, AHeight, Format_ARGB32) : QImage()),
      Author("ORVEL PROJECT") {
  if (!isNull()) fill(Qt::transparent);
}

void TFMXBitmapEx::Assign(const QImage& source) { Assign(QImage(source)); }

void TFMXBitmapEx::Assign(QImage&& source) {
  if (source.format() == Format_RGB32)
    source.reinterpretAsFormat(Format_ARGB32);  // the same bytes: Qt keeps alpha 0xFF in RGB32
  else if (source.format() != Format_ARGB32)
    source.convertTo(Format_ARGB32);
  QImage::operator=(std::move(source));
}

bool TFMXBitmapEx::LoadFromFileEx(const QString& AFileName, float Rotate) {
  const TImageFileKind kind = ImageFileKind(AFileName);
  if (kind == ikOther) return false;
  QImage loaded;
  bool ok = false;
  switch (kind) {
    case ikPlatform: {
      if (!QFileInfo(AFileName).isFile()) TByteReader open(AFileName);  // raises with the system's reason
      QImageReader reader(AFileName, PlatformFormat(Extension(AFileName)));
      ok = reader.read(&loaded);
      if (!ok && reader.error() == QImageReader::DeviceError)
        throw EImageFileError(EImageFileError::ekRead, AFileName, reader.errorString());
      break;
    }
    case ikPSD:
      ok = LoadPSDFile(AFileName, loaded);
      break;
    case ikTGA:
      ok = LoadTGAFile(AFileName, loaded, Author);
      break;
    case ikOther:
      break;
  }
  if (ok) Assign(std::move(loaded));
  if (Rotate != 0 && !isNull()) {
    Assign(transformed(QTransform().rotate(Rotate), Qt::SmoothTransformation));
  }
  return ok;
}

void TFMXBitmapEx::SaveToFileEx(const QString& AFileName, const QString& Params) const {
  switch (ImageFileKind(AFileName)) {
    case ikPlatform: {
      int quality = -1;
      for (const QString& pair : Params.split(' ', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf('=');
        if (eq > 0 && pair.left(eq).compare("quality", Qt::CaseInsensitive) == 0) {
          bool isNumber = false;
          const int q = pair.mid(eq + 1).toInt(&isNumber);
          if (isNumber) quality = std::clamp(q, 0, 100);
        }
      }
      TFileOut out(AFileName);
      out.WriteImage(*this, PlatformFormat(Extension(AFileName)), quality);
      out.Commit();
      break;
    }
    case ikPSD:
      SaveBitmapAsPSD(AFileName, *this);
      break;
    case ikTGA:
      SaveTGAFile(AFileName, *this, Author, hasAlpha);
      break;
    case ikOther:
      break;
  }
}
