#include "Glyphs.h"

#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <string>
#include <unordered_map>

namespace {

// Outlines are made once at this size and scaled: exact at any scale.
constexpr qreal kReference = 100;

QFont ReferenceFont() {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(static_cast<int>(kReference));
  font.setBold(true);
  return font;
}

const QPainterPath& ReferencePath(std::string_view utf8) {
  // Per thread: rebuilds draw in bands on several threads.
  thread_local std::unordered_map<std::string, QPainterPath> cache;
  const std::string key(utf8);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  if (cache.size() > 512) cache.clear();
  const QFont font = ReferenceFont();
  const QFontMetricsF metrics(font);
  QPainterPath path;
  const QStringList lines = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).split(u'\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    path.addText(QPointF(0, metrics.ascent() + i * metrics.lineSpacing()), font, lines[i]);
  }
  return cache.emplace(key, path).first->second;
}

}  // namespace

QPainterPath GlyphPath(std::string_view utf8, qreal size) {
  const qreal k = size / kReference;
  return QTransform::fromScale(k, k).map(ReferencePath(utf8));
}

qreal GlyphLineSpacing(qreal size) { return QFontMetricsF(ReferenceFont()).lineSpacing() * size / kReference; }

qreal GlyphLastLineAdvance(std::string_view utf8, qreal size) {
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  const QString last = text.mid(text.lastIndexOf(u'\n') + 1);
  return QFontMetricsF(ReferenceFont()).horizontalAdvance(last) * size / kReference;
}

int GlyphLineCount(std::string_view utf8) {
  int n = 1;
  for (const char c : utf8) n += c == '\n';
  return n;
}
