#include <gtest/gtest.h>

// Mouse events go through the window system layer, as real ones do, so that
// Qt's own grab, enter and leave handling takes part.
#define QTEST_QPA_MOUSE_HANDLING
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <memory>
#include <set>

#include "resources/Pictures.h"
#include "widgets/MetroButton.h"

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlack = 0xFF000000;
const QPoint kIconCentre(30, 23);  // of a small tile's 26-pixel icon square

// Where a colour lies relative to the segment from `from` to `to`: the
// fraction along it and the distance off it.
std::pair<double, double> OnSegment(QRgb px, QRgb from, QRgb to) {
  const double d[3] = {double(qRed(to) - qRed(from)), double(qGreen(to) - qGreen(from)),
                       double(qBlue(to) - qBlue(from))};
  const double p[3] = {double(qRed(px) - qRed(from)), double(qGreen(px) - qGreen(from)),
                       double(qBlue(px) - qBlue(from))};
  const double len2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  const double t = std::clamp((p[0] * d[0] + p[1] * d[1] + p[2] * d[2]) / len2, 0.0, 1.0);
  double off = 0;
  for (int i = 0; i < 3; ++i) off += (p[i] - t * d[i]) * (p[i] - t * d[i]);
  return {t, std::sqrt(off)};
}

// Counts the paints a widget receives.
class TPaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

class MetroButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = std::make_unique<QWidget>();
    host->resize(320, 200);
    tile = new TMetroButton(host.get(), mtSmallSingle);
    tile->move(5, 5);
    tile->OnExecute = [this](TMetroButton* sender) {
      ++executed;
      lastSender = sender;
    };
    host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    // Start with the pointer on the host, off the tile. Qt drops a move to
    // where the pointer already is, hence two moves.
    Move({319, 199});
    Move({300, 190});
    ASSERT_FALSE(tile->IsEntered());
  }

  // Positions in host coordinates, where the tile at rest lies at (5,5).
  void Move(QPoint p) { QTest::mouseMove(host.get(), p); }
  void Press(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(host.get(), b, {}, p); }
  void Release(QPoint p, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(host.get(), b, {}, p); }

  QImage Painted() {
    QCoreApplication::processEvents();
    return tile->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  }

  std::unique_ptr<QWidget> host;
  TMetroButton* tile = nullptr;
  int executed = 0;
  TMetroButton* lastSender = nullptr;
};

QImage RedSquareIcon() {
  QImage icon(30, 30, QImage::Format_ARGB32);
  icon.fill(Qt::transparent);
  for (int y = 5; y < 25; ++y)
    for (int x = 5; x < 25; ++x) icon.setPixel(x, y, 0xFFFF0000);
  return icon;
}

TEST_F(MetroButtonTest, TypeSetsSizeAndResetsColour) {
  struct Case {
    TMetroButtonType type;
    int width, height;
    std::uint32_t colour;
  };
  const Case cases[] = {
      {mtSingle, 90, 90, MetroBlue},     {mtDouble, 190, 90, MetroBlue},
      {mtPicture, 90, 90, 0xFFFFFFFF},   {mtSmallSingle, 60, 60, MetroBlue},
      {mtSmallDouble, 130, 60, MetroBlue},
  };
  for (const Case& c : cases) {
    tile->SetColor(0xFFFFFF00);
    tile->SetMetroButtonType(c.type);
    EXPECT_EQ(tile->MetroWidth(), c.width) << int(c.type);
    EXPECT_EQ(tile->MetroHeight(), c.height) << int(c.type);
    EXPECT_EQ(tile->size(), QSize(c.width, c.height)) << int(c.type);
    EXPECT_EQ(tile->Color(), c.colour) << int(c.type);
  }
  tile->SetMetroButtonType(mtPicture);
  EXPECT_EQ(tile->Bitmap().size(), QSize(90, 90));
}

TEST_F(MetroButtonTest, PressPushesInAndReleaseRestoresExactly) {
  for (TMetroButtonType type : {mtSmallSingle, mtSmallDouble}) {
    executed = 0;
    tile->SetMetroButtonType(type);
    const QRect rest = tile->geometry();
    const QPoint at = rest.center();
    Move(at);
    Press(at);
    EXPECT_TRUE(tile->IsPressed());
    EXPECT_EQ(tile->geometry(), rest.adjusted(MetroPress, MetroPress, -MetroPress, -MetroPress));
    EXPECT_EQ(executed, 0) << "a press alone is no click";
    Release(at);
    EXPECT_FALSE(tile->IsPressed());
    EXPECT_EQ(tile->geometry(), rest);
    EXPECT_EQ(executed, 1);
    EXPECT_EQ(lastSender, tile);
  }
}

