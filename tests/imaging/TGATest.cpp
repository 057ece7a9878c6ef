#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <vector>

#include "ImagingTestUtil.h"
#include "imaging/FMXTGA.h"

using namespace imagingtest;

namespace {

struct TDir {
  QTemporaryDir dir;
  QString Path(const QString& name) const { return dir.filePath(name); }
};

// Packet headers of a packed 24-bit row, checked to describe exactly w pixels.
std::vector<int> Headers(const std::vector<std::uint8_t>& packed, int w) {
  std::vector<int> h;
  std::size_t i = 0;
  int pixels = 0;
  while (i < packed.size()) {
    const int b = packed[i];
    h.push_back(b);
    const int n = (b & 0x7F) + 1;
    pixels += n;
    i += 1 + (b & 0x80 ? 3 : 3 * std::size_t(n));
  }
  EXPECT_EQ(i, packed.size());
  EXPECT_EQ(pixels, w);
  return h;
}

// A row from a pattern of letters: equal letters are equal pixels.
std::vector<QRgb> Row(const std::string& letters) {
  std::vector<QRgb> px;
  for (char c : letters) px.push_back(qRgba(c, c * 3, c * 5, 7));
  return px;
}

std::vector<QRgb> Distinct(int n) {
  std::vector<QRgb> px;
  for (int i = 0; i < n; ++i) px.push_back(qRgb(i, i >> 8, 1));
  return px;
}

std::vector<QRgb> Same(int n) { return std::vector<QRgb>(std::size_t(n), qRgb(9, 8, 7)); }

std::vector<QRgb> Cat(std::vector<QRgb> a, const std::vector<QRgb>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::uint8_t> Pack(const std::vector<QRgb>& px) {
  std::vector<std::uint8_t> out(std::size_t(TGARowBound(int(px.size()))));
  out.resize(std::size_t(PackTGARow(px.data(), int(px.size()), out.data())));
  return out;
}

// An 18-byte header followed by pixel data.
QByteArray Header(int type, int w, int h, int depth, int descriptor) {
  QByteArray d(18, 0);
  d[2] = char(type);
  d[12] = char(w);
  d[13] = char(w >> 8);
  d[14] = char(h);
  d[15] = char(h >> 8);
  d[16] = char(depth);
  d[17] = char(descriptor);
  return d;
}

QByteArray Bgr(int b, int g, int r) { return Bytes({b, g, r}); }

bool Decode(const QByteArray& d, QImage& img) {
  TTGAParamsVals v;
  return DecodeTGA({reinterpret_cast<const std::uint8_t*>(d.constData()), std::size_t(d.size())}, img, v);
}

QImage Sentinel() {
  QImage img(3, 3, QImage::Format_ARGB32);
  img.fill(0x80402010);
  return img;
}

TEST(TGAWriteTest, ThirtyTwoBitLayoutIsExact) {
  TDir t;
  const QImage img = Pattern(7, 5);
  SaveTGAFile(t.Path("a.tga"), img, "ORVEL PROJECT", true);
  const QByteArray d = ReadBytes(t.Path("a.tga"));
  ASSERT_EQ(d.size(), 540 + 4 * 7 * 5);
  EXPECT_EQ(d.left(18), Bytes({1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 5, 0, 32, 0x28}));
  EXPECT_EQ(At(d, 18), 0);  // the image ID: one NUL
  // Rows from the top, each pixel its bytes blue, green, red, alpha.
  for (int y = 0; y < 5; ++y)
    EXPECT_EQ(d.mid(19 + y * 28, 28), QByteArray(reinterpret_cast<const char*>(img.constScanLine(y)), 28)) << y;
  const int ext = 19 + 140;
  EXPECT_EQ(LE16(d, ext), 0u);
  EXPECT_EQ(d.mid(ext + 2, 14), QByteArray("ORVEL PROJECT\0", 14));
  EXPECT_EQ(d.mid(ext + 379, 41), QByteArray(41, 0));
  EXPECT_EQ(LE16(d, ext + 476), 10000u);
  EXPECT_EQ(LE16(d, ext + 480), 10000u);
  EXPECT_EQ(d.mid(ext + 482, 13), QByteArray(13, 0));
  const QByteArray footer = d.right(26);
  EXPECT_EQ(LE32(footer, 0), unsigned(ext));
  EXPECT_EQ(LE32(footer, 4), 0u);
  EXPECT_EQ(footer.mid(8), QByteArray("TRUEVISION-XFILE.\0", 18));
}

TEST(TGAWriteTest, OnePixelRunLengthFile) {
  TDir t;
  QImage img(1, 1, QImage::Format_ARGB32);
  img.setPixel(0, 0, qRgba(0x30, 0x20, 0x10, 0x00));
  SaveTGAFile(t.Path("a.tga"), img, "", false);
  const QByteArray d = ReadBytes(t.Path("a.tga"));
  ASSERT_EQ(d.size(), 544);
  EXPECT_EQ(At(d, 2), 10);
  EXPECT_EQ(At(d, 16), 24);
  EXPECT_EQ(At(d, 17), 0x20);
  EXPECT_EQ(d.mid(19, 4), Bytes({0x00, 0x10, 0x20, 0x30}));
}

TEST(TGARunLengthTest, PacketsAtTheirBoundaries) {
  const struct {
    const char* name;
    std::vector<QRgb> row;
    std::vector<int> headers;
  } cases[] = {
      {"run of 2", Same(2), {0x81}},
      {"run of 3", Same(3), {0x82}},
      {"run of 4", Same(4), {0x83}},
      {"run of 128", Same(128), {0xFF}},
      {"run of 129", Same(129), {0xFF, 0x00}},
      {"run of 300", Same(300), {0xFF, 0xFF, 0xAB}},
      {"literal of 127", Distinct(127), {0x7E}},
      {"literal of 128 ends the row", Distinct(128), {0x7F}},
      {"literal of 129", Distinct(129), {0x7E, 0x01}},
      {"literal of 200", Distinct(200), {0x7E, 0x48}},
      {"A B B C", Row("ABBC"), {0x00, 0x81, 0x00}},
      {"literal then run", Row("ABCC"), {0x01, 0x81}},
      {"run then literal", Row("AABC"), {0x81, 0x01}},
      {"literal of 127 then run", Cat(Distinct(127), Same(2)), {0x7E, 0x81}},
      {"one pixel", Row("A"), {0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto packed = Pack(c.row);
    EXPECT_EQ(Headers(packed, int(c.row.size())), c.headers);
    // And the reader gives the row back.
    QImage img;
    const int w = int(c.row.size());
    ASSERT_TRUE(Decode(Header(10, w, 1, 24, 0x20) + QByteArray(reinterpret_cast<const char*>(packed.data()),
                                                                qsizetype(packed.size())),
                       img));
    for (int x = 0; x < w; ++x) ASSERT_EQ(img.pixel(x, 0), c.row[std::size_t(x)] | 0xFF000000) << x;
  }
}

TEST(TGARunLengthTest, AlphaDoesNotBreakRunsAndIsNotStored) {
  const std::vector<QRgb> row = {qRgba(1, 2, 3, 0), qRgba(1, 2, 3, 255), qRgba(1, 2, 3, 9)};
  EXPECT_EQ(Pack(row), (std::vector<std::uint8_t>{0x82, 3, 2, 1}));
}

TEST(TGARoundTripTest, BothFlavoursReadBack) {
  TDir t;
  const QImage img = Pattern(301, 17);
  QString author;
  SaveTGAFile(t.Path("a.tga"), img, "someone", true);
  QImage back;
  ASSERT_TRUE(LoadTGAFile(t.Path("a.tga"), back, author));
  EXPECT_EQ(author, "someone");
  EXPECT_EQ(back, img);  // alpha unchanged, no premultiplication

  SaveTGAFile(t.Path("r.tga"), img, "other", false);
  ASSERT_TRUE(LoadTGAFile(t.Path("r.tga"), back, author));
  EXPECT_EQ(author, "other");
  ASSERT_EQ(back.size(), img.size());
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) ASSERT_EQ(back.pixel(x, y), img.pixel(x, y) | 0xFF000000) << x << "," << y;
}

TEST(TGARoundTripTest, PremultipliedPixelsAreStoredStraight) {
  TDir t;
  QImage pen(2, 1, QImage::Format_ARGB32_Premultiplied);
  pen.setPixel(0, 0, qPremultiply(qRgba(255, 0, 0, 128)));
  pen.setPixel(1, 0, 0);
  SaveTGAFile(t.Path("a.tga"), pen, "", true);
  const QByteArray d = ReadBytes(t.Path("a.tga"));
  EXPECT_EQ(d.mid(19, 8), Bytes({0, 0, 255, 128, 0, 0, 0, 0}));
}

TEST(TGAReadTest, RowOrderFollowsTheDescriptor) {
  // Two rows of two pixels: first stored row (1, 2), second (3, 4).
  const QByteArray pixels = Bgr(1, 0, 0) + Bgr(2, 0, 0) + Bgr(3, 0, 0) + Bgr(4, 0, 0);
  const struct {
    int descriptor;
    int topLeft, topRight, bottomLeft, bottomRight;
  } cases[] = {
      {0x00, 3, 4, 1, 2},  // bottom-up
      {0x20, 1, 2, 3, 4},  // top-down
      {0x30, 2, 1, 4, 3},  // top-down, right to left
      {0x10, 4, 3, 2, 1},  // bottom-up, right to left
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.descriptor);
    QImage img;
    ASSERT_TRUE(Decode(Header(2, 2, 2, 24, c.descriptor) + pixels, img));
    EXPECT_EQ(qBlue(img.pixel(0, 0)), c.topLeft);
    EXPECT_EQ(qBlue(img.pixel(1, 0)), c.topRight);
    EXPECT_EQ(qBlue(img.pixel(0, 1)), c.bottomLeft);
    EXPECT_EQ(qBlue(img.pixel(1, 1)), c.bottomRight);
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 255);
  }
}

TEST(TGAReadTest, PacketsThatCrossRowsGiveTheSameImage) {
  // 3 x 2, 32-bit: X X X / X Y Z, with a run of four crossing the row end.
  const QByteArray x = Bytes({10, 20, 30, 40}), y = Bytes({1, 2, 3, 4}), z = Bytes({5, 6, 7, 8});
  const QByteArray crossing = Header(10, 3, 2, 32, 0x28) + char(0x83) + x + char(0x01) + y + z;
  const QByteArray rowWise = Header(10, 3, 2, 32, 0x28) + char(0x82) + x + char(0x00) + x + char(0x01) + y + z;
  const QByteArray raw = Header(2, 3, 2, 32, 0x28) + x + x + x + x + y + z;
  QImage a, b, c;
  ASSERT_TRUE(Decode(crossing, a));
  ASSERT_TRUE(Decode(rowWise, b));
  ASSERT_TRUE(Decode(raw, c));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
  EXPECT_EQ(a.pixel(0, 1), qRgba(30, 20, 10, 40));
  EXPECT_EQ(a.pixel(2, 1), qRgba(7, 6, 5, 8));
  // A raw packet may cross the row end as well.
  QImage d;
  ASSERT_TRUE(Decode(Header(10, 3, 2, 32, 0x28) + char(0x82) + x + char(0x02) + x + y + z, d));
  EXPECT_EQ(d, a);
}

TEST(TGAReadTest, RefusedFilesLeaveTheBitmapUnchanged) {
  const QByteArray px = Bgr(1, 2, 3);
  QByteArray colourMapped = Header(1, 1, 1, 8, 0) + char(0);
  colourMapped[1] = 1;
  const struct {
    const char* name;
    QByteArray data;
  } cases[] = {
      {"empty", {}},
      {"short header", Header(2, 1, 1, 24, 0).left(17)},
      {"colour-mapped", colourMapped},
      {"grey-scale", Header(3, 1, 1, 8, 0) + char(5)},
      {"grey-scale run-length", Header(11, 1, 1, 8, 0) + char(0) + char(5)},
      {"16-bit", Header(2, 1, 1, 16, 0) + Bytes({1, 2})},
      {"zero width", Header(2, 0, 1, 24, 0) + px},
      {"zero height", Header(2, 1, 0, 24, 0) + px},
      {"pixels missing", Header(2, 2, 1, 24, 0) + px},
      {"packet missing", Header(10, 2, 1, 24, 0) + char(0) + px},
      {"run value cut", Header(10, 2, 1, 24, 0) + char(0x81) + px.left(2)},
      {"raw packet cut", Header(10, 130, 1, 24, 0) + char(0x7F) + px + px},
      {"image ID past the end", [&px] {
         QByteArray d = Header(2, 1, 1, 24, 0) + px;
         d[0] = char(200);
         return d;
       }()},
      {"65535 x 65535 header", Header(10, 65535, 65535, 32, 0) + QByteArray(2000, char(0xFF))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QImage img = Sentinel();
    EXPECT_FALSE(Decode(c.data, img));
    EXPECT_EQ(img, Sentinel());
  }
}

TEST(TGAReadTest, EveryTruncationOfAFileIsRefusedOrComplete) {
  TDir t;
  for (bool alpha : {true, false}) {
    SaveTGAFile(t.Path("a.tga"), Pattern(40, 6), "x", alpha);
    const QByteArray d = ReadBytes(t.Path("a.tga"));
    const qsizetype pixelEnd = d.size() - 495 - 26;
    for (qsizetype n = 0; n < d.size(); ++n) {
      QImage img = Sentinel();
      const bool ok = Decode(d.left(n), img);
      // Cut inside the pixels: refused; cut after them: the whole image.
      ASSERT_EQ(ok, n >= pixelEnd) << n;
      if (!ok) {
        ASSERT_EQ(img, Sentinel()) << n;
      }
    }
  }
}

TEST(TGAReadTest, AuthorComesFromTheExtensionAreaOnly) {
  TDir t;
  SaveTGAFile(t.Path("a.tga"), Pattern(3, 3), "A. Author", false);
  QByteArray d = ReadBytes(t.Path("a.tga"));
  const QString name = t.Path("b.tga");
  QImage img;
  QString author = "stale";

  // No footer: empty author, image still read.
  ASSERT_TRUE(WriteBytes(name, d.left(d.size() - 495 - 26)));
  EXPECT_TRUE(LoadTGAFile(name, img, author));
  EXPECT_EQ(author, "");

  // A footer whose extension offset is 0 names no extension area.
  QByteArray noExt = d.left(d.size() - 495 - 26) + QByteArray(8, 0) + QByteArray("TRUEVISION-XFILE.\0", 18);
  ASSERT_TRUE(WriteBytes(name, noExt));
  author = "stale";
  EXPECT_TRUE(LoadTGAFile(name, img, author));
  EXPECT_EQ(author, "");

  // A refused image still reports the author of its extension area.
  d[16] = char(16);
  ASSERT_TRUE(WriteBytes(name, d));
  img = Sentinel();
  EXPECT_FALSE(LoadTGAFile(name, img, author));
  EXPECT_EQ(author, "A. Author");
  EXPECT_EQ(img, Sentinel());
}

TEST(TGAReadTest, ExtensionAreaValuesAreRead) {
  TDir t;
  SaveTGAFile(t.Path("a.tga"), Pattern(2, 2), "", true);
  QByteArray d = ReadBytes(t.Path("a.tga"));
  const qsizetype ext = LE32(d, d.size() - 26);
  auto put16 = [&](qsizetype at, int v) {
    d[ext + at] = char(v);
    d[ext + at + 1] = char(v >> 8);
  };
  put16(367, 2);
  put16(369, 29);
  put16(371, 2024);
  put16(373, 13);
  put16(375, 14);
  put16(377, 15);
  d.replace(ext + 379, 4, "job\0", 4);
  put16(474, 3);
  put16(476, 2);
  TTGAParamsVals v;
  QImage img;
  ASSERT_TRUE(DecodeTGA({reinterpret_cast<const std::uint8_t*>(d.constData()), std::size_t(d.size())}, img, v));
  EXPECT_EQ(v.fTGA_Date, QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15)));
  EXPECT_EQ(v.fTGA_ImageName, "job");
  EXPECT_DOUBLE_EQ(v.fTGA_AspectRatio, 1.5);
  EXPECT_DOUBLE_EQ(v.fTGA_Gamma, 2.2);  // written as 0 / 10000: no gamma
  EXPECT_EQ(v.fSamplesPerPixel, 4);
  // 30 February is no date: today's date stays.
  put16(369, 30);
  put16(367, 2);
  ASSERT_TRUE(DecodeTGA({reinterpret_cast<const std::uint8_t*>(d.constData()), std::size_t(d.size())}, img, v));
  EXPECT_EQ(v.fTGA_Date.date(), QDate::currentDate());
}

