#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <cstdint>
#include <span>

struct TRGB {
  std::uint8_t b = 0;
  std::uint8_t g = 0;
  std::uint8_t r = 0;
};

// The values of one TGA file being read or written.
class TTGAParamsVals {
 public:
  int fWidth = 0;
  int fHeight = 0;
  int fOriginalWidth = 0;
  int fOriginalHeight = 0;
  int fBitsPerSample = 0;
  int fSamplesPerPixel = 0;
  bool fAlphaUsed = false;
  bool fTGA_Compressed = false;
  QByteArray fTGA_Descriptor;
  QByteArray fTGA_Author;
  QDateTime fTGA_Date;
  QByteArray fTGA_ImageName;
  TRGB fTGA_Background;
  double fTGA_AspectRatio = 0;
  double fTGA_Gamma = 0;

  void ResetInfo();
};

inline constexpr int TGAHeaderSize = 18;
inline constexpr int TGAExtensionSize = 495;
inline constexpr int TGAFooterSize = 26;

// Writes the bitmap (any format; premultiplied pixels are stored straight) as
// a TGA 2.0 file: 32-bit uncompressed with alpha, or 24-bit run-length
// encoded without. Raises EImageFileError when the file cannot be written;
// an existing file of that name is replaced only by a complete new one.
void SaveTGAFile(const QString& fileName, const QImage& bitmap, const QString& author, bool hasAlpha);

// Loads a true-colour TGA file (types 2 and 10, 24 or 32 bits) into the
// bitmap as Format_ARGB32 and returns true. A file it does not accept (other
// kinds, impossible sizes, data that ends early) leaves the bitmap unchanged
// and returns false. The author is set from the extension area in both cases
// (empty when there is none). Raises EImageFileError(ekRead) when the file
// cannot be opened or read.
bool LoadTGAFile(const QString& fileName, QImage& bitmap, QString& author);

// The reader over bytes in memory: fills info (extension area and header
// values) and, when the image is accepted, the bitmap.
bool DecodeTGA(std::span<const std::uint8_t> data, QImage& bitmap, TTGAParamsVals& info);
class TByteReader;
bool DecodeTGA(TByteReader& in, QImage& bitmap, TTGAParamsVals& info);

// Run-length encodes one row of pixels (their blue, green and red bytes) into
// out, which holds at least TGARowBound(width) bytes; returns the bytes used.
int PackTGARow(const QRgb* pixels, int width, std::uint8_t* out);
constexpr int TGARowBound(int width) { return 4 * width; }
