#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/Win32Environment.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* GuardName = "KORIVAN_ORVEL_NET";

fs::path OwnPath() {
  std::wstring buffer(32768, L'\0');
  buffer.resize(GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())));
  return buffer;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// This test program started again in one of the roles main() knows, with
// its standard input and output on pipes. Every inheritable handle of ours
// goes with it, as with any program the overlay starts.
class TChild {
 public:
  explicit TChild(const std::wstring& role) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&FOut, &childOut, &inherit, 0) || !CreatePipe(&childIn, &FIn, &inherit, 0))
      return;
    SetHandleInformation(FOut, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(FIn, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = L"\"" + OwnPath().wstring() + L"\" " + role;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &FInfo))
      FInfo = {};
    CloseHandle(childIn);
    CloseHandle(childOut);
  }
  ~TChild() {
    if (FInfo.hProcess) {
      End();
      CloseHandle(FInfo.hProcess);
      CloseHandle(FInfo.hThread);
    }
    if (FOut) CloseHandle(FOut);
  }
  TChild(const TChild&) = delete;
  TChild& operator=(const TChild&) = delete;

  // What the child wrote up to its first line end.
  std::string ReadLine() {
    std::string line;
    char c = 0;
    DWORD n = 0;
    while (FOut && ReadFile(FOut, &c, 1, &n, nullptr) && n == 1 && c != '\n')
      if (c != '\r') line += c;
    return line;
  }
  // Closing its input lets the child end on its own.
  void End() {
    if (FIn) CloseHandle(FIn), FIn = nullptr;
    if (FInfo.hProcess) WaitForSingleObject(FInfo.hProcess, 30000);
  }
  void Kill() {
    TerminateProcess(FInfo.hProcess, 9);
    WaitForSingleObject(FInfo.hProcess, 30000);
  }

 private:
  PROCESS_INFORMATION FInfo{};
  HANDLE FIn = nullptr;
  HANDLE FOut = nullptr;
};

const char* StateText(TInstanceState state) {
  switch (state) {
    case TInstanceState::First: return "first";
    case TInstanceState::AlreadyRunning: return "running";
    case TInstanceState::Unguarded: return "unguarded";
  }
  return "?";
}

// Role "--guard": takes the program's guard, says what it got, and holds it
// until its input closes.
int GuardRole() {
  const TSingleInstance guard(GuardName);
  std::cout << StateText(guard.State()) << std::endl;
  std::string ignored;
  while (std::getline(std::cin, ignored)) {
  }
  return 0;
}

TEST(SingleInstance, SecondProcessIsRefusedUntilTheFirstHasEnded) {
  TChild first(L"--guard");
  ASSERT_EQ(first.ReadLine(), "first");
  // Plainly named in the session, as every build of the program names it.
  const HANDLE seen = OpenMutexW(SYNCHRONIZE, FALSE, L"KORIVAN_ORVEL_NET");
  EXPECT_NE(seen, nullptr);
  if (seen) CloseHandle(seen);

  TChild second(L"--guard");
  EXPECT_EQ(second.ReadLine(), "running");
  const TSingleInstance refused(GuardName);
  EXPECT_EQ(refused.State(), TInstanceState::AlreadyRunning);

  // Ended however it ends; the refused guards still alive keep nothing.
  first.Kill();
  TChild third(L"--guard");
  EXPECT_EQ(third.ReadLine(), "first");
}

TEST(SingleInstance, StartedProgramDoesNotKeepTheGuard) {
  auto guard = std::make_unique<TSingleInstance>(GuardName);
  ASSERT_EQ(guard->State(), TInstanceState::First);
  TChild started(L"--guard");
  EXPECT_EQ(started.ReadLine(), "running");
  guard.reset();
  // The program started while the guard was held still runs, yet the guard is free.
  EXPECT_EQ(TSingleInstance(GuardName).State(), TInstanceState::First);
}

