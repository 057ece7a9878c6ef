#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/Platform.h"

namespace {

// A folder only this user can enter, and no symbolic link someone else put there.
bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  if ((st.st_mode & 077) != 0 && chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

}  // namespace

std::string UserRuntimeFolder() {
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && dir[0] == '/') {
    struct stat st {};
    if (stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
    // Not made yet (a first session, a bare account): made here rather than
    // passed over, or a later start that finds it made by someone else would
    // look for the lock in another place and run beside us.
    if (errno == ENOENT && mkdir(dir, 0700) == 0 && IsPrivateFolder(dir)) return dir;
  }
  std::string fallback = "/tmp/runtime-" + std::to_string(geteuid());
  if (mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return IsPrivateFolder(fallback) ? fallback : std::string();
}

TSingleInstance::TSingleInstance(std::string_view name) { Acquire(name, UserRuntimeFolder()); }

TSingleInstance::TSingleInstance(std::string_view name, const std::string& folder) {
  Acquire(name, folder);
}

TSingleInstance::~TSingleInstance() {
  if (FHandle >= 0) close(static_cast<int>(FHandle));
}

void TSingleInstance::Acquire(std::string_view name, const std::string& folder) {
  FState = TInstanceState::Unguarded;
  if (folder.empty() || !IsPlainName(name)) return;
  const std::string path = folder + "/" + std::string(name);
  // O_CLOEXEC: a program we start must not inherit the lock and keep it after we end.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    FHandle = fd;
    FState = TInstanceState::First;
    return;
  }
  const bool held = errno == EWOULDBLOCK;
  close(fd);
  if (held) FState = TInstanceState::AlreadyRunning;
}
