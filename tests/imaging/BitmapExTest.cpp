#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

#include "ImagingTestUtil.h"
#include "imaging/FMXBitmapEx.h"
#include "imaging/FMXPSD.h"
#include "imaging/FMXTGA.h"

using namespace imagingtest;

namespace {

TFMXBitmapEx Picture(int w, int h) {
  TFMXBitmapEx b(0, 0);
  b.Assign(Pattern(w, h));
  return b;
}

TEST(ImageFileKindTest, ByExtensionAlone) {
  const struct {
    const char* name;
    TImageFileKind kind;
  } cases[] = {
      {"shot.jpg", ikPlatform},     {"shot.JPG", ikPlatform},     {"shot.Jpeg", ikPlatform},
      {"shot.PNG", ikPlatform},     {"shot.bmp", ikPlatform},     {"a/b/shot.psd", ikPSD},
      {"shot.TGA", ikTGA},          {"shot.tga.bak", ikOther},    {"shot", ikOther},
      {"pictures.v2\\shot", ikOther}, {"pictures.v2/shot", ikOther}, {"C:shot.x:png", ikOther},
      {"shot.gif", ikOther},        {"shot.tif", ikOther},        {"shot.jpe", ikOther},
      {".png", ikPlatform},         {"shot.", ikOther},           {"shot.pngx", ikOther},
  };
  for (const auto& c : cases) EXPECT_EQ(ImageFileKind(c.name), c.kind) << c.name;
}

TEST(TFMXBitmapExTest, NewBitmapHasTheDefaults) {
  QTemporaryDir t;
  TFMXBitmapEx b(0, 0);
  EXPECT_EQ(b.Author, "ORVEL PROJECT");
  EXPECT_TRUE(b.hasAlpha);
  EXPECT_TRUE(b.isNull());
  b.Assign(Pattern(4, 3));
  EXPECT_EQ(b.format(), QImage::Format_ARGB32);
  b.SaveToFileEx(t.filePath("a.tga"));
  const QByteArray d = ReadBytes(t.filePath("a.tga"));
  ASSERT_EQ(d.size(), 540 + 4 * 12);
  EXPECT_EQ(At(d, 16), 32);
  EXPECT_EQ(d.mid(19 + 48 + 2, 14), QByteArray("ORVEL PROJECT\0", 14));
  b.hasAlpha = false;
  b.SaveToFileEx(t.filePath("b.tga"));
  EXPECT_EQ(At(ReadBytes(t.filePath("b.tga")), 2), 10);
  const TFMXBitmapEx sized(5, 2);
  EXPECT_EQ(sized.size(), QSize(5, 2));
  EXPECT_EQ(sized.format(), QImage::Format_ARGB32);
}

TEST(TFMXBitmapExTest, SavesByExtension) {
  QTemporaryDir t;
  const TFMXBitmapEx b = Picture(16, 8);
  const struct {
    const char* name;
    QByteArray magic;  // empty: no file at all
  } cases[] = {
      {"shot.JPG", "\xFF\xD8\xFF"}, {"shot.Jpeg", "\xFF\xD8\xFF"}, {"shot.PNG", "\x89PNG"},
      {"shot.bmp", "BM"},           {"shot.psd", "8BPS"},          {"shot.tga", QByteArray("\x01\x00\x02", 3)},
      {"shot.tga.bak", {}},         {"shot.gif", {}},              {"shot.tif", {}},
      {"shot.jpe", {}},             {"noext", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString name = t.filePath(c.name);
    b.SaveToFileEx(name);
    if (c.magic.isEmpty()) {
      EXPECT_FALSE(QFileInfo::exists(name));
    } else {
      EXPECT_TRUE(ReadBytes(name).startsWith(c.magic));
    }
  }
  // A folder name with a full stop gives the file no extension.
  ASSERT_TRUE(QDir(t.path()).mkdir("pictures.v2"));
  b.SaveToFileEx(t.filePath("pictures.v2/shot"));
  EXPECT_TRUE(QDir(t.filePath("pictures.v2")).isEmpty());
}

TEST(TFMXBitmapExTest, QualityParameterReachesTheJpegEncoder) {
  QTemporaryDir t;
  const TFMXBitmapEx b = Picture(64, 64);
  b.SaveToFileEx(t.filePath("lo.jpg"), "quality=5");
  b.SaveToFileEx(t.filePath("hi.jpg"), "foo=1 quality=98");
  b.SaveToFileEx(t.filePath("df.jpg"), "");
  const auto lo = QFileInfo(t.filePath("lo.jpg")).size(), hi = QFileInfo(t.filePath("hi.jpg")).size(),
             df = QFileInfo(t.filePath("df.jpg")).size();
  EXPECT_LT(lo, df);
  EXPECT_LT(df, hi);
}

TEST(TFMXBitmapExTest, LoadsEveryKindAndKeepsTheTgaAuthor) {
  QTemporaryDir t;
  TFMXBitmapEx b = Picture(20, 10);
  b.Author = "writer";
  for (const char* name : {"a.png", "a.bmp", "a.tga", "a.psd"}) {
    SCOPED_TRACE(name);
    b.SaveToFileEx(t.filePath(name));
    TFMXBitmapEx c(0, 0);
    ASSERT_TRUE(c.LoadFromFileEx(t.filePath(name), 0));
    EXPECT_EQ(c.size(), QSize(20, 10));
    EXPECT_EQ(c.format(), QImage::Format_ARGB32);
    EXPECT_EQ(c.Author, QString(name) == "a.tga" ? "writer" : "ORVEL PROJECT");
  }
  // A TGA without extension area empties the author.
  const QByteArray d = ReadBytes(t.filePath("a.tga"));
  ASSERT_TRUE(WriteBytes(t.filePath("bare.tga"), d.left(d.size() - 521)));
  TFMXBitmapEx c(0, 0);
  ASSERT_TRUE(c.LoadFromFileEx(t.filePath("bare.tga"), 0));
  EXPECT_EQ(c.Author, "");
}

TEST(TFMXBitmapExTest, RotateTurnsEvenARefusedFile) {
  QTemporaryDir t;
  TFMXBitmapEx b(0, 0);
  b.Assign(Pattern(6, 2));
  b.SaveToFileEx(t.filePath("a.tga"));
  TFMXBitmapEx c(0, 0);
  ASSERT_TRUE(c.LoadFromFileEx(t.filePath("a.tga"), 90));
  ASSERT_EQ(c.size(), QSize(2, 6));
  EXPECT_EQ(c.pixel(1, 0), b.pixel(0, 0));  // clockwise: the top-left corner goes to the top right
  EXPECT_EQ(c.format(), QImage::Format_ARGB32);

  ASSERT_TRUE(WriteBytes(t.filePath("bad.tga"), QByteArray(100, 'x')));
  ASSERT_TRUE(WriteBytes(t.filePath("bad.psd"), QByteArray(100, 'x')));
  ASSERT_TRUE(WriteBytes(t.filePath("bad.png"), QByteArray(100, 'x')));
  for (const char* name : {"bad.tga", "bad.psd", "bad.png"}) {
    SCOPED_TRACE(name);
    TFMXBitmapEx d(0, 0);
    d.Assign(Pattern(6, 2));
    const QImage before = d;
    EXPECT_FALSE(d.LoadFromFileEx(t.filePath(name), 0));
    EXPECT_EQ(QImage(d), before);
    EXPECT_FALSE(d.LoadFromFileEx(t.filePath(name), 90));
    EXPECT_EQ(d.size(), QSize(2, 6));
  }
  // Another kind: nothing, not even the turn.
  TFMXBitmapEx e(0, 0);
  e.Assign(Pattern(6, 2));
  EXPECT_FALSE(e.LoadFromFileEx(t.filePath("a.gif"), 90));
  EXPECT_EQ(e.size(), QSize(6, 2));
}

TEST(TFMXBitmapExTest, MissingFileRaisesAnErrorNamingIt) {
  QTemporaryDir t;
  for (const char* name : {"none.png", "none.tga", "none.psd", "none.jpg"}) {
    SCOPED_TRACE(name);
    TFMXBitmapEx b(0, 0);
    try {
      b.LoadFromFileEx(t.filePath(name), 0);
      ADD_FAILURE() << "no error";
    } catch (const EImageFileError& e) {
      EXPECT_EQ(e.Kind(), EImageFileError::ekRead);
      EXPECT_TRUE(QString::fromStdString(e.what()).contains(t.filePath(name)));
    }
  }
}

TEST(TFMXBitmapExTest, UnwritableFolderRaisesAnErrorNamingTheFile) {
  QTemporaryDir t;
  const TFMXBitmapEx b = Picture(8, 8);
  for (const char* name : {"a.png", "a.jpg", "a.bmp", "a.tga", "a.psd"}) {
    SCOPED_TRACE(name);
    const QString path = t.filePath(QString("missing/") + name);
    try {
      b.SaveToFileEx(path);
      ADD_FAILURE() << "no error";
    } catch (const EImageFileError& e) {
      EXPECT_EQ(e.Kind(), EImageFileError::ekWrite);
      EXPECT_TRUE(QString::fromStdString(e.what()).contains(path));
    }
  }
  TPSDFile doc;
  doc.LayerCount = 1;
  doc.Layer.resize(1);
  doc.Layer[0].Bitmap = b;
  EXPECT_THROW(SavePSDFile(t.filePath("missing/b.psd"), doc), EImageFileError);
}

// Limits the size of files this process writes, as a full disk would: writes
// past the limit store fewer bytes than asked.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &FOld);
    rlimit l = FOld;
    l.rlim_cur = bytes;
    FOk = setrlimit(RLIMIT_FSIZE, &l) == 0;
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
  }
  bool Ok() const { return FOk; }

