#include "imaging/FMXPSD.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

#include "imaging/ImageFileIO.h"

namespace {

// Image resources: one resolution block, 300 pixels per inch both ways.
constexpr std::uint8_t ImageResources[32] = {
    0x00, 0x00, 0x00, 0x1C, '8',  'B',  'I',  'M',  0x03, 0xED, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10,
    0x01, 0x2C, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x01, 0x2C, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01};

// Pixel byte of each written channel: transparency, red, green, blue.
constexpr int LayerChannelByte[4] = {3, 2, 1, 0};
constexpr std::uint16_t LayerChannelID[4] = {0xFFFF, 0, 1, 2};

void PutBE16(std::uint8_t* p, unsigned v) {
  p[0] = std::uint8_t(v >> 8);
  p[1] = std::uint8_t(v);
}

unsigned BE16(const std::uint8_t* p) { return unsigned(p[0]) << 8 | p[1]; }
std::uint32_t BE32(const std::uint8_t* p) { return std::uint32_t(BE16(p)) << 16 | BE16(p + 2); }

void Gather(const std::uint8_t* pixels, int w, int byte, std::uint8_t* dst) {
  for (int x = 0; x < w; ++x) dst[x] = pixels[4 * x + byte];
}

void WriteHead(TFileOut& out, int width, int height) {
  std::uint8_t hd[26] = {'8', 'B', 'P', 'S', 0, 1};
  PutBE16(&hd[12], 3);
  PutBE16(&hd[14], unsigned(height) >> 16);
  PutBE16(&hd[16], unsigned(height));
  PutBE16(&hd[18], unsigned(width) >> 16);
  PutBE16(&hd[20], unsigned(width));
  PutBE16(&hd[22], 8);
  PutBE16(&hd[24], 3);
  out.Write(hd, sizeof hd);
  out.BE32(0);  // colour mode data
  out.Write(ImageResources, sizeof ImageResources);
}

// Packs and writes the rows of one channel (byte of each 32-bit pixel) and
// notes their lengths in the row table from entry tableIndex on; the caller
// writes the table as zeros first and fills it in afterwards, so that every
// row is packed once.
template <typename RowFn>
void WritePackedRows(TFileOut& out, int w, int h, int byte, int tableIndex, RowFn rowPixels,
                     std::vector<std::uint8_t>& table, std::vector<std::uint8_t>& gathered,
                     std::vector<std::uint8_t>& packed) {
  for (int y = 0; y < h; ++y) {
    Gather(rowPixels(y), w, byte, gathered.data());
    const int n = PackRow(gathered.data(), w, packed.data());
    out.Write(packed.data(), n);
    PutBE16(&table[2 * std::size_t(tableIndex + y)], unsigned(n));
  }
}

void WriteMerged(TFileOut& out, TStraightRows& rows) {
  const int w = rows.Width(), h = rows.Height();
  out.BE16(1);
  const qint64 tableAt = out.Pos();
  std::vector<std::uint8_t> table(6 * std::size_t(h));
  out.Zeros(qint64(table.size()));
  std::vector<std::uint8_t> gathered(std::size_t(w), 0), packed(std::size_t(PackRowBound(w)), 0);
  const int bytes[3] = {2, 1, 0};
  for (int c = 0; c < 3; ++c)
    WritePackedRows(out, w, h, bytes[c], c * h, [&](int y) { return rows.Row(y); }, table, gathered,
                    packed);
  out.Patch(tableAt, table.data(), qint64(table.size()));
}

void CheckSize(const QString& fileName, int w, int h) {
  if (w <= 0 || h <= 0) throw EImageFileError(EImageFileError::ekWrite, fileName, "the picture is empty");
  if (w > PSDMaxSide || h > PSDMaxSide)
    throw EImageFileError(EImageFileError::ekWrite, fileName,
                          QString("a PSD file holds at most %1 x %1 pixels").arg(PSDMaxSide));
}

}  // namespace

