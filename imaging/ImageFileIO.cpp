#include "imaging/ImageFileIO.h"

#include <QFile>
#include <QImageWriter>

#include <array>

EImageFileError::EImageFileError(TKind kind, const QString& fileName, const QString& reason)
    : std::runtime_error(QString(kind == ekRead ? "Cannot read \"%1\": %2" : "Cannot write \"%1\": %2")
                             .arg(fileName, reason)
                             .toStdString()),
      FKind(kind),
      FFileName(fileName) {}

QByteArray ReadWholeFile(const QString& fileName) {
  QFile f(fileName);
  if (!f.open(QIODevice::ReadOnly)) throw EImageFileError(EImageFileError::ekRead, fileName, f.errorString());
  const qint64 size = f.size();
  QByteArray data;
  if (size > 0) {
    // A growing or special file is read to its end; a regular one in one call.
    data.resize(size);
    qint64 got = 0;
    while (got < size) {
      const qint64 n = f.read(data.data() + got, size - got);
      if (n < 0) throw EImageFileError(EImageFileError::ekRead, fileName, f.errorString());
      if (n == 0) break;
      got += n;
    }
    data.truncate(got);
  } else {
    data = f.readAll();
  }
  if (f.error() != QFileDevice::NoError)
    throw EImageFileError(EImageFileError::ekRead, fileName, f.errorString());
  return data;
}

TFileOut::TFileOut(const QString& fileName) : FFile(fileName), FName(fileName) {
  if (!FFile.open(QIODevice::WriteOnly)) Fail(FFile.errorString());
}

void TFileOut::Fail(const QString& reason) {
  FFile.cancelWriting();
  throw EImageFileError(EImageFileError::ekWrite, FName, reason);
}

void TFileOut::Write(const void* data, qint64 size) {
  if (size <= 0) return;
  const qint64 n = FFile.write(static_cast<const char*>(data), size);
  if (n != size) Fail(n < 0 ? FFile.errorString() : QString("only %1 of %2 bytes were stored").arg(n).arg(size));
}

void TFileOut::Zeros(qint64 size) {
  static constexpr std::array<char, 4096> zero{};
  while (size > 0) {
    const qint64 n = std::min<qint64>(size, zero.size());
    Write(zero.data(), n);
    size -= n;
  }
}

void TFileOut::BE16(std::uint16_t v) {
  const std::uint8_t b[2] = {std::uint8_t(v >> 8), std::uint8_t(v)};
  Write(b, 2);
}

void TFileOut::BE32(std::uint32_t v) {
  const std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
  Write(b, 4);
}

void TFileOut::Patch(qint64 at, const void* data, qint64 size) {
  const qint64 end = FFile.pos();
  if (!FFile.seek(at)) Fail(FFile.errorString());
  Write(data, size);
  if (!FFile.seek(end)) Fail(FFile.errorString());
}

void TFileOut::PatchBE32(qint64 at, std::uint32_t v) {
  const std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
  Patch(at, b, 4);
}

void TFileOut::WriteImage(const QImage& image, const QByteArray& format, int quality) {
  QImageWriter writer(&FFile, format);
  writer.setQuality(quality);
  if (!writer.write(image)) Fail(writer.errorString());
}

void TFileOut::Commit() {
  // QSaveFile remembers any failed flush; commit() then refuses to replace the file.
  if (!FFile.commit()) {
    const QString reason = FFile.errorString();
    throw EImageFileError(EImageFileError::ekWrite, FName, reason.isEmpty() ? QString("the data could not be stored") : reason);
  }
}

TStraightRows::TStraightRows(const QImage& image) : FImage(image) {
  switch (FImage.format()) {
    case QImage::Format_ARGB32:
    case QImage::Format_RGB32:  // Qt keeps 0xFF in the unused byte
      break;
    case QImage::Format_ARGB32_Premultiplied:
      FPremultiplied = true;
      FRow.resize(std::size_t(std::max(0, FImage.width())));
      break;
    default:
      FImage = FImage.convertToFormat(QImage::Format_ARGB32);
  }
}

const std::uint8_t* TStraightRows::Row(int y) {
  const auto* src = reinterpret_cast<const QRgb*>(FImage.constScanLine(y));
  if (!FPremultiplied) return reinterpret_cast<const std::uint8_t*>(src);
  const int w = FImage.width();
  for (int x = 0; x < w; ++x) {
    const QRgb p = src[x];
    const unsigned a = qAlpha(p);
    FRow[std::size_t(x)] = (a == 255 || a == 0) ? p : qUnpremultiply(p);
  }
  return reinterpret_cast<const std::uint8_t*>(FRow.data());
}
