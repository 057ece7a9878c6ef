#include <QFile>
#include <QTemporaryDir>

#include "dialogs/AboutDlg.h"
#include "platform/Platform.h"
#include "tests/dialogs/DialogTestSupport.h"

namespace {

TEST(AboutDlg, ShowsTheProgramsVersionAndNoneForAFileWithout) {
  QTemporaryDir folder;
  QFile plain(folder.filePath(QStringLiteral("plain")));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.write("no version in here");
  plain.close();

  const TAboutDlg own;
  const std::string version = FileVersionText(QCoreApplication::applicationFilePath().toStdString());
  ASSERT_FALSE(version.empty());
  EXPECT_EQ(own.Label1->text(), "KORIVAN D Ver." + QString::fromStdString(version));
  EXPECT_EQ(TAboutDlg(plain.fileName()).Label1->text(), "KORIVAN D Ver.");
}

}  // namespace
