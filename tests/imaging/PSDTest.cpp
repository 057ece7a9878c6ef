#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <vector>

#include "ImagingTestUtil.h"
#include "imaging/FMXPSD.h"

using namespace imagingtest;

namespace {

const QByteArray kResources = Bytes({0x00, 0x00, 0x00, 0x1C, '8',  'B',  'I',  'M',  0x03, 0xED, 0x00,
                                     0x00, 0x00, 0x00, 0x00, 0x10, 0x01, 0x2C, 0x00, 0x00, 0x00, 0x01,
                                     0x00, 0x01, 0x01, 0x2C, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01});

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& row) {
  std::vector<std::uint8_t> out(std::size_t(PackRowBound(int(row.size()))));
  out.resize(std::size_t(PackRow(row.data(), int(row.size()), out.data())));
  return out;
}

std::vector<std::uint8_t> Distinct(int n) {
  std::vector<std::uint8_t> r;
  for (int i = 0; i < n; ++i) r.push_back(std::uint8_t(i % 2 ? i : 255 - i));
  return r;
}
std::vector<std::uint8_t> Same(int n, std::uint8_t b = 7) { return std::vector<std::uint8_t>(std::size_t(n), b); }
std::vector<std::uint8_t> Cat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Headers of a PackBits stream, which must expand to exactly n bytes.
std::vector<int> Headers(const std::vector<std::uint8_t>& p, std::size_t n) {
  std::vector<int> h;
  std::size_t i = 0, out = 0;
  while (i < p.size()) {
    h.push_back(p[i]);
    if (p[i] < 128) {
      out += p[i] + 1u;
      i += p[i] + 2u;
    } else {
      out += 257u - p[i];
      i += 2;
    }
  }
  EXPECT_EQ(i, p.size());
  EXPECT_EQ(out, n);
  return h;
}

