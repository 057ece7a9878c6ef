#include "SetupFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <charconv>
#include <cmath>
#include <limits>

#include "Settings.h"

namespace setupvalue {

std::optional<std::int32_t> ParseInteger(const QString& text) {
  QString t = text;
  bool negative = false;
  if (t.startsWith(u'-') || t.startsWith(u'+')) {
    negative = t.startsWith(u'-');
    t.remove(0, 1);
  }
  int base = 10;
  if (t.startsWith(u'$')) {
    t.remove(0, 1);
    base = 16;
  } else if (t.startsWith(QLatin1String("0x")) || t.startsWith(QLatin1String("0X"))) {
    t.remove(0, 2);
    base = 16;
  }
  if (t.isEmpty()) return std::nullopt;
  std::uint64_t v = 0;
  for (QChar c : t) {
    int digit;
    if (c >= u'0' && c <= u'9')
      digit = c.unicode() - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f')
      digit = c.unicode() - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F')
      digit = c.unicode() - u'A' + 10;
    else
      return std::nullopt;
    v = v * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (v > 0xFFFFFFFFu) return std::nullopt;
  }
  if (base == 10) {
    // Decimal text must fit a signed 32-bit value.
    const std::uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    if (v > limit) return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v));
  }
  // Hexadecimal covers all 32 bits: $FFFFFFFF is -1.
  auto bits = static_cast<std::uint32_t>(v);
  if (negative) bits = 0u - bits;
  return static_cast<std::int32_t>(bits);
}

std::optional<double> ParseNumber(const QString& text) {
  if (text.isEmpty()) return std::nullopt;
  QLocale locale;
  locale.setNumberOptions(QLocale::RejectGroupSeparator);
  bool ok = false;
  double v = locale.toDouble(text, &ok);
  // A file carried from a system with another decimal separator.
  if (!ok) v = QLocale::c().toDouble(text, &ok);
  if (!ok) return std::nullopt;
  return v;
}

QString FormatNumber(float value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  QString s = QString::fromLatin1(buf, r.ptr - buf);
  const QLocale locale;
  s.replace(u'.', locale.decimalPoint());
  if (s.startsWith(u'-')) s.replace(0, 1, locale.negativeSign());
  return s;
}

}  // namespace setupvalue

namespace {

using namespace setupvalue;

QString IndexedKey(const char* name, int i) { return QString::fromLatin1(name) + QString::number(i); }

class TReader {
 public:
  explicit TReader(const TIniFile& ini) : FIni(ini) {}

  void Integer(const char* section, const QString& key, std::int32_t& value, std::int32_t lo, std::int32_t hi) {
    if (const auto t = Text(section, key))
      if (const auto v = ParseInteger(*t); v && *v >= lo && *v <= hi) value = *v;
  }
  void Boolean(const char* section, const char* key, bool& value) {
    if (const auto t = Text(section, key))
      if (const auto v = ParseInteger(*t)) value = *v != 0;
  }
  // Whatever the read value was, the colour comes back opaque.
  void Color(const char* section, const QString& key, TAlphaColor& value) {
    TAlphaColor rgb = value & 0xFFFFFF;
    if (const auto t = Text(section, key))
      if (const auto v = ParseInteger(*t)) rgb = static_cast<std::uint32_t>(*v) & 0xFFFFFF;
    value = rgb | 0xFF000000;
  }
  // Only finite values that fit a float; tool widths must be positive too.
  void Thickness(const char* section, const QString& key, float& value, bool tool) {
    const auto t = Text(section, key);
    if (!t) return;
    const auto v = ParseNumber(*t);
    if (!v || !std::isfinite(*v) || std::fabs(*v) > std::numeric_limits<float>::max()) return;
    if (tool && !(*v > 0 && *v <= MaxToolThickness)) return;
    const auto f = static_cast<float>(*v);
    if (tool && f <= 0) return;  // a positive double below the float range
    value = f;
  }
  void PenType(const char* section, const QString& key, TPWPenType& value) {
    if (const auto t = Text(section, key)) value = StrToPenType(*t);
  }
  // sdCustom is kept as the file has it (it draws solid); ordinals beyond the
  // type count as unreadable.
  void Dash(const char* section, const QString& key, TStrokeDash& value) {
    std::int32_t v = value;
    Integer(section, key, v, sdSolid, sdCustom);
    value = static_cast<TStrokeDash>(v);
  }
  void String(const char* section, const char* key, QString& value) {
    if (auto t = Text(section, key)) {
      if (t->size() > MaxTextLength) {
        qsizetype n = MaxTextLength;
        if (t->at(n - 1).isHighSurrogate()) --n;
        t->truncate(n);
      }
      value = *t;
    }
  }
  void Item(const char* section, int i, TPWMenuItem& item) {
    PenType(section, IndexedKey("PenType", i), item.PenType);
    Color(section, IndexedKey("PenColor", i), item.PenColor);
    Thickness(section, IndexedKey("PenThickness", i), item.PenThickness, true);
    Dash(section, IndexedKey("PenDash", i), item.PenDash);
  }

