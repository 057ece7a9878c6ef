#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "Settings.h"
#ifdef Q_OS_WIN
#include "platform/win32/Win32Environment.h"
#endif

namespace {

QString& SetupFolderOverride() {
  static QString folder;
  return folder;
}

QString& ProgramFolderOverride() {
  static QString folder;
  return folder;
}

#ifdef Q_OS_WIN
const QString kAppName = QStringLiteral("KORIVAN_WBD.exe");
#else
const QString kAppName = QStringLiteral("KORIVAN_WBD");
#endif

QString Native(const QString& path) { return QDir::toNativeSeparators(QDir::cleanPath(path)); }

}  // namespace

void SetSetupFolderOverride(const QString& folder) { SetupFolderOverride() = folder; }
void SetProgramFolderOverride(const QString& folder) { ProgramFolderOverride() = folder; }

QString SetupFolder() {
  if (!SetupFolderOverride().isEmpty()) return Native(SetupFolderOverride());
  QString base;
#ifdef Q_OS_WIN
  base = QString::fromStdString(LocalAppDataFolder());
#endif
  if (base.isEmpty()) base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  return Native(base + QStringLiteral("/ORVEL PROJECT/KORIVAN DSK"));
}

QString SetupFilePath() { return SetupFolder() + QDir::separator() + QStringLiteral("Setup.ini"); }

QString PicturesFolder() {
  QString folder;
#ifdef Q_OS_WIN
  folder = QString::fromStdString(MyPicturesFolder());
#endif
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (folder.isEmpty()) folder = QDir::homePath();
  folder = Native(folder);
  return folder.endsWith(QDir::separator()) ? folder : folder + QDir::separator();
}

QString ProgramFolder() {
  if (!ProgramFolderOverride().isEmpty()) return Native(ProgramFolderOverride());
  if (!QCoreApplication::instance()) return {};
  return Native(QCoreApplication::applicationDirPath());
}

QString AppPath() {
  const QString folder = ProgramFolder();
  return folder.isEmpty() ? QString() : folder + QDir::separator() + kAppName;
}

bool AppExists() {
  const QString path = AppPath();
  return !path.isEmpty() && QFileInfo(path).isFile();
}

bool RunApp() {
  if (!AppExists()) return false;
  // The path is the program itself, never part of a command line, so spaces
  // in it need no quoting and no shell sees it.
  return QProcess::startDetached(AppPath(), {}, ProgramFolder());
}

QString HelpURLFor(bool japanese, const QString& programFolder) {
  const QString folder = QDir::fromNativeSeparators(programFolder);
  const QString page = japanese ? QStringLiteral("/ja/index.html") : QStringLiteral("/en/index.html");
  // Installed, the pages lie under the data folder; a tree whose data folder
  // is outside its prefix keeps them beside the program instead.
  QString path = QDir::cleanPath(folder + QStringLiteral("/" KORIVAN_HELP_FROM_PROGRAM) + page);
  if (const QString beside = QDir::cleanPath(folder + QStringLiteral("/help") + page);
      !QFileInfo::exists(path) && QFileInfo::exists(beside))
    path = beside;
  return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

void ChooseHelpURL() {
#ifdef Q_OS_WIN
  const bool japanese = HelpPageIsJapanese(UserDefaultLocale());
#else
  const bool japanese = QLocale::system().language() == QLocale::Japanese;
#endif
  HelpURL = HelpURLFor(japanese, ProgramFolder());
}

void OpenHelpPage() { QDesktopServices::openUrl(QUrl(HelpURL)); }
