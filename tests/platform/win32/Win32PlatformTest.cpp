#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/win32/Win32Environment.h"

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

char StateLetter(TInstanceState state) { return "FAU"[static_cast<int>(state)]; }

// This program started again to take the guard (or, with "--hotkey", the
// shortcut Ctrl+Alt+D): it writes the letter of what it got and holds on
// until it is ended. It inherits every inheritable handle of ours, as any
// program the overlay starts would.
class TGuardChild {
 public:
  explicit TGuardChild(const wchar_t* role = L"--guard") {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE childOut = nullptr;
    if (!CreatePipe(&FOut, &childOut, &inherit, 0)) return;
    SetHandleInformation(FOut, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = childOut;
    std::wstring command = L"\"" + OwnPath().wstring() + L"\" " + role;
    CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                   &FInfo);
    CloseHandle(childOut);
  }
  ~TGuardChild() {
    End();
    CloseHandle(FInfo.hProcess);
    CloseHandle(FInfo.hThread);
    CloseHandle(FOut);
  }
  TGuardChild(const TGuardChild&) = delete;
  TGuardChild& operator=(const TGuardChild&) = delete;

  char State() {
    char c = '?';
    DWORD n = 0;
    return FOut && ReadFile(FOut, &c, 1, &n, nullptr) && n == 1 ? c : '?';
  }
  void End() {
    TerminateProcess(FInfo.hProcess, 9);
    WaitForSingleObject(FInfo.hProcess, 30000);
  }

 private:
  PROCESS_INFORMATION FInfo{};
  HANDLE FOut = nullptr;
};

int GuardRole() {
  const TSingleInstance guard(GuardName);
  const char letter = StateLetter(guard.State());
  DWORD n = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), &letter, 1, &n, nullptr);
  Sleep(INFINITE);
  return 0;
}

constexpr THotKey CtrlAltD{'D', hmControl | hmAlt};

int HotKeyRole() {
  const auto system = CreateWindowSystem("windows", nullptr);
  const char letter = system->GrabHotKey(7, CtrlAltD) ? 'T' : 'R';
  DWORD n = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), &letter, 1, &n, nullptr);
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(20);
  }
}

TEST(SingleInstance, SecondProcessIsRefusedUntilTheFirstHasEnded) {
  TGuardChild first;
  ASSERT_EQ(first.State(), 'F');
  // Plainly named in the session, as every build of the program names it.
  const HANDLE seen = OpenMutexW(SYNCHRONIZE, FALSE, L"KORIVAN_ORVEL_NET");
  EXPECT_NE(seen, nullptr);
  CloseHandle(seen);
  TGuardChild second;
  EXPECT_EQ(second.State(), 'A');
  const TSingleInstance refused(GuardName);
  EXPECT_EQ(refused.State(), TInstanceState::AlreadyRunning);
  // The refused guards, still alive, keep nothing once the first has ended.
  first.End();
  EXPECT_EQ(TGuardChild().State(), 'F');
}

TEST(SingleInstance, StartedProgramDoesNotKeepTheGuard) {
  auto guard = std::make_unique<TSingleInstance>(GuardName);
  ASSERT_EQ(guard->State(), TInstanceState::First);
  TGuardChild started;
  EXPECT_EQ(started.State(), 'A');
  guard.reset();
  EXPECT_EQ(TSingleInstance(GuardName).State(), TInstanceState::First);
}