 private:
  std::optional<QString> Text(const char* section, const QString& key) {
    return FIni.Value(section, key.toLatin1().constData());
  }
  std::optional<QString> Text(const char* section, const char* key) { return FIni.Value(section, key); }
  const TIniFile& FIni;
};

class TWriter {
 public:
  explicit TWriter(TIniFile& ini) : FIni(ini) {}
  void Integer(const char* section, const QString& key, std::int32_t v) { Set(section, key, QString::number(v)); }
  void Boolean(const char* section, const QString& key, bool v) { Set(section, key, v ? "1" : "0"); }
  void Color(const char* section, const QString& key, TAlphaColor v) {
    Set(section, key, QString::number(v & 0xFFFFFF));
  }
  void Item(const char* section, int i, const TPWMenuItem& item) {
    Set(section, IndexedKey("PenType", i), PenTypeToStr(item.PenType));
    Color(section, IndexedKey("PenColor", i), item.PenColor);
    Set(section, IndexedKey("PenThickness", i), FormatNumber(item.PenThickness));
    Integer(section, IndexedKey("PenDash", i), item.PenDash);
  }
  void Set(const char* section, const QString& key, const QString& value) {
    FIni.SetValue(section, key.toLatin1().constData(), value);
  }

 private:
  TIniFile& FIni;
};

}  // namespace

void ReadSetupFrom(const TIniFile& ini) {
  TReader r(ini);
  // A format or quality the rest of the program does not know stays as it was.
  r.Integer("Setup", "ImageTypeDefault", ImageTypeDefault, 1, 5);
  r.Integer("Setup", "ImageJPEGQuality", ImageJPEGQuality, 0, 100);
  r.String("Setup", "ImagePathDefault", ImagePathDefault);
  r.Boolean("Pen", "isSmoothing", isSmoothing);
  r.Boolean("Pen", "isPressure", isPressure);

  std::int32_t count = MenuCount;
  r.Integer("Menu", "Count", count, std::numeric_limits<std::int32_t>::min(),
            std::numeric_limits<std::int32_t>::max());
  // The last slot of a full column always gets the tail's pwClose back.
  count = std::clamp(count, 0, MenuCapacity - 1);
  MenuCount = count;
  for (int i = 0; i < count; ++i) r.Item("Menu", i, MenuItems[static_cast<std::size_t>(i)]);
  for (auto i = static_cast<std::size_t>(count); i < MenuItems.size(); ++i) MenuItems[i].PenType = pwNone;

  for (int i = 0; i < StockPenCount; ++i) r.Item("Mark", i, StockPens[static_cast<std::size_t>(i)]);
  for (int i = 0; i < PresetThicknessCount; ++i)
    r.Thickness("PenSetup", IndexedKey("Thickness", i), PresetThickness[static_cast<std::size_t>(i)], false);
  for (int i = 0; i < PresetColorCount; ++i)
    r.Color("PenSetup", IndexedKey("Color", i), PresetColor[static_cast<std::size_t>(i)]);
  // Any text is kept: whether it names a key is for the program to find out.
  for (int i = 0; i < HotKeyCount; ++i) r.String("HotKeys", HotKeyNames[static_cast<std::size_t>(i)], HotKeys[static_cast<std::size_t>(i)]);
  r.Boolean("Display", "isAllScreens", isAllScreens);
}

