#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;

TEST(FileVersionText, TheProgramsOwnRecordAndEmptyWithout) {
  std::string pattern = (fs::temp_directory_path() / "korivan-version-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path folder = pattern;
  const fs::path self = fs::read_symlink("/proc/self/exe");
  EXPECT_EQ(FileVersionText(self.string()), KORIVAN_FILE_VERSION);
  // A copy of the program carries its version along.
  fs::copy_file(self, folder / "copy");
  EXPECT_EQ(FileVersionText((folder / "copy").string()), KORIVAN_FILE_VERSION);

  const std::string marker = std::string("\x7F") + "KORIVAN-FILEVERSION=", nul(1, '\0');
  struct TCase {
    std::size_t before;  // bytes ahead of the record
    std::string record, version;
  };
  const TCase cases[] = {
      {10, marker + "1.2.0.35" + nul, "1.2.0.35"},
      {(1 << 16) - 25, marker + "65535.0.7.1" + nul, "65535.0.7.1"},  // across two blocks read
      {0, marker + "x" + marker + "3.4.5.6" + nul, "3.4.5.6"},
      {1000, "", ""},
      {0, marker + "1.2.3" + nul, ""},
      {0, marker + "1.2.3.65536" + nul, ""},
      {0, marker + "1.2.3.4", ""},  // cut off at the end of the file
  };
  for (const TCase& c : cases) {
    const fs::path file = folder / "file";
    std::ofstream(file, std::ios::binary) << std::string(c.before, 'x') << c.record;
    EXPECT_EQ(FileVersionText(file.string()), c.version) << c.record.substr(std::min<std::size_t>(21, c.record.size()));
  }
  EXPECT_EQ(FileVersionText((folder / "missing").string()), "");
  fs::remove_all(folder);
}

}  // namespace
