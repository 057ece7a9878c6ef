#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;

std::string RunningProgram() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, std::size_t(n)) : std::string();
}

const std::string kMarker = std::string("\x7F") + "KORIVAN-FILEVERSION=";

// A file that carries a version record `record` (marker, text, NUL) after
// `before` bytes of other content.
std::string WriteFile(const fs::path& path, std::size_t before, const std::string& record) {
  std::ofstream out(path, std::ios::binary);
  out << std::string(before, 'x') << record << std::string(100, 'y');
  return path.string();
}

TEST(FileVersionText, FromTheProgramsOwnRecordEmptyWithout) {
  std::string pattern = (fs::temp_directory_path() / "korivan-version-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path folder = pattern;

  const std::string self = RunningProgram();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(FileVersionText(self), KORIVAN_FILE_VERSION);
  // A copy of the program carries its version with it.
  fs::copy_file(self, folder / "copy");
  EXPECT_EQ(FileVersionText((folder / "copy").string()), KORIVAN_FILE_VERSION);

  struct TCase {
    const char* name;
    std::size_t before;
    std::string record;
    std::string version;
  };
  const std::string nul(1, '\0');
  const TCase cases[] = {
      {"a record", 10, kMarker + "1.2.0.35" + nul, "1.2.0.35"},
      {"a record across two read blocks", (1 << 16) - 25, kMarker + "65535.0.7.1" + nul, "65535.0.7.1"},
      {"the second of a broken and a good record", 0, kMarker + "x" + kMarker + "3.4.5.6" + nul, "3.4.5.6"},
      {"no record", 1000, "", ""},
      {"three numbers", 0, kMarker + "1.2.3" + nul, ""},
      {"a number beyond 16 bits", 0, kMarker + "1.2.3.65536" + nul, ""},
      {"no terminating NUL", 0, kMarker + "1.2.3.4", ""},
      {"an empty number", 0, kMarker + "1..3.4" + nul, ""},
  };
  int n = 0;
  for (const TCase& c : cases) {
    const std::string file = WriteFile(folder / ("f" + std::to_string(n++)), c.before, c.record);
    EXPECT_EQ(FileVersionText(file), c.version) << c.name;
  }
  EXPECT_EQ(FileVersionText((folder / "missing").string()), "");
  EXPECT_EQ(FileVersionText(folder.string()), "") << "a folder";
  fs::remove_all(folder);
}

}  // namespace
