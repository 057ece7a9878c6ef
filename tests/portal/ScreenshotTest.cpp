#include "portal/Screenshot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void Write(const QString& path) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("picture");
}

// Only the portal's fresh picture goes; the user's older files, links to them
// and folders stay whatever the portal names.
TEST(PortalPicture, RemovedOnlyWhenFreshPlainFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString fresh = dir.filePath(QStringLiteral("Screenshot_fresh.png"));
  const QString old = dir.filePath(QStringLiteral("holiday.png"));
  const QString link = dir.filePath(QStringLiteral("Screenshot_link.png"));
  const QString folder = dir.filePath(QStringLiteral("Screenshots"));
  Write(fresh);
  Write(old);
  QFile oldFile(old);
  ASSERT_TRUE(oldFile.open(QIODevice::ReadWrite));
  ASSERT_TRUE(oldFile.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
  oldFile.close();
  ASSERT_TRUE(QFile::link(old, link));
  ASSERT_TRUE(QDir().mkdir(folder));
  const QDateTime asked = QDateTime::currentDateTime();

  const struct {
    QString File;
    bool Removed;
  } cases[] = {{QString(), false},
               {dir.filePath(QStringLiteral("missing.png")), false},
               {old, false},
               {link, false},
               {folder, false},
               {fresh, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(RemovePortalPicture(c.File, asked), c.Removed) << c.File.toStdString();
    if (!c.File.isEmpty() && c.File != dir.filePath(QStringLiteral("missing.png"))) {
      EXPECT_EQ(QFileInfo::exists(c.File) || QFileInfo(c.File).isSymLink(), !c.Removed) << c.File.toStdString();
    }
  }
  EXPECT_TRUE(QFileInfo::exists(old));
}

}  // namespace
