// Our writers against ImageMagick's and Python PIL's readers, and our readers
// against their writers. Both tools are Debian packages listed for the test
// command; a missing one fails the test rather than skipping it.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "ImagingTestUtil.h"
#include "imaging/FMXPSD.h"
#include "imaging/FMXTGA.h"

using namespace imagingtest;

namespace {

QString RunTool(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    ADD_FAILURE() << qPrintable(program) << " " << qPrintable(args.join(' ')) << " failed: "
                  << p.readAllStandardError().toStdString();
    return {};
  }
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// ImageMagick's own program, not a wrapper that may stand in front of it.
QString Magick() {
  for (const char* name : {"convert-im6.q16", "convert"}) {
    const QString path = QStandardPaths::findExecutable(name);
    if (!path.isEmpty()) return path;
  }
  return {};
}

// A Python that has PIL: the first python3 on the path that can import it
// (the Debian package installs PIL for the system's own interpreter, which
// another Python earlier on the path may shadow).
QString PilPython() {
  const QStringList dirs = qEnvironmentVariable("PATH").split(':', Qt::SkipEmptyParts);
  for (const QString& dir : dirs) {
    const QString py = QStandardPaths::findExecutable("python3", {dir});
    if (py.isEmpty()) continue;
    QProcess p;
    p.start(py, {"-c", "import PIL"});
    if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return py;
  }
  return {};
}

class CrossCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FMagick = Magick();
    FPython = PilPython();
    ASSERT_FALSE(FMagick.isEmpty()) << "ImageMagick's convert is not installed (Debian package imagemagick)";
    ASSERT_FALSE(FPython.isEmpty()) << "Python PIL is not installed (Debian package python3-pil)";
    ASSERT_TRUE(FDir.isValid());
  }

  QString Path(const QString& name) const { return FDir.filePath(name); }

  // The picture as ImageMagick decodes it (frame of a PSD: 0 merged, 1.. layers).
  QImage MagickRead(const QString& file, int frame, QSize size) {
    const QString out = Path("im.rgba");
    RunTool(FMagick, {QString("%1[%2]").arg(file).arg(frame), "-depth", "8", "rgba:" + out});
    return FromRgba(ReadBytes(out), size);
  }

  QImage PilRead(const QString& file, int frame, QSize size) {
    const QString out = Path("pil.rgba");
    const QString dims = RunTool(FPython, {KORIVAN_PIL_SCRIPT, "decode", file, out, QString::number(frame)});
    EXPECT_EQ(dims, QString("%1 %2").arg(size.width()).arg(size.height()));
    return FromRgba(ReadBytes(out), size);
  }

  QString WriteRgba(const QImage& img) {
    QByteArray raw;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QRgb p = img.pixel(x, y);
        raw += char(qRed(p));
        raw += char(qGreen(p));
        raw += char(qBlue(p));
        raw += char(qAlpha(p));
      }
    const QString name = Path("src.rgba");
    EXPECT_TRUE(WriteBytes(name, raw));
    return name;
  }

  static QImage FromRgba(const QByteArray& raw, QSize size) {
    if (raw.size() != qsizetype(size.width()) * size.height() * 4) {
      ADD_FAILURE() << "decoded " << raw.size() << " bytes for " << size.width() << " x " << size.height();
      return {};
    }
    QImage img(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
      for (int x = 0; x < size.width(); ++x) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(raw.constData()) + 4 * (qsizetype(y) * size.width() + x);
        img.setPixel(x, y, qRgba(p[0], p[1], p[2], p[3]));
      }
    return img;
  }

  QString FMagick, FPython;
  QTemporaryDir FDir;
};

QImage Opaque(QImage img) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) img.setPixel(x, y, img.pixel(x, y) | 0xFF000000);
  return img;
}

// Pixels compared where they are visible: colour is meaningless at alpha 0.
void ExpectSameVisible(const QImage& a, const QImage& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  int bad = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      if (qAlpha(p) != qAlpha(q) || (qAlpha(p) != 0 && p != q)) {
        if (bad++ < 5) ADD_FAILURE() << what << " differs at " << x << "," << y << ": " << std::hex << p << " " << q;
      }
    }
  EXPECT_EQ(bad, 0) << what;
}

// A screen and a pen layer: strokes, a half-transparent marker, nothing else.
QImage PenLayer(int w, int h) {
  QImage pen(w, h, QImage::Format_ARGB32);
  pen.fill(Qt::transparent);
  for (int x = 0; x < w; ++x) {
    pen.setPixel(x, h / 2, qRgba(255, 0, 0, 255));
    pen.setPixel(x, h / 3, qRgba(0, 200, 0, 128));
    pen.setPixel(x % h, x % h, qRgba(10, 20, 250, 40));
  }
  return pen;
}

TEST_F(CrossCheckTest, OurTgaFilesDecodeTheSameElsewhere) {
  const QImage img = Pattern(141, 23, 7);
  SaveTGAFile(Path("a.tga"), img, "x", true);
  SaveTGAFile(Path("r.tga"), img, "x", false);
  for (const char* reader : {"ImageMagick", "PIL"}) {
    SCOPED_TRACE(reader);
    auto read = [&](const QString& f) {
      return QString(reader) == "PIL" ? PilRead(f, 0, img.size()) : MagickRead(f, 0, img.size());
    };
    EXPECT_EQ(read(Path("a.tga")), img);
    EXPECT_EQ(read(Path("r.tga")), Opaque(img));
  }
}

