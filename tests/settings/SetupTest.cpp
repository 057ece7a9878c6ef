#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <cmath>
#include <vector>

#include "SetupInvariants.h"
#include "settings/IniFile.h"
#include "settings/SetupFile.h"
#include "settings/Settings.h"

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// Every test gets its own settings folder and program folder, so the user's
// real settings are never read or written.
class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FSetupDir.isValid() && FProgramDir.isValid());
    SetSetupFolderOverride(FSetupDir.filePath(QStringLiteral("ORVEL PROJECT/KORIVAN DSK")));
    SetProgramFolderOverride(FProgramDir.path());
    DefaultSetup();
  }
  void TearDown() override {
    SetSetupFolderOverride({});
    SetProgramFolderOverride({});
    QLocale::setDefault(QLocale::c());
  }

  static void WriteIni(const QByteArray& text) {
    ASSERT_TRUE(QDir().mkpath(SetupFolder()));
    QFile f(SetupFilePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  static QByteArray ReadIni() {
    QFile f(SetupFilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  static void Load(const QByteArray& text) {
    WriteIni(text);
    LoadSetup();
  }
  void PlaceStandIn() {
    QFile f(FProgramDir.filePath(QStringLiteral("KORIVAN_WBD")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  static std::vector<TPWPenType> Column() {
    std::vector<TPWPenType> types;
    for (int i = 0; i < MenuCount; ++i) types.push_back(MenuItems[static_cast<std::size_t>(i)].PenType);
    return types;
  }
  static std::vector<TPWPenType> WithTail(std::vector<TPWPenType> body) {
    body.insert(body.end(), {pwLaunch, pwSetup, pwClose});
    return body;
  }

  QTemporaryDir FSetupDir;
  QTemporaryDir FProgramDir;
};

TEST_F(SetupTest, NoFileGivesTheFactoryColumnAndStockPenZero) {
  LoadSetup();
  EXPECT_EQ(Column(), WithTail({pwMarkPtr, pwMarkPtr, pwMarkPtr, pwMarkPtr, pwMarkPtr, pwPenSetup, pwUndo,
                                pwRedo, pwEr, pwEraseAll, pwSave, pwInfo}));
  for (std::uint32_t i = 0; i < 5; ++i) EXPECT_EQ(MarkIndex(MenuItems[i]), i);
  EXPECT_EQ(MenuItems[8].PenThickness, 40);
  EXPECT_EQ(SetupInvariantViolation(), QString());
  // Reading creates nothing.
  EXPECT_FALSE(QDir(SetupFolder()).exists());

  TPWMenuItem pen;
  std::int32_t index = 7;
  GetStartPen(pen, index);
  EXPECT_EQ(pen, (TPWMenuItem{pwPn, 0xFF000000, 8, sdSolid}));
  EXPECT_EQ(index, 0);
}

TEST_F(SetupTest, FreshFileStartsExactlyWithTheSetupAndPenSections) {
  LoadSetup();
  SaveSetup();
  const QByteArray text = ReadIni();
  const QByteArray expected = "[Setup]\n"
                              "ImageTypeDefault=1\n"
                              "ImageJPEGQuality=100\n"
                              "ImagePathDefault=" +
                              PicturesFolder().toUtf8() +
                              "\n"
                              "[Pen]\n"
                              "isSmoothing=1\n"
                              "isPressure=0\n"
                              "[Menu]\n"
                              "Count=15\n"
                              "PenType0=pwMarkPtr\n"
                              "PenColor0=0\n"
                              "PenThickness0=1\n"
                              "PenDash0=0\n";
  EXPECT_THAT(text.toStdString(), StartsWith(expected.toStdString()));
  EXPECT_TRUE(text.contains("\nPenType14=pwClose\n"));
  EXPECT_FALSE(text.contains("PenType15"));
  EXPECT_TRUE(text.contains("\n[Mark]\nPenType0=pwPn\nPenColor0=0\nPenThickness0=8\nPenDash0=0\n"));
  EXPECT_TRUE(text.contains("\nPenType5=pwPn\nPenColor5=0\nPenThickness5=8\nPenDash5=1\n"));
  EXPECT_TRUE(text.contains("\n[PenSetup]\nThickness0=2\nThickness1=10\n"));
  EXPECT_TRUE(text.contains("\nColor4=16711680\n"));
  // The monitors setting after every section the file always had, then the
  // shortcuts last, all five empty.
  EXPECT_TRUE(text.endsWith("Color9=12084684\n[Display]\nisAllScreens=0\n[HotKeys]\nToggle=\nSave=\nEraseAll=\nApp=\nNextPen=\n"));
}

TEST_F(SetupTest, ShapeToolsInTheColumnAndTheStockPensReadAndWriteBackUnchanged) {
  const QByteArray lines =
      "PenType0=pwLine\nPenColor0=255\nPenThickness0=6\nPenDash0=1\n"
      "PenType1=pwEllipseMk\nPenColor1=16776960\nPenThickness1=8\nPenDash1=0\n"
      "PenType2=pwText\nPenColor2=0\nPenThickness2=12\nPenDash2=0\n";
  Load("[Menu]\nCount=3\n" + lines + "[Mark]\nPenType4=pwStep\nPenColor4=13369344\nPenThickness4=14\n");
  EXPECT_EQ(Column(), WithTail({pwLine, pwEllipseMk, pwText}));
  EXPECT_EQ(MenuItems[0], (TPWMenuItem{pwLine, 0xFF0000FF, 6, sdDash}));
  EXPECT_EQ(StockPens[4], (TPWMenuItem{pwStep, 0xFFCC0000, 14, sdSolid}));
  EXPECT_EQ(StockPens[3], (TPWMenuItem{pwMk, 0xFF00FFFF, 20, sdSolid})) << "the other stock pens as they were";
  const auto menu = MenuItems;
  const auto stock = StockPens;
  SaveSetup();
  const QByteArray written = ReadIni();
  for (const QByteArray& line : lines.split('\n')) EXPECT_TRUE(written.contains(line)) << line.toStdString();
  EXPECT_TRUE(written.contains("PenType4=pwStep"));
  DefaultSetup();
  LoadSetup();
  EXPECT_EQ(MenuItems, menu);
  EXPECT_EQ(StockPens, stock);
}

TEST_F(SetupTest, SaveThenLoadRoundTrips) {
  QTemporaryDir pictures;
  LoadSetup();
  StockPens[2] = {pwArMk1, 0xFF123456, 12.5f, sdDashDot};
  StockPens[7] = {pwNone, 0xFFFFFFFF, 3, sdSolid};
  PresetThickness[1] = 7.25f;
  PresetColor[9] = 0xFF0A0B0C;
  ImageTypeDefault = 4;
  ImageJPEGQuality = 55;
  ImagePathDefault = pictures.path() + QDir::separator();
  isSmoothing = false;
  isAllScreens = true;
  MenuItems[0] = {pwRbMk, 0xFFFFFFFF, 33, sdDot};
  MenuItems[1] = {pwMarkPtr, 9, 1, sdSolid};
  CheckSetup();
  const auto menu = MenuItems;
  const auto count = MenuCount;
  const auto stock = StockPens;
  SaveSetup();

  DefaultSetup();
  LoadSetup();
  EXPECT_EQ(MenuCount, count);
  for (int i = 0; i < count; ++i) {
    TPWMenuItem expected = menu[static_cast<std::size_t>(i)];
    expected.PenColor |= 0xFF000000;  // colours come back opaque, stock indices too
    EXPECT_EQ(MenuItems[static_cast<std::size_t>(i)], expected) << "entry " << i;
  }
  EXPECT_EQ(StockPens, stock);
  EXPECT_EQ(PresetThickness[1], 7.25f);
  EXPECT_EQ(PresetColor[9], 0xFF0A0B0C);
  EXPECT_EQ(ImageTypeDefault, 4);
  EXPECT_EQ(ImageJPEGQuality, 55);
  EXPECT_EQ(ImagePathDefault, pictures.path() + QDir::separator());
  EXPECT_FALSE(isSmoothing);
  EXPECT_TRUE(isAllScreens);
}

TEST_F(SetupTest, CountIsLimitedAndTheColumnKeepsNineteenBodyEntries) {
  QByteArray text = "[Menu]\nCount=22\n";
  for (int i = 0; i < 22; ++i) text += "PenType" + QByteArray::number(i) + "=pwUndo\n";
  Load(text);
  EXPECT_EQ(Column(), WithTail(std::vector<TPWPenType>(19, pwUndo)));

  Load("[Menu]\nCount=-5\n");
  EXPECT_EQ(Column(), WithTail({}));

  // Hexadecimal count; entries without keys keep the factory column.
  Load("[Menu]\nCount=$4\n");
  EXPECT_EQ(Column(), WithTail({pwMarkPtr, pwMarkPtr, pwMarkPtr, pwMarkPtr}));
}

TEST_F(SetupTest, FixedCommandsAreRemovedWhereverTheyStand) {
  Load("[Menu]\nCount=7\nPenType0=pwSetup\nPenType1=pwUndo\nPenType2=pwLaunch\nPenType3=pwClose\n"
       "PenType4=pwRedo\nPenType5=pwNone\nPenType6=pwClose\n");
  EXPECT_EQ(Column(), WithTail({pwUndo, pwRedo}));
}

TEST_F(SetupTest, UnknownPenTypeNamesAreDroppedFromTheColumn) {
  Load("[Menu]\nCount=5\nPenType0=pwFunc\nPenType1=pwpn\nPenType2=PWSAVE\nPenType3=pwPn\nPenType4=pwSave \n"
       "[Mark]\nPenType1=pwpn\n");
  EXPECT_EQ(Column(), WithTail({pwPn, pwSave}));
  EXPECT_EQ(StockPens[1].PenType, pwNone);
  EXPECT_EQ(StockPens[1].PenColor, 0xFFFF0000u);
}

TEST_F(SetupTest, WhiteboardEntryFollowsTheSiblingProgram) {
  const QByteArray text = "[Menu]\nCount=3\nPenType0=pwUndo\nPenType1=pwApp\nPenType2=pwRedo\n";
  Load(text);
  EXPECT_EQ(Column(), WithTail({pwUndo, pwRedo}));
  EXPECT_EQ(LaunchCount, 30);
  EXPECT_EQ(LaunchItems[29].PenType, pwClose);
  EXPECT_EQ(LaunchItems[30].PenType, pwNone);

  PlaceStandIn();
  ASSERT_TRUE(AppExists());
  Load(text);
  EXPECT_EQ(Column(), WithTail({pwUndo, pwApp, pwRedo}));
  EXPECT_EQ(LaunchCount, 31);
  EXPECT_EQ(LaunchItems[28].PenType, pwApp);
  EXPECT_EQ(LaunchItems[29].PenType, pwInfo);
  EXPECT_EQ(LaunchItems[30].PenType, pwClose);
}

TEST_F(SetupTest, ColoursReadAsOpaqueRgb) {
  struct Case {
    const char* text;
    TAlphaColor expected;
  };
  const Case cases[] = {
      {"$FF0000", 0xFFFF0000}, {"0xFF0000", 0xFFFF0000}, {"0Xff0000", 0xFFFF0000},
      {"16711680", 0xFFFF0000}, {"-1", 0xFFFFFFFF},      {"$7F00FF00", 0xFF00FF00},
      // Not a number, or too wide: the previous colour (blue), made opaque.
      {"abc", 0xFF0000FF},      {"", 0xFF0000FF},        {"$100000000", 0xFF0000FF},
      {"99999999999", 0xFF0000FF},
  };
  for (const auto& c : cases) {
    DefaultSetup();
    PresetColor[1] = 0x000000FF;
    ReadSetupFrom(TIniFile::FromBytes(QByteArray("[PenSetup]\nColor1=") + c.text + "\n"));
    EXPECT_EQ(PresetColor[1], c.expected) << c.text;
  }
  // A tool colour that cannot be read keeps the previous one, made opaque.
  DefaultSetup();
  StockPens[3].PenColor = 0x0000FFFF;
  ReadSetupFrom(TIniFile::FromBytes("[Mark]\nPenColor3=abc\n"));
  EXPECT_EQ(StockPens[3].PenColor, 0xFF00FFFFu);
}

TEST_F(SetupTest, PresetWidthsAreClampedAndUnreadableOnesKept) {
  Load("[PenSetup]\nThickness0=0.5\nThickness1=abc\nThickness2=nan\nThickness3=inf\nThickness4=75\n");
  EXPECT_EQ(PresetThickness, (std::array<float, 5>{1, 10, 20, 40, 60}));
  Load("[PenSetup]\nThickness0=-4\nThickness1=1e300\nThickness2=\nThickness3=12.75\n");
  EXPECT_EQ(PresetThickness, (std::array<float, 5>{1, 10, 20, 12.75f, 60}));
}

TEST_F(SetupTest, ToolWidthsMustBeFinitePositiveAndBounded) {
  const char* rejected[] = {"0", "-3", "nan", "inf", "-inf", "1e9", "1001", "1e-50", "", "x"};
  for (const char* text : rejected) {
    Load(QByteArray("[Mark]\nPenThickness0=") + text + "\n");
    EXPECT_EQ(StockPens[0].PenThickness, 8) << text;
  }
  Load("[Mark]\nPenThickness0=0.25\nPenThickness1=1000\n");
  EXPECT_EQ(StockPens[0].PenThickness, 0.25f);
  EXPECT_EQ(StockPens[1].PenThickness, 1000);
}

TEST_F(SetupTest, EntriesInSlotsThatWereEmptyGetAUsableWidth) {
  // Slot 16 is empty in the factory table: with no width of its own in the
  // file, a pen there would otherwise keep the empty slot's width of 0.
  QByteArray file = "[Menu]\nCount=18\n";
  for (int i = 0; i < 16; ++i) file += "PenType" + QByteArray::number(i) + "=pwUndo\n";
  file += "PenType16=pwPn\nPenColor16=$FF0000\nPenType17=pwSave\n";
  Load(file);
  ASSERT_EQ(MenuCount, 21);
  EXPECT_EQ(MenuItems[15].PenType, pwUndo);
  EXPECT_EQ(MenuItems[16].PenType, pwPn);
  EXPECT_EQ(MenuItems[16].PenThickness, FallbackToolThickness);
  EXPECT_EQ(MenuItems[16].PenDash, sdSolid);
  EXPECT_EQ(SetupInvariantViolation(), QString());
}

TEST_F(SetupTest, DashOrdinalsOfTheTypeAreKeptAndOthersKeepThePreviousDash) {
  Load("[Mark]\nPenDash0=4\nPenDash1=5\nPenDash2=-1\nPenDash3=300\nPenDash5=0\n");
  EXPECT_EQ(StockPens[0].PenDash, sdDashDotDot);
  EXPECT_EQ(StockPens[1].PenDash, sdCustom);
  EXPECT_EQ(StockPens[2].PenDash, sdSolid);
  EXPECT_EQ(StockPens[3].PenDash, sdSolid);
  EXPECT_EQ(StockPens[5].PenDash, sdSolid);
  EXPECT_EQ(SetupInvariantViolation(), QString());
  // The user's value goes back to the file as it was read.
  SaveSetup();
  EXPECT_TRUE(ReadIni().contains("\nPenDash1=5\n"));
}

TEST_F(SetupTest, ScalarsOutsideTheirRangeKeepTheirValue) {
  Load("[Setup]\nImageTypeDefault=6\nImageJPEGQuality=101\n");
  EXPECT_EQ(ImageTypeDefault, 1);
  EXPECT_EQ(ImageJPEGQuality, 100);
  Load("[Setup]\nImageTypeDefault=0x5\nImageJPEGQuality=0\n[Pen]\nisSmoothing=$0\n");
  EXPECT_EQ(ImageTypeDefault, 5);
  EXPECT_EQ(ImageJPEGQuality, 0);
  EXPECT_FALSE(isSmoothing);
}

TEST_F(SetupTest, PressureIsReadThenSwitchedOffAndWrittenAsZero) {
  WriteIni("[Pen]\nisPressure=1\n");
  ReadSetup();
  EXPECT_TRUE(isPressure);
  CheckSetup();
  EXPECT_FALSE(isPressure);
  isPressure = true;
  SaveSetup();
  EXPECT_TRUE(ReadIni().contains("\nisPressure=0\n"));
}

TEST_F(SetupTest, StockTilesOutsideTheTenStockPensAreDropped) {
  Load("[Menu]\nCount=4\nPenType0=pwMarkPtr\nPenColor0=10\nPenType1=pwMarkPtr\nPenColor1=9\n"
       "PenType2=pwMarkPtr\nPenColor2=$1000003\nPenType3=pwMarkPtr\nPenColor3=-1\n");
  EXPECT_EQ(Column(), WithTail({pwMarkPtr, pwMarkPtr}));
  EXPECT_EQ(MarkIndex(MenuItems[0]), 9u);
  EXPECT_EQ(MarkIndex(MenuItems[1]), 3u);  // only the low 24 bits count
}

TEST_F(SetupTest, StartPenIsTheFirstPenOrStockTile) {
  struct Case {
    std::vector<TPWMenuItem> body;
    TPWMenuItem pen;
    std::int32_t index;
  };
  const TPWMenuItem red{pwMk, 0xFFFF0000, 5, sdDot};
  const Case cases[] = {
      // The eraser does not count; a pen keeps the index as it was.
      {{{pwEr, 0xFFFFFFFF, 40, sdSolid}, red, {pwMarkPtr, 2, 1, sdSolid}}, red, 6},
      {{{pwUndo, 0xFFFFFFFF, 1, sdSolid}, {pwMarkPtr, 3, 1, sdSolid}, red}, {pwMk, 0xFF00FFFF, 20, sdSolid}, 3},
      {{{pwLasso, 0xFFFFFFFF, 1, sdSolid}, {pwEr, 0xFFFFFFFF, 40, sdSolid}}, {pwPn, 0xFF000000, 8, sdSolid}, 0},
  };
  for (const auto& c : cases) {
    DefaultSetup();
    MenuCount = static_cast<std::int32_t>(c.body.size());
    std::copy(c.body.begin(), c.body.end(), MenuItems.begin());
    CheckSetup();
    TPWMenuItem pen;
    std::int32_t index = 6;
    GetStartPen(pen, index);
    EXPECT_EQ(pen, c.pen);
    EXPECT_EQ(index, c.index);
  }
}

TEST_F(SetupTest, DefaultFolderIsAnExistingFolderWithOneSeparator) {
  QTemporaryDir root;
  const QString base = root.path();
  ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("Data/Shots")));
  const QString sep = QDir::separator();
  struct Case {
    QString stored, expected;
  };
  const Case cases[] = {
      {base + "/Data/Shots/", base + "/Data/Shots/"},
      // Without the trailing separator the last part counts as a file name.
      {base + "/Data/Shots", base + "/Data/"},
      {base + "/Data//", base + "/Data/"},
      {sep, sep},
      {base + "/Missing/", PicturesFolder()},
      {"Data/", PicturesFolder()},
      {"", PicturesFolder()},
      {base + "/Data/\nx/", PicturesFolder()},
  };
  for (const auto& c : cases) {
    ImagePathDefault = c.stored;
    CheckSetup();
    EXPECT_EQ(ImagePathDefault, QDir::toNativeSeparators(c.expected)) << c.stored.toStdString();
  }
}

TEST_F(SetupTest, KeysPastAShrunkCountStayInTheFileAndAreNotRead) {
  LoadSetup();
  SaveSetup();
  // Drop three body entries: the column shrinks from 15 to 12.
  std::copy(MenuItems.begin() + 3, MenuItems.end(), MenuItems.begin());
  MenuCount = 12;
  SaveSetup();
  const QByteArray text = ReadIni();
  EXPECT_TRUE(text.contains("\nCount=12\n"));
  EXPECT_TRUE(text.contains("\nPenType11=pwClose\n"));
  EXPECT_TRUE(text.contains("\nPenType12=pwLaunch\n"));
  EXPECT_TRUE(text.contains("\nPenType14=pwClose\n"));
  LoadSetup();
  EXPECT_EQ(Column(), WithTail({pwMarkPtr, pwMarkPtr, pwPenSetup, pwUndo, pwRedo, pwEr, pwEraseAll, pwSave,
                                pwInfo}));
}

TEST_F(SetupTest, ProfileFileRulesOfNamesAndValues) {
  // Any case, values trimmed, one pair of quotes stripped, the first key and
  // the first section of a name win, CRLF line ends.
  Load("[setup]\r\n  imagetypedefault =  3 \r\nIMAGETYPEDEFAULT=4\r\n[PEN]\r\nIsSmoothing=0\r\n"
       "[Setup]\r\nImageJPEGQuality=7\r\n[PenSetup]\r\ncolor0=\"255\"\r\n");
  EXPECT_EQ(ImageTypeDefault, 3);
  EXPECT_EQ(ImageJPEGQuality, 100);
  EXPECT_FALSE(isSmoothing);
  EXPECT_EQ(PresetColor[0], 0xFF0000FFu);
}

// Whatever the file held, it reads back the same after a save, the section
// moved to the end of the file.
TEST_F(SetupTest, ShortcutsAreWrittenBackAsReadAtTheEnd) {
  Load("[HotKeys]\nToggle=\"\"quoted\"\"\nSave= ' spaced ' \nEraseAll=Ctrl+Hyper+Banana\nNextPen=Meta+F9\n"
       "[Setup]\nImageTypeDefault=2\n");
  const std::array<QString, HotKeyCount> read = HotKeys;
  EXPECT_EQ(read[hkToggle], QStringLiteral("\"quoted\""));
  EXPECT_EQ(read[hkSave], QStringLiteral(" spaced "));
  SaveSetup();
  EXPECT_TRUE(ReadIni().contains("\n[HotKeys]\nToggle=\"\"quoted\"\"\nSave=\" spaced \"\nEraseAll=Ctrl+Hyper+Banana\n"
                                 "NextPen=Meta+F9\nApp=\n"));
  EXPECT_TRUE(ReadIni().endsWith("App=\n"));
  HotKeys = {};
  LoadSetup();
  EXPECT_EQ(HotKeys, read);
}

TEST_F(SetupTest, SavingKeepsEveryLineItDoesNotWrite) {
  const QByteArray original = "\xEF\xBB\xBF; written by hand\r\n[Setup]\r\nimagetypedefault = 2\r\n"
                              "Mine=keep me\r\n\r\n[Other]\r\nK=v\r\nline without equals\r\n"
                              "[Setup]\r\nImageTypeDefault=5\r\n";
  Load(original);
  EXPECT_EQ(ImageTypeDefault, 2);
  ImageTypeDefault = 3;
  SaveSetup();
  const QByteArray text = ReadIni();
  // A new key goes after the last line of the first section of its name.
  EXPECT_TRUE(text.startsWith("\xEF\xBB\xBF; written by hand\r\n[Setup]\r\nimagetypedefault=3\r\n"
                              "Mine=keep me\r\nImageJPEGQuality=100\r\nImagePathDefault="));
  EXPECT_TRUE(text.contains("\r\n\r\n[Other]\r\nK=v\r\nline without equals\r\n"
                            "[Setup]\r\nImageTypeDefault=5\r\n[Pen]\r\n"));
  EXPECT_FALSE(QByteArray(text).replace("\r\n", "").contains('\n'));
}

TEST_F(SetupTest, WritingCreatesEveryMissingFolder) {
  SetSetupFolderOverride(FSetupDir.filePath(QStringLiteral("a/b/c")));
  SaveSetup();
  EXPECT_TRUE(QFile::exists(FSetupDir.filePath(QStringLiteral("a/b/c/Setup.ini"))));
}

TEST_F(SetupTest, NumbersFollowTheLocaleAndReadPointsAsWell) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(setupvalue::FormatNumber(12.5f), QStringLiteral("12,5"));
  EXPECT_EQ(setupvalue::FormatNumber(40), QStringLiteral("40"));
  EXPECT_EQ(setupvalue::ParseNumber(QStringLiteral("12,5")), 12.5);
  EXPECT_EQ(setupvalue::ParseNumber(QStringLiteral("0.5")), 0.5);
  StockPens[0].PenThickness = 2.75f;
  SaveSetup();
  EXPECT_TRUE(ReadIni().contains("\nPenThickness0=2,75\n"));
  DefaultSetup();
  LoadSetup();
  EXPECT_EQ(StockPens[0].PenThickness, 2.75f);

  QLocale::setDefault(QLocale::c());
  EXPECT_EQ(setupvalue::FormatNumber(0.1f), QStringLiteral("0.1"));
  EXPECT_EQ(setupvalue::FormatNumber(1000000), QStringLiteral("1000000"));
}

TEST(SetupValueTest, IntegersAreDecimalOrHexadecimal) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {"12", 12},          {"-12", -12},           {"+7", 7},
      {"$ff", 255},        {"0x1F", 31},           {"0X1f", 31},
      {"-$10", -16},       {"$FFFFFFFF", -1},      {"-2147483648", INT32_MIN},
      {"2147483647", INT32_MAX},
      {"2147483648", {}},  {"$100000000", {}},     {"", {}},
      {"$", {}},           {"0x", {}},             {"12a", {}},
      {"1.5", {}},         {"--1", {}},            {"0x-1", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(setupvalue::ParseInteger(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(PenTypeNamesTest, NamesMapBothWaysAndSixTypesHaveNone) {
  int named = 0;
  for (int t = 0; t < PenTypeCount; ++t) {
    const auto type = static_cast<TPWPenType>(t);
    const QString name = PenTypeToStr(type);
    if (name == QLatin1String("pwNone")) {
      EXPECT_EQ(StrToPenType(name), pwNone);
      continue;
    }
    ++named;
    EXPECT_EQ(StrToPenType(name), type) << name.toStdString();
  }
  EXPECT_EQ(named, 43);
  for (TPWPenType t : {pwFunc, pwEdit, pwMoveV, pwMoveH, pwMarkIdx})
    EXPECT_EQ(PenTypeToStr(t), QStringLiteral("pwNone"));
  EXPECT_EQ(PenTypeToStr(pwArPn1), QStringLiteral("pwArPn1"));
  // The shapes came after the whiteboard command, in this order, for good.
  EXPECT_EQ(pwLine, pwApp + 1);
  const std::vector<std::pair<TPWPenType, const char*>> shapes = {
      {pwLine, "pwLine"},       {pwLineMk, "pwLineMk"},       {pwRect, "pwRect"}, {pwRectMk, "pwRectMk"},
      {pwEllipse, "pwEllipse"}, {pwEllipseMk, "pwEllipseMk"}, {pwText, "pwText"}, {pwStep, "pwStep"}};
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    EXPECT_EQ(int(shapes[i].first), int(pwLine) + int(i));
    EXPECT_EQ(PenTypeToStr(shapes[i].first), QLatin1String(shapes[i].second));
  }
  // The spotlight and the laser pointer came after the shapes.
  EXPECT_EQ(pwSpotlight, pwStep + 1);
  EXPECT_EQ(pwLaser, pwStep + 2);
  EXPECT_EQ(PenTypeToStr(pwSpotlight), QStringLiteral("pwSpotlight"));
  EXPECT_EQ(StrToPenType(QStringLiteral("pwLaser")), pwLaser);
  EXPECT_EQ(PenTypeNames.back().p, pwLaser);
}

}  // namespace
