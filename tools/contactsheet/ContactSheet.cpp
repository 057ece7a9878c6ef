// Renders every picture compiled into the program onto one PNG: the tile
// icons on each tile colour, on dark and light backgrounds and on real
// tiles; the corner pictures as the overlay draws them; the pointers with
// their hot spots marked; the splash and the emblem.
//
//   korivan-contactsheet OUTPUT.png
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <vector>

#include "resources/Pictures.h"
#include "widgets/MetroButton.h"

namespace {

constexpr QRgb kDark = 0xFF1F1F1F;    // the tile column's panel
constexpr QRgb kLight = 0xFFF3F3F3;
constexpr QRgb kDesk = 0xFF6B7A8F;    // a desktop behind the overlay
constexpr QRgb kYellow = 0xFFFFFF00;  // a light pen colour: glyphs turn black
constexpr int kLabelWidth = 120;
constexpr int kCell = 74;

struct Tile {
  const char* name;
  const char* text;
};
const Tile kTiles[] = {
    {"MT_PEN", "Pen"},           {"MT_MARKER", "Marker"},       {"MT_RBPEN", "Pen"},
    {"MT_RBMARKER", "Marker"},   {"MT_ARROWS", "Arrow"},        {"MT_ARROWD", "Arrow Both"},
    {"MT_ERASER", "Eraser"},     {"MT_ERASEALL", "Erase All"},  {"MT_OPEN", "Open ..."},
    {"MT_SAVE", "Save"},         {"MT_UNDO", "Undo"},           {"MT_REDO", "Redo"},
    {"MT_WBRD", "W-Board"},      {"MT_LAUNCH", "Menu ..."},     {"MT_LASSO", "Lasso"},
    {"MT_INFO", "Info"},         {"MT_SETUP", "Setup ..."},     {"MT_PENSETUP", "Pen Setup"},
    {"MT_CLOSE", "Close"},       {"MT_OK", "OK"},
};

struct Pointer {
  const char* name;
  QPoint hotSpot;  // in the picture
  bool band;       // the surface paints the pen's colour on it
};
const Pointer kPointers[] = {
    {"CR_PEN", {0, 0}, true},       {"CR_MARKER", {0, 0}, true},  {"CR_RBPEN", {0, 0}, false},
    {"CR_RBMARKER", {0, 0}, false}, {"CR_ERASER", {16, 0}, false}, {"CR_LASSO", {1, 2}, false},
    {"CR_HAND0", {12, 24}, false},  {"CR_HAND1", {12, 24}, false},
};

QImage Picture(const char* name) {
  const QImage img = LoadPicture(QString::fromLatin1(name));
  if (img.isNull()) std::fprintf(stderr, "missing picture %s\n", name);
  return img;
}

// The colour band the drawing surface paints on a pen pointer.
QImage WithBand(QImage img, QRgb colour) {
  img.convertTo(QImage::Format_ARGB32_Premultiplied);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor::fromRgba(colour), 5.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(7.5, 14.5), QPointF(12.5, 24.5));
  return img;
}

class TSheet {
 public:
  explicit TSheet(int width) : FWidth(width) {}

  void Heading(const QString& text) {
    Add(34, [text](QPainter& p, int y, int w) {
      QFont f = p.font();
      f.setPixelSize(16);
      f.setBold(true);
      p.setFont(f);
      p.setPen(QColor(0x20, 0x20, 0x20));
      p.drawText(QRect(10, y + 8, w - 20, 24), Qt::AlignLeft | Qt::AlignVCenter, text);
    });
  }

  // One row: a label at the left, then one cell per entry.
  void Row(const QString& label, int height, std::function<void(QPainter&, QRect cell, int i)> cell,
           int count, int cellWidth = kCell) {
    Add(height, [=](QPainter& p, int y, int) {
      QFont f = p.font();
      f.setPixelSize(11);
      f.setBold(false);
      p.setFont(f);
      p.setPen(QColor(0x50, 0x50, 0x50));
      p.drawText(QRect(10, y, kLabelWidth - 14, height), Qt::AlignRight | Qt::AlignVCenter, label);
      for (int i = 0; i < count; ++i) cell(p, QRect(kLabelWidth + i * cellWidth, y, cellWidth - 4, height - 4), i);
    });
  }

  void Add(int height, std::function<void(QPainter&, int y, int w)> paint) {
    FParts.push_back({height, std::move(paint)});
    FHeight += height;
  }

