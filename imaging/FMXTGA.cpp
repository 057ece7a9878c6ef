#include "imaging/FMXTGA.h"


#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "imaging/ImageFileIO.h"

namespace {

constexpr char Signature[] = "TRUEVISION-XFILE.";

void PutLE16(std::uint8_t* p, unsigned v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}

void PutLE32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

unsigned LE16(const std::uint8_t* p) { return unsigned(p[0]) | unsigned(p[1]) << 8; }
std::uint32_t LE32(const std::uint8_t* p) { return LE16(p) | std::uint32_t(LE16(p + 2)) << 16; }

QByteArray CString(const std::uint8_t* p, int max) {
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(p, 0, std::size_t(max)));
  return QByteArray(reinterpret_cast<const char*>(p), end ? int(end - p) : max);
}

void PutText(std::uint8_t* p, const QByteArray& text, int field) {
  // The last byte of the field stays NUL.
  std::memcpy(p, text.constData(), std::size_t(std::min<qsizetype>(text.size(), field - 1)));
}

std::array<std::uint8_t, TGAExtensionSize> BuildExtension(const TTGAParamsVals& v) {
  std::array<std::uint8_t, TGAExtensionSize> e{};
  PutText(&e[2], v.fTGA_Author, 41);
  if (v.fTGA_Date.isValid()) {
    const QDate d = v.fTGA_Date.date();
    const QTime t = v.fTGA_Date.time();
    PutLE16(&e[367], unsigned(d.month()));
    PutLE16(&e[369], unsigned(d.day()));
    PutLE16(&e[371], unsigned(d.year()));
    PutLE16(&e[373], unsigned(t.hour()));
    PutLE16(&e[375], unsigned(t.minute()));
    PutLE16(&e[377], unsigned(t.second()));
  }
  PutText(&e[379], v.fTGA_ImageName, 41);
  e[471] = v.fTGA_Background.r;
  e[472] = v.fTGA_Background.g;
  e[473] = v.fTGA_Background.b;
  PutLE16(&e[474], unsigned(10000 * int(v.fTGA_AspectRatio)));
  PutLE16(&e[476], 10000);
  PutLE16(&e[478], unsigned(10000 * int(v.fTGA_Gamma)));
  PutLE16(&e[480], 10000);
  return e;
}

void ReadExtension(TByteReader& in, std::uint32_t offset, TTGAParamsVals& v) {
  // Offset 0 means the file has no extension area.
  if (offset == 0 || offset >= in.Size() || !in.Seek(offset)) return;
  std::array<std::uint8_t, TGAExtensionSize> e{};
  if (!in.Read(e.data(), std::min<qint64>(TGAExtensionSize, in.Left()))) return;
  v.fTGA_Author = CString(&e[2], 41);
  const unsigned month = LE16(&e[367]), day = LE16(&e[369]), year = LE16(&e[371]);
  const unsigned hour = LE16(&e[373]), minute = LE16(&e[375]), second = LE16(&e[377]);
  if (month && day && year && year < 2500 && month <= 12 && day <= 31 && hour < 24 && minute < 60 && second < 60) {
    const QDate d{int(year), int(month), int(day)};
    if (d.isValid()) v.fTGA_Date = QDateTime(d, QTime(int(hour), int(minute), int(second)));
  }
  v.fTGA_ImageName = CString(&e[379], 41);
  v.fTGA_Background = TRGB{e[473], e[472], e[471]};
  if (LE16(&e[474]) && LE16(&e[476])) v.fTGA_AspectRatio = double(LE16(&e[474])) / LE16(&e[476]);
  if (LE16(&e[478]) && LE16(&e[480])) v.fTGA_Gamma = double(LE16(&e[478])) / LE16(&e[480]);
}

// Pending packet of the run-length decoder, carried from one row to the next.
struct TPacket {
  int left = 0;
  bool run = false;
  QRgb value = 0;
};

class TTGARowDecoder {
 public:
  TTGARowDecoder(TByteReader& in, int bytesPerPixel, bool compressed)
      : FIn(in), FBpp(bytesPerPixel), FCompressed(compressed) {}