void WriteSetupTo(TIniFile& ini) {
  TWriter w(ini);
  w.Integer("Setup", "ImageTypeDefault", ImageTypeDefault);
  w.Integer("Setup", "ImageJPEGQuality", ImageJPEGQuality);
  w.Set("Setup", "ImagePathDefault", ImagePathDefault);
  w.Boolean("Pen", "isSmoothing", isSmoothing);
  w.Boolean("Pen", "isPressure", isPressure);
  w.Integer("Menu", "Count", MenuCount);
  for (int i = 0; i < MenuCount; ++i) w.Item("Menu", i, MenuItems[static_cast<std::size_t>(i)]);
  for (int i = 0; i < StockPenCount; ++i) w.Item("Mark", i, StockPens[static_cast<std::size_t>(i)]);
  for (int i = 0; i < PresetThicknessCount; ++i)
    w.Set("PenSetup", IndexedKey("Thickness", i), FormatNumber(PresetThickness[static_cast<std::size_t>(i)]));
  for (int i = 0; i < PresetColorCount; ++i)
    w.Color("PenSetup", IndexedKey("Color", i), PresetColor[static_cast<std::size_t>(i)]);
  // After the older sections, so that they stay line for line as they were.
  w.Boolean("Display", "isAllScreens", isAllScreens);
  // At the end of the file, wherever a hand-edited one had it.
  for (int i = 0; i < HotKeyCount; ++i)
    w.Set("HotKeys", QString::fromLatin1(HotKeyNames[static_cast<std::size_t>(i)]), HotKeys[static_cast<std::size_t>(i)]);
  ini.MoveSectionToEnd("HotKeys");
}

void ReadSetup() {
  QFile f(SetupFilePath());
  // A missing or unreadable file reads as an empty one; so does anything
  // that is not a plain file (a pipe would block the start).
  if (!QFileInfo(f).isFile() || !f.open(QIODevice::ReadOnly)) return;
  ReadSetupFrom(TIniFile::FromBytes(f.readAll()));
}

namespace {

[[noreturn]] void Fail(const QString& path, const QString& reason) {
  throw ESetupWriteError(
      QStringLiteral("Cannot write the settings file \"%1\": %2").arg(QDir::toNativeSeparators(path), reason).toStdString());
}

}  // namespace

void WriteSetup() {
  CheckSetup();
  const QString path = SetupFilePath();
  if (!QDir().mkpath(SetupFolder())) Fail(path, QStringLiteral("its folder cannot be created."));

  // Keys we do not write are kept, so the old file must be read first; one
  // that exists but cannot be read is left alone rather than replaced.
  TIniFile ini;
  QFile old(path);
  if (old.exists()) {
    if (!QFileInfo(old).isFile()) Fail(path, QStringLiteral("it is not a plain file."));
    if (!old.open(QIODevice::ReadOnly)) Fail(path, old.errorString());
    ini = TIniFile::FromBytes(old.readAll());
    old.close();
  }
  WriteSetupTo(ini);

  // The whole file goes to a temporary file beside it and is renamed over
  // the old one, so a crash or a full disk never leaves half a file.
  QSaveFile out(path);
  // Unbuffered, so that a short write (a full disk) is seen here: a
  // buffered QSaveFile can report success for a truncated file.
  if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) Fail(path, out.errorString());
  const QByteArray bytes = ini.ToBytes();
  for (qsizetype done = 0; done < bytes.size();) {
    const qint64 n = out.write(bytes.constData() + done, bytes.size() - done);
    if (n <= 0) {
      const QString reason = out.errorString();
      out.cancelWriting();
      Fail(path, reason);
    }
    done += n;
  }
  if (!out.commit()) Fail(path, out.errorString());
}