  QImage Render() const {
    QImage img(FWidth, FHeight + 10, QImage::Format_ARGB32_Premultiplied);
    img.fill(0xFFFFFFFF);
    QPainter p(&img);
    int y = 0;
    for (const auto& part : FParts) {
      part.paint(p, y, FWidth);
      y += part.height;
    }
    return img;
  }

 private:
  struct Part {
    int height;
    std::function<void(QPainter&, int, int)> paint;
  };
  int FWidth;
  int FHeight = 0;
  std::vector<Part> FParts;
};

void Centred(QPainter& p, QRect cell, QRgb background, const QImage& img, double scale = 1,
             double opacity = 1) {
  p.fillRect(cell, QColor::fromRgba(background));
  const QSizeF size = QSizeF(img.size()) * scale;
  const QRectF target(cell.x() + (cell.width() - size.width()) / 2,
                      cell.y() + (cell.height() - size.height()) / 2, size.width(), size.height());
  p.save();
  p.setOpacity(opacity);
  p.drawImage(target, img);
  p.restore();
}

void Name(QPainter& p, QRect cell, const QString& name) {
  QFont f = p.font();
  f.setPixelSize(9);
  p.setFont(f);
  p.setPen(QColor(0x20, 0x20, 0x20));
  p.drawText(cell, Qt::AlignHCenter | Qt::AlignBottom, name);
}