  // Decodes one row into dst; false when the data ends first.
  bool Row(QRgb* dst, int w) {
    if (!FCompressed) return Raw(dst, w);
    int x = 0;
    while (x < w) {
      if (FPacket.left == 0) {
        const std::uint8_t* h = FIn.Take(1);
        if (!h) return false;
        FPacket.left = (*h & 0x7F) + 1;
        FPacket.run = *h & 0x80;
        if (FPacket.run) {
          const std::uint8_t* p = FIn.Take(FBpp);
          if (!p) return false;
          FPacket.value = Pixel(p);
        }
      }
      const int n = std::min(FPacket.left, w - x);
      if (FPacket.run) {
        std::fill_n(dst + x, n, FPacket.value);
      } else if (!Raw(dst + x, n)) {
        return false;
      }
      x += n;
      FPacket.left -= n;
    }
    return true;
  }

 private:
  QRgb Pixel(const std::uint8_t* p) const {
    return qRgba(p[2], p[1], p[0], FBpp == 4 ? p[3] : 255);
  }

  bool Raw(QRgb* dst, int n) {
    // Bytes blue, green, red, alpha are already our pixel layout.
    if (FBpp == 4) return FIn.Read(dst, qint64(n) * 4);
    constexpr int Chunk = 8192;
    for (int done = 0; done < n; done += Chunk) {
      const int k = std::min(Chunk, n - done);
      const std::uint8_t* p = FIn.Take(qint64(k) * 3);
      if (!p) return false;
      for (int i = 0; i < k; ++i) dst[done + i] = Pixel(p + 3 * i);
    }
    return true;
  }

  TByteReader& FIn;
  int FBpp;
  bool FCompressed;
  TPacket FPacket;
};

}  // namespace

void TTGAParamsVals::ResetInfo() {
  fTGA_Descriptor.clear();
  fTGA_Author.clear();
  fTGA_ImageName.clear();
}

int PackTGARow(const QRgb* px, int w, std::uint8_t* out) {
  constexpr QRgb Colour = 0x00FFFFFF;
  auto same = [px](int a, int b) { return ((px[a] ^ px[b]) & Colour) == 0; };
  auto put = [](std::uint8_t* o, QRgb p) {
    o[0] = std::uint8_t(p);
    o[1] = std::uint8_t(p >> 8);
    o[2] = std::uint8_t(p >> 16);
  };
  std::uint8_t* o = out;
  int i = 0;
  while (i < w) {
    int run = 1;
    while (run < 128 && i + run < w && same(i, i + run)) ++run;
    if (run >= 2) {
      *o++ = std::uint8_t(0x80 + run - 1);
      put(o, px[i]);
      o += 3;
      i += run;
      continue;
    }
    int j = i, count = 0;
    while (j < w - 1 && !same(j, j + 1) && count < 127) {
      ++j;
      ++count;
    }
    if (j == w - 1) {
      ++count;
      ++j;
    }
    *o++ = std::uint8_t(count - 1);
    for (int k = 0; k < count; ++k, o += 3) put(o, px[i + k]);
    i = j;
  }
  return int(o - out);
}

void SaveTGAFile(const QString& fileName, const QImage& bitmap, const QString& author, bool hasAlpha) {
  TTGAParamsVals v;
  v.ResetInfo();
  v.fTGA_Compressed = !hasAlpha;
  v.fTGA_Author = author.toLatin1();
  v.fAlphaUsed = hasAlpha;
  v.fTGA_Date = QDateTime::currentDateTime();
  const int depth = v.fAlphaUsed ? 32 : 24;
  if (v.fAlphaUsed) v.fTGA_Compressed = false;
  const int w = bitmap.width(), h = bitmap.height();
  if (w <= 0 || h <= 0) throw EImageFileError(EImageFileError::ekWrite, fileName, "the picture is empty");
  if (w > 0xFFFF || h > 0xFFFF)
    throw EImageFileError(EImageFileError::ekWrite, fileName, "a TGA file holds at most 65535 x 65535 pixels");

  TFileOut out(fileName);
  std::array<std::uint8_t, TGAHeaderSize> hd{};
  hd[0] = std::uint8_t(v.fTGA_Descriptor.size() + 1);
  hd[2] = v.fTGA_Compressed ? 10 : 2;
  PutLE16(&hd[12], unsigned(w));
  PutLE16(&hd[14], unsigned(h));
  hd[16] = std::uint8_t(depth);
  hd[17] = depth == 32 ? 0x28 : 0x20;
  out.Write(hd.data(), hd.size());
  out.Write(v.fTGA_Descriptor.constData(), v.fTGA_Descriptor.size());
  out.Zeros(1);

  TStraightRows rows(bitmap);
  if (v.fTGA_Compressed) {
    std::vector<std::uint8_t> packed(std::size_t(TGARowBound(w)));
    for (int y = 0; y < h; ++y)
      out.Write(packed.data(), PackTGARow(reinterpret_cast<const QRgb*>(rows.Row(y)), w, packed.data()));
  } else {
    for (int y = 0; y < h; ++y) out.Write(rows.Row(y), qint64(w) * 4);
  }

  const qint64 extAt = out.Pos();
  const auto ext = BuildExtension(v);
  out.Write(ext.data(), ext.size());
  std::array<std::uint8_t, TGAFooterSize> ft{};
  PutLE32(&ft[0], std::uint32_t(extAt));
  std::memcpy(&ft[8], Signature, sizeof Signature);
  out.Write(ft.data(), ft.size());
  out.Commit();
}

