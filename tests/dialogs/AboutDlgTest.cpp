#include <QDesktopServices>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include "dialogs/AboutDlg.h"
#include "settings/Settings.h"
#include "tests/dialogs/DialogTestSupport.h"

namespace {

// Stands in for the browser: records what the program asks to open.
class TOpenedUrls : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls.push_back(url); }
};

TEST(AboutDlg, ShowsTheProgramsVersionOrNoneForAFileWithout) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString plain = folder.filePath(QStringLiteral("plain"));
  QFile file(plain);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("no version in here");
  file.close();

  const TAboutDlg own;
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^KORIVAN D Ver\\.\\d+\\.\\d+\\.\\d+\\.\\d+$"))
                  .match(own.Label1->text())
                  .hasMatch())
      << own.Label1->text().toStdString();
  EXPECT_EQ(own.windowTitle(), "About This Application");

  const TAboutDlg without(plain);
  EXPECT_EQ(without.Label1->text(), "KORIVAN D Ver.");
}

TEST(AboutDlg, TheHelpLinkOpensTheHelpPageOnAClickOnly) {
  HelpURL = HelpURLFor(false, QStringLiteral("/nowhere/a folder with a rather long name/korivan"));
  TAboutDlg dlg;
  EXPECT_EQ(dlg.Label4->text(), HelpURL);

  TOpenedUrls opened;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "Open");
  WhileOpen(
      dlg,
      [&] {
        // A press dragged off the link opens nothing.
        QTest::mousePress(dlg.Label4, Qt::LeftButton, {}, QPoint(150, 7));
        QTest::mouseRelease(dlg.Label4, Qt::LeftButton, {}, QPoint(150, 40));
        EXPECT_TRUE(opened.urls.isEmpty());
        QTest::mouseClick(dlg.Label4, Qt::LeftButton, {}, QPoint(150, 7));
        QTest::mouseClick(dlg.Button1, Qt::LeftButton);
      },
      [&] { dlg.exec(); });
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

  EXPECT_FALSE(dlg.isVisible());
  ASSERT_EQ(opened.urls.size(), 1);
  EXPECT_EQ(opened.urls[0], QUrl(HelpURL));
  EXPECT_TRUE(HelpURL.endsWith(QStringLiteral("/help/en/index.html")));
}

}  // namespace

#include "AboutDlgTest.moc"