TEST(SingleInstance, FolderScopesTheGuardAndUnusableNamesRunUnguarded) {
  const fs::path dir = OwnPath().parent_path() / ("korivan-guard-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(dir);
  {
    const TSingleInstance program(GuardName);
    ASSERT_EQ(program.State(), TInstanceState::First);
    const TSingleInstance scoped(GuardName, dir.string());
    EXPECT_EQ(scoped.State(), TInstanceState::First) << "a test's guard never meets the program's";
    EXPECT_EQ(TSingleInstance(GuardName, dir.string()).State(), TInstanceState::AlreadyRunning);
  }
  const struct {
    std::string name, folder;
  } unusable[] = {
      {"", dir.string()},
      {"Global\\KORIVAN_ORVEL_NET", dir.string()},
      {GuardName, (dir / "missing").string()},
      {GuardName, ""},
  };
  for (const auto& c : unusable) {
    SCOPED_TRACE("name '" + c.name + "' folder '" + c.folder + "'");
    EXPECT_EQ(TSingleInstance(c.name, c.folder).State(), TInstanceState::Unguarded);
  }
  EXPECT_EQ(TSingleInstance("Local\\KORIVAN_ORVEL_NET").State(), TInstanceState::Unguarded);
  fs::remove_all(dir);
}

LRESULT CALLBACK PlainWindowProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return DefWindowProcW(h, m, w, l);
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// A visible top-level window of this thread, like one of another program's.
class TTestWindow {
 public:
  TTestWindow(int x, int y, bool visible = true) {
    static const bool registered = [] {
      WNDCLASSW c{};
      c.lpfnWndProc = PlainWindowProc;
      c.hInstance = GetModuleHandleW(nullptr);
      c.lpszClassName = L"KorivanTestWindow";
      c.hbrBackground = CreateSolidBrush(RGB(200, 30, 60));
      return RegisterClassW(&c) != 0;
    }();
    (void)registered;
    FWindow = CreateWindowExW(0, L"KorivanTestWindow", L"test", WS_POPUP | (visible ? WS_VISIBLE : 0),
                              x, y, 320, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    PumpMessages();
  }
  ~TTestWindow() { DestroyWindow(FWindow); }
  TTestWindow(const TTestWindow&) = delete;
  TTestWindow& operator=(const TTestWindow&) = delete;

  HWND Handle() const { return FWindow; }
  TNativeWindow Native() const { return reinterpret_cast<TNativeWindow>(FWindow); }
  bool TopMost() const { return (GetWindowLongW(FWindow, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }
  RECT Rect() const {
    RECT r{};
    GetWindowRect(FWindow, &r);
    return r;
  }
  bool Above(const TTestWindow& other) const {
    for (HWND h = GetWindow(FWindow, GW_HWNDNEXT); h; h = GetWindow(h, GW_HWNDNEXT))
      if (h == other.FWindow) return true;
    return false;
  }

 private:
  HWND FWindow = nullptr;
};

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }

TEST(WindowSystem, ChosenByPlatformName) {
  EXPECT_EQ(CreateWindowSystem("windows", nullptr)->Name(), "windows");
  EXPECT_EQ(CreateWindowSystem("offscreen", nullptr)->Name(), "null");
  EXPECT_EQ(CloseRequestDescriptor(), -1) << "close requests come as window messages";
}

TEST(WindowSystem, TopMostPlacementKeepsTheForegroundAndTheOwnWindowsAbove) {
  const auto system = CreateWindowSystem("windows", nullptr);
  TTestWindow overlay(0, 0), other(40, 40), dialog(80, 80), hidden(120, 120, false);
  const RECT overlayRect = overlay.Rect();

  system->RaiseWindow(other.Native());
  PumpMessages();
  EXPECT_EQ(system->ForegroundWindow(), other.Native());
  EXPECT_TRUE(other.Above(overlay));

  const TNativeWindow own[] = {dialog.Native(), hidden.Native()};
  system->PlaceTopMost(overlay.Native(), own);
  PumpMessages();
  EXPECT_TRUE(overlay.TopMost());
  EXPECT_TRUE(overlay.Above(other));
  EXPECT_TRUE(SameRect(overlay.Rect(), overlayRect)) << "neither moved nor sized";
  EXPECT_EQ(system->ForegroundWindow(), other.Native()) << "not activated";
  EXPECT_TRUE(dialog.TopMost());
  EXPECT_TRUE(dialog.Above(overlay));
  EXPECT_FALSE(hidden.TopMost()) << "a hidden window is left alone";

  // Giving the focus back to the other program's window leaves the overlay on top.
  system->RaiseWindow(other.Native());
  PumpMessages();
  EXPECT_EQ(system->ForegroundWindow(), other.Native());
  EXPECT_TRUE(overlay.Above(other));

  TTestWindow message(160, 160);
  system->PlaceAboveAll(message.Native());
  PumpMessages();
  EXPECT_TRUE(message.Above(overlay));
  EXPECT_TRUE(message.Above(dialog));
  EXPECT_EQ(system->ForegroundWindow(), message.Native());
  EXPECT_EQ(GetFocus(), message.Handle());
}

void SendKey(int vk, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = static_cast<WORD>(vk);
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  ASSERT_EQ(SendInput(1, &input, sizeof input), 1u);
}

TEST(KeyState, TapBetweenPollsIsSeenOnceAndAHeldKeyAtEveryPoll) {
  const auto system = CreateWindowSystem("windows", nullptr);
  TTestWindow focused(0, 0);
  system->PlaceAboveAll(focused.Native());
  PumpMessages();
  for (int vk = vkMultiply; vk <= vkDivide; ++vk) system->KeyPressed(vk);  // forget earlier presses

  for (int vk = vkMultiply; vk <= vkDivide; ++vk) {
    SCOPED_TRACE(vk);
    EXPECT_FALSE(system->KeyPressed(vk));
    SendKey(vk, true);
    SendKey(vk, false);
    PumpMessages();
    EXPECT_TRUE(system->KeyPressed(vk)) << "tap seen although the key is up again";
    EXPECT_FALSE(system->KeyPressed(vk)) << "tap seen once";
  }

  SendKey(vkMultiply, true);
  PumpMessages();
  for (int poll = 0; poll < 3; ++poll) EXPECT_TRUE(system->KeyPressed(vkMultiply)) << poll;
  SendKey(vkMultiply, false);
  PumpMessages();
  EXPECT_FALSE(system->KeyPressed(vkMultiply));
  EXPECT_FALSE(system->KeyPressed(vkAdd)) << "another key";
  for (int vk : {0, -1, 255, 1000}) EXPECT_FALSE(system->KeyPressed(vk)) << vk;
}

TEST(ScreenCapture, OpaquePixelsOrFalseWithThePixelsUntouched) {
  const auto system = CreateWindowSystem("windows", nullptr);
  TTestWindow painted(0, 0);
  UpdateWindow(painted.Handle());
  constexpr std::uint32_t Untouched = 0x12345678;
  std::vector<std::uint32_t> pixels(16 * 8, Untouched);

  const TPlatformRect wrong[] = {{0, 0, 16, 9}, {0, 0, 0, 8}, {0, 0, -16, -8}};
  for (const TPlatformRect& r : wrong) {
    EXPECT_FALSE(system->CaptureScreen(r, pixels));
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), Untouched), 16 * 8);
  }
  // Without a screen to copy (wine without a display) a right-sized capture fails too.
  if (system->CaptureScreen({10, 10, 16, 8}, pixels)) {
    for (std::uint32_t p : pixels) ASSERT_EQ(p >> 24, 0xFFu) << std::hex << p;
  } else {
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), Untouched), 16 * 8);
  }
}

