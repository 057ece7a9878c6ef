#include "IniFile.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// Trims [start, start + length) of text in place.
void Trim(const QByteArray& text, int& start, int& length) {
  while (length > 0 && IsBlank(text[start])) {
    ++start;
    --length;
  }
  while (length > 0 && IsBlank(text[start + length - 1])) --length;
}

bool SameName(const QByteArray& text, int start, int length, const char* name) {
  const auto n = std::strlen(name);
  return static_cast<std::size_t>(length) == n &&
         qstrnicmp(text.constData() + start, name, static_cast<qsizetype>(n)) == 0;
}

bool IsEmptyLine(const QByteArray& text) {
  for (char c : text)
    if (!IsBlank(c)) return false;
  return true;
}

#ifdef Q_OS_WIN
const QByteArray kNativeLineEnd = "\r\n";
#else
const QByteArray kNativeLineEnd = "\n";
#endif

}  // namespace

TIniFile::TIniFile() : FLineEnd(kNativeLineEnd) {}

TIniFile TIniFile::FromBytes(const QByteArray& bytes) {
  TIniFile ini;
  QByteArray data = bytes;
  if (data.startsWith("\xEF\xBB\xBF")) {
    ini.FHasBom = true;
    data.remove(0, 3);
  }
  const qsizetype firstBreak = data.indexOf('\n');
  if (firstBreak >= 0)
    ini.FLineEnd = firstBreak > 0 && data[firstBreak - 1] == '\r' ? "\r\n" : "\n";

  qsizetype pos = 0;
  while (pos < data.size()) {
    qsizetype end = data.indexOf('\n', pos);
    const qsizetype next = end < 0 ? data.size() : end + 1;
    if (end < 0) end = data.size();
    if (end > pos && data[end - 1] == '\r') --end;
    TLine line;
    line.text = data.mid(pos, end - pos);
    pos = next;

    int start = 0, length = static_cast<int>(line.text.size());
    Trim(line.text, start, length);
    if (length > 0 && line.text[start] == '[') {
      int close = static_cast<int>(line.text.indexOf(']', start + 1));
      if (close < 0) close = start + length;
      line.nameStart = start + 1;
      line.nameLength = close - line.nameStart;
      Trim(line.text, line.nameStart, line.nameLength);
      ini.FSections.push_back({std::move(line), {}});
      continue;
    }
    const int eq = static_cast<int>(line.text.indexOf('='));
    if (eq >= 0) {
      line.nameStart = 0;
      line.nameLength = eq;
      Trim(line.text, line.nameStart, line.nameLength);
      line.valueStart = eq + 1;
      line.valueLength = static_cast<int>(line.text.size()) - eq - 1;
      Trim(line.text, line.valueStart, line.valueLength);
      if (line.nameLength == 0) line.nameStart = -1;
    }
    (ini.FSections.empty() ? ini.FPreface : ini.FSections.back().lines).push_back(std::move(line));
  }
  return ini;
}

QByteArray TIniFile::ToBytes() const {
  QByteArray out;
  if (FHasBom) out += "\xEF\xBB\xBF";
  for (const auto& l : FPreface) out += l.text + FLineEnd;
  for (const auto& s : FSections) {
    out += s.header.text + FLineEnd;
    for (const auto& l : s.lines) out += l.text + FLineEnd;
  }
  return out;
}

const TIniFile::TSection* TIniFile::FindSection(const char* section) const {
  for (const auto& s : FSections)
    if (SameName(s.header.text, s.header.nameStart, s.header.nameLength, section)) return &s;
  return nullptr;
}

int TIniFile::FindKey(const TSection& s, const char* key) {
  for (std::size_t i = 0; i < s.lines.size(); ++i) {
    const TLine& l = s.lines[i];
    if (l.nameStart >= 0 && SameName(l.text, l.nameStart, l.nameLength, key)) return static_cast<int>(i);
  }
  return -1;
}

std::optional<QString> TIniFile::Value(const char* section, const char* key) const {
  const TSection* s = FindSection(section);
  if (!s) return std::nullopt;
  const int i = FindKey(*s, key);
  if (i < 0) return std::nullopt;
  const TLine& l = s->lines[static_cast<std::size_t>(i)];
  int start = l.valueStart, length = l.valueLength;
  if (length >= 2) {
    const char q = l.text[start];
    if ((q == '"' || q == '\'') && l.text[start + length - 1] == q) {
      ++start;
      length -= 2;
    }
  }
  return QString::fromUtf8(l.text.constData() + start, length);
}

TIniFile::TLine TIniFile::KeyLine(const char* key, const QString& value) {
  TLine line;
  QByteArray v = value.toUtf8();
  for (qsizetype i = 0; i < v.size(); ++i)
    if (v[i] == '\n' || v[i] == '\r') {
      v.truncate(i);
      break;
    }
  // A value that reading would trim or unquote goes in quotes, so that it
  // reads back as it was written.
  const auto quoted = [](char c) { return c == '"' || c == '\''; };
  if (!v.isEmpty() && (IsBlank(v.front()) || IsBlank(v.back()) ||
                       (v.size() >= 2 && quoted(v.front()) && v.back() == v.front())))
    v = '"' + v + '"';
  line.text = QByteArray(key) + '=' + v;
  line.nameStart = 0;
  line.nameLength = static_cast<int>(std::strlen(key));
  line.valueStart = line.nameLength + 1;
  line.valueLength = static_cast<int>(v.size());
  Trim(line.text, line.valueStart, line.valueLength);
  return line;
}

void TIniFile::SetValue(const char* section, const char* key, const QString& value) {
  auto* s = const_cast<TSection*>(FindSection(section));
  if (!s) {
    TLine header;
    header.text = QByteArray("[") + section + ']';
    header.nameStart = 1;
    header.nameLength = static_cast<int>(std::strlen(section));
    FSections.push_back({std::move(header), {}});
    s = &FSections.back();
  }
  const int i = FindKey(*s, key);
  if (i >= 0) {
    // Keep the file's own spelling of the key.
    TLine& l = s->lines[static_cast<std::size_t>(i)];
    const QByteArray name = l.text.mid(l.nameStart, l.nameLength);
    l = KeyLine(name.constData(), value);
    return;
  }
  // After the section's last non-empty line, so that a blank line that
  // separates it from the next section stays where it is.
  auto at = s->lines.end();
  while (at != s->lines.begin() && IsEmptyLine((at - 1)->text)) --at;
  s->lines.insert(at, KeyLine(key, value));
}

void TIniFile::MoveSectionToEnd(const char* section) {
  // Every section of the name goes, in its order, so that the one that
  // counts is still the first of them.
  std::stable_partition(FSections.begin(), FSections.end(), [section](const TSection& s) {
    return !SameName(s.header.text, s.header.nameStart, s.header.nameLength, section);
  });
}
