// Writes small TGA files of every flavour the reader knows into the folder
// named on the command line: both flavours of our writer, and variants of
// them with the other row orders, raw 24-bit pixels and no footer.

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>

#include "imaging/FMXTGA.h"

namespace {

QImage Picture(int w, int h, int seed) {
  QImage img(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      // Runs, single pixels and changing alpha.
      img.setPixel(x, y, qRgba((x / 3) * 40 + seed, y * 20, (x * y + seed) % 7 * 30, (x + y) % 4 * 80));
  return img;
}

QByteArray Read(const QString& name) {
  QFile f(name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Put(const QString& name, const QByteArray& data) {
  QFile f(name);
  if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) std::fprintf(stderr, "cannot write seed\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  int n = 0;
  const int sizes[][2] = {{1, 1}, {5, 3}, {17, 4}, {130, 2}};
  for (const auto& s : sizes) {
    for (bool alpha : {true, false}) {
      const QString name = dir + QString("/w%1h%2%3.tga").arg(s[0]).arg(s[1]).arg(alpha ? "a" : "r");
      SaveTGAFile(name, Picture(s[0], s[1], n++), "seed", alpha);
      QByteArray data = Read(name);
      // Bottom-up and right-to-left variants of the same file.
      QByteArray v = data;
      v[17] = char(v[17] & ~0x20);
      Put(name + ".up.tga", v);
      v[17] = char(v[17] | 0x10);
      Put(name + ".rl.tga", v);
      // Without extension area and footer.
      Put(name + ".bare.tga", data.left(data.size() - 495 - 26));
    }
  }
  // Raw 24-bit pixels.
  QByteArray raw(18, 0);
  raw[2] = 2;
  raw[12] = 3;
  raw[14] = 2;
  raw[16] = 24;
  for (int i = 0; i < 6; ++i) raw += QByteArray("\x10\x20\x30", 3);
  Put(dir + "/raw24.tga", raw);
  // A run packet that carries over into the next row.
  QByteArray cross(18, 0);
  cross[2] = 10;
  cross[12] = 3;
  cross[14] = 2;
  cross[16] = 24;
  cross[17] = 0x20;
  cross += QByteArray("\x84\x01\x02\x03\x00\x04\x05\x06", 8);
  Put(dir + "/cross.tga", cross);
  return 0;
}