bool PrepareLayers(TPSDFile& doc) {
  if (doc.LayerCount == 0 || doc.Layer.size() < doc.LayerCount) return false;
  doc.Width = doc.Height = 0;
  for (int i = 0; i < doc.LayerCount; ++i) {
    TPSDLayer& l = doc.Layer[std::size_t(i)];
    l.Top = l.Left = 0;
    l.Width = std::uint32_t(std::max(0, l.Bitmap.width()));
    l.Height = std::uint32_t(std::max(0, l.Bitmap.height()));
    l.Channels = 4;
    l.Channel.assign(4, {});
    for (int c = 0; c < 4; ++c) l.Channel[std::size_t(c)].ID = LayerChannelID[c];
    l.BlendMode = {'n', 'o', 'r', 'm'};
    l.Opacity = 255;
    l.Name = "Layer" + QByteArray::number(i);
    doc.Width = std::max(doc.Width, int(l.Width));
    doc.Height = std::max(doc.Height, int(l.Height));
  }
  doc.Channels = 4;
  doc.Depth = 8;
  doc.ColorMode = 3;
  return true;
}

QImage CompositeLayers(const TPSDFile& doc) {
  QImage merged(doc.Width, doc.Height, QImage::Format_RGB32);
  merged.fill(0xFF000000);
  QPainter p(&merged);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  for (int i = 0; i < doc.LayerCount; ++i) {
    const TPSDLayer& l = doc.Layer[std::size_t(i)];
    if (l.Bitmap.isNull()) continue;
    p.setOpacity(l.Opacity / 255.0);
    p.drawImage(QPoint(int(l.Left), int(l.Top)), l.Bitmap);
  }
  p.end();
  return merged;
}

int PackRow(const std::uint8_t* src, int n, std::uint8_t* out) {
  std::uint8_t* o = out;
  int pos = 0, lit = 0;
  auto flush = [&] {
    const int k = pos - lit;
    if (k <= 0) return;
    *o++ = std::uint8_t(k - 1);
    std::memcpy(o, src + lit, std::size_t(k));
    o += k;
  };
  while (pos < n) {
    const std::uint8_t b = src[pos];
    const int limit = std::min(n - pos, 128);
    int run = 1;
    while (run < limit && src[pos + run] == b) ++run;
    if (run >= 4) {
      flush();
      *o++ = std::uint8_t(1 - run);
      *o++ = b;
      pos += run;
      lit = pos;
    } else if (pos - lit == 128) {
      flush();
      lit = pos;
    } else {
      ++pos;
    }
  }
  flush();
  return int(o - out);
}

bool UnpackRow(std::span<const std::uint8_t> packed, std::uint8_t* row, int rowBytes) {
  const std::uint8_t* p = packed.data();
  const std::uint8_t* end = p + packed.size();
  int x = 0;
  while (p < end && x < rowBytes) {
    const unsigned h = *p++;
    if (h < 128) {
      const int n = int(h) + 1;
      if (end - p < n) return false;
      std::memcpy(row + x, p, std::size_t(std::min(n, rowBytes - x)));
      p += n;
      x += n;
    } else {
      if (p == end) return false;
      const int n = 257 - int(h);
      std::memset(row + x, *p++, std::size_t(std::min(n, rowBytes - x)));
      x += n;
    }
  }
  return x >= rowBytes;
}

