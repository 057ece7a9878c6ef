#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// A profile (INI) file held as its lines, read and edited the way the Windows
// profile functions treat one: section and key names match without regard to
// ASCII case, names and values are trimmed, only the first section of a name
// and the first key of a name in it count, and setting a key rewrites that one
// line (or adds it at the end of its section) while every other line,
// comments and keys we do not know included, stays byte for byte.
class TIniFile {
 public:
  TIniFile();
  // Any bytes are accepted; CRLF and LF line ends are both understood.
  static TIniFile FromBytes(const QByteArray& bytes);
  QByteArray ToBytes() const;

  // The trimmed value, without one pair of enclosing quotes; nullopt when the
  // section or the key is absent.
  std::optional<QString> Value(const char* section, const char* key) const;
  // A value holding a line break cannot be stored in one line: the break
  // and everything after it are dropped.
  void SetValue(const char* section, const char* key, const QString& value);
  // Puts the sections of the name, with their lines, after every other.
  void MoveSectionToEnd(const char* section);

 private:
  struct TLine {
    QByteArray text;  // without its line end
    int nameStart = -1, nameLength = 0;  // key or section name, -1 if none
    int valueStart = 0, valueLength = 0;
  };
  struct TSection {
    TLine header;
    std::vector<TLine> lines;
  };

  const TSection* FindSection(const char* section) const;
  static int FindKey(const TSection& s, const char* key);
  static TLine KeyLine(const char* key, const QString& value);

  std::vector<TLine> FPreface;  // lines before the first section
  std::vector<TSection> FSections;
  QByteArray FLineEnd;
  bool FHasBom = false;
};
