#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "ImagingTestUtil.h"
#include "imaging/FMXBitmapEx.h"
#include "imaging/FMXPSD.h"
#include "imaging/FMXTGA.h"

using namespace imagingtest;

namespace {

struct TResult {
  int code = -1;
  QString out, err;
};

TResult Tool(const QStringList& args) {
  QProcess p;
  p.start(KORIVAN_IMGTOOL, args);
  TResult r;
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) {
    ADD_FAILURE() << "korivan-imgtool did not finish";
    return r;
  }
  r.code = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

class ImgToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FPicture = Pattern(50, 20, 1);
    ASSERT_TRUE(FPicture.save(Path("in.png")));
  }
  QString Path(const QString& name) const { return FDir.filePath(name); }
  QTemporaryDir FDir;
  QImage FPicture;
};

TEST_F(ImgToolTest, ConvertsByExtensionInBothTgaFlavours) {
  EXPECT_EQ(Tool({"convert", Path("in.png"), Path("a.tga")}).code, 0);
  EXPECT_EQ(Tool({"convert", "--no-alpha", Path("in.png"), Path("r.tga")}).code, 0);
  EXPECT_EQ(Tool({"convert", Path("a.tga"), Path("back.PSD")}).code, 0);
  EXPECT_EQ(ReadBytes(Path("a.tga")).size(), 540 + 4 * 50 * 20);
  EXPECT_EQ(At(ReadBytes(Path("r.tga")), 2), 10);
  QImage img;
  QString author;
  ASSERT_TRUE(LoadTGAFile(Path("a.tga"), img, author));
  EXPECT_EQ(img, FPicture);
  EXPECT_EQ(author, "ORVEL PROJECT");
  ASSERT_TRUE(LoadPSDFile(Path("back.PSD"), img));
  EXPECT_EQ(img.pixel(1, 1), FPicture.pixel(1, 1) | 0xFF000000);
}

TEST_F(ImgToolTest, LayersWritesTheSavePathDocument) {
  QImage pen(50, 20, QImage::Format_ARGB32);
  pen.fill(Qt::transparent);
  pen.setPixel(3, 4, qRgba(255, 0, 0, 255));
  ASSERT_TRUE(pen.save(Path("pen.png")));
  QImage screen = FPicture;
  screen.fill(qRgb(0, 0, 200));
  ASSERT_TRUE(screen.save(Path("screen.bmp")));
  ASSERT_EQ(Tool({"layers", Path("screen.bmp"), Path("pen.png"), Path("doc.psd")}).code, 0);
  const QByteArray d = ReadBytes(Path("doc.psd"));
  EXPECT_EQ(BE16(d, 70), 2u);  // layer count
  QImage merged;
  ASSERT_TRUE(LoadPSDFile(Path("doc.psd"), merged));
  EXPECT_EQ(merged.pixel(3, 4), qRgb(255, 0, 0));
  EXPECT_EQ(merged.pixel(0, 0), qRgb(0, 0, 200));
}

TEST_F(ImgToolTest, InfoTellsSizeKindAndAuthor) {
  TFMXBitmapEx b(0, 0);
  b.Assign(FPicture);
  b.Author = "Jane";
  b.SaveToFileEx(Path("a.tga"));
  const TResult r = Tool({"info", Path("a.tga")});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "size: 50 x 20\nkind: TGA\nauthor: Jane\n");
  EXPECT_EQ(Tool({"info", Path("in.png")}).out, "size: 50 x 20\nkind: PNG\n");
}

TEST_F(ImgToolTest, EachFailureHasItsOwnExitCodeAndMessage) {
  ASSERT_TRUE(WriteBytes(Path("junk.tga"), QByteArray(300, 'j')));
  ASSERT_TRUE(WriteBytes(Path("junk.png"), QByteArray(300, 'j')));
  const struct {
    const char* what;
    QStringList args;
    int code;
    QString says;
  } cases[] = {
      {"no command", {}, 1, "usage"},
      {"unknown command", {"shrink", Path("in.png")}, 1, "unknown command"},
      {"missing argument", {"convert", Path("in.png")}, 1, "usage"},
      {"unknown output kind", {"convert", Path("in.png"), Path("a.gif")}, 1, Path("a.gif")},
      {"layers into a TGA", {"layers", Path("in.png"), Path("in.png"), Path("a.tga")}, 1, ".psd"},
      {"not accepted", {"convert", Path("junk.tga"), Path("a.png")}, 2, Path("junk.tga")},
      {"not accepted by Qt", {"info", Path("junk.png")}, 2, Path("junk.png")},
      {"cannot read", {"convert", Path("none.png"), Path("a.tga")}, 3, Path("none.png")},
      {"cannot write", {"convert", Path("in.png"), Path("no/such/a.tga")}, 4, Path("no/such/a.tga")},
      {"cannot write PSD", {"layers", Path("in.png"), Path("in.png"), Path("no/a.psd")}, 4, Path("no/a.psd")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TResult r = Tool(c.args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_TRUE(r.err.contains(c.says)) << r.err.toStdString();
  }
  EXPECT_FALSE(QFileInfo::exists(Path("a.png")));
  EXPECT_FALSE(QFileInfo::exists(Path("a.tga")));
}

}  // namespace