 private:
  rlimit FOld{};
  void (*FOldHandler)(int) = nullptr;
  bool FOk = false;
};

TEST(TFMXBitmapExTest, ShortWriteIsAnErrorAndKeepsTheOldFile) {
  QTemporaryDir t;
  TFMXBitmapEx small = Picture(4, 4);
  TFMXBitmapEx big = Picture(600, 400);
  big.hasAlpha = true;
  for (const char* name : {"a.tga", "a.psd", "a.png", "a.bmp", "a.jpg"}) {
    SCOPED_TRACE(name);
    const QString path = t.filePath(name);
    small.SaveToFileEx(path);
    const QByteArray good = ReadBytes(path);
    ASSERT_FALSE(good.isEmpty());
    {
      TFileSizeLimit limit(4000);
      ASSERT_TRUE(limit.Ok());
      try {
        big.SaveToFileEx(path, "quality=100");
        ADD_FAILURE() << "no error";
      } catch (const EImageFileError& e) {
        EXPECT_EQ(e.Kind(), EImageFileError::ekWrite);
        EXPECT_TRUE(QString::fromStdString(e.what()).contains(path)) << e.what();
      }
    }
    EXPECT_EQ(ReadBytes(path), good);
  }
  // No temporary file is left behind.
  const QStringList left = QDir(t.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
  EXPECT_EQ(left, (QStringList{"a.bmp", "a.jpg", "a.png", "a.psd", "a.tga"}));

  TPSDFile doc;
  doc.LayerCount = 2;
  doc.Layer.resize(2);
  doc.Layer[0].Bitmap = big;
  doc.Layer[1].Bitmap = big;
  const QByteArray good = ReadBytes(t.filePath("a.psd"));
  {
    TFileSizeLimit limit(4000);
    EXPECT_THROW(SavePSDFile(t.filePath("a.psd"), doc), EImageFileError);
  }
  EXPECT_EQ(ReadBytes(t.filePath("a.psd")), good);
}

TEST(TFMXBitmapExTest, PicturesTooLargeForTheFormatAreErrors) {
  QTemporaryDir t;
  TFMXBitmapEx wide(0, 0);
  wide.Assign(QImage(30001, 1, QImage::Format_ARGB32));
  EXPECT_THROW(wide.SaveToFileEx(t.filePath("a.psd")), EImageFileError);
  TFMXBitmapEx empty(0, 0);
  EXPECT_THROW(empty.SaveToFileEx(t.filePath("a.tga")), EImageFileError);
  EXPECT_TRUE(QDir(t.path()).isEmpty());
}

}  // namespace