TEST(TGAReadTest, ColourMapOfATrueColourFileIsSkipped) {
  QByteArray d = Header(2, 1, 1, 24, 0x20);
  d[1] = 1;  // colour map present: two entries of 24 bits
  d[5] = 2;
  d[7] = 24;
  d += Bgr(9, 9, 9) + Bgr(8, 8, 8) + Bgr(1, 2, 3);
  QImage img;
  ASSERT_TRUE(Decode(d, img));
  EXPECT_EQ(img.pixel(0, 0), qRgb(3, 2, 1));
}

}  // namespace

namespace {

// Files larger than the reader's buffer: packets and rows straddle refills.
TEST(TGAReadTest, LargeFilesReadThroughTheBufferAsFromMemory) {
  QTemporaryDir t;
  const QImage img = Pattern(777, 401, 3);
  for (bool alpha : {true, false}) {
    SCOPED_TRACE(alpha);
    const QString name = t.filePath("big.tga");
    SaveTGAFile(name, img, "big", alpha);
    QByteArray d = ReadBytes(name);
    ASSERT_GT(d.size(), 300000);
    d[17] = char(d[17] & ~0x20);  // bottom-up
    ASSERT_TRUE(WriteBytes(name, d));
    QImage fromFile, fromMemory;
    QString author;
    ASSERT_TRUE(LoadTGAFile(name, fromFile, author));
    EXPECT_EQ(author, "big");
    TTGAParamsVals v;
    ASSERT_TRUE(DecodeTGA({reinterpret_cast<const std::uint8_t*>(d.constData()), std::size_t(d.size())}, fromMemory, v));
    EXPECT_EQ(fromFile, fromMemory);
    EXPECT_EQ(fromFile.pixel(5, 0), (alpha ? img.pixel(5, 400) : img.pixel(5, 400) | 0xFF000000));
    // The same file cut short inside its pixels.
    ASSERT_TRUE(WriteBytes(name, d.left(d.size() / 2)));
    QImage untouched = Pattern(2, 2);
    EXPECT_FALSE(LoadTGAFile(name, untouched, author));
    EXPECT_EQ(untouched, Pattern(2, 2));
  }
}

}  // namespace