TEST_F(CrossCheckTest, OurPsdFilesDecodeTheSameElsewhere) {
  const QImage screen = Opaque(Pattern(133, 29, 8));
  const QImage pen = PenLayer(133, 29);
  TPSDFile doc;
  doc.LayerCount = 2;
  doc.Layer.resize(2);
  doc.Layer[0].Bitmap = screen;
  doc.Layer[1].Bitmap = pen;
  ASSERT_TRUE(SavePSDFile(Path("layers.psd"), doc));
  const QImage merged = CompositeLayers(doc).convertToFormat(QImage::Format_ARGB32);
  const QImage flat = Pattern(77, 31, 9);
  ASSERT_TRUE(SaveBitmapAsPSD(Path("flat.psd"), flat));

  for (const char* reader : {"ImageMagick", "PIL"}) {
    SCOPED_TRACE(reader);
    auto read = [&](const QString& f, int frame, QSize size) {
      return QString(reader) == "PIL" ? PilRead(f, frame, size) : MagickRead(f, frame, size);
    };
    EXPECT_EQ(read(Path("flat.psd"), 0, flat.size()), Opaque(flat));
    EXPECT_EQ(read(Path("layers.psd"), 0, merged.size()), merged);
  }
  // PIL takes layer channels in file order as red, green, blue, alpha and
  // ignores their IDs, so only ImageMagick reads the layers by their IDs.
  ExpectSameVisible(MagickRead(Path("layers.psd"), 1, screen.size()), screen, "screen layer");
  ExpectSameVisible(MagickRead(Path("layers.psd"), 2, pen.size()), pen, "pen layer");
}

TEST_F(CrossCheckTest, OurReadersDecodeImageMagickFiles) {
  const QImage img = Pattern(97, 19, 10);
  const QString src = WriteRgba(img);
  const QString size = QString("%1x%2").arg(img.width()).arg(img.height());
  const struct {
    const char* name;
    QStringList options;
    bool alpha;
  } cases[] = {
      {"t32.tga", {"-orient", "TopLeft"}, true},
      {"t24rle.tga", {"-orient", "TopLeft", "-alpha", "off", "-compress", "RLE"}, false},
      {"t32rle.tga", {"-orient", "TopLeft", "-compress", "RLE"}, true},
      {"t24.tga", {"-orient", "TopLeft", "-alpha", "off", "-compress", "None"}, false},
      {"rgba.psd", {}, true},
      {"rgb.psd", {"-alpha", "off"}, false},
      {"rgbraw.psd", {"-alpha", "off", "-compress", "None"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunTool(FMagick, QStringList{"-size", size, "-depth", "8", "rgba:" + src} + c.options + QStringList{Path(c.name)});
    QImage back;
    QString author;
    const bool ok = QString(c.name).endsWith(".tga") ? LoadTGAFile(Path(c.name), back, author)
                                                     : LoadPSDFile(Path(c.name), back);
    ASSERT_TRUE(ok);
    if (c.alpha)
      ExpectSameVisible(back, img, c.name);
    else
      EXPECT_EQ(back, Opaque(img));
  }
  // In its default bottom-left orientation this ImageMagick stores the top
  // row first (and reads its files back the same way); PIL reads such a file
  // by the header, as we do, so there the two are compared with each other.
  for (const QStringList& options : {QStringList{}, QStringList{"-compress", "RLE"}}) {
    SCOPED_TRACE(options.join(' ').toStdString());
    RunTool(FMagick, QStringList{"-size", size, "-depth", "8", "rgba:" + src} + options + QStringList{Path("b.tga")});
    QImage back;
    QString author;
    ASSERT_TRUE(LoadTGAFile(Path("b.tga"), back, author));
    EXPECT_EQ(At(ReadBytes(Path("b.tga")), 17) & 0x30, 0);
    ExpectSameVisible(back, PilRead(Path("b.tga"), 0, img.size()), "bottom-left file");
  }
  // Grey-scale PSD, packed and raw.
  QByteArray grey;
  for (int i = 0; i < 61 * 7; ++i) grey += char(i % 9 == 0 ? 0 : (i * 13) % 256);
  ASSERT_TRUE(WriteBytes(Path("g.gray"), grey));
  for (const char* compress : {"RLE", "None"}) {
    SCOPED_TRACE(compress);
    RunTool(FMagick, {"-size", "61x7", "-depth", "8", "gray:" + Path("g.gray"), "-compress", compress, Path("g.psd")});
    QImage back;
    ASSERT_TRUE(LoadPSDFile(Path("g.psd"), back));
    ASSERT_EQ(back.size(), QSize(61, 7));
    for (int i = 0; i < grey.size(); ++i) {
      const int v = At(grey, i);
      ASSERT_EQ(back.pixel(i % 61, i / 61), qRgb(v, v, v)) << i;
    }
  }
}

TEST_F(CrossCheckTest, OurTgaReaderDecodesPilFiles) {
  const QImage img = Pattern(131, 11, 11);
  const QString src = WriteRgba(img);
  const struct {
    const char* mode;
    QStringList flags;
  } cases[] = {
      {"RGBA", {}}, {"RGBA", {"rle"}}, {"RGBA", {"rle", "top"}}, {"RGB", {}}, {"RGB", {"rle", "top"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode + (" " + c.flags.join(' ')).toStdString());
    const QString out = Path("pil.tga");
    RunTool(FPython, QStringList{KORIVAN_PIL_SCRIPT, "encode", src, QString::number(img.width()),
                             QString::number(img.height()), out, c.mode} + c.flags);
    QImage back;
    QString author = "stale";
    ASSERT_TRUE(LoadTGAFile(out, back, author));
    EXPECT_EQ(author, "");
    EXPECT_EQ(back, QString(c.mode) == "RGBA" ? img : Opaque(img));
  }
}

}  // namespace