TEST(PackRowTest, PacketsAtTheirBoundaries) {
  const struct {
    const char* name;
    std::vector<std::uint8_t> row;
    std::vector<int> headers;
  } cases[] = {
      {"run of 2 stays literal", Same(2), {0x01}},
      {"run of 3 stays literal", Same(3), {0x02}},
      {"run of 4", Same(4), {0xFD}},
      {"run of 10", Same(10), {0xF7}},
      {"run of 128", Same(128), {0x81}},
      {"run of 129", Same(129), {0x81, 0x00}},
      {"run of 132", Same(132), {0x81, 0xFD}},
      {"literal of 127", Distinct(127), {0x7E}},
      {"literal of 128", Distinct(128), {0x7F}},
      {"literal of 200", Distinct(200), {0x7F, 0x47}},
      {"literal, run, literal", Cat(Cat(Distinct(3), Same(5)), Distinct(2)), {0x02, 0xFC, 0x01}},
      {"short runs inside a literal", Cat(Cat(Distinct(2), Same(3)), Distinct(2)), {0x06}},
      {"literal of 128 then a run", Cat(Distinct(128), Same(4, 1)), {0x7F, 0xFD}},
      {"one byte", Same(1), {0x00}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto p = Pack(c.row);
    EXPECT_EQ(Headers(p, c.row.size()), c.headers);
    std::vector<std::uint8_t> back(c.row.size());
    ASSERT_TRUE(UnpackRow(p, back.data(), int(back.size())));
    EXPECT_EQ(back, c.row);
  }
  EXPECT_EQ(Pack(Same(10, 0xAB)), (std::vector<std::uint8_t>{0xF7, 0xAB}));
  EXPECT_EQ(Pack(Same(3, 0xAB)), (std::vector<std::uint8_t>{0x02, 0xAB, 0xAB, 0xAB}));
}

TEST(PackRowTest, UnpackStaysInsideItsRow) {
  std::uint8_t row[8];
  // Header 128 repeats its byte 129 times; only the row's 8 are kept.
  std::fill(std::begin(row), std::end(row), 0);
  const std::uint8_t long_run[] = {0x80, 0x55};
  EXPECT_TRUE(UnpackRow(long_run, row, 5));
  EXPECT_EQ(row[4], 0x55);
  EXPECT_EQ(row[5], 0);  // not past the row
  const std::uint8_t overlong_literal[] = {0x09, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_TRUE(UnpackRow(overlong_literal, row, 3));
  EXPECT_EQ(row[2], 3);
  EXPECT_EQ(row[3], 0x55);
  // Data that ends inside a packet, or fills less than the row.
  const std::uint8_t cutLiteral[] = {0x05, 1, 2};
  const std::uint8_t cutRun[] = {0xFE};
  const std::uint8_t shortRow[] = {0xFE, 9};
  EXPECT_FALSE(UnpackRow(cutLiteral, row, 6));
  EXPECT_FALSE(UnpackRow(cutRun, row, 3));
  EXPECT_FALSE(UnpackRow(shortRow, row, 4));
}

// Walks a layered file written by SavePSDFile and gives back each layer's
// pixels from its channel data, checking every length on the way.
struct TParsed {
  std::vector<QRect> bounds;
  std::vector<QByteArray> names;
  std::vector<QImage> layers;
  qsizetype mergedAt = 0;
};

TParsed Parse(const QByteArray& d) {
  TParsed r;
  qsizetype p = 26 + 4 + 32;
  const unsigned section = BE32(d, p);
  const qsizetype sectionEnd = p + 4 + section;
  p += 4;
  const unsigned layerInfo = BE32(d, p);
  const qsizetype layerInfoEnd = p + 4 + layerInfo;
  p += 4;
  const int count = int(BE16(d, p));
  p += 2;
  std::vector<std::vector<unsigned>> lengths;
  for (int i = 0; i < count; ++i) {
    const int top = int(BE32(d, p)), left = int(BE32(d, p + 4)), bottom = int(BE32(d, p + 8)),
              right = int(BE32(d, p + 12));
    r.bounds.push_back(QRect(left, top, right - left, bottom - top));
    EXPECT_EQ(BE16(d, p + 16), 4u);
    std::vector<unsigned> ls;
    const unsigned ids[4] = {0xFFFF, 0, 1, 2};
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(BE16(d, p + 18 + 6 * c), ids[c]);
      ls.push_back(BE32(d, p + 20 + 6 * c));
    }
    lengths.push_back(ls);
    p += 42;
    EXPECT_EQ(d.mid(p, 8), "8BIMnorm");
    EXPECT_EQ(d.mid(p + 8, 4), Bytes({255, 0, 0, 0}));
    const unsigned extra = BE32(d, p + 12);
    EXPECT_EQ(extra % 4, 0u);
    EXPECT_EQ(BE32(d, p + 16), 0u);
    EXPECT_EQ(BE32(d, p + 20), 0u);
    const int n = At(d, p + 24);
    r.names.push_back(d.mid(p + 25, n));
    EXPECT_EQ(d.mid(p + 25 + n, qsizetype(extra) - 9 - n), QByteArray(qsizetype(extra) - 9 - n, 1));
    p += 16 + extra;
  }
  for (int i = 0; i < count; ++i) {
    const QRect b = r.bounds[std::size_t(i)];
    QImage img(b.size(), QImage::Format_ARGB32);
    const int bytes[4] = {3, 2, 1, 0};
    for (int c = 0; c < 4; ++c) {
      const qsizetype start = p;
      EXPECT_EQ(BE16(d, p), 1u);
      qsizetype data = p + 2 + 2 * b.height();
      for (int y = 0; y < b.height(); ++y) {
        const unsigned n = BE16(d, p + 2 + 2 * y);
        std::vector<std::uint8_t> row(std::size_t(b.width()));
        EXPECT_TRUE(UnpackRow({reinterpret_cast<const std::uint8_t*>(d.constData()) + data, n}, row.data(),
                              b.width()));
        for (int x = 0; x < b.width(); ++x) img.scanLine(y)[4 * x + bytes[c]] = row[std::size_t(x)];
        data += n;
      }
      p = data;
      EXPECT_EQ(p - start, qsizetype(lengths[std::size_t(i)][std::size_t(c)]));
    }
    r.layers.push_back(img);
  }
  EXPECT_EQ(p, layerInfoEnd);
  EXPECT_EQ(BE32(d, p), 0u);  // global layer mask info
  EXPECT_EQ(p + 4, sectionEnd);
  r.mergedAt = sectionEnd;
  return r;
}

TEST(PSDWriteTest, LayeredFileIsLaidOutExactly) {
  QTemporaryDir t;
  TPSDFile doc;
  doc.LayerCount = 2;
  doc.Layer.resize(2);
  const QImage screen = Pattern(300, 4, 1), pen = Pattern(5, 9, 2);
  doc.Layer[0].Bitmap = screen;
  doc.Layer[1].Bitmap = pen;
  const QString name = t.filePath("a.psd");
  ASSERT_TRUE(SavePSDFile(name, doc));
  EXPECT_EQ(doc.Width, 300);
  EXPECT_EQ(doc.Height, 9);
  EXPECT_EQ(doc.Layer[1].Name, "Layer1");
  EXPECT_EQ(doc.Layer[1].Channel[0].ID, 0xFFFF);

  const QByteArray d = ReadBytes(name);
  EXPECT_EQ(d.left(26), QByteArray("8BPS") + Be16(1) + QByteArray(6, 0) + Be16(3) + Be32(9) + Be32(300) + Be16(8) +
                            Be16(3));
  EXPECT_EQ(d.mid(26, 4), QByteArray(4, 0));
  EXPECT_EQ(d.mid(30, 32), kResources);
  // Layer0's name field: length 6, the name, one byte of value 1; extra 16.
  const qsizetype rec0 = 62 + 4 + 4 + 2;
  EXPECT_EQ(BE32(d, rec0 + 54), 16u);
  EXPECT_EQ(d.mid(rec0 + 66, 8), QByteArray("\x06Layer0\x01"));

  const TParsed p = Parse(d);
  EXPECT_EQ(p.bounds, (std::vector<QRect>{QRect(0, 0, 300, 4), QRect(0, 0, 5, 9)}));
  EXPECT_EQ(p.names, (std::vector<QByteArray>{"Layer0", "Layer1"}));
  ASSERT_EQ(p.layers.size(), 2u);
  EXPECT_EQ(p.layers[0], screen);
  EXPECT_EQ(p.layers[1], pen);

  // Merged image: the layers over black, black where none covers.
  QImage merged;
  ASSERT_TRUE(LoadPSDFile(name, merged));
  ASSERT_EQ(merged.size(), QSize(300, 9));
  EXPECT_EQ(merged.pixel(299, 8), qRgb(0, 0, 0));
  // Where only the screen layer lies, it is blended over black by its alpha.
  for (const QPoint at : {QPoint(100, 0), QPoint(150, 3), QPoint(290, 1)}) {
    const QRgb s = screen.pixel(at), m = merged.pixel(at);
    EXPECT_EQ(qAlpha(m), 255);
    EXPECT_NEAR(qRed(m), qRed(s) * qAlpha(s) / 255.0, 1.0) << at.x();
    EXPECT_NEAR(qGreen(m), qGreen(s) * qAlpha(s) / 255.0, 1.0) << at.x();
  }
  // Where the pen layer is opaque, it alone shows.
  EXPECT_EQ(merged.pixel(0, 6), pen.pixel(0, 6) | 0xFF000000);
  FreePSDLayers(doc);
  EXPECT_EQ(doc.LayerCount, 0);
  EXPECT_TRUE(doc.Layer.empty());
}

TEST(PSDWriteTest, TransparentTopLayerLeavesTheScreen) {
  QTemporaryDir t;
  TPSDFile doc;
  doc.LayerCount = 2;
  doc.Layer.resize(2);
  QImage screen = Pattern(64, 20, 3);
  for (int y = 0; y < screen.height(); ++y)
    for (int x = 0; x < screen.width(); ++x) screen.setPixel(x, y, screen.pixel(x, y) | 0xFF000000);
  QImage pen(64, 20, QImage::Format_ARGB32_Premultiplied);
  pen.fill(Qt::transparent);
  doc.Layer[0].Bitmap = screen;
  doc.Layer[1].Bitmap = pen;
  ASSERT_TRUE(SavePSDFile(t.filePath("a.psd"), doc));
  QImage merged;
  ASSERT_TRUE(LoadPSDFile(t.filePath("a.psd"), merged));
  EXPECT_EQ(merged, screen);
}

TEST(PSDWriteTest, PremultipliedPenLayerIsStoredStraight) {
  QTemporaryDir t;
  TPSDFile doc;
  doc.LayerCount = 2;
  doc.Layer.resize(2);
  QImage screen(2, 1, QImage::Format_RGB32);
  screen.fill(qRgb(0, 0, 255));
  QImage pen(2, 1, QImage::Format_ARGB32_Premultiplied);
  pen.setPixel(0, 0, qPremultiply(qRgba(255, 0, 0, 128)));
  pen.setPixel(1, 0, 0);
  doc.Layer[0].Bitmap = screen;
  doc.Layer[1].Bitmap = pen;
  ASSERT_TRUE(SavePSDFile(t.filePath("a.psd"), doc));
  const TParsed p = Parse(ReadBytes(t.filePath("a.psd")));
  ASSERT_EQ(p.layers.size(), 2u);
  EXPECT_EQ(p.layers[1].pixel(0, 0), qRgba(255, 0, 0, 128));
  EXPECT_EQ(p.layers[0].pixel(1, 0), qRgb(0, 0, 255));
  QImage merged;
  ASSERT_TRUE(LoadPSDFile(t.filePath("a.psd"), merged));
  EXPECT_NEAR(qRed(merged.pixel(0, 0)), 128, 1);
  EXPECT_NEAR(qBlue(merged.pixel(0, 0)), 127, 1);
  EXPECT_EQ(merged.pixel(1, 0), qRgb(0, 0, 255));
}

TEST(PSDWriteTest, NoLayersWritesNothing) {
  QTemporaryDir t;
  TPSDFile doc;
  EXPECT_FALSE(SavePSDFile(t.filePath("a.psd"), doc));
  doc.LayerCount = 2;  // more than the list holds
  doc.Layer.resize(1);
  EXPECT_FALSE(SavePSDFile(t.filePath("a.psd"), doc));
  EXPECT_FALSE(QFileInfo::exists(t.filePath("a.psd")));
}

TEST(PSDWriteTest, FlatFileRoundTripsItsColours) {
  QTemporaryDir t;
  const QImage img = Pattern(261, 13, 4);
  ASSERT_TRUE(SaveBitmapAsPSD(t.filePath("a.psd"), img));
  const QByteArray d = ReadBytes(t.filePath("a.psd"));
  EXPECT_EQ(d.mid(30, 32), kResources);
  EXPECT_EQ(d.mid(62, 10), Bytes({0, 0, 0, 6, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(BE16(d, 72), 1u);
  QImage back;
  ASSERT_TRUE(LoadPSDFile(t.filePath("a.psd"), back));
  ASSERT_EQ(back.size(), img.size());
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) ASSERT_EQ(back.pixel(x, y), img.pixel(x, y) | 0xFF000000);
}

// A flat file of any mode; rows is the merged image data after its code.
QByteArray Flat(int mode, int depth, int channels, int w, int h, int code, const QByteArray& rows,
                int version = 1) {
  return "8BPS" + Be16(unsigned(version)) + QByteArray(6, 0) + Be16(unsigned(channels)) + Be32(unsigned(h)) +
         Be32(unsigned(w)) + Be16(unsigned(depth)) + Be16(unsigned(mode)) + Be32(0) + Be32(0) + Be32(0) +
         Be16(unsigned(code)) + rows;
}

bool Decode(const QByteArray& d, QImage& img) {
  return DecodePSD({reinterpret_cast<const std::uint8_t*>(d.constData()), std::size_t(d.size())}, img);
}

TEST(PSDReadTest, MergedImagesOfEveryMode) {
  const struct {
    const char* name;
    QByteArray file;
    std::vector<QRgb> pixels;  // 3 x 1
  } cases[] = {
      {"grey-scale raw", Flat(1, 8, 1, 3, 1, 0, Bytes({0, 128, 255})),
       {qRgb(0, 0, 0), qRgb(128, 128, 128), qRgb(255, 255, 255)}},
      {"grey-scale packed", Flat(1, 8, 1, 3, 1, 1, Be16(3) + Bytes({0xFE, 77, 0})),
       {qRgb(77, 77, 77), qRgb(77, 77, 77), qRgb(77, 77, 77)}},
      {"grey-scale with transparency", Flat(1, 8, 2, 3, 1, 0, Bytes({10, 20, 30, 255, 128, 0})),
       {qRgba(10, 10, 10, 255), qRgba(20, 20, 20, 128), qRgba(30, 30, 30, 0)}},
      {"1-bit raw", Flat(0, 1, 1, 3, 1, 0, Bytes({0b10100000})),
       {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(0, 0, 0)}},
      {"1-bit packed", Flat(0, 1, 1, 3, 1, 1, Be16(2) + Bytes({0x00, 0b01000000})),
       {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(255, 255, 255)}},
      {"RGB, three channels: opaque", Flat(3, 8, 3, 3, 1, 0, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9})),
       {qRgb(1, 4, 7), qRgb(2, 5, 8), qRgb(3, 6, 9)}},
      {"RGB, four channels: alpha", Flat(3, 8, 4, 3, 1, 0, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 100, 255})),
       {qRgba(1, 4, 7, 0), qRgba(2, 5, 8, 100), qRgba(3, 6, 9, 255)}},
      {"RGB, five channels: the fifth ignored",
       Flat(3, 8, 5, 3, 1, 0, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 100, 255, 9, 9, 9})),
       {qRgba(1, 4, 7, 0), qRgba(2, 5, 8, 100), qRgba(3, 6, 9, 255)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QImage img;
    ASSERT_TRUE(Decode(c.file, img));
    ASSERT_EQ(img.size(), QSize(3, 1));
    EXPECT_EQ(img.format(), QImage::Format_ARGB32);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(img.pixel(x, 0), c.pixels[std::size_t(x)]) << x;
  }
}