bool DecodeTGA(TByteReader& in, QImage& bitmap, TTGAParamsVals& v) {
  v.ResetInfo();
  v.fTGA_Date = QDateTime(QDate::currentDate(), QTime(0, 0));
  v.fTGA_Background = {};
  v.fTGA_AspectRatio = 1.0;
  v.fTGA_Gamma = 2.2;
  if (in.Size() >= TGAFooterSize && in.Seek(in.Size() - TGAFooterSize)) {
    const std::uint8_t* ft = in.Take(TGAFooterSize);
    if (ft && CString(ft + 8, 18) == Signature) ReadExtension(in, LE32(ft), v);
  }

  if (!in.Seek(0)) return false;
  const std::uint8_t* hp = in.Take(TGAHeaderSize);
  if (!hp) return false;
  std::array<std::uint8_t, TGAHeaderSize> hd;
  std::memcpy(hd.data(), hp, hd.size());
  const int type = hd[2], depth = hd[16], desc = hd[17];
  if ((type != 2 && type != 10) || (depth != 24 && depth != 32)) return false;
  const int w = int(LE16(&hd[12])), h = int(LE16(&hd[14]));
  const int bpp = depth / 8;
  const std::uint8_t* id = in.Take(hd[0]);
  if (!id) return false;
  v.fTGA_Descriptor = QByteArray(reinterpret_cast<const char*>(id), hd[0]);
  // A colour map may stand between the image ID and the pixels even of a
  // true-colour image; it is skipped, not read as pixels.
  if (hd[1] == 1 && !in.Seek(in.Pos() + qint64(LE16(&hd[5])) * ((hd[7] + 7) / 8))) return false;
  v.fTGA_Compressed = type == 10;
  v.fWidth = v.fOriginalWidth = w;
  v.fHeight = v.fOriginalHeight = h;
  v.fBitsPerSample = 8;
  v.fSamplesPerPixel = bpp;

  // Refuse before allocating what the file could never fill: a raw pixel
  // takes bpp bytes, and a run packet of bpp + 1 bytes fills at most 128.
  const qint64 pixels = qint64(w) * h;
  const qint64 avail = in.Left();
  if (pixels == 0 || pixels * 4 > MaxDecodedBytes) return false;
  if (v.fTGA_Compressed ? (pixels + 127) / 128 * (bpp + 1) > avail : pixels * bpp > avail) return false;

  QImage img(w, h, QImage::Format_ARGB32);
  if (img.isNull()) return false;
  // Bit 5 puts the first stored row at the top, bit 4 the first pixel at the right.
  const bool topDown = desc & 0x20;
  const bool rightToLeft = desc & 0x10;
  TTGARowDecoder dec(in, bpp, v.fTGA_Compressed);
  for (int r = 0; r < h; ++r) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(topDown ? r : h - 1 - r));
    if (!dec.Row(row, w)) return false;
    if (rightToLeft) std::reverse(row, row + w);
  }
  bitmap = std::move(img);
  return true;
}

bool DecodeTGA(std::span<const std::uint8_t> data, QImage& bitmap, TTGAParamsVals& info) {
  TByteReader in(data);
  return DecodeTGA(in, bitmap, info);
}

bool LoadTGAFile(const QString& fileName, QImage& bitmap, QString& author) {
  TByteReader in(fileName);
  TTGAParamsVals v;
  const bool ok = DecodeTGA(in, bitmap, v);
  author = QString::fromLatin1(v.fTGA_Author);
  return ok;
}
