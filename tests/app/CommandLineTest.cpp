#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <cstdlib>
#include <future>
#include <vector>

#include "app/CommandLine.h"

namespace {

TEST(CommandLine, OneKnownOptionAtMost) {
  using K = TCommandLine;
  const struct {
    QStringList args;
    TCommandLine::TKind kind;
    TRemoteCommand command;
  } cases[] = {
      {{}, K::Start, TRemoteCommand::Toggle},
      {{"--toggle"}, K::Remote, TRemoteCommand::Toggle},
      {{"--save"}, K::Remote, TRemoteCommand::Save},
      {{"--erase-all"}, K::Remote, TRemoteCommand::EraseAll},
      {{"--next-pen"}, K::Remote, TRemoteCommand::NextPen},
      {{"--help"}, K::Help, TRemoteCommand::Toggle},
      {{"--version"}, K::Version, TRemoteCommand::Toggle},
      {{"--install-gnome-shortcut"}, K::InstallGnomeShortcut, TRemoteCommand::Toggle},
      {{"--remove-gnome-shortcut"}, K::RemoveGnomeShortcut, TRemoteCommand::Toggle},
      {{"--install-gnome-shortcut", "--toggle"}, K::Unknown, TRemoteCommand::Toggle},
      {{"--toggle", "--save"}, K::Unknown, TRemoteCommand::Toggle},
      {{"--help", "--toggle"}, K::Unknown, TRemoteCommand::Toggle},
      {{"toggle"}, K::Unknown, TRemoteCommand::Toggle},
      {{"--Toggle"}, K::Unknown, TRemoteCommand::Toggle},
      {{"--"}, K::Unknown, TRemoteCommand::Toggle},
      {{"-platform", "xcb"}, K::Start, TRemoteCommand::Toggle},
      {{"--save", "-platform", "--help"}, K::Remote, TRemoteCommand::Save},
      {{"-platform"}, K::Unknown, TRemoteCommand::Toggle},
  };
  for (const auto& c : cases) {
    const TCommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.Kind, c.kind) << c.args.join(u' ').toStdString();
    if (c.kind == K::Remote) {
      EXPECT_EQ(line.Command, c.command) << c.args.join(u' ').toStdString();
    }
  }
  // The toolkit's platform is kept for the start-up choice, not taken for a command.
  EXPECT_EQ(ParseCommandLine({"-platform", "xcb"}).Platform, QStringLiteral("xcb"));
  EXPECT_EQ(ParseCommandLine({"--platform", "wayland", "--toggle"}).Platform, QStringLiteral("wayland"));
}

// Waits, running the event loop, until done() or a bound.
template <typename Done>
bool Spin(Done done, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

class CommandServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    ASSERT_EQ(chmod(QFile::encodeName(FDir.path()).constData(), 0700), 0);
    Path = FDir.filePath(QStringLiteral("channel"));
  }

  // Sends raw bytes; what the server answered before it closed.
  QByteArray Raw(const QByteArray& bytes) {
    QLocalSocket socket;
    socket.connectToServer(Path);
    EXPECT_TRUE(socket.waitForConnected(2000));
    socket.write(bytes);
    socket.flush();
    QByteArray answer;
    Spin([&] {
      answer += socket.readAll();
      return socket.state() == QLocalSocket::UnconnectedState;
    });
    return answer + socket.readAll();
  }

  QTemporaryDir FDir;
  QString Path;
  bool Busy = false;
  std::vector<TRemoteCommand> Ran;
  TCommandServer Server{[this] { return Busy; }, [this](TRemoteCommand c) { Ran.push_back(c); }};
};

TEST_F(CommandServerTest, OneCommandWordPerConnectionAndNothingElse) {
  ASSERT_EQ(Server.Listen(Path), QString());
  struct stat st {};
  ASSERT_EQ(lstat(QFile::encodeName(Path).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u) << "the socket is the user's alone";

  EXPECT_EQ(Raw("save\n"), "ok\n");
  EXPECT_EQ(Ran, std::vector{TRemoteCommand::Save});
  for (const QByteArray& bad : {QByteArray("bogus\n"), QByteArray("save\nquit\n"), QByteArray(" save\n"),
                                QByteArray("SAVE\n"), QByteArray(100, 'x'), QByteArray("sa\xffve\n")})
    EXPECT_EQ(Raw(bad), QByteArray()) << bad.toStdString();
  EXPECT_EQ(Ran.size(), 1u) << "a malformed message did something";

  // While a stroke or a command is under way the command waits for its end.
  Busy = true;
  EXPECT_EQ(Raw("undo\n"), "ok\n");
  Spin([] { return false; }, 200);
  EXPECT_EQ(Ran.size(), 1u);
  Busy = false;
  EXPECT_TRUE(Spin([&] { return Ran.size() == 2; }));
  EXPECT_EQ(Ran.back(), TRemoteCommand::Undo);

  // The second start's side, which blocks, from another thread.
  auto sent = std::async(std::launch::async, [this] { return SendCommand(Path, TRemoteCommand::Quit); });
  EXPECT_TRUE(Spin([&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
  EXPECT_EQ(sent.get(), QString());
  EXPECT_EQ(Ran.back(), TRemoteCommand::Quit);
}

TEST_F(CommandServerTest, ASymbolicLinkOrAnotherUsersFileIsRefused) {
  const QString target = FDir.filePath(QStringLiteral("elsewhere"));
  ASSERT_TRUE(QFile::link(target, Path));
  EXPECT_NE(Server.Listen(Path), QString());
  EXPECT_NE(SendCommand(Path, TRemoteCommand::Toggle), QString());
  EXPECT_FALSE(QFile::exists(target));
  QFile::remove(Path);

  // A plain file is no channel either; nor a socket of another user's.
  QFile plain(Path);
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  EXPECT_NE(SendCommand(Path, TRemoteCommand::Toggle), QString());
  QFile::remove(Path);
  if (geteuid() == 0) {
    QLocalServer other;
    ASSERT_TRUE(other.listen(Path));
    ASSERT_EQ(lchown(QFile::encodeName(Path).constData(), 65534, 65534), 0);
    EXPECT_NE(SendCommand(Path, TRemoteCommand::Toggle), QString());
    EXPECT_NE(Server.Listen(Path), QString());
  }
}

TEST(CommandChannel, OnlyInARuntimeFolderOfTheUsersAlone) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
  chmod(QFile::encodeName(dir.path()).constData(), 0755);
  EXPECT_EQ(CommandChannelPath(), QString());
  chmod(QFile::encodeName(dir.path()).constData(), 0700);
  EXPECT_EQ(CommandChannelPath(), dir.filePath(QStringLiteral("KORIVAN_ORVEL_NET.command")));
  if (old.isNull())
    qunsetenv("XDG_RUNTIME_DIR");
  else
    qputenv("XDG_RUNTIME_DIR", old);
}

}  // namespace
