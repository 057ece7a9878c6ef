#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

using TPSDChar4 = std::array<char, 4>;

struct TPSDChannel {
  std::uint16_t ID = 0;  // 0 red, 1 green, 2 blue, 0xFFFF transparency
  std::uint32_t LG = 0;  // bytes of the channel's data
};

struct TPSDLayer {
  QByteArray Name;
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  std::uint32_t Top = 0;
  std::uint32_t Left = 0;
  std::uint16_t Channels = 0;
  std::vector<TPSDChannel> Channel;
  TPSDChar4 BlendMode{};
  std::uint8_t Opacity = 0;
  // The layer's pixels, any 32-bit format; premultiplied pixels are written
  // straight. Owned by the record: FreePSDLayers releases it.
  QImage Bitmap;
};

struct TPSDFile {
  std::uint16_t ColorMode = 0;
  std::uint16_t Depth = 0;
  std::uint16_t Channels = 0;
  int Width = 0;
  int Height = 0;
  std::uint16_t LayerCount = 0;
  std::vector<TPSDLayer> Layer;  // bottom layer first
};

// A PSD document is at most this wide and tall.
inline constexpr int PSDMaxSide = 30000;

// Fills every field of the document and its layers from the layer bitmaps;
// false when there is no layer (or fewer entries than LayerCount says).
bool PrepareLayers(TPSDFile& doc);

// The layers drawn in order over opaque black, at the document's size.
QImage CompositeLayers(const TPSDFile& doc);

// PackBits encoding of n bytes into out, which holds at least
// PackRowBound(n) bytes; returns the bytes used.
int PackRow(const std::uint8_t* src, int n, std::uint8_t* out);
constexpr int PackRowBound(int n) { return n + (n + 127) / 128; }

// Expands packed bytes into a row of rowBytes. False when the packed data
// ends inside a packet or fills less than the row; bytes beyond the row are
// dropped.
bool UnpackRow(std::span<const std::uint8_t> packed, std::uint8_t* row, int rowBytes);

// Writes the layers (LayerCount entries of Layer, bottom first) with a merged
// image. Returns false and creates nothing when there are no layers; raises
// EImageFileError when the file cannot be written, leaving any file of that
// name as it was.
bool SavePSDFile(const QString& fileName, TPSDFile& doc);

// Releases the layer bitmaps and empties the layer list.
void FreePSDLayers(TPSDFile& doc);

// Writes one bitmap as a document without layers. Raises EImageFileError when
// the file cannot be written.
bool SaveBitmapAsPSD(const QString& fileName, const QImage& bitmap);

// Loads the merged image of an 8-bit RGB, grey-scale or 1-bit file into the
// bitmap (Format_ARGB32) and returns true; a file it does not accept leaves
// the bitmap unchanged and returns false. Raises EImageFileError(ekRead) when
// the file cannot be opened or read.
bool LoadPSDFile(const QString& fileName, QImage& bitmap);

// The reader over bytes in memory.
bool DecodePSD(std::span<const std::uint8_t> data, QImage& bitmap);
class TByteReader;
bool DecodePSD(TByteReader& in, QImage& bitmap);
