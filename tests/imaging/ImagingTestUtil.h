#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

namespace imagingtest {

inline QByteArray ReadBytes(const QString& name) {
  QFile f(name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool WriteBytes(const QString& name, const QByteArray& data) {
  QFile f(name);
  return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

inline std::uint8_t At(const QByteArray& d, qsizetype i) { return std::uint8_t(d.at(i)); }
inline unsigned LE16(const QByteArray& d, qsizetype i) { return At(d, i) | unsigned(At(d, i + 1)) << 8; }
inline unsigned LE32(const QByteArray& d, qsizetype i) { return LE16(d, i) | LE16(d, i + 2) << 16; }
inline unsigned BE16(const QByteArray& d, qsizetype i) { return unsigned(At(d, i)) << 8 | At(d, i + 1); }
inline unsigned BE32(const QByteArray& d, qsizetype i) { return BE16(d, i) << 16 | BE16(d, i + 2); }
inline QByteArray Be16(unsigned v) { return QByteArray{} + char(v >> 8) + char(v); }
inline QByteArray Be32(unsigned v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }
inline QByteArray Bytes(std::initializer_list<int> b) {
  QByteArray d;
  for (int v : b) d += char(v);
  return d;
}

// A picture with flat runs, single pixels, gradients and every kind of alpha,
// so that both run-length schemes see runs and literals.
inline QImage Pattern(int w, int h, int seed = 0) {
  QImage img(w, h, QImage::Format_ARGB32);
  std::uint32_t r = 2463534242u + std::uint32_t(seed);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      r ^= r << 13;
      r ^= r >> 17;
      r ^= r << 5;
      QRgb p;
      if (x < w / 3)
        p = qRgba(200, 100 + y % 3, 50, 255);  // flat run
      else if (x < 2 * w / 3)
        p = qRgba(x * 7 % 256, y * 11 % 256, (x + y) % 256, (x * 5) % 256);  // gradient, mixed alpha
      else
        p = r;  // noise, every alpha
      img.setPixel(x, y, p);
    }
  }
  return img;
}

}  // namespace imagingtest
