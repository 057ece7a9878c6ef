#include <gtest/gtest.h>
#include <signal.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Platform.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "korivan-platform-XXXXXX").string();
    Path = mkdtemp(pattern.data());
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(Path, ec);
  }
  std::string Path;
};

constexpr const char* GuardName = "KORIVAN_ORVEL_NET";

// Runs fn in a child process; returns its pid.
template <typename Fn>
pid_t InChild(Fn fn) {
  const pid_t pid = fork();
  if (pid == 0) {
    fn();
    _exit(0);
  }
  return pid;
}

TEST(SingleInstance, FirstHoldsSecondIsRefusedUntilReleased) {
  TempFolder dir;
  auto first = std::make_unique<TSingleInstance>(GuardName, dir.Path);
  EXPECT_EQ(first->State(), TInstanceState::First);
  {
    TSingleInstance second(GuardName, dir.Path);
    EXPECT_EQ(second.State(), TInstanceState::AlreadyRunning);
  }
  // A refused attempt does not disturb the holder.
  EXPECT_EQ(TSingleInstance(GuardName, dir.Path).State(), TInstanceState::AlreadyRunning);
  first.reset();
  EXPECT_EQ(TSingleInstance(GuardName, dir.Path).State(), TInstanceState::First);
}

TEST(SingleInstance, OtherProcessHoldsUntilKilled) {
  TempFolder dir;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t holder = InChild([&] {
    TSingleInstance guard(GuardName, dir.Path);
    const char state = guard.State() == TInstanceState::First ? 'F' : 'x';
    (void)!write(ready[1], &state, 1);
    pause();
  });
  char state = 0;
  ASSERT_EQ(read(ready[0], &state, 1), 1);
  EXPECT_EQ(state, 'F');
  EXPECT_EQ(TSingleInstance(GuardName, dir.Path).State(), TInstanceState::AlreadyRunning);
  // A killed holder leaves nothing stale behind.
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(TSingleInstance(GuardName, dir.Path).State(), TInstanceState::First);
  close(ready[0]);
  close(ready[1]);
}

TEST(SingleInstance, StartedProgramDoesNotInheritTheGuard) {
  TempFolder dir;
  auto guard = std::make_unique<TSingleInstance>(GuardName, dir.Path);
  ASSERT_EQ(guard->State(), TInstanceState::First);
  pid_t child = 0;
  char sleepName[] = "sleep";
  char seconds[] = "30";
  char* argv[] = {sleepName, seconds, nullptr};
  ASSERT_EQ(posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);
  guard.reset();
  // The program we started still runs, yet the guard is free again.
  EXPECT_EQ(TSingleInstance(GuardName, dir.Path).State(), TInstanceState::First);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

TEST(SingleInstance, UnusableNameOrFolderRunsUnguarded) {
  TempFolder dir;
  const struct {
    std::string name, folder;
  } cases[] = {
      {"", dir.Path},
      {"a/b", dir.Path},
      {"..", dir.Path},
      {GuardName, dir.Path + "/missing"},
      {GuardName, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("name '" + c.name + "' folder '" + c.folder + "'");
    EXPECT_EQ(TSingleInstance(c.name, c.folder).State(), TInstanceState::Unguarded);
  }
  EXPECT_TRUE(fs::is_empty(dir.Path)) << "nothing is created outside the folder given";
}

TEST(SingleInstance, SymbolicLinkIsNotFollowed) {
  TempFolder dir;
  const std::string target = dir.Path + "/elsewhere";
  ASSERT_EQ(symlink(target.c_str(), (dir.Path + "/" + GuardName).c_str()), 0);
  EXPECT_EQ(TSingleInstance(GuardName, dir.Path).State(), TInstanceState::Unguarded);
  EXPECT_FALSE(fs::exists(target));
}

class RuntimeFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* v = std::getenv("XDG_RUNTIME_DIR")) FSaved = v, FHadValue = true;
  }
  void TearDown() override {
    if (FHadValue)
      setenv("XDG_RUNTIME_DIR", FSaved.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
  }
  std::string FSaved;
  bool FHadValue = false;
};

TEST_F(RuntimeFolder, TakesTheSessionFolderOrMakesAPrivateOne) {
  TempFolder dir;
  setenv("XDG_RUNTIME_DIR", dir.Path.c_str(), 1);
  EXPECT_EQ(UserRuntimeFolder(), dir.Path);
  // Named but not made yet, as on a first start: made, for this user only.
  const std::string missing = dir.Path + "/run";
  setenv("XDG_RUNTIME_DIR", missing.c_str(), 1);
  EXPECT_EQ(UserRuntimeFolder(), missing);
  struct stat made {};
  ASSERT_EQ(lstat(missing.c_str(), &made), 0);
  EXPECT_EQ(made.st_mode & 0777, 0700u);

  // Unset or relative: a folder only this user can enter.
  for (const char* value : {static_cast<const char*>(nullptr), "relative/dir"}) {
    if (value)
      setenv("XDG_RUNTIME_DIR", value, 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    const std::string folder = UserRuntimeFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder, value ? value : "");
    struct stat st {};
    ASSERT_EQ(lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, geteuid());
    EXPECT_EQ(st.st_mode & 077, 0u);
  }
}

TEST(WindowSystem, ChosenByPlatformNameAndNullWhenUnreachable) {
  EXPECT_EQ(CreateWindowSystem("offscreen", nullptr)->Name(), "null");
  EXPECT_EQ(CreateWindowSystem("minimal", nullptr)->Name(), "null");

  // An X display that does not exist: headless, not a crash.
  const char* saved = std::getenv("DISPLAY");
  const std::string keep = saved ? saved : "";
  setenv("DISPLAY", ":987654", 1);
  auto backend = CreateWindowSystem("xcb", nullptr);
  EXPECT_EQ(backend->Name(), "null");
  EXPECT_EQ(backend->ForegroundWindow(), 0u);
  EXPECT_FALSE(backend->KeyPressed(vkMultiply));
  if (saved)
    setenv("DISPLAY", keep.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

TEST(CloseRequest, SignalsToEndBecomeReadableInsteadOfKilling) {
  const int fd = CloseRequestDescriptor();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(CloseRequestDescriptor(), fd) << "set up once";
  EXPECT_FALSE(Readable(fd));
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    raise(sig);  // would end the test process if not caught
    EXPECT_TRUE(Readable(fd)) << sig;
    AcknowledgeCloseRequest();
    EXPECT_FALSE(Readable(fd)) << sig;
  }
}

}  // namespace
