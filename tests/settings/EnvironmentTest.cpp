#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <csignal>
#include <sys/resource.h>

#include "settings/Settings.h"

namespace {

using ::testing::HasSubstr;

class EnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDir.isValid());
    SetSetupFolderOverride(FDir.filePath(QStringLiteral("settings")));
    SetProgramFolderOverride(FDir.filePath(QStringLiteral("my programs")));
    ASSERT_TRUE(QDir().mkpath(ProgramFolder()));
    DefaultSetup();
  }
  void TearDown() override {
    SetSetupFolderOverride({});
    SetProgramFolderOverride({});
  }
  static void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  static QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  QTemporaryDir FDir;
};

// File size limit for this process, as a full disk would: writes past it fail.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit l = FOld;
    l.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &l);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
  }

 private:
  rlimit FOld{};
  void (*FOldHandler)(int);
};

TEST_F(EnvironmentTest, AFailedWriteLeavesTheOldFileWholeAndNamesIt) {
  ASSERT_TRUE(QDir().mkpath(SetupFolder()));
  QByteArray old = "[Setup]\nImageTypeDefault=2\n; mine\n";
  old += QByteArray(400, 'x') + '\n';
  Write(SetupFilePath(), old);
  LoadSetup();
  std::string message;
  {
    // The new file is some kilobytes long; the first 200 bytes fit.
    TFileSizeLimit limit(200);
    try {
      SaveSetup();
    } catch (const ESetupWriteError& e) {
      message = e.what();
    }
  }
  EXPECT_THAT(message, HasSubstr(SetupFilePath().toStdString()));
  EXPECT_EQ(Read(SetupFilePath()), old);
  EXPECT_EQ(QDir(SetupFolder()).entryList(QDir::Files | QDir::Hidden), QStringList{"Setup.ini"});

  // Once there is room again the same settings are written.
  SaveSetup();
  const QByteArray text = Read(SetupFilePath());
  EXPECT_TRUE(text.startsWith(old));
  EXPECT_TRUE(text.contains("\nImageJPEGQuality=100\nImagePathDefault="));
}

TEST_F(EnvironmentTest, UnwritablePlacesRaiseAnErrorNamingTheFile) {
  // The settings folder is a file.
  Write(FDir.filePath(QStringLiteral("settings")), "not a folder");
  EXPECT_THROW(SaveSetup(), ESetupWriteError);
  // Setup.ini is a folder: it stays one.
  SetSetupFolderOverride(FDir.filePath(QStringLiteral("other")));
  ASSERT_TRUE(QDir().mkpath(SetupFilePath()));
  try {
    SaveSetup();
    ADD_FAILURE() << "no error";
  } catch (const ESetupWriteError& e) {
    EXPECT_THAT(e.what(), HasSubstr(SetupFilePath().toStdString()));
  }
  EXPECT_TRUE(QFileInfo(SetupFilePath()).isDir());
}

TEST_F(EnvironmentTest, SiblingProgramStartsByItsPathWithoutAShell) {
  EXPECT_FALSE(AppExists());
  EXPECT_FALSE(RunApp());
  // A folder of that name is no program.
  ASSERT_TRUE(QDir(ProgramFolder()).mkdir(QStringLiteral("KORIVAN_WBD")));
  EXPECT_FALSE(AppExists());
  ASSERT_TRUE(QDir(ProgramFolder()).rmdir(QStringLiteral("KORIVAN_WBD")));

  // The stand-in records its working folder and its argument count.
  const QString app = AppPath();
  EXPECT_EQ(app, ProgramFolder() + QStringLiteral("/KORIVAN_WBD"));
  Write(app, "#!/bin/sh\npwd > started.tmp\necho $# >> started.tmp\nmv started.tmp started.txt\n");
  ASSERT_TRUE(QFile::setPermissions(app, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  ASSERT_TRUE(AppExists());
  ASSERT_TRUE(RunApp());

  const QString marker = ProgramFolder() + QStringLiteral("/started.txt");
  QElapsedTimer t;
  t.start();
  while (!QFile::exists(marker) && t.elapsed() < 10000) QThread::msleep(20);
  EXPECT_EQ(Read(marker), (ProgramFolder() + QStringLiteral("\n0\n")).toUtf8());
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString HelpFile(bool japanese, const QString& programFolder) {
  return QUrl(HelpURLFor(japanese, programFolder)).toLocalFile();
}

TEST(HelpTest, PagesAreFoundFromTheProgramsFolderInEveryLayout) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString root = dir.path();
  const QString installed = QDir::cleanPath(root + "/prefix/bin/" KORIVAN_HELP_FROM_PROGRAM);
  const struct {
    const char* Name;
    QString Program;
    QString Pages;  // where the pages lie, or empty for nowhere
    QString Expected;
  } layouts[] = {
      {"installed", root + "/prefix/bin", installed, installed},
      {"beside the program", root + "/flat", root + "/flat/help", root + "/flat/help"},
      {"none", root + "/prefix/bin", {}, installed},
  };
  for (const auto& l : layouts) {
    QDir(root).removeRecursively();
    for (const char* lang : {"en", "ja"})
      if (!l.Pages.isEmpty()) {
        ASSERT_TRUE(QDir().mkpath(l.Pages + "/" + lang));
        QFile f(l.Pages + "/" + lang + "/index.html");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      }
    EXPECT_EQ(HelpFile(true, l.Program), l.Expected + "/ja/index.html") << l.Name;
    EXPECT_EQ(HelpFile(false, l.Program), l.Expected + "/en/index.html") << l.Name;
  }
  EXPECT_THAT(HelpURLFor(false, QStringLiteral("/opt/k dsk/bin")).toStdString(),
              ::testing::StartsWith("file:///opt/k%20dsk/"));

  // The build tree has the real pages where the built program finds them.
  for (const bool japanese : {false, true}) {
    const char* page = japanese ? "ja/index.html" : "en/index.html";
    const QByteArray source = ReadAll(QStringLiteral(KORIVAN_HELP_SOURCE "/") + page);
    EXPECT_EQ(ReadAll(HelpFile(japanese, QStringLiteral(KORIVAN_PROGRAM_BUILD_FOLDER))), source) << page;
    // Every tile caption, and the settings file.
    for (const char* caption : {"Pen", "Marker", "Arrow", "Arrow Both", "Eraser", "Lasso", "Erase All", "Undo",
                                "Redo", "Save", "Save As ...", "Pen Setup", "Whitebrd", "Info", "Menu ...",
                                "Setup ...", "Close", "Setup.ini", "yyyymmdd_hhnnss"})
      EXPECT_TRUE(source.contains(caption)) << page << ": " << caption;
  }
}

}  // namespace
