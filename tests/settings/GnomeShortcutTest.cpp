#include "settings/GnomeShortcut.h"

#include <gtest/gtest.h>

namespace {

TEST(GnomeShortcut, ReadsTheListsGsettingsPrints) {
  const struct {
    const char* Text;
    std::optional<QStringList> List;
  } cases[] = {
      {"@as []", QStringList{}},
      {"[]", QStringList{}},
      {"['/a/custom0/']", QStringList{"/a/custom0/"}},
      {"['/a/custom0/', '/a/custom1/']", QStringList{"/a/custom0/", "/a/custom1/"}},
      {R"(["it's", 'back\\slash'])", QStringList{"it's", "back\\slash"}},
      {"['unclosed]", std::nullopt},
      {"['a',]", std::nullopt},
      {"['a' 'b']", std::nullopt},
      {"nothing", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseGnomeStringArray(QString::fromUtf8(c.Text)), c.List) << c.Text;
}

TEST(GnomeShortcut, WritesListsThatReadBack) {
  EXPECT_EQ(FormatGnomeStringArray({}), "@as []");
  for (const QStringList& list : {QStringList{"/a/"}, QStringList{"/a/", "it's", "back\\slash"}}) {
    EXPECT_EQ(ParseGnomeStringArray(FormatGnomeStringArray(list)), list) << FormatGnomeStringArray(list).toStdString();
  }
}

TEST(GnomeShortcut, KeySequencesAsAccelerators) {
  const struct {
    const char* Portable;
    const char* Accelerator;
  } cases[] = {
      {"Ctrl+Alt+D", "<Control><Alt>d"}, {"Meta+F9", "<Super>F9"},        {"Shift+Num+*", "<Shift>KP_Multiply"},
      {"Num+*", "KP_Multiply"},          {"Ctrl+Num+5", "<Control>KP_5"}, {"Alt+PgDown", "<Alt>Page_Down"},
      {"Ctrl+Alt+D, Ctrl+E", ""},        {"", ""},                        {"Ctrl+Tab", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(GnomeAccelerator(QString::fromUtf8(c.Portable)), c.Accelerator) << c.Portable;
}

TEST(GnomeShortcut, CommandQuotedForTheShell) {
  EXPECT_EQ(GnomeToggleCommand("/usr/bin/korivan-dsk"), "/usr/bin/korivan-dsk --toggle");
  EXPECT_EQ(GnomeToggleCommand("/opt/my apps/it's/korivan-dsk"), R"('/opt/my apps/it'\''s/korivan-dsk' --toggle)");
}

}  // namespace