// A real tile, painted by the tile widget itself.
void PaintTile(QPainter& p, QRect cell, const Tile& t, std::uint32_t colour, bool hovered,
               TMetroButtonType type = mtSmallSingle) {
  TMetroButton tile(nullptr, type);
  tile.Bitmap() = Picture(t.name);
  tile.SetText(QString::fromLatin1(t.text));
  tile.SetColor(colour);
  tile.SetDown(hovered);
  p.fillRect(cell, QColor::fromRgba(kDark));
  const QPoint at(cell.x() + (cell.width() - tile.width()) / 2, cell.y() + (cell.height() - tile.height()) / 2);
  tile.render(&p, at);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  const int nTiles = int(std::size(kTiles));
  TSheet sheet(kLabelWidth + nTiles * kCell + 10);

  sheet.Heading(QStringLiteral("Tile icons, 30 x 30, 1:1"));
  sheet.Row(QString(), 18, [](QPainter& p, QRect c, int i) { Name(p, c, QString::fromLatin1(kTiles[i].name)); }, nTiles);
  const std::pair<const char*, QRgb> grounds[] = {{"MetroBlue", MetroBlue}, {"MetroRed", MetroRed},
                                                  {"MetroGreen", MetroGreen}, {"panel", kDark}, {"light", kLight}};
  for (const auto& [label, colour] : grounds) {
    const QRgb c = colour;
    sheet.Row(QString::fromLatin1(label), 44, [c](QPainter& p, QRect cell, int i) {
      Centred(p, cell, c, Picture(kTiles[i].name));
    }, nTiles);
  }
  sheet.Row(QStringLiteral("x3 on MetroBlue"), 98, [](QPainter& p, QRect cell, int i) {
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    Centred(p, cell, MetroBlue, Picture(kTiles[i].name), 3);
  }, nTiles);
  sheet.Heading(QStringLiteral("The same icons on tiles: blue, hovered, yellow pen, red (60 x 60), large (90 x 90)"));
  sheet.Row(QStringLiteral("MetroBlue"), 68, [](QPainter& p, QRect c, int i) { PaintTile(p, c, kTiles[i], MetroBlue, false); }, nTiles);
  sheet.Row(QStringLiteral("hovered / Down"), 68, [](QPainter& p, QRect c, int i) { PaintTile(p, c, kTiles[i], MetroBlue, true); }, nTiles);
  sheet.Row(QStringLiteral("yellow"), 68, [](QPainter& p, QRect c, int i) { PaintTile(p, c, kTiles[i], kYellow, false); }, nTiles);
  sheet.Row(QStringLiteral("MetroRed"), 68, [](QPainter& p, QRect c, int i) { PaintTile(p, c, kTiles[i], MetroRed, false); }, nTiles);

  sheet.Row(QStringLiteral("large tile (90 x 90)"), 98, [](QPainter& p, QRect c, int i) {
    PaintTile(p, c, kTiles[i], MetroBlue, false, mtSingle);
  }, 12, 96);

  const char* corners[] = {"PW_PEN", "PW_ARROW", "PW_RIGHT", "PW_LEFT"};
  const int nCorners = int(std::size(corners));
  sheet.Heading(QStringLiteral("Corner pictures, 30 x 30: 1:1, as drawn (opacity 0.4), x3"));
  sheet.Row(QString(), 18, [&](QPainter& p, QRect c, int i) { Name(p, c, QString::fromLatin1(corners[i])); }, nCorners);
  sheet.Row(QStringLiteral("panel / light"), 44, [&](QPainter& p, QRect cell, int i) {
    Centred(p, cell.adjusted(0, 0, -cell.width() / 2, 0), kDark, Picture(corners[i]));
    Centred(p, cell.adjusted(cell.width() / 2, 0, 0, 0), kLight, Picture(corners[i]));
  }, nCorners);
  sheet.Row(QStringLiteral("0.4 on desk / white"), 44, [&](QPainter& p, QRect cell, int i) {
    Centred(p, cell.adjusted(0, 0, -cell.width() / 2, 0), kDesk, Picture(corners[i]), 1, 0.4);
    Centred(p, cell.adjusted(cell.width() / 2, 0, 0, 0), 0xFFFFFFFF, Picture(corners[i]), 1, 0.4);
  }, nCorners);
  sheet.Row(QStringLiteral("x3 on desk"), 98, [&](QPainter& p, QRect cell, int i) {
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    Centred(p, cell, kDesk, Picture(corners[i]), 3);
  }, nCorners, 100);

  const int nPointers = int(std::size(kPointers));
  sheet.Heading(QStringLiteral("Pointers, 1:1 on light, desk and blue; x3 with the hot spot in red and the colour band painted"));
  sheet.Row(QString(), 18, [](QPainter& p, QRect c, int i) { Name(p, c, QString::fromLatin1(kPointers[i].name)); }, nPointers, 120);
  sheet.Row(QStringLiteral("light / desk / blue"), 70, [](QPainter& p, QRect cell, int i) {
    const QImage img = Picture(kPointers[i].name);
    const int w = cell.width() / 3;
    Centred(p, QRect(cell.x(), cell.y(), w, cell.height()), kLight, img);
    Centred(p, QRect(cell.x() + w, cell.y(), w, cell.height()), kDesk, img);
    Centred(p, QRect(cell.x() + 2 * w, cell.y(), w, cell.height()), MetroBlue, img);
  }, nPointers, 120);
  sheet.Row(QStringLiteral("x3, hot spot"), 190, [](QPainter& p, QRect cell, int i) {
    const Pointer& ptr = kPointers[i];
    QImage img = Picture(ptr.name);
    if (ptr.band) img = WithBand(img, 0xFFE51400);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.fillRect(cell, QColor::fromRgba(kLight));
    const QPoint at(cell.x() + 6, cell.y() + 6);
    p.drawImage(QRect(at, img.size() * 3), img);
    // The hot spot is a pixel: outline it and cross through its centre.
    const QRectF hot(at.x() + ptr.hotSpot.x() * 3, at.y() + ptr.hotSpot.y() * 3, 3, 3);
    p.setPen(QPen(QColor(255, 0, 0), 1));
    p.drawRect(hot.adjusted(-1, -1, 0, 0));
    p.drawLine(hot.center() - QPointF(6, 0), hot.center() + QPointF(6, 0));
    p.drawLine(hot.center() - QPointF(0, 6), hot.center() + QPointF(0, 6));
  }, nPointers, 120);

  sheet.Heading(QStringLiteral("Splash (512 x 256) and emblem (64 x 64)"));
  sheet.Add(266, [](QPainter& p, int y, int) {
    p.drawImage(QPoint(kLabelWidth, y), Picture("SPLASH"));
    const QImage emblem = Picture("EMBLEM");
    Centred(p, QRect(kLabelWidth + 530, y, 90, 90), kLight, emblem);
    Centred(p, QRect(kLabelWidth + 630, y, 90, 90), kDark, emblem);
    Centred(p, QRect(kLabelWidth + 730, y, 90, 90), kDesk, emblem);
  });

  const QImage out = sheet.Render();
  if (!out.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s: %d x %d\n", argv[1], out.width(), out.height());
  return 0;
}