TEST(PSDReadTest, RefusedFilesLeaveTheBitmapUnchanged) {
  const QByteArray rgb = Bytes({1, 2, 3});
  QByteArray colourData = Flat(3, 8, 3, 1, 1, 0, rgb);
  colourData.replace(26, 4, Be32(3) + Bytes({1, 2, 3}));
  QByteArray hugeHeader = Flat(3, 8, 3, 30000, 30000, 1, QByteArray(3 * 30000 * 2, char(0)) + QByteArray(100, 0));
  const struct {
    const char* name;
    QByteArray data;
  } cases[] = {
      {"empty", {}},
      {"not 8BPS", "8BPX" + Flat(3, 8, 3, 1, 1, 0, rgb).mid(4)},
      {"version 2", Flat(3, 8, 3, 1, 1, 0, rgb, 2)},
      {"16-bit RGB", Flat(3, 16, 3, 1, 1, 0, rgb + rgb)},
      {"CMYK", Flat(4, 8, 4, 1, 1, 0, rgb + rgb)},
      {"1-bit RGB", Flat(3, 1, 3, 1, 1, 0, rgb)},
      {"colour mode data", colourData},
      {"no channels", Flat(3, 8, 0, 1, 1, 0, {})},
      {"zero width", Flat(3, 8, 3, 0, 1, 0, rgb)},
      {"compressed otherwise", Flat(3, 8, 3, 1, 1, 2, rgb)},
      {"rows missing", Flat(3, 8, 3, 2, 1, 0, rgb)},
      {"row table cut", Flat(3, 8, 3, 1, 1, 1, Be16(2) + Be16(2))},
      {"packed rows cut", Flat(3, 8, 3, 1, 1, 1, Be16(2) + Be16(2) + Be16(2) + Bytes({0, 1, 0, 2, 0}))},
      {"packed row too short", Flat(3, 8, 3, 2, 1, 1, Be16(2) + Be16(2) + Be16(2) + Bytes({0, 1, 0, 2, 0, 3}))},
      {"resources past the end", [] {
         QByteArray d = Flat(3, 8, 3, 1, 1, 0, Bytes({1, 2, 3}));
         d.replace(30, 4, Be32(1000));
         return d;
       }()},
      {"30000 x 30000 from a small file", hugeHeader},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QImage img(2, 2, QImage::Format_ARGB32);
    img.fill(0x11223344);
    const QImage before = img;
    EXPECT_FALSE(Decode(c.data, img));
    EXPECT_EQ(img, before);
  }
}

