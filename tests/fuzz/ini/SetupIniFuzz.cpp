// Any bytes as Setup.ini: after reading and CheckSetup every invariant holds,
// CheckSetup changes nothing a second time, and writing the settings back
// into the same file reads back the same settings.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "settings/IniFile.h"
#include "settings/SetupFile.h"
#include "settings/Settings.h"
#include "tests/settings/SetupInvariants.h"

namespace {

// The settings as they stand; only the type of a column slot past the count
// means anything.
TSetupSnapshot Now() {
  TSetupSnapshot s = TSetupSnapshot::Take();
  for (auto i = static_cast<std::size_t>(std::clamp(MenuCount, 0, MenuCapacity)); i < s.MenuItems.size(); ++i)
    s.MenuItems[i] = {s.MenuItems[i].PenType, 0, 0, sdSolid};
  return s;
}

void Check(bool ok, const char* what, const QString& detail = {}) {
  if (ok) return;
  std::fprintf(stderr, "violated: %s %s\n", what, qPrintable(detail));
  std::abort();
}

// Two program folders, one with a stand-in for the sibling program.
QTemporaryDir* gWith;
QTemporaryDir* gWithout;

// The words of the file, so that mutations reach past the section and key
// names; written from the tables themselves and handed to libFuzzer as its
// dictionary unless one was given.
void AddDictionary(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i)
    if (std::strncmp((*argv)[i], "-dict=", 6) == 0) return;
  QStringList words = {"[Setup]", "[Pen]", "[Menu]", "[Mark]", "[PenSetup]", "ImageTypeDefault=",
                       "ImageJPEGQuality=", "ImagePathDefault=", "isSmoothing=", "isPressure=", "Count=",
                       "PenType", "PenColor", "PenThickness", "PenDash", "Thickness", "Color", "=$", "=0x",
                       "\\x0D\\x0A", "\\x0A", "1e9", "nan", "-1", "/", "/tmp/", "[HotKeys]", "\\x22", "'"};
  for (const char* key : HotKeyNames) words << QString::fromLatin1(key) + u'=';
  for (const auto& row : PenTypeNames) words << QString::fromLatin1(row.s);
  QFile dict(gWithout->filePath(QStringLiteral("setup.dict")));
  if (!dict.open(QIODevice::WriteOnly)) std::abort();
  for (const QString& w : words) dict.write("\"" + w.toLatin1() + "\"\n");
  dict.close();
  static QByteArray flag = "-dict=" + dict.fileName().toLocal8Bit();
  static std::vector<char*> args(*argv, *argv + *argc);
  args.insert(args.begin() + 1, flag.data());
  args.push_back(nullptr);
  *argv = args.data();
  ++*argc;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  gWith = new QTemporaryDir;
  gWithout = new QTemporaryDir;
  QFile app(gWith->filePath(QStringLiteral("KORIVAN_WBD")));
  if (!app.open(QIODevice::WriteOnly)) std::abort();
  SetSetupFolderOverride(gWithout->path());
  AddDictionary(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SetProgramFolderOverride((size % 2 ? gWith : gWithout)->path());
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

  DefaultSetup();
  ReadSetupFrom(TIniFile::FromBytes(bytes));
  CheckSetup();
  const QString violation = SetupInvariantViolation();
  Check(violation.isEmpty(), "invariant", violation);

  const TSetupSnapshot checked = Now();
  CheckSetup();
  Check(Now() == checked, "CheckSetup is not idempotent");

  TIniFile ini = TIniFile::FromBytes(bytes);
  WriteSetupTo(ini);
  const QByteArray written = ini.ToBytes();
  DefaultSetup();
  ReadSetupFrom(TIniFile::FromBytes(written));
  CheckSetup();
  Check(Now() == checked, "written settings read back differently");
  return 0;
}
