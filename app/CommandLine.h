#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QTimer;

// The commands a later start hands to the running overlay.
enum class TRemoteCommand { Toggle, Save, EraseAll, Undo, Redo, NextPen, Quit, Spotlight };

struct TCommandLine {
  enum TKind { Start, Help, Version, Remote, InstallGnomeShortcut, RemoveGnomeShortcut, Unknown } Kind = Start;
  TRemoteCommand Command = TRemoteCommand::Toggle;
  QString Offending;  // what was not understood
  QString Platform;   // the toolkit's platform named with -platform, else empty
};

// The program's arguments (without the program name).
TCommandLine ParseCommandLine(const QStringList& arguments);
QString UsageText();

// --install-gnome-shortcut and --remove-gnome-shortcut: the desktop's
// shortcut for "--toggle" added or taken away, said on standard output or
// error; the exit status.
int AnswerGnomeShortcut(bool install);

// The word that carries a command over the channel, and back.
QString CommandWord(TRemoteCommand command);
std::optional<TRemoteCommand> CommandOfWord(const QString& word);

// Where the running instance listens; empty when the runtime folder is not
// the user's alone.
QString CommandChannelPath();

// Hands the command to the running instance, waiting a while for one that is
// still starting. Returns an error text, empty when the command was taken.
QString SendCommand(const QString& channelPath, TRemoteCommand command);

// The running instance's end of the channel: one command word and a line end
// per connection, answered "ok" once queued; anything else is dropped. Queued
// commands are carried out in order, each once nothing is under way.
class TCommandServer : public QObject {
  Q_OBJECT

 public:
  TCommandServer(std::function<bool()> busy, std::function<void(TRemoteCommand)> run,
                 QObject* parent = nullptr);
  ~TCommandServer() override;

  // Listens at the path; an error text when it cannot (nothing listens then).
  QString Listen(const QString& path);
  // Queues a command as if it had come over the channel.
  void Enqueue(TRemoteCommand command);

 private:
  void Accept();
  void Read(QLocalSocket* socket);
  void RunQueued();

  std::function<bool()> FBusy;
  std::function<void(TRemoteCommand)> FRun;
  QLocalServer* FServer = nullptr;
  QTimer* FRetry = nullptr;
  std::deque<TRemoteCommand> FQueue;
  bool FRunning = false;
};
