#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Platform.h"

std::string CommandChannelPath(std::string_view name) {
  const std::string folder = UserRuntimeFolder();
  if (folder.empty()) return {};
  struct stat st {};
  // Another user who could enter the folder could swap the socket under us.
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
      (st.st_mode & 077) != 0)
    return {};
  return folder + "/" + std::string(name);
}

bool IsOwnChannel(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISSOCK(st.st_mode) && st.st_uid == geteuid();
}
