#include "portal/GlobalShortcuts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QList>
#include <utility>

// One element of the portal's list of shortcuts, a(sa{sv}).
struct TPortalShortcutItem {
  QString Id;
  QVariantMap Properties;
};
Q_DECLARE_METATYPE(TPortalShortcutItem)

QDBusArgument& operator<<(QDBusArgument& out, const TPortalShortcutItem& item) {
  out.beginStructure();
  out << item.Id << item.Properties;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, TPortalShortcutItem& item) {
  in.beginStructure();
  in >> item.Id >> item.Properties;
  in.endStructure();
  return in;
}

namespace {

const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString Path = QStringLiteral("/org/freedesktop/portal/desktop");
const QString Interface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
constexpr int CallTimeoutMs = 5000;

QDBusConnection Bus() { return QDBusConnection::sessionBus(); }

// The session handle of an answer, a string or an object path by portal version.
QString SessionOf(const QVariantMap& results) {
  const QVariant handle = results.value(QStringLiteral("session_handle"));
  return handle.metaType() == QMetaType::fromType<QDBusObjectPath>() ? qvariant_cast<QDBusObjectPath>(handle).path()
                                                                    : handle.toString();
}

void CloseSessionAt(const QString& session) {
  Bus().asyncCall(QDBusMessage::createMethodCall(Service, session, QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Close")));
}

// Names as xkb spells the keysyms, which is what the portal's triggers use.
QString KeyName(int key, bool keypad) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return QChar(key - Qt::Key_A + 'a');
  if (key >= Qt::Key_0 && key <= Qt::Key_9)
    return keypad ? QStringLiteral("KP_%1").arg(key - Qt::Key_0) : QString(QChar(key));
  if (key >= Qt::Key_F1 && key <= Qt::Key_F35) return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
  static const std::pair<int, const char*> keypadNames[] = {{Qt::Key_Asterisk, "KP_Multiply"},
      {Qt::Key_Plus, "KP_Add"}, {Qt::Key_Minus, "KP_Subtract"}, {Qt::Key_Period, "KP_Decimal"},
      {Qt::Key_Comma, "KP_Separator"}, {Qt::Key_Slash, "KP_Divide"}, {Qt::Key_Enter, "KP_Enter"}};
  static const std::pair<int, const char*> names[] = {{Qt::Key_Escape, "Escape"}, {Qt::Key_Tab, "Tab"},
      {Qt::Key_Backspace, "BackSpace"}, {Qt::Key_Return, "Return"}, {Qt::Key_Enter, "KP_Enter"},
      {Qt::Key_Insert, "Insert"}, {Qt::Key_Delete, "Delete"}, {Qt::Key_Pause, "Pause"}, {Qt::Key_Print, "Print"},
      {Qt::Key_Home, "Home"}, {Qt::Key_End, "End"}, {Qt::Key_Left, "Left"}, {Qt::Key_Up, "Up"},
      {Qt::Key_Right, "Right"}, {Qt::Key_Down, "Down"}, {Qt::Key_PageUp, "Page_Up"},
      {Qt::Key_PageDown, "Page_Down"}, {Qt::Key_Space, "space"}};
  if (keypad)
    for (const auto& [k, name] : keypadNames)
      if (k == key) return QLatin1String(name);
  for (const auto& [k, name] : names)
    if (k == key) return QLatin1String(name);
  return {};
}

}  // namespace

QString PortalTrigger(int key, Qt::KeyboardModifiers modifiers) {
  const QString name = KeyName(key, modifiers.testFlag(Qt::KeypadModifier));
  if (name.isEmpty()) return {};
  QString trigger;
  const std::pair<Qt::KeyboardModifier, const char*> prefixes[] = {{Qt::ControlModifier, "CTRL+"},
      {Qt::AltModifier, "ALT+"}, {Qt::ShiftModifier, "SHIFT+"}, {Qt::MetaModifier, "LOGO+"}};
  for (const auto& [bit, prefix] : prefixes)
    if (modifiers.testFlag(bit)) trigger += QLatin1String(prefix);
  return trigger + name;
}

TPortalShortcuts::TPortalShortcuts(QObject* parent) : QObject(parent) {
  qDBusRegisterMetaType<TPortalShortcutItem>();
  qDBusRegisterMetaType<QList<TPortalShortcutItem>>();
  FListening =
      Bus().connect(Service, Path, Interface, QStringLiteral("Activated"), this, SLOT(OnActivated(QDBusMessage)));
}

TPortalShortcuts::~TPortalShortcuts() { CloseSession(); }

bool TPortalShortcuts::Bind(const std::vector<TPortalShortcut>& shortcuts, QString& error) {
  if (!Bus().isConnected() || !FListening) {
    error = QStringLiteral("no D-Bus session bus");
    return false;
  }
  // Offered when the interface has its version property.
  QDBusMessage get = QDBusMessage::createMethodCall(Service, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                    QStringLiteral("Get"));
  get << Interface << QStringLiteral("version");
  if (const QDBusMessage reply = Bus().call(get, QDBus::Block, CallTimeoutMs);
      reply.type() != QDBusMessage::ReplyMessage) {
    error = QStringLiteral("the desktop offers no GlobalShortcuts portal (%1)").arg(reply.errorName());
    return false;
  }
  if (shortcuts == FShortcuts && (!FSession.isEmpty() || !FCreating.isEmpty() || !FBinding.isEmpty())) return true;
  CloseSession();
  FShortcuts = shortcuts;
  if (shortcuts.empty()) return true;
  // A session per binding: closing it gives the shortcuts back.
  const QString token = QStringLiteral("korivan%1").arg(++FTokens);
  FCreating = Request(QStringLiteral("CreateSession"),
                      {QVariantMap{{QStringLiteral("handle_token"), token}, {QStringLiteral("session_handle_token"), token}}},
                      token);
  if (FCreating.isEmpty()) error = QStringLiteral("the GlobalShortcuts portal refused a session");
  return !FCreating.isEmpty();
}

// Calls a method answered later through a request object, listening to it
// first so that the answer cannot come before; the request's path, empty on failure.
QString TPortalShortcuts::Request(const QString& method, const QList<QVariant>& arguments, const QString& token) {
  QString sender = Bus().baseService().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  QString path = QStringLiteral("%1/request/%2/%3").arg(Path, sender, token);
  const auto listen = [this](const QString& p, bool on) {
    const QString name = QStringLiteral("Response");
    if (on)
      Bus().connect(Service, p, RequestInterface, name, this, SLOT(OnResponse(uint, QVariantMap)));
    else
      Bus().disconnect(Service, p, RequestInterface, name, this, SLOT(OnResponse(uint, QVariantMap)));
  };
  listen(path, true);
  QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, method);
  call.setArguments(arguments);
  const QDBusMessage reply = Bus().call(call, QDBus::Block, CallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    listen(path, false);
    return {};
  }
  // A portal older than predictable paths names another one.
  const QString given = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
  if (!given.isEmpty() && given != path) {
    listen(path, false);
    listen(given, true);
    path = given;
  }
  return path;
}