TEST(FileVersion, ReadFromTheExecutablesVersionResource) {
  const fs::path own = OwnPath();
  const fs::path unusual = OwnPath().parent_path() / L"korivan-versi\u00f3n" / L"K\u00f6rivan.exe";
  fs::create_directories(unusual.parent_path());
  fs::copy_file(own, unusual, fs::copy_options::overwrite_existing);
  const auto utf8 = [](const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
  };
  const struct {
    std::string file, text;
  } cases[] = {
      {utf8(own), KORIVAN_VERSION_TEXT},
      {utf8(unusual), KORIVAN_VERSION_TEXT},
      {utf8(own.parent_path() / KORIVAN_UNVERSIONED_EXE), ""},
      {utf8(own.parent_path() / "missing.exe"), ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FileVersionText(c.file), c.text) << c.file;
  fs::remove_all(unusual.parent_path());
}

TEST(Environment, FoldersAreTheShellsOwn) {
  const std::string local = LocalAppDataFolder(), pictures = MyPicturesFolder();
  EXPECT_EQ(local, Env("LOCALAPPDATA"));
  EXPECT_EQ(pictures, Env("USERPROFILE") + "\\Pictures");
  EXPECT_TRUE(fs::is_directory(local)) << local;
  EXPECT_TRUE(fs::is_directory(pictures)) << pictures;
}

// The test command runs this in a few locales, each named with the locale
// identifier and the help page expected; the locale comes from LANG under wine.
TEST(Environment, JapaneseHelpPageForTheJapaneseLocaleOnly) {
  const std::string expected = Env("KORIVAN_EXPECTED_LOCALE");
  if (expected.empty()) GTEST_SKIP() << "no expected locale given";
  const std::uint32_t locale = UserDefaultLocale();
  EXPECT_EQ(std::to_string(locale) + (HelpPageIsJapanese(locale) ? " ja" : " en"), expected);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--guard") return GuardRole();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
