// Writes small PSD files into the folder named on the command line: our
// writers' layered and flat documents, and hand-made merged images in the
// other modes and compressions the reader knows.

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>

#include "imaging/FMXPSD.h"

namespace {

QImage Picture(int w, int h, int seed) {
  QImage img(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      img.setPixel(x, y, qRgba((x / 3) * 40 + seed, y * 20, (x * y + seed) % 7 * 30, (x + y) % 4 * 80));
  return img;
}

void Put(const QString& name, const QByteArray& data) {
  QFile f(name);
  if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) std::fprintf(stderr, "cannot write seed\n");
}

QByteArray BE16(unsigned v) { return QByteArray{} + char(v >> 8) + char(v); }
QByteArray BE32(unsigned v) { return BE16(v >> 16) + BE16(v & 0xFFFF); }

// A flat file of the given mode with merged rows stored raw.
QByteArray Flat(int mode, int depth, int channels, int w, int h) {
  QByteArray d = "8BPS" + BE16(1) + QByteArray(6, 0) + BE16(unsigned(channels)) + BE32(unsigned(h)) +
                 BE32(unsigned(w)) + BE16(unsigned(depth)) + BE16(unsigned(mode));
  d += BE32(0) + BE32(0) + BE32(0) + BE16(0);
  const int rowBytes = (w * depth + 7) / 8;
  for (int i = 0; i < channels * h * rowBytes; ++i) d += char(i * 37);
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  SaveBitmapAsPSD(dir + "/flat.psd", Picture(9, 4, 1));
  SaveBitmapAsPSD(dir + "/wide.psd", Picture(140, 2, 2));
  TPSDFile doc;
  doc.LayerCount = 2;
  doc.Layer.resize(2);
  doc.Layer[0].Bitmap = Picture(6, 5, 3);
  doc.Layer[1].Bitmap = Picture(4, 7, 4);
  SavePSDFile(dir + "/layers.psd", doc);
  FreePSDLayers(doc);
  Put(dir + "/grey.psd", Flat(1, 8, 2, 5, 3));
  Put(dir + "/bits.psd", Flat(0, 1, 1, 13, 3));
  Put(dir + "/rgba-raw.psd", Flat(3, 8, 4, 4, 2));
  return 0;
}
