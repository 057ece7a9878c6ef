#include "imaging/ImageFileIO.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>

#include <array>
#include <cstring>

EImageFileError::EImageFileError(TKind kind, const QString& fileName, const QString& reason)
    : std::runtime_error(QString(kind == ekRead ? "Cannot read \"%1\": %2" : "Cannot write \"%1\": %2")
                             .arg(fileName, reason)
                             .toStdString()),
      FKind(kind),
      FFileName(fileName) {}

TByteReader::TByteReader(std::span<const std::uint8_t> data)
    : FData(data.data()), FSize(qint64(data.size())), FLen(qint64(data.size())) {}

TByteReader::TByteReader(const QString& fileName) : FFile(fileName), FFromFile(true) {
  if (!FFile.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) Fail();
  FSize = FFile.size();
  FBuffer.resize(std::size_t(BufferSize));
  FData = FBuffer.data();
}

void TByteReader::Fail() { throw EImageFileError(EImageFileError::ekRead, FFile.fileName(), FFile.errorString()); }

bool TByteReader::Seek(qint64 pos) {
  if (pos < 0 || pos > FSize) return false;
  if (pos >= FStart && pos <= FStart + FLen) {
    FPos = pos - FStart;
    return true;
  }
  if (!FFile.seek(pos)) Fail();
  FStart = pos;
  FLen = FPos = 0;
  return true;
}

const std::uint8_t* TByteReader::TakeSlow(qint64 n) {
  if (!FFromFile || n > BufferSize || n > Left()) return nullptr;
  // Keep the unread bytes, then fill the rest of the buffer.
  std::memmove(FBuffer.data(), FBuffer.data() + FPos, std::size_t(FLen - FPos));
  FStart += FPos;
  FLen -= FPos;
  FPos = 0;
  while (FLen < n) {
    const qint64 got = FFile.read(reinterpret_cast<char*>(FBuffer.data() + FLen), BufferSize - FLen);
    if (got < 0) Fail();
    if (got == 0) return nullptr;  // the file shrank while being read
    FLen += got;
  }
  FPos = n;
  return FData;
}

bool TByteReader::Read(void* dst, qint64 n) {
  if (n > Left()) return false;
  auto* d = static_cast<std::uint8_t*>(dst);
  const qint64 here = std::min(n, FLen - FPos);
  std::memcpy(d, FData + FPos, std::size_t(here));
  FPos += here;
  d += here;
  n -= here;
  if (n == 0) return true;
  if (n < BufferSize / 4) {
    const std::uint8_t* p = Take(n);
    if (!p) return false;
    std::memcpy(d, p, std::size_t(n));
    return true;
  }
  // Large blocks go straight from the file to their place.
  FStart += FLen;
  FLen = FPos = 0;
  while (n > 0) {
    const qint64 got = FFile.read(reinterpret_cast<char*>(d), n);
    if (got < 0) Fail();
    if (got == 0) return false;
    FStart += got;
    d += got;
    n -= got;
  }
  return true;
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
  // Encoded in memory first: Qt's encoders leak on a failing device, and a
  // short write is then reported the same way for every format.
  QByteArray encoded;
  QBuffer buffer(&encoded);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  writer.setQuality(quality);
  if (!writer.write(image)) Fail(writer.errorString());
  Write(encoded.constData(), encoded.size());
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
