#pragma once

#include <QByteArray>
#include <QImage>
#include <QRegion>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "PenItem.h"

// Square tiles of a layer, kept as a bit per tile.
class TTileSet {
 public:
  static constexpr int Size = 32;

  TTileSet() = default;
  explicit TTileSet(QSize layer);
  // Marks every tile that rect touches (clipped to the layer).
  void Add(const QRect& rect);
  void Add(const TTileSet& other);
  bool Contains(int tx, int ty) const { return FBits[std::size_t(ty) * FCols + tx]; }
  bool Empty() const;
  int Cols() const { return FCols; }
  int Rows() const { return FRows; }
  QRect TileRect(int tx, int ty) const;
  QRegion Region() const;

 private:
  QSize FLayer;
  int FCols = 0;
  int FRows = 0;
  std::vector<bool> FBits;
};

// The content of some tiles of a layer, compressed: a tile that is one
// colour (an empty one, say) costs a word, others are run-length coded
// when that is smaller.
class TLayerPatch {
 public:
  static TLayerPatch Capture(const QImage& layer, const TTileSet& tiles);
  // Puts the captured pixels back; false (and nothing changed) when the
  // layer's size differs or the packed store does not unpack.
  bool Restore(QImage& layer) const;
  // The same tiles as they are in layer now.
  TLayerPatch Recapture(const QImage& layer) const;
  std::size_t Bytes() const;
  QRegion Region() const;
  bool Empty() const { return FTiles.empty(); }
  // Compresses the coded pixels further (zlib) for keeping: about a third
  // of the size, at a millisecond or so to pack and to restore.
  void Pack();

 private:
  struct Tile {
    std::int16_t tx = 0, ty = 0;
    // Uniform: one value; Runs: (count, value) pairs; Raw: the pixels.
    enum class Kind : std::uint8_t { Uniform, Runs, Raw } kind = Kind::Uniform;
    // Uniform: the colour; otherwise, once packed, the words of its data.
    std::uint32_t value = 0;
    std::vector<std::uint32_t> data;
  };
  static Tile Encode(const QImage& layer, int tx, int ty, const QRect& r);
  static void Decode(QImage& layer, const Tile& t, const std::uint32_t* data, const QRect& r);

  std::vector<Tile> FTiles;
  QSize FLayer;
  // Once packed: the data of every tile in turn, compressed.
  QByteArray FPacked;
  bool FIsPacked = false;
};

// A whole layer at one moment, compressed in square blocks (zlib; drawings
// compress about fivefold). A block that did not change since an earlier
// checkpoint shares that one's storage, so a row of checkpoints costs what
// changed between them.
class TLayerCheckpoint {
 public:
  static constexpr int Block = 2 * TTileSet::Size;

  // Compresses layer. With a base of the same size, only blocks touching
  // changed are compressed anew; the others are taken from the base, which
  // must hold the same pixels there.
  static TLayerCheckpoint Capture(const QImage& layer, const TLayerCheckpoint* base, const TTileSet* changed);
  // Puts back the blocks that touch a tile of tiles. False when the layer's
  // size does not match or a block does not decompress.
  bool Restore(QImage& layer, const TTileSet& tiles) const;
  // Bytes of the blocks not yet in seen; adds them to it. Shared blocks are
  // counted once over every checkpoint passed with the same set.
  std::size_t Bytes(std::unordered_set<const char*>& seen) const;

 private:
  QSize FLayer;
  int FCols = 0;
  int FRows = 0;
  // Empty: a fully transparent block.
  std::vector<QByteArray> FBlocks;
};