bool SavePSDFile(const QString& fileName, TPSDFile& doc) {
  if (!PrepareLayers(doc)) return false;
  CheckSize(fileName, doc.Width, doc.Height);
  const int count = doc.LayerCount;

  TFileOut out(fileName);
  WriteHead(out, doc.Width, doc.Height);

  const qint64 sectionAt = out.Pos();
  out.BE32(0);
  const qint64 layerInfoAt = out.Pos();
  out.BE32(0);
  out.BE16(std::uint16_t(count));

  std::vector<qint64> lengthAt(4 * std::size_t(count));
  for (int i = 0; i < count; ++i) {
    const TPSDLayer& l = doc.Layer[std::size_t(i)];
    out.BE32(l.Top);
    out.BE32(l.Left);
    out.BE32(l.Top + l.Height);
    out.BE32(l.Left + l.Width);
    out.BE16(4);
    for (int c = 0; c < 4; ++c) {
      out.BE16(LayerChannelID[c]);
      lengthAt[4 * std::size_t(i) + std::size_t(c)] = out.Pos();
      out.BE32(0);
    }
    out.Write("8BIM", 4);
    out.Write(l.BlendMode.data(), 4);
    const std::uint8_t flags[4] = {l.Opacity, 0, 0, 0};
    out.Write(flags, 4);
    // Extra data: mask and blending ranges (both empty) and the name, padded
    // with bytes of value 1 to a multiple of 4.
    const QByteArray name = l.Name.left(255);
    int extra = 8 + 1 + int(name.size());
    const int pad = (4 - extra % 4) % 4;
    extra += pad;
    out.BE32(std::uint32_t(extra));
    out.BE32(0);
    out.BE32(0);
    const std::uint8_t len = std::uint8_t(name.size());
    out.Write(&len, 1);
    out.Write(name.constData(), name.size());
    const std::uint8_t ones[3] = {1, 1, 1};
    out.Write(ones, pad);
  }

  for (int i = 0; i < count; ++i) {
    TPSDLayer& l = doc.Layer[std::size_t(i)];
    const int w = int(l.Width), h = int(l.Height);
    TStraightRows rows(l.Bitmap);
    std::vector<std::uint8_t> table(2 * std::size_t(h), 0), gathered(std::size_t(w), 0),
        packed(std::size_t(PackRowBound(w)), 0);
    for (int c = 0; c < 4; ++c) {
      const qint64 start = out.Pos();
      out.BE16(1);
      const qint64 tableAt = out.Pos();
      out.Zeros(qint64(table.size()));
      WritePackedRows(out, w, h, LayerChannelByte[c], 0, [&](int y) { return rows.Row(y); }, table,
                      gathered, packed);
      out.Patch(tableAt, table.data(), qint64(table.size()));
      l.Channel[std::size_t(c)].LG = std::uint32_t(out.Pos() - start);
      out.PatchBE32(lengthAt[4 * std::size_t(i) + std::size_t(c)], l.Channel[std::size_t(c)].LG);
    }
  }
  out.PatchBE32(layerInfoAt, std::uint32_t(out.Pos() - layerInfoAt - 4));
  out.BE32(0);  // global layer mask info
  out.PatchBE32(sectionAt, std::uint32_t(out.Pos() - sectionAt - 4));

  {
    const QImage merged = CompositeLayers(doc);
    TStraightRows rows(merged);
    WriteMerged(out, rows);
  }
  out.Commit();
  return true;
}

void FreePSDLayers(TPSDFile& doc) {
  for (int i = 0; i < doc.LayerCount && std::size_t(i) < doc.Layer.size(); ++i) {
    doc.Layer[std::size_t(i)].Channel.clear();
    doc.Layer[std::size_t(i)].Bitmap = QImage();
  }
  doc.Layer.clear();
  doc.LayerCount = 0;
}

bool SaveBitmapAsPSD(const QString& fileName, const QImage& bitmap) {
  CheckSize(fileName, bitmap.width(), bitmap.height());
  TFileOut out(fileName);
  WriteHead(out, bitmap.width(), bitmap.height());
  const std::uint8_t noLayers[10] = {0, 0, 0, 6};
  out.Write(noLayers, sizeof noLayers);
  TStraightRows rows(bitmap);
  WriteMerged(out, rows);
  out.Commit();
  return true;
}

