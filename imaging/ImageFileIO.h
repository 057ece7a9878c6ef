#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QSaveFile>
#include <QString>

#include <cstdint>
#include <span>
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

// The bytes of an image file, from memory or through a buffer from a file,
// every request checked against the end of the data. A file that cannot be
// read raises EImageFileError(ekRead).
class TByteReader {
 public:
  static constexpr qint64 BufferSize = qint64(1) << 18;

  explicit TByteReader(std::span<const std::uint8_t> data);
  // Opens the file; raises EImageFileError(ekRead) when it cannot.
  explicit TByteReader(const QString& fileName);
  TByteReader(const TByteReader&) = delete;
  TByteReader& operator=(const TByteReader&) = delete;

  qint64 Size() const { return FSize; }
  qint64 Pos() const { return FStart + FPos; }
  qint64 Left() const { return FSize - Pos(); }
  // False when pos lies past the end.
  bool Seek(qint64 pos);
  // The next n bytes, or nullptr when the data ends first. From a file, n is
  // at most BufferSize and the bytes stay valid until the next call.
  const std::uint8_t* Take(qint64 n) {
    if (FLen - FPos >= n) {
      const std::uint8_t* p = FData + FPos;
      FPos += n;
      return p;
    }
    return TakeSlow(n);
  }
  // Copies the next n bytes to dst; false when the data ends first.
  bool Read(void* dst, qint64 n);

 private:
  const std::uint8_t* TakeSlow(qint64 n);
  [[noreturn]] void Fail();
  QFile FFile;
  bool FFromFile = false;
  std::vector<std::uint8_t> FBuffer;
  const std::uint8_t* FData = nullptr;  // the memory, or the buffer
  qint64 FSize = 0;
  qint64 FStart = 0;  // position of FData[0] in the data
  qint64 FLen = 0;    // bytes at FData
  qint64 FPos = 0;    // next byte, as an index into FData
};

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
