#pragma once

// Shortcuts through the desktop's GlobalShortcuts portal, for a desktop whose
// compositor lets no client grab keys (Wayland): the program names each
// shortcut with the key it would like, the desktop binds it (it may ask the
// user, or let them pick another key) and says when one is pressed.

#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <vector>

struct TPortalShortcut {
  QString Id;
  QString Description;
  QString Trigger;  // the portal's text for the key ("CTRL+ALT+d"); empty lets the desktop ask
  bool operator==(const TPortalShortcut&) const = default;
};

// The portal's trigger text for a key in Qt's numbering with Qt's modifier
// bits; empty for a key it has no name for here.
QString PortalTrigger(int key, Qt::KeyboardModifiers modifiers);

class TPortalShortcuts : public QObject, protected QDBusContext {
  Q_OBJECT

 public:
  explicit TPortalShortcuts(QObject* parent = nullptr);
  ~TPortalShortcuts() override;

  // Asks for these shortcuts instead of those before (none gives every one
  // back); the same ones again keep the session, so the desktop asks nothing. False, with why, when the session offers no such portal; the
  // desktop's answer comes later, a refusal through Failed.
  bool Bind(const std::vector<TPortalShortcut>& shortcuts, QString& error);

 signals:
  void Activated(const QString& id);
  void Failed(const QString& why);

 private slots:
  void OnResponse(uint response, const QVariantMap& results);
  void OnActivated(const QDBusMessage& signal);

 private:
  QString Request(const QString& method, const QList<QVariant>& arguments, const QString& token);
  void CloseSession();

  std::vector<TPortalShortcut> FShortcuts;
  QString FSession;
  QString FCreating;  // the request paths awaiting the desktop's answer
  QString FBinding;
  int FTokens = 0;
  bool FListening = false;  // to the portal's Activated
};
