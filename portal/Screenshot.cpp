#include "portal/Screenshot.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <cstring>

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");

// Catches the portal's answer, which comes as a signal of the request object.
class TPortalAnswer : public QObject {
  Q_OBJECT
 public:
  bool Answered = false;
  uint Response = 2;
  QVariantMap Results;
  QEventLoop Loop;

  // Listens on the request path the portal will use (and on the one it
  // names, if another); the answer may come before the call returns.
  bool Listen(QDBusConnection& bus, const QString& path) {
    return bus.connect(PortalService, path, QStringLiteral("org.freedesktop.portal.Request"),
                       QStringLiteral("Response"), this, SLOT(Take(uint, QVariantMap)));
  }

 public slots:
  void Take(uint response, const QVariantMap& results) {
    Answered = true;
    Response = response;
    Results = results;
    Loop.quit();
  }
};

}  // namespace

bool RemovePortalPicture(const QString& file, const QDateTime& asked) {
  const QFileInfo info(file);
  // Only a plain file of the portal's own making: written since the request,
  // not a link that might lead to one of the user's files.
  if (file.isEmpty() || info.isSymLink() || !info.isFile()) return false;
  const QDateTime written = info.lastModified();
  // File times may be coarser than the clock: a second of slack.
  if (!written.isValid() || written < asked.addSecs(-1)) return false;
  return QFile::remove(file);
}

QImage PortalScreenshot(int timeoutMs, QString& error) {
  const QDateTime asked = QDateTime::currentDateTime();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    error = QStringLiteral("no session bus to ask the Screenshot portal on");
    return {};
  }
  const QString token = QStringLiteral("korivan%1").arg(QRandomGenerator::global()->generate());
  const QString sender = bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
  const QString expected = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
  TPortalAnswer answer;
  answer.Listen(bus, expected);
  QDBusMessage call = QDBusMessage::createMethodCall(PortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
                                                     QStringLiteral("org.freedesktop.portal.Screenshot"),
                                                     QStringLiteral("Screenshot"));
  call << QString() << QVariantMap{{QStringLiteral("handle_token"), token},
                                   {QStringLiteral("interactive"), false},
                                   {QStringLiteral("modal"), false}};
  const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    error = QStringLiteral("no Screenshot portal answers on the session bus (%1)").arg(reply.errorMessage());
    return {};
  }
  const QString handle = reply.arguments().first().value<QDBusObjectPath>().path();
  if (handle != expected) answer.Listen(bus, handle);
  if (!answer.Answered) {
    QTimer::singleShot(timeoutMs, &answer.Loop, &QEventLoop::quit);
    answer.Loop.exec();
  }
  if (!answer.Answered) {
    error = QStringLiteral("the Screenshot portal did not answer within %1 ms").arg(timeoutMs);
    return {};
  }
  if (answer.Response != 0) {
    error = answer.Response == 1 ? QStringLiteral("the screenshot was cancelled")
                                 : QStringLiteral("the Screenshot portal refused the screenshot");
    return {};
  }
  const QString file = QUrl(answer.Results.value(QStringLiteral("uri")).toString()).toLocalFile();
  QImage picture(file);
  if (picture.isNull()) {
    error = QStringLiteral("the Screenshot portal's picture \"%1\" cannot be read").arg(file);
    return {};
  }
  RemovePortalPicture(file, asked);
  return picture.convertToFormat(QImage::Format_RGB32);
}

bool CapturePortalScreen(const TPlatformRect& rect, std::span<std::uint32_t> pixels, std::string& error) {
  // Generous: a portal may ask the user once whether the program may take pictures.
  constexpr int Bound = 10000;
  QString why;
  const QImage picture = PortalScreenshot(Bound, why);
  if (picture.isNull()) {
    error = why.toStdString();
    return false;
  }
  if (rect.X < 0 || rect.Y < 0 || rect.X + rect.Width > picture.width() || rect.Y + rect.Height > picture.height() ||
      pixels.size() != std::size_t(rect.Width) * std::size_t(rect.Height)) {
    error = QStringLiteral("the Screenshot portal's picture (%1x%2) does not cover the screen")
                .arg(picture.width())
                .arg(picture.height())
                .toStdString();
    return false;
  }
  std::uint32_t* out = pixels.data();
  for (int y = rect.Y; y < rect.Y + rect.Height; ++y) {
    std::memcpy(out, picture.constScanLine(y) + std::size_t(rect.X) * 4, std::size_t(rect.Width) * 4);
    out += rect.Width;
  }
  return true;
}

#include "Screenshot.moc"
