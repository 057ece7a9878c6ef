#include "app/CommandLine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <array>
#include <iterator>
#include <utility>

#include "platform/Platform.h"

namespace {

struct TCommandName {
  TRemoteCommand Command;
  const char* Word;
};
constexpr std::array<TCommandName, 8> CommandNames = {{
    {TRemoteCommand::Toggle, "toggle"},
    {TRemoteCommand::Save, "save"},
    {TRemoteCommand::EraseAll, "erase-all"},
    {TRemoteCommand::Undo, "undo"},
    {TRemoteCommand::Redo, "redo"},
    {TRemoteCommand::NextPen, "next-pen"},
    {TRemoteCommand::Quit, "quit"},
    {TRemoteCommand::Spotlight, "spotlight"},
}};

// Longer than any command word with its line end: a client that sends more
// is not one of ours.
constexpr qsizetype MaxMessage = 32;
constexpr int ClientPatienceMs = 2000;
// A second start may come while the first is still starting up.
constexpr int StartingInstanceMs = 10000;

}  // namespace

QString CommandWord(TRemoteCommand command) {
  for (const auto& n : CommandNames)
    if (n.Command == command) return QString::fromLatin1(n.Word);
  return {};
}

std::optional<TRemoteCommand> CommandOfWord(const QString& word) {
  for (const auto& n : CommandNames)
    if (word == QLatin1String(n.Word)) return n.Command;
  return std::nullopt;
}

TCommandLine ParseCommandLine(const QStringList& arguments) {
  TCommandLine line;
  for (auto it = arguments.begin(); it != arguments.end(); ++it) {
    const QString& a = *it;
    // The toolkit's own choice of window system, which it reads itself.
    if (a == QLatin1String("-platform") || a == QLatin1String("--platform")) {
      if (std::next(it) == arguments.end()) return {TCommandLine::Unknown, TRemoteCommand::Toggle, a, {}};
      line.Platform = *++it;
      continue;
    }
    TCommandLine::TKind kind = TCommandLine::Remote;
    std::optional<TRemoteCommand> command;
    if (a == QLatin1String("--help")) kind = TCommandLine::Help;
    else if (a == QLatin1String("--version")) kind = TCommandLine::Version;
    else if (a == QLatin1String("--install-gnome-shortcut")) kind = TCommandLine::InstallGnomeShortcut;
    else if (a == QLatin1String("--remove-gnome-shortcut")) kind = TCommandLine::RemoveGnomeShortcut;
    else if (a.startsWith(QLatin1String("--"))) command = CommandOfWord(a.mid(2));
    // One option at a time: two commands at once would leave their order to chance.
    if ((kind == TCommandLine::Remote && !command) || line.Kind != TCommandLine::Start)
      return {TCommandLine::Unknown, TRemoteCommand::Toggle, a, {}};
    line.Kind = kind;
    if (command) line.Command = *command;
  }
  return line;
}

QString UsageText() {
  return QStringLiteral(
      "Usage: korivan-dsk [OPTION]\n"
      "Starts the overlay, or hands one command to the overlay that runs already.\n"
      "\n"
      "  --toggle     switch drawing on or off; starts the overlay, drawing on,\n"
      "               when none runs\n"
      "  --save       save the screen, as the Save tile does\n"
      "  --erase-all  erase every stroke\n"
      "  --undo       take back the last stroke, erasure or move\n"
      "  --redo       bring it back\n"
      "  --next-pen   make the next stock pen current\n"
      "  --quit       close the overlay, as the Close tile does\n"
      "  --spotlight  darken the screen but for a light round the pointer, or\n"
      "               end that again\n"
      "  --install-gnome-shortcut\n"
      "               add a GNOME keyboard shortcut that runs --toggle (the\n"
      "               Drawing on/off shortcut of Setup, else keypad *), and end\n"
      "  --remove-gnome-shortcut\n"
      "               take that shortcut away again, and end\n"
      "  --help       print this text and end\n"
      "  --version    print the version and end\n"
      "  -platform NAME\n"
      "               the toolkit's window system (xcb, wayland, ...) instead of\n"
      "               the program's choice: its own overlay surface on a Wayland\n"
      "               compositor with a layer shell, else X11\n");
}

