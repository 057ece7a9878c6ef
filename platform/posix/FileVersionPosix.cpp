#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

#ifndef KORIVAN_FILE_VERSION
#error "KORIVAN_FILE_VERSION must be set by the build"
#endif

namespace {

// Executables have no version resource here, so each build carries its
// version as a marked record that any copy of the program keeps; the marker
// starts with a byte no text uses, so that plain files never match by chance.
constexpr std::string_view kMarker = "\x7F" "KORIVAN-FILEVERSION=";
[[gnu::used]] constexpr char kRecord[] = "\x7F" "KORIVAN-FILEVERSION=" KORIVAN_FILE_VERSION;

constexpr std::string_view CompiledVersion() { return std::string_view(kRecord).substr(kMarker.size()); }

// "major.minor.release.build", each a number of 16 bits, ending in a NUL.
bool ParseRecord(std::string_view text, std::string& version) {
  int fields = 1;
  std::size_t digits = 0;
  unsigned value = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      value = value * 10 + unsigned(c - '0');
      if (++digits > 5 || value > 0xFFFF) return false;
    } else if (c == '.' && digits > 0 && fields < 4) {
      ++fields;
      digits = 0;
      value = 0;
    } else if (c == '\0' && digits > 0 && fields == 4) {
      version.assign(text.substr(0, i));
      return true;
    } else {
      return false;
    }
  }
  return false;
}

bool IsRunningProgram(const std::string& fileName) {
  std::error_code ec;
  return std::filesystem::equivalent(fileName, "/proc/self/exe", ec) && !ec;
}

// Reads in blocks, keeping the tail of each so that a record across two
// blocks is found.
std::string ScanForRecord(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return {};
  constexpr std::size_t kBlock = 1 << 16;
  constexpr std::size_t kKeep = 64;  // longer than the marker and the longest version
  std::vector<char> buffer;
  std::string version;
  while (in) {
    const std::size_t kept = buffer.size();
    buffer.resize(kept + kBlock);
    in.read(buffer.data() + kept, kBlock);
    buffer.resize(kept + std::size_t(in.gcount()));
    const std::string_view data(buffer.data(), buffer.size());
    for (std::size_t at = data.find(kMarker); at != std::string_view::npos; at = data.find(kMarker, at + 1)) {
      const std::string_view rest = data.substr(at + kMarker.size());
      if (ParseRecord(rest, version)) return version;
      // Cut short by the block's end: read on with the record kept.
      if (rest.size() < kKeep - kMarker.size() && in) break;
    }
    const std::size_t keep = std::min(kKeep, buffer.size());
    buffer.erase(buffer.begin(), buffer.end() - std::ptrdiff_t(keep));
  }
  return {};
}

}  // namespace

std::string FileVersionText(const std::string& fileName) {
  if (IsRunningProgram(fileName)) return std::string(CompiledVersion());
  return ScanForRecord(fileName);
}