TEST_F(MetroButtonTest, LeavingWhilePressedCancelsTheClick) {
  const QRect rest = tile->geometry();
  Move({35, 35});
  Press({35, 35});
  Move({200, 100});  // off the tile, button still held
  EXPECT_FALSE(tile->IsPressed());
  EXPECT_FALSE(tile->IsEntered());
  EXPECT_EQ(tile->geometry(), rest);
  Move({30, 30});  // back over it: hovered, but the press stays cancelled
  EXPECT_TRUE(tile->IsEntered());
  EXPECT_FALSE(tile->IsPressed());
  Release({30, 30});
  EXPECT_EQ(executed, 0);
  EXPECT_EQ(tile->geometry(), rest);

  // Released off the tile without any move in between: no click either.
  Press({35, 35});
  Release({250, 150});
  EXPECT_EQ(executed, 0);
  EXPECT_EQ(tile->geometry(), rest);
  EXPECT_FALSE(tile->IsEntered());
}

TEST_F(MetroButtonTest, PressOnTheEdgeStillClicks) {
  // The pushed-in tile shrinks away from under a pointer on its outer
  // pixels; that is not leaving it.
  const QPoint edge(6, 6);
  Move(edge);
  Press(edge);
  Move({7, 6});
  EXPECT_TRUE(tile->IsPressed());
  Release({7, 6});
  EXPECT_EQ(executed, 1);
  EXPECT_EQ(tile->geometry(), QRect(5, 5, 60, 60));
}

TEST_F(MetroButtonTest, SecondButtonDoesNotPushInTwice) {
  const QRect rest = tile->geometry();
  Move({35, 35});
  Press({35, 35}, Qt::LeftButton);
  Press({35, 35}, Qt::RightButton);
  EXPECT_EQ(tile->geometry(), rest.adjusted(MetroPress, MetroPress, -MetroPress, -MetroPress));
  Release({35, 35}, Qt::RightButton);
  Release({35, 35}, Qt::LeftButton);
  EXPECT_EQ(tile->geometry(), rest);
  EXPECT_EQ(executed, 1);
}

TEST_F(MetroButtonTest, HidingWhilePressedGivesTheSizeBack) {
  const QRect rest = tile->geometry();
  Move({35, 35});
  Press({35, 35});
  tile->hide();
  EXPECT_EQ(tile->geometry(), rest);
  EXPECT_FALSE(tile->IsPressed());
  Release({35, 35});
  EXPECT_EQ(executed, 0);
}

TEST_F(MetroButtonTest, HandlerMayDestroyItsTile) {
  // The handler keeps using its own captured state after deleting the tile
  // that holds it, as a handler rebuilding the tile column does.
  auto calls = std::make_shared<int>(0);
  QPointer<TMetroButton> guard(tile);
  tile->OnExecute = [calls](TMetroButton* sender) {
    delete sender;
    ++*calls;
  };
  Move({35, 35});
  Press({35, 35});
  Release({35, 35});
  EXPECT_EQ(*calls, 1);
  EXPECT_TRUE(guard.isNull());
  // Qt keeps delivering events to the host afterwards.
  Move({200, 100});
  Press({200, 100});
  Release({200, 100});
  QCoreApplication::processEvents();
}

TEST_F(MetroButtonTest, DownRepaintsOnlyOnChange) {
  TPaintCounter counter;
  QCoreApplication::processEvents();
  tile->installEventFilter(&counter);
  struct Step {
    bool down;
    int paints;
  };
  for (const Step& s : {Step{false, 0}, Step{true, 1}, Step{true, 0}, Step{false, 1}}) {
    counter.paints = 0;
    tile->SetDown(s.down);
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints, s.paints) << "Down := " << s.down;
    EXPECT_EQ(tile->Down(), s.down);
  }
  tile->removeEventFilter(&counter);
}

TEST_F(MetroButtonTest, EnteringMarksMetroEntered) {
  MetroEntered = false;
  Move({200, 100});
  EXPECT_FALSE(MetroEntered);
  Move({35, 35});
  EXPECT_TRUE(MetroEntered);
  EXPECT_TRUE(tile->IsEntered());
  Move({200, 100});
  EXPECT_FALSE(tile->IsEntered());
}

// Painting -----------------------------------------------------------------