void TPortalShortcuts::OnResponse(uint response, const QVariantMap& results) {
  const QString path = message().path();
  Bus().disconnect(Service, path, RequestInterface, QStringLiteral("Response"), this,
                   SLOT(OnResponse(uint, QVariantMap)));
  static const char* const refusals[] = {"", "the user cancelled", "the desktop refused"};
  const QString why = QLatin1String(refusals[response < 3 ? response : 2]);
  if (path == FCreating) {
    FCreating.clear();
    if (response != 0) {
      FShortcuts.clear();  // asked for again at the next Bind
      emit Failed(QStringLiteral("no shortcuts session: %1").arg(why));
      return;
    }
    FSession = SessionOf(results);
    QList<TPortalShortcutItem> items;
    for (const TPortalShortcut& s : FShortcuts) {
      QVariantMap properties{{QStringLiteral("description"), s.Description}};
      if (!s.Trigger.isEmpty()) properties.insert(QStringLiteral("preferred_trigger"), s.Trigger);
      items.append({s.Id, properties});
    }
    const QString token = QStringLiteral("korivan%1").arg(++FTokens);
    FBinding = Request(QStringLiteral("BindShortcuts"),
                       {QVariant::fromValue(QDBusObjectPath(FSession)), QVariant::fromValue(items), QString(),
                        QVariantMap{{QStringLiteral("handle_token"), token}}},
                       token);
    if (FBinding.isEmpty()) {
      FShortcuts.clear();
      emit Failed(QStringLiteral("the GlobalShortcuts portal refused to bind them"));
    }
  } else if (path == FBinding) {
    FBinding.clear();
    if (response != 0) {
      FShortcuts.clear();
      emit Failed(QStringLiteral("not bound: %1").arg(why));
    }
  } else if (response == 0 && results.contains(QStringLiteral("session_handle"))) {
    // A session asked for before the shortcuts changed again: not wanted now.
    CloseSessionAt(SessionOf(results));
  }
}

void TPortalShortcuts::OnActivated(const QDBusMessage& signal) {
  // Session, id, time, options; only this session's.
  const QList<QVariant> arguments = signal.arguments();
  if (arguments.size() < 2 || FSession.isEmpty()) return;
  if (qvariant_cast<QDBusObjectPath>(arguments[0]).path() == FSession) emit Activated(arguments[1].toString());
}

void TPortalShortcuts::CloseSession() {
  if (!FSession.isEmpty()) CloseSessionAt(FSession);
  FSession.clear();
  FCreating.clear();
  FBinding.clear();
}
