#include "settings/GnomeShortcut.h"

#include <QKeySequence>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

const char* const GnomeShortcutPath = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/korivan-dsk/";

namespace {

const QString MediaKeys = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString CustomList = QStringLiteral("custom-keybindings");

QString CustomSchema() {
  return QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:") +
         QLatin1String(GnomeShortcutPath);
}

// gsettings with those arguments: its output, or nullopt with why in error.
std::optional<QString> Gsettings(const QStringList& arguments, QString& error) {
  const QString program = QStandardPaths::findExecutable(QStringLiteral("gsettings"));
  if (program.isEmpty()) {
    error = QStringLiteral("gsettings is not installed");
    return std::nullopt;
  }
  QProcess p;
  p.start(program, arguments);
  if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    const QString said = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    error = QStringLiteral("gsettings %1 failed%2").arg(arguments.join(u' '), said.isEmpty() ? QString() : ": " + said);
    p.kill();
    return std::nullopt;
  }
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

std::optional<QStringList> CustomPaths(QString& error) {
  const auto text = Gsettings({QStringLiteral("get"), MediaKeys, CustomList}, error);
  if (!text) return std::nullopt;
  auto list = ParseGnomeStringArray(*text);
  if (!list) error = QStringLiteral("the custom shortcuts read as \"%1\", which is no list of paths").arg(*text);
  return list;
}

// GVariant text quoting of a string: single quotes, with backslash escapes.
QString Quoted(const QString& s) {
  QString out = QStringLiteral("'");
  for (const QChar c : s) {
    if (c == u'\'' || c == u'\\') out += u'\\';
    out += c;
  }
  return out + u'\'';
}

}  // namespace

std::optional<QStringList> ParseGnomeStringArray(const QString& text) {
  QString t = text.trimmed();
  if (t.startsWith(QLatin1String("@as"))) t = t.mid(3).trimmed();
  if (!t.startsWith(u'[') || !t.endsWith(u']')) return std::nullopt;
  QStringList items;
  qsizetype i = 1;
  const qsizetype end = t.size() - 1;
  const auto skipSpace = [&] {
    while (i < end && t[i].isSpace()) ++i;
  };
  skipSpace();
  while (i < end) {
    const QChar quote = t[i];
    if (quote != u'\'' && quote != u'"') return std::nullopt;
    QString item;
    for (++i;; ++i) {
      if (i >= end) return std::nullopt;
      if (t[i] == u'\\' && i + 1 < end) {
        item += t[++i];
      } else if (t[i] == quote) {
        ++i;
        break;
      } else {
        item += t[i];
      }
    }
    items << item;
    skipSpace();
    if (i < end) {
      if (t[i] != u',') return std::nullopt;
      ++i;
      skipSpace();
      if (i >= end) return std::nullopt;  // a trailing comma
    }
  }
  return items;
}

QString FormatGnomeStringArray(const QStringList& items) {
  if (items.isEmpty()) return QStringLiteral("@as []");
  QStringList quoted;
  for (const QString& s : items) quoted << Quoted(s);
  return u'[' + quoted.join(QStringLiteral(", ")) + u']';
}

QString GnomeAccelerator(const QString& portableText) {
  const QKeySequence sequence = QKeySequence::fromString(portableText, QKeySequence::PortableText);
  if (sequence.count() != 1) return {};
  const QKeyCombination chord = sequence[0];
  const Qt::KeyboardModifiers mods = chord.keyboardModifiers();
  const Qt::Key key = chord.key();
  QString name;
  const bool keypad = mods & Qt::KeypadModifier;
  if (keypad) {
    switch (key) {
      case Qt::Key_Asterisk: name = QStringLiteral("KP_Multiply"); break;
      case Qt::Key_Plus: name = QStringLiteral("KP_Add"); break;
      case Qt::Key_Minus: name = QStringLiteral("KP_Subtract"); break;
      case Qt::Key_Slash: name = QStringLiteral("KP_Divide"); break;
      case Qt::Key_Period: name = QStringLiteral("KP_Decimal"); break;
      default:
        if (key >= Qt::Key_0 && key <= Qt::Key_9) name = QStringLiteral("KP_%1").arg(int(key - Qt::Key_0));
    }
  } else if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
    name = QChar(char16_t(key)).toLower();
  } else if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
    name = QStringLiteral("F%1").arg(int(key - Qt::Key_F1) + 1);
  } else {
    static const struct {
      Qt::Key Key;
      const char* Name;
    } named[] = {{Qt::Key_Space, "space"},     {Qt::Key_Insert, "Insert"},    {Qt::Key_Delete, "Delete"},
                 {Qt::Key_Home, "Home"},       {Qt::Key_End, "End"},          {Qt::Key_PageUp, "Page_Up"},
                 {Qt::Key_PageDown, "Page_Down"}, {Qt::Key_Pause, "Pause"},   {Qt::Key_Print, "Print"},
                 {Qt::Key_ScrollLock, "Scroll_Lock"}};
    for (const auto& n : named)
      if (n.Key == key) name = QLatin1String(n.Name);
  }
  if (name.isEmpty()) return {};
  QString accel;
  if (mods & Qt::ControlModifier) accel += QStringLiteral("<Control>");
  if (mods & Qt::AltModifier) accel += QStringLiteral("<Alt>");
  if (mods & Qt::ShiftModifier) accel += QStringLiteral("<Shift>");
  if (mods & Qt::MetaModifier) accel += QStringLiteral("<Super>");
  return accel + name;
}

bool GnomeShortcutsAvailable() {
  QString error;
  return CustomPaths(error).has_value();
}

bool GnomeShortcutInstalled() {
  QString error;
  const auto paths = CustomPaths(error);
  return paths && paths->contains(QLatin1String(GnomeShortcutPath));
}

QString InstallGnomeShortcut(const QString& command, const QString& accelerator) {
  QString error;
  auto paths = CustomPaths(error);
  if (!paths) return error;
  // The shortcut's own keys first: the list names it only once it is whole.
  const QString schema = CustomSchema();
  for (const auto& [key, value] : {std::pair{QStringLiteral("name"), QStringLiteral("KORIVAN DSK drawing on/off")},
                                   std::pair{QStringLiteral("command"), command},
                                   std::pair{QStringLiteral("binding"), accelerator}})
    if (!Gsettings({QStringLiteral("set"), schema, key, value}, error)) return error;
  if (paths->contains(QLatin1String(GnomeShortcutPath))) return {};
  paths->append(QLatin1String(GnomeShortcutPath));
  return Gsettings({QStringLiteral("set"), MediaKeys, CustomList, FormatGnomeStringArray(*paths)}, error) ? QString()
                                                                                                         : error;
}

QString RemoveGnomeShortcut() {
  QString error;
  auto paths = CustomPaths(error);
  if (!paths) return error;
  if (paths->removeAll(QLatin1String(GnomeShortcutPath)) > 0 &&
      !Gsettings({QStringLiteral("set"), MediaKeys, CustomList, FormatGnomeStringArray(*paths)}, error))
    return error;
  const QString schema = CustomSchema();
  for (const QString& key : {QStringLiteral("name"), QStringLiteral("command"), QStringLiteral("binding")})
    if (!Gsettings({QStringLiteral("reset"), schema, key}, error)) return error;
  return {};
}

QString GnomeToggleCommand(const QString& programPath) {
  // The desktop splits the command as a shell would.
  QString quoted = programPath;
  if (quoted.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9_./+-]"))))
    quoted = u'\'' + QString(quoted).replace(QStringLiteral("'"), QStringLiteral("'\\''")) + u'\'';
  return quoted + QStringLiteral(" --toggle");
}