TEST_F(MetroButtonTest, GlyphAndLabelFollowTheTileBrightness) {
  struct Case {
    std::uint32_t colour;
    QRgb expected;  // glyph and label
  };
  const Case cases[] = {
      {0xFF0000FF, kWhite},  // blue, brightness 28
      {MetroRed, kWhite},    {MetroGreen, kWhite},
      {0xFF202020, kWhite},  // dark grey
      {0xFF00FFFF, kWhite},  // cyan, 178.5
      {0xFFFFFF00, kBlack},  // yellow, 227
      {0xFFFFFFFF, kBlack},
  };
  for (const Case& c : cases) {
    tile->Bitmap() = RedSquareIcon();
    tile->SetText(QStringLiteral("Wide"));
    tile->SetColor(c.colour);
    const QImage img = Painted();
    EXPECT_EQ(img.pixel(kIconCentre), c.expected) << std::hex << c.colour;
    EXPECT_EQ(img.pixel(2, 2), 0xFF000000u | c.colour) << "no frame while idle";
    // The label sits at the bottom left: its pixels are blends of the tile
    // colour and the label colour (nothing else), and some come close to
    // the label colour.
    double nearest = 1e9, stray = 0;
    for (int y = 40; y < 57; ++y)
      for (int x = 6; x < 40; ++x) {
        const auto [t, residual] = OnSegment(img.pixel(x, y), 0xFF000000u | c.colour, c.expected);
        nearest = std::min(nearest, 1 - t);
        stray = std::max(stray, residual);
      }
    EXPECT_LT(nearest, 0.2) << std::hex << c.colour;
    EXPECT_LT(stray, 30) << std::hex << c.colour;
    // The icon itself was recoloured, alpha kept, and stays so when painted again.
    const QImage once = tile->Bitmap();
    EXPECT_EQ(qAlpha(once.pixel(15, 15)), 255);
    EXPECT_EQ(qAlpha(once.pixel(2, 2)), 0);
    Painted();
    EXPECT_EQ(tile->Bitmap(), once);
  }
}

TEST_F(MetroButtonTest, RainbowGlyphKeepsItsColoursOnlyOnMetroBlue) {
  const QImage rainbow = LoadPicture(QStringLiteral("MT_RBPEN"));
  ASSERT_FALSE(rainbow.isNull());
  auto saturatedHues = [](const QImage& img) {
    std::set<int> hues;
    for (int y = 10; y < 36; ++y)
      for (int x = 17; x < 43; ++x) {
        const QColor c = QColor::fromRgb(img.pixel(x, y));
        if (c.hsvSaturation() > 200 && c.value() > 150) hues.insert(c.hsvHue() / 30);
      }
    return hues.size();
  };
  tile->Bitmap() = rainbow;
  tile->SetColor(MetroBlue);
  EXPECT_GE(saturatedHues(Painted()), 5u);
  EXPECT_EQ(tile->Bitmap(), rainbow);

  tile->SetColor(0xFFFFFF00);
  const QImage yellow = Painted();
  EXPECT_EQ(saturatedHues(yellow), 1u) << "only the yellow tile itself";
}

TEST_F(MetroButtonTest, FrameWhenHoveredOrDown) {
  struct Case {
    bool hover, down;
  };
  for (const Case& c : {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
    Move(c.hover ? QPoint(35, 35) : QPoint(200, 100));
    tile->SetDown(c.down);
    const QImage img = Painted();
    const bool framed = c.hover || c.down;
    // Along the left edge and the bottom edge: two white pixels, then one black.
    for (const auto& [outer, inner, black, fill] :
         {std::array<QPoint, 4>{QPoint(0, 30), QPoint(1, 30), QPoint(2, 30), QPoint(3, 30)},
          std::array<QPoint, 4>{QPoint(30, 59), QPoint(30, 58), QPoint(30, 57), QPoint(30, 56)}}) {
      EXPECT_EQ(img.pixel(outer), framed ? kWhite : MetroBlue) << c.hover << c.down;
      EXPECT_EQ(img.pixel(inner), framed ? kWhite : MetroBlue) << c.hover << c.down;
      EXPECT_EQ(img.pixel(black), framed ? kBlack : MetroBlue) << c.hover << c.down;
      EXPECT_EQ(img.pixel(fill), MetroBlue);
    }
  }
}

TEST_F(MetroButtonTest, PictureTileShowsItsPictureHalfTransparentWithoutLabel) {
  tile->SetMetroButtonType(mtPicture);
  tile->Bitmap().fill(0xFFFF0000);
  tile->SetText(QStringLiteral("Hidden"));
  const QImage img = Painted();
  ASSERT_EQ(img.size(), QSize(90, 90));
  for (const QPoint p : {QPoint(45, 45), QPoint(10, 80), QPoint(30, 85)}) {
    const QRgb px = img.pixel(p);
    EXPECT_EQ(qRed(px), 255);
    EXPECT_NEAR(qGreen(px), 128, 2);
    EXPECT_NEAR(qBlue(px), 128, 2);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