TEST(SingleInstance, FolderScopesTheGuardAndUnusableNamesRunUnguarded) {
  const fs::path dir = OwnPath().parent_path() / ("guard-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(dir);
  {
    const TSingleInstance program(GuardName);
    const TSingleInstance scoped(GuardName, dir.string());
    EXPECT_EQ(scoped.State(), TInstanceState::First) << "a test's guard never meets the program's";
    EXPECT_EQ(TSingleInstance(GuardName, dir.string()).State(), TInstanceState::AlreadyRunning);
  }
  const std::pair<std::string, std::string> unusable[] = {
      {"", dir.string()},
      {"Global\\KORIVAN_ORVEL_NET", dir.string()},
      {GuardName, (dir / "missing").string()},
      {GuardName, ""},
  };
  for (const auto& [name, folder] : unusable)
    EXPECT_EQ(TSingleInstance(name, folder).State(), TInstanceState::Unguarded) << name << " " << folder;
  EXPECT_EQ(TSingleInstance("Local\\KORIVAN_ORVEL_NET").State(), TInstanceState::Unguarded);
  fs::remove_all(dir);
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// A top-level window of this thread, standing in for the overlay, its
// dialogs or another program's window.
class TTestWindow {
 public:
  explicit TTestWindow(int x, bool visible = true) {
    static const bool registered = [] {
      WNDCLASSW c{};
      c.lpfnWndProc = DefWindowProcW;
      c.hInstance = GetModuleHandleW(nullptr);
      c.lpszClassName = L"KorivanTestWindow";
      return RegisterClassW(&c) != 0;
    }();
    (void)registered;
    FWindow = CreateWindowExW(0, L"KorivanTestWindow", L"", WS_POPUP | (visible ? WS_VISIBLE : 0), x, x,
                              320, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    PumpMessages();
  }
  ~TTestWindow() { DestroyWindow(FWindow); }
  TTestWindow(const TTestWindow&) = delete;
  TTestWindow& operator=(const TTestWindow&) = delete;

  TNativeWindow Id() const { return reinterpret_cast<TNativeWindow>(FWindow); }
  bool TopMost() const { return GetWindowLongW(FWindow, GWL_EXSTYLE) & WS_EX_TOPMOST; }
  std::vector<LONG> Rect() const {
    RECT r{};
    GetWindowRect(FWindow, &r);
    return {r.left, r.top, r.right, r.bottom};
  }
  bool Above(const TTestWindow& other) const {
    for (HWND h = GetWindow(FWindow, GW_HWNDNEXT); h; h = GetWindow(h, GW_HWNDNEXT))
      if (h == other.FWindow) return true;
    return false;
  }

 private:
  HWND FWindow = nullptr;
};

TEST(WindowSystem, TopMostPlacementKeepsTheForegroundAndTheOwnWindowsAbove) {
  EXPECT_EQ(CreateWindowSystem("offscreen", nullptr)->Name(), "null");
  EXPECT_EQ(CloseRequestDescriptor(), -1) << "close requests come as window messages";
  const auto system = CreateWindowSystem("windows", nullptr);
  ASSERT_EQ(system->Name(), "windows");
  TTestWindow overlay(0), other(40), dialog(80), hidden(120, false);
  const auto overlayRect = overlay.Rect();
  system->RaiseWindow(other.Id());
  PumpMessages();
  EXPECT_EQ(system->ForegroundWindow(), other.Id());
  EXPECT_TRUE(other.Above(overlay));

  const TNativeWindow own[] = {dialog.Id(), hidden.Id()};
  system->PlaceTopMost(overlay.Id(), own);
  PumpMessages();
  EXPECT_TRUE(overlay.TopMost() && overlay.Above(other));
  EXPECT_EQ(overlay.Rect(), overlayRect) << "neither moved nor sized";
  EXPECT_EQ(system->ForegroundWindow(), other.Id()) << "not activated";
  EXPECT_TRUE(dialog.TopMost() && dialog.Above(overlay));
  EXPECT_FALSE(hidden.TopMost()) << "a hidden window is left alone";

  // The focus given back to the other program's window: the overlay stays above it.
  system->RaiseWindow(other.Id());
  PumpMessages();
  EXPECT_EQ(system->ForegroundWindow(), other.Id());
  EXPECT_TRUE(overlay.Above(other));

  TTestWindow message(160);
  system->PlaceAboveOverlay(message.Id(), 0);
  PumpMessages();
  EXPECT_TRUE(message.Above(overlay) && message.Above(dialog));
  EXPECT_EQ(system->ForegroundWindow(), message.Id());
  EXPECT_EQ(reinterpret_cast<TNativeWindow>(GetFocus()), message.Id());
}

void SendKey(int vk, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = static_cast<WORD>(vk);
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  ASSERT_EQ(SendInput(1, &input, sizeof input), 1u);
  PumpMessages();
}

TEST(KeyState, TapBetweenPollsIsSeenOnceAndAHeldKeyAtEveryPoll) {
  const auto system = CreateWindowSystem("windows", nullptr);
  TTestWindow focused(0);
  system->PlaceAboveOverlay(focused.Id(), 0);
  for (int vk = vkMultiply; vk <= vkDivide; ++vk) system->KeyPressed(vk);  // forget earlier presses
  for (int vk = vkMultiply; vk <= vkDivide; ++vk) {
    EXPECT_FALSE(system->KeyPressed(vk)) << vk;
    SendKey(vk, true);
    SendKey(vk, false);
    EXPECT_TRUE(system->KeyPressed(vk)) << vk << ": tapped, although up again";
    EXPECT_FALSE(system->KeyPressed(vk)) << vk << ": one tap seen once";
  }
  SendKey(vkMultiply, true);
  for (int poll = 0; poll < 3; ++poll) EXPECT_TRUE(system->KeyPressed(vkMultiply)) << poll;
  SendKey(vkMultiply, false);
  EXPECT_FALSE(system->KeyPressed(vkMultiply));
  for (int vk : {0, -1, 255, 1000}) EXPECT_FALSE(system->KeyPressed(vk)) << vk;
}

TEST(HotKeys, TakenRefusedWhileAnotherProcessHoldsItAndReleasedAtExit) {
  {
    TGuardChild holder(L"--hotkey");
    ASSERT_EQ(holder.State(), 'T');
    const auto system = CreateWindowSystem("windows", nullptr);
    EXPECT_FALSE(system->GrabHotKey(1, CtrlAltD)) << "held by another process";
    EXPECT_TRUE(system->GrabHotKey(2, {0x01000030 + 8, hmControl | hmShift})) << "Ctrl+Shift+F9 is free";
    EXPECT_FALSE(system->GrabHotKey(3, {0x01ffffff, 0})) << "no such key";
  }
  auto system = CreateWindowSystem("windows", nullptr);
  ASSERT_TRUE(system->GrabHotKey(1, CtrlAltD)) << "free once the other process has ended";
  int ready = 0;
  system->HotKeyReady = [&ready] { ++ready; };
  for (int vk : {VK_CONTROL, VK_MENU, int('D')}) SendKey(vk, true);
  for (int vk : {int('D'), VK_MENU, VK_CONTROL}) SendKey(vk, false);
  EXPECT_EQ(system->TakeHotKeyPresses(), std::vector<int>{1}) << "one press, one command";
  EXPECT_EQ(ready, 1);
  EXPECT_TRUE(system->TakeHotKeyPresses().empty());
  EXPECT_EQ(TGuardChild(L"--hotkey").State(), 'R');
  system->ReleaseHotKeys();
  EXPECT_EQ(TGuardChild(L"--hotkey").State(), 'T') << "given back by ReleaseHotKeys";
  ASSERT_TRUE(system->GrabHotKey(1, CtrlAltD));
  system.reset();
  EXPECT_EQ(TGuardChild(L"--hotkey").State(), 'T') << "given back when the program ends";
}

TEST(ScreenCapture, OpaquePixelsOrFalseWithThePixelsUntouched) {
  const auto system = CreateWindowSystem("windows", nullptr);
  constexpr std::uint32_t Untouched = 0x12345678;
  std::vector<std::uint32_t> pixels(16 * 8, Untouched);
  const auto untouched = [&] { return std::count(pixels.begin(), pixels.end(), Untouched) == 16 * 8; };
  for (const TPlatformRect& wrong : {TPlatformRect{0, 0, 16, 9}, {0, 0, 0, 8}, {0, 0, -16, -8}}) {
    EXPECT_FALSE(system->CaptureScreen(wrong, pixels));
    EXPECT_TRUE(untouched());
  }
  // Wine without a display has no screen to copy, so this fails there too.
  if (system->CaptureScreen({10, 10, 16, 8}, pixels))
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](std::uint32_t p) { return p >> 24 == 0xFF; }));
  else
    EXPECT_TRUE(untouched());
}