QString CommandChannelPath() {
  return QFile::decodeName(::CommandChannelPath("KORIVAN_ORVEL_NET.command").c_str());
}

QString SendCommand(const QString& channelPath, TRemoteCommand command) {
  if (channelPath.isEmpty()) return QStringLiteral("the runtime folder is not the user's alone");
  const std::string native = QFile::encodeName(channelPath).toStdString();
  QElapsedTimer waited;
  waited.start();
  QString error = QStringLiteral("the running overlay does not answer");
  do {
    if (!IsOwnChannel(native))
      return QStringLiteral("%1 is not a channel of this user's; refused").arg(channelPath);
    QLocalSocket socket;
    socket.connectToServer(channelPath);
    if (socket.waitForConnected(ClientPatienceMs)) {
      socket.write((CommandWord(command) + QLatin1Char('\n')).toLatin1());
      QByteArray answer;
      while (!answer.contains('\n') && socket.waitForReadyRead(ClientPatienceMs)) answer += socket.readAll();
      if (answer == "ok\n") return {};
      error = QStringLiteral("the running overlay did not take the command");
    }
    QThread::msleep(100);
  } while (waited.elapsed() < StartingInstanceMs);
  return error;
}

TCommandServer::TCommandServer(std::function<bool()> busy, std::function<void(TRemoteCommand)> run,
                               QObject* parent)
    : QObject(parent), FBusy(std::move(busy)), FRun(std::move(run)) {
  FRetry = new QTimer(this);
  FRetry->setSingleShot(true);
  FRetry->setInterval(50);
  connect(FRetry, &QTimer::timeout, this, &TCommandServer::RunQueued);
}

TCommandServer::~TCommandServer() {
  if (FServer) FServer->close();
}

QString TCommandServer::Listen(const QString& path) {
  if (path.isEmpty()) return QStringLiteral("the runtime folder is not the user's alone");
  const std::string native = QFile::encodeName(path).toStdString();
  if (!IsOwnChannel(native)) return QStringLiteral("%1 is not a channel of this user's; refused").arg(path);
  // This process holds the single-instance guard, so a socket left there is
  // one of an instance that was killed.
  if (QFile::exists(path)) QLocalServer::removeServer(path);
  FServer = new QLocalServer(this);
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  if (!FServer->listen(path)) {
    const QString error = FServer->errorString();
    delete FServer;
    FServer = nullptr;
    return error;
  }
  connect(FServer, &QLocalServer::newConnection, this, &TCommandServer::Accept);
  return {};
}

void TCommandServer::Enqueue(TRemoteCommand command) {
  FQueue.push_back(command);
  // A dialog or message box left open (one that may lie where the user
  // cannot reach it) would hold the end back for good: it is closed, as
  // Cancel would, and the command that opened it ends.
  if (command == TRemoteCommand::Quit)
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->isModal()) w->close();
  RunQueued();
}

void TCommandServer::Accept() {
  while (QLocalSocket* socket = FServer->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
    // A client that says nothing is not kept waiting for.
    QTimer::singleShot(ClientPatienceMs, socket, [socket] { socket->abort(); });
    Read(socket);
  }
}

void TCommandServer::Read(QLocalSocket* socket) {
  const QByteArray seen = socket->peek(MaxMessage + 1);
  const qsizetype end = seen.indexOf('\n');
  if (end < 0) {
    if (seen.size() > MaxMessage) socket->abort();
    return;
  }
  const QByteArray line = socket->read(end + 1).chopped(1);
  const std::optional<TRemoteCommand> command = CommandOfWord(QString::fromLatin1(line));
  if (!command || socket->bytesAvailable() > 0) {
    socket->abort();
    return;
  }
  socket->write("ok\n");
  socket->flush();
  socket->disconnectFromServer();
  Enqueue(*command);
}

void TCommandServer::RunQueued() {
  // One that arrives while a command of ours runs waits for its end.
  if (FRunning) return;
  while (!FQueue.empty()) {
    if (FBusy()) {
      FRetry->start();
      return;
    }
    const TRemoteCommand command = FQueue.front();
    FQueue.pop_front();
    FRunning = true;
    struct TDone {
      bool& Running;
      ~TDone() { Running = false; }
    } done{FRunning};
    FRun(command);
  }
}
