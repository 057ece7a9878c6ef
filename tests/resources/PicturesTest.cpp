#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPointF>
#include <cmath>
#include <set>

#include "resources/Pictures.h"

namespace {

struct Expected {
  const char* name;
  int width, height;
};
const Expected kPictures[] = {
    {"MT_PEN", 30, 30},      {"MT_MARKER", 30, 30},   {"MT_RBPEN", 30, 30},   {"MT_RBMARKER", 30, 30},
    {"MT_ARROWS", 30, 30},   {"MT_ARROWD", 30, 30},   {"MT_ERASER", 30, 30},  {"MT_ERASEALL", 30, 30},
    {"MT_OPEN", 30, 30},     {"MT_SAVE", 30, 30},     {"MT_UNDO", 30, 30},    {"MT_REDO", 30, 30},
    {"MT_WBRD", 30, 30},     {"MT_LAUNCH", 30, 30},   {"MT_LASSO", 30, 30},   {"MT_INFO", 30, 30},
    {"MT_SETUP", 30, 30},    {"MT_PENSETUP", 30, 30}, {"MT_CLOSE", 30, 30},   {"MT_OK", 30, 30},
    {"PW_PEN", 30, 30},      {"PW_ARROW", 30, 30},    {"PW_RIGHT", 30, 30},   {"PW_LEFT", 30, 30},
    {"CR_PEN", 32, 60},      {"CR_MARKER", 32, 60},   {"CR_RBPEN", 32, 60},   {"CR_RBMARKER", 32, 60},
    {"CR_ERASER", 32, 52},   {"CR_LASSO", 32, 23},    {"CR_HAND0", 32, 38},   {"CR_HAND1", 32, 38},
    {"MT_LINE", 30, 30},     {"MT_LINEMK", 30, 30},   {"MT_RECT", 30, 30},    {"MT_RECTMK", 30, 30},
    {"MT_ELLIPSE", 30, 30},  {"MT_ELLIPSEMK", 30, 30}, {"MT_TEXT", 30, 30},   {"MT_STEP", 30, 30},
    {"CR_LINE", 32, 60},     {"CR_RECT", 32, 60},     {"CR_ELLIPSE", 32, 60}, {"CR_TEXT", 32, 60},
    {"CR_STEP", 32, 60},     {"CR_LASER", 32, 60},    {"MT_LASER", 30, 30},   {"MT_SPOTLIGHT", 30, 30},
    {"SPLASH", 512, 256},    {"EMBLEM", 64, 64},
};

const QRgb kRainbow[7] = {0xFFFF00FF, 0xFFFF0000, 0xFFFF6600, 0xFFFFFF00,
                          0xFF00FF00, 0xFF0000FF, 0xFF6666CC};

QImage Load(const char* name) {
  return LoadPicture(QString::fromLatin1(name)).convertToFormat(QImage::Format_ARGB32);
}

bool Near(QRgb a, QRgb b, int tolerance) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

int Brightness(QRgb c) { return (qRed(c) * 30 + qGreen(c) * 59 + qBlue(c) * 11) / 100; }

// Pixels with more than half alpha, and their bounding box.
QRect OpaqueBounds(const QImage& img) {
  QRect r;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (qAlpha(img.pixel(x, y)) > 128) r |= QRect(x, y, 1, 1);
  return r;
}

TEST(PicturesTest, EveryPictureByItsNameAndSize) {
  QStringList expectedNames;
  for (const Expected& e : kPictures) {
    const QImage img = LoadPicture(QString::fromLatin1(e.name));
    ASSERT_FALSE(img.isNull()) << e.name;
    EXPECT_EQ(img.size(), QSize(e.width, e.height)) << e.name;
    EXPECT_TRUE(img.hasAlphaChannel()) << e.name;
    expectedNames << QString::fromLatin1(e.name);
  }
  expectedNames.sort();
  EXPECT_EQ(PictureNames(), expectedNames) << "no picture missing, none unnamed";
}

TEST(PicturesTest, UnknownNamesGiveANullImage) {
  for (const char* name : {"", "MT_NOPE", "mt_pen", "MT_PEN.png", "../pictures/MT_PEN", "/MT_PEN", "MT_PEN/"})
    EXPECT_TRUE(LoadPicture(QString::fromLatin1(name)).isNull()) << name;
}

TEST(PicturesTest, TileAndCornerGlyphsAreWhiteOnTransparent) {
  for (const Expected& e : kPictures) {
    const QString name = QString::fromLatin1(e.name);
    const bool tile = name.startsWith("MT_") && !name.startsWith("MT_RB");
    if (!tile && !name.startsWith("PW_")) continue;
    const QImage img = Load(e.name);
    int glyph = 0, offWhite = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QRgb px = img.pixel(x, y);
        if (qAlpha(px) > 200) ++glyph;
        // Tile glyphs are turned black or white by their alpha alone, so
        // every visible pixel must be white; corner pictures may have a faint
        // dark edge below their white.
        const bool mustBeWhite = tile ? qAlpha(px) > 0 : qAlpha(px) == 255;
        if (mustBeWhite && (px & 0xFFFFFF) != 0xFFFFFF) ++offWhite;
      }
    EXPECT_EQ(offWhite, 0) << e.name;
    EXPECT_GT(glyph, 30) << e.name << ": a legible glyph";
    EXPECT_LT(glyph, 30 * 30 / 2) << e.name << ": a glyph, not a filled square";
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << e.name;
  }
}