std::string Utf8(const fs::path& path) {
  const std::u8string s = path.u8string();
  return {s.begin(), s.end()};
}

TEST(FileVersion, ReadFromTheExecutablesVersionResource) {
  const fs::path own = OwnPath(), folder = own.parent_path();
  const fs::path renamed = folder / L"versi\u00f3n" / L"K\u00f6rivan.exe";
  fs::create_directories(renamed.parent_path());
  fs::copy_file(own, renamed, fs::copy_options::overwrite_existing);
  const std::pair<std::string, std::string> cases[] = {
      {Utf8(own), KORIVAN_VERSION_TEXT},
      {Utf8(renamed), KORIVAN_VERSION_TEXT},
      {Utf8(folder / KORIVAN_UNVERSIONED_EXE), ""},
      {Utf8(folder / "missing.exe"), ""},
      {"", ""},
  };
  for (const auto& [file, text] : cases) EXPECT_EQ(FileVersionText(file), text) << file;
  fs::remove_all(renamed.parent_path());
}

TEST(Environment, FoldersAreTheShellsOwn) {
  const std::string local = LocalAppDataFolder(), pictures = MyPicturesFolder();
  EXPECT_EQ(local, Env("LOCALAPPDATA"));
  EXPECT_EQ(pictures, Env("USERPROFILE") + "\\Pictures");
  EXPECT_TRUE(fs::is_directory(local) && fs::is_directory(pictures)) << local << " " << pictures;
}

// The test command runs this in a few locales (wine takes it from LANG),
// naming the locale identifier and help page expected for each.
TEST(Environment, JapaneseHelpPageForTheJapaneseLocaleOnly) {
  const std::string expected = Env("KORIVAN_EXPECTED_LOCALE");
  if (expected.empty()) GTEST_SKIP() << "no expected locale given";
  const std::uint32_t locale = UserDefaultLocale();
  EXPECT_EQ(std::to_string(locale) + (HelpPageIsJapanese(locale) ? " ja" : " en"), expected);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--guard") return GuardRole();
  if (argc > 1 && std::string(argv[1]) == "--hotkey") return HotKeyRole();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
