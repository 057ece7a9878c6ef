#pragma once

#include <QByteArray>
#include <QImage>
#include <QSaveFile>
#include <QString>

#include <cstdint>
#include <stdexcept>
#include <vector>

// Raised when an image file cannot be opened, read, created or written. The
// text names the file, so that it can be shown to the user as it is.
class EImageFileError : public std::runtime_error {
 public:
  enum TKind { ekRead, ekWrite };
  EImageFileError(TKind kind, const QString& fileName, const QString& reason);
  TKind Kind() const { return FKind; }
  const QString& FileName() const { return FFileName; }

 private:
  TKind FKind;
  QString FFileName;
};

// The whole file, or EImageFileError(ekRead) when it cannot be opened or read.
QByteArray ReadWholeFile(const QString& fileName);

// Writes a file atomically: the data goes to a temporary file in the same
// folder, which replaces the named file only on Commit. A short write, a
// failed seek or a failed commit raises EImageFileError(ekWrite); a writer
// destroyed without Commit leaves any existing file untouched.
class TFileOut {
 public:
  explicit TFileOut(const QString& fileName);
  TFileOut(const TFileOut&) = delete;
  TFileOut& operator=(const TFileOut&) = delete;

  void Write(const void* data, qint64 size);
  void Zeros(qint64 size);
  void BE16(std::uint16_t v);
  void BE32(std::uint32_t v);
  qint64 Pos() const { return FFile.pos(); }
  // Overwrites bytes already written, then carries on at the end.
  void Patch(qint64 at, const void* data, qint64 size);
  void PatchBE32(qint64 at, std::uint32_t v);
  // Encodes the image with Qt's writer for format ("jpeg", "png", "bmp").
  void WriteImage(const QImage& image, const QByteArray& format, int quality);
  void Commit();

 private:
  [[noreturn]] void Fail(const QString& reason);
  QSaveFile FFile;
  QString FName;
};

// Rows of an image as straight-alpha 32-bit pixels (bytes blue, green, red,
// alpha), whatever the image's own format: premultiplied rows are converted
// one at a time, other formats once.
class TStraightRows {
 public:
  explicit TStraightRows(const QImage& image);
  const std::uint8_t* Row(int y);
  int Width() const { return FImage.width(); }
  int Height() const { return FImage.height(); }

 private:
  QImage FImage;
  bool FPremultiplied = false;
  std::vector<std::uint32_t> FRow;
};

// Largest bitmap a reader allocates: the readers check a header against the
// size of the file before they allocate, and refuse anything above this.
inline constexpr qint64 MaxDecodedBytes = qint64(1) << 30;