TEST(PicturesTest, RainbowGlyphsShowEveryRainbowColour) {
  for (const char* name : {"MT_RBPEN", "MT_RBMARKER", "CR_RBPEN", "CR_RBMARKER"}) {
    const QImage img = Load(name);
    for (QRgb colour : kRainbow) {
      bool found = false;
      for (int y = 0; y < img.height() && !found; ++y)
        for (int x = 0; x < img.width() && !found; ++x)
          found = qAlpha(img.pixel(x, y)) == 255 && Near(img.pixel(x, y), colour, 24);
      EXPECT_TRUE(found) << name << " lacks " << std::hex << colour;
    }
  }
}

// The pen pointers lie along direction (1,2) from the centre of pixel (0,0);
// u runs along the pen from its tip, v across it.
QPoint AlongPen(double u, double v) {
  const double c = 1 / std::sqrt(5.0), s = 2 / std::sqrt(5.0);
  return QPoint(int(std::floor(0.5 + u * c - v * s)), int(std::floor(0.5 + u * s + v * c)));
}

TEST(PicturesTest, PenPointersHaveTheirTipOnTheHotSpotAndALightBand) {
  // The colour band the drawing surface paints runs from (7.5,14.5) to
  // (12.5,24.5), 5.5 wide with round caps: u from 15.65 to 26.83, |v| < 2.75.
  for (const char* name : {"CR_PEN", "CR_MARKER", "CR_RBPEN", "CR_RBMARKER"}) {
    const QImage img = Load(name);
    EXPECT_GT(qAlpha(img.pixel(0, 0)), 128) << name << ": the tip is the hot spot";
    EXPECT_EQ(qAlpha(img.pixel(AlongPen(45, 0))), 255) << name << ": the pen runs down to the right";
    EXPECT_EQ(qAlpha(img.pixel(31, 0)), 0) << name;
    EXPECT_EQ(qAlpha(img.pixel(0, 59)), 0) << name;
  }
  for (const char* name : {"CR_PEN", "CR_MARKER"}) {
    const QImage img = Load(name);
    // Around the painted band (just outside its width and past its caps) the
    // pen is light and opaque, so the band shows on a light rim.
    for (double u = 13.0; u <= 30.0; u += 1.0)
      for (double v : {-3.6, 0.0, 3.6}) {
        const QRgb px = img.pixel(AlongPen(u, v));
        EXPECT_EQ(qAlpha(px), 255) << name << " u=" << u << " v=" << v;
        EXPECT_GT(Brightness(px), 200) << name << " u=" << u << " v=" << v;
      }
    // And away from the band the pen is not all light: the band stands out.
    EXPECT_LT(Brightness(img.pixel(AlongPen(2, 0))), 120) << name << ": dark writing tip";
  }
  EXPECT_LT(Brightness(Load("CR_MARKER").pixel(AlongPen(45, 0))), 100) << "the marker is dark";
  EXPECT_GT(Brightness(Load("CR_PEN").pixel(AlongPen(45, 0))), 170) << "the pen is light";
}

TEST(PicturesTest, OtherPointersSitOnTheirHotSpots) {
  const QImage eraser = Load("CR_ERASER");
  EXPECT_GT(qAlpha(eraser.pixel(16, 0)), 128) << "top edge at the pointer";
  const QRect e = OpaqueBounds(eraser);
  EXPECT_EQ(e.top(), 0);
  EXPECT_EQ(e.left() + e.right(), 31) << "centred on the pointer";

  const QImage lasso = Load("CR_LASSO");
  EXPECT_GT(qAlpha(lasso.pixel(1, 2)), 200) << "the rope's free end";
  const QRect l = OpaqueBounds(lasso);
  EXPECT_LE(l.left(), 1);
  EXPECT_LE(l.top(), 2);
  EXPECT_GT(l.right(), 25) << "the loop lies to the right";

  for (const char* name : {"CR_HAND0", "CR_HAND1"}) {
    const QRgb palm = Load(name).pixel(12, 24);
    EXPECT_EQ(qAlpha(palm), 255) << name;
    EXPECT_GT(Brightness(palm), 230) << name << ": inside the light hand";
  }
}

TEST(PicturesTest, SplashIsOpaqueAndTheEmblemHasRoundedCorners) {
  const QImage splash = Load("SPLASH");
  for (const QPoint p : {QPoint(0, 0), QPoint(511, 0), QPoint(0, 255), QPoint(511, 255), QPoint(256, 128)})
    EXPECT_EQ(qAlpha(splash.pixel(p)), 255) << p.x() << "," << p.y();
  const QImage emblem = Load("EMBLEM");
  EXPECT_EQ(qAlpha(emblem.pixel(2, 2)), 0);
  EXPECT_EQ(qAlpha(emblem.pixel(32, 32)), 255);
}

}  // namespace
