// A stand-in for the desktop's Screenshot portal on a private session bus,
// as the portal of a wlroots desktop would answer: each Screenshot is a grim
// picture of the screen, in the folder given as the argument, announced by
// the request object's Response signal. Prints "ready" once it has the
// portal's name and a line for each request; ends when standard input closes.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <unistd.h>

#include <cstdio>
#include <utility>

namespace {

class TScreenshotPortal : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
 public:
  explicit TScreenshotPortal(QString folder) : FFolder(std::move(folder)) {}

 public slots:
  QDBusObjectPath Screenshot(const QString&, const QVariantMap& options, const QDBusMessage& message) {
    const QString sender = message.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                             .arg(sender, options.value(QStringLiteral("handle_token")).toString());
    const QString file = QStringLiteral("%1/screen%2.png").arg(FFolder).arg(++FCount);
    const bool taken = QProcess::execute(QStringLiteral("grim"), {file}) == 0;
    std::printf("screenshot interactive=%d taken=%d\n", int(options.value(QStringLiteral("interactive")).toBool()),
                int(taken));
    std::fflush(stdout);
    // After the reply, as a portal's answer comes.
    QTimer::singleShot(0, this, [path, file, taken] {
      QDBusMessage response =
          QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
      response << uint(taken ? 0 : 2) << QVariantMap{{QStringLiteral("uri"), QUrl::fromLocalFile(file).toString()}};
      QDBusConnection::sessionBus().send(response);
    });
    return QDBusObjectPath(path);
  }

 private:
  QString FFolder;
  int FCount = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) return 2;
  TScreenshotPortal portal(QString::fromLocal8Bit(argv[1]));
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                          QDBusConnection::ExportAllSlots) ||
      !bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"))) {
    std::printf("error %s\n", qPrintable(bus.lastError().message()));
    return 1;
  }
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&] {
    char chunk[64];
    if (read(STDIN_FILENO, chunk, sizeof chunk) <= 0) app.quit();
  });
  std::printf("ready\n");
  std::fflush(stdout);
  return app.exec();
}

#include "FakePortal.moc"