bool DecodePSD(TByteReader& in, QImage& bitmap) {
  const std::uint8_t* hd = in.Take(26);
  if (!hd || std::memcmp(hd, "8BPS", 4) != 0 || BE16(hd + 4) != 1) return false;
  const int channels = int(BE16(hd + 12));
  const std::uint32_t h32 = BE32(hd + 14), w32 = BE32(hd + 18);
  const int depth = int(BE16(hd + 22)), mode = int(BE16(hd + 24));
  if (depth != 1 && depth != 8) return false;
  if (mode != 0 && mode != 1 && mode != 3) return false;
  // One bit per sample only makes sense for black-and-white files.
  if (depth == 1 && mode != 0) return false;
  if (channels < 1 || channels > 56) return false;
  if (w32 == 0 || h32 == 0 || w32 > 300000 || h32 > 300000) return false;
  const int w = int(w32), h = int(h32);

  // Colour mode data (must be empty), image resources, layers: skipped.
  for (int s = 0; s < 3; ++s) {
    const std::uint8_t* p = in.Take(4);
    if (!p) return false;
    const std::uint32_t len = BE32(p);
    if ((s == 0 && len != 0) || !in.Seek(in.Pos() + len)) return false;
  }

  const std::uint8_t* cp = in.Take(2);
  if (!cp) return false;
  const unsigned code = BE16(cp);
  if (code > 1) return false;  // compressed otherwise than by PackBits: not read

  const qint64 rowBytes = (qint64(w) * depth + 7) / 8;
  // The colour channels of the mode, then one of transparency; more are ignored.
  const int colourChannels = mode == 3 ? 3 : 1;
  const int used = mode == 0 ? 1 : std::min(channels, colourChannels + 1);
  const qint64 usedRows = qint64(used) * h;

  // Every used row is checked against the file before the bitmap is allocated.
  std::vector<std::uint16_t> rowLen;
  if (code == 1) {
    const qint64 rows = qint64(channels) * h;
    if (in.Left() / 2 < rows) return false;
    rowLen.resize(std::size_t(usedRows));
    qint64 total = 0;
    for (qint64 r = 0; r < rows; ++r) {
      const std::uint8_t* p = in.Take(2);
      if (!p) return false;
      if (r >= usedRows) continue;
      rowLen[std::size_t(r)] = std::uint16_t(BE16(p));
      total += rowLen[std::size_t(r)];
      // Two packed bytes expand to at most 129.
      if (qint64(rowLen[std::size_t(r)]) * 65 < rowBytes) return false;
    }
    if (in.Left() < total) return false;
  } else if (in.Left() / rowBytes < usedRows) {
    return false;
  }
  if (qint64(w) * h * 4 > MaxDecodedBytes) return false;

  QImage img(w, h, QImage::Format_ARGB32);
  if (img.isNull()) return false;
  img.fill(0xFF000000);
  std::vector<std::uint8_t> buf(std::size_t(rowBytes), 0);
  for (int c = 0; c < used; ++c) {
    const bool alpha = c == colourChannels;
    for (int y = 0; y < h; ++y) {
      if (code == 1) {
        const std::uint16_t n = rowLen[std::size_t(qint64(c) * h + y)];
        const std::uint8_t* p = in.Take(n);
        if (!p || !UnpackRow({p, n}, buf.data(), int(rowBytes))) return false;
      } else if (!in.Read(buf.data(), rowBytes)) {
        return false;
      }
      const std::uint8_t* row = buf.data();
      std::uint8_t* px = img.scanLine(y);
      if (alpha) {
        for (int x = 0; x < w; ++x) px[4 * x + 3] = row[x];
      } else if (mode == 3) {
        const int byte = 2 - c;
        for (int x = 0; x < w; ++x) px[4 * x + byte] = row[x];
      } else if (mode == 1) {
        for (int x = 0; x < w; ++x) px[4 * x] = px[4 * x + 1] = px[4 * x + 2] = row[x];
      } else {
        for (int x = 0; x < w; ++x) {
          const std::uint8_t v = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 0 : 255;
          px[4 * x] = px[4 * x + 1] = px[4 * x + 2] = v;
        }
      }
    }
  }
  bitmap = std::move(img);
  return true;
}

bool DecodePSD(std::span<const std::uint8_t> data, QImage& bitmap) {
  TByteReader in(data);
  return DecodePSD(in, bitmap);
}

bool LoadPSDFile(const QString& fileName, QImage& bitmap) {
  TByteReader in(fileName);
  return DecodePSD(in, bitmap);
}