TEST(PSDReadTest, EveryTruncationOfAFileIsRefused) {
  QTemporaryDir t;
  TPSDFile doc;
  doc.LayerCount = 2;
  doc.Layer.resize(2);
  doc.Layer[0].Bitmap = Pattern(20, 5, 5);
  doc.Layer[1].Bitmap = Pattern(9, 7, 6);
  ASSERT_TRUE(SavePSDFile(t.filePath("a.psd"), doc));
  const QByteArray d = ReadBytes(t.filePath("a.psd"));
  QImage full;
  ASSERT_TRUE(Decode(d, full));
  for (qsizetype n = 0; n < d.size(); ++n) {
    QImage img(1, 1, QImage::Format_ARGB32);
    img.fill(0x01020304);
    ASSERT_FALSE(Decode(d.left(n), img)) << n;
    ASSERT_EQ(img.pixel(0, 0), 0x01020304u) << n;
  }
}

}  // namespace

namespace {

TEST(PSDReadTest, LargeFilesReadThroughTheBufferAsFromMemory) {
  QTemporaryDir t;
  TPSDFile doc;
  doc.LayerCount = 2;
  doc.Layer.resize(2);
  doc.Layer[0].Bitmap = Pattern(801, 377, 1);
  doc.Layer[1].Bitmap = Pattern(300, 500, 2);
  const QString name = t.filePath("big.psd");
  ASSERT_TRUE(SavePSDFile(name, doc));
  const QByteArray d = ReadBytes(name);
  ASSERT_GT(d.size(), 300000);
  QImage fromFile, fromMemory;
  ASSERT_TRUE(LoadPSDFile(name, fromFile));
  ASSERT_TRUE(DecodePSD({reinterpret_cast<const std::uint8_t*>(d.constData()), std::size_t(d.size())}, fromMemory));
  EXPECT_EQ(fromFile, fromMemory);
  EXPECT_EQ(fromFile, CompositeLayers(doc).convertToFormat(QImage::Format_ARGB32));
}

}  // namespace
