#pragma once

// Operating-system services of the overlay, one backend per window system.
// Free of Qt types so that the Win32 backend and its tests build without Qt.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A native top-level window: an X11 window id or a Win32 HWND.
using TNativeWindow = std::uintptr_t;

struct TPlatformRect {
  std::int32_t X = 0;
  std::int32_t Y = 0;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  friend bool operator==(const TPlatformRect&, const TPlatformRect&) = default;
};

// Virtual-key codes of the numeric keypad, as the hot keys name them.
enum TVirtualKey : int {
  vkMultiply = 106,
  vkAdd = 107,
  vkSeparator = 108,
  vkSubtract = 109,
  vkDecimal = 110,
  vkDivide = 111,
};

// A shortcut: a key in the toolkit's numbering (a Qt::Key value, kept as a
// plain number so that this interface stays free of Qt) with modifiers.
struct THotKey {
  std::uint32_t Key = 0;
  std::uint32_t Modifiers = 0;  // THotKeyModifier bits
  bool Keypad = false;          // the key of the numeric keypad
};
enum THotKeyModifier : std::uint32_t { hmShift = 1, hmControl = 2, hmAlt = 4, hmMeta = 8 };

// A pointer report the platform layer read itself, at the window's device
// pixels (fractions kept).
struct TPointerInput {
  enum TKind : std::uint8_t { Press, Move, Release };
  TKind Kind = Move;
  TNativeWindow Window = 0;
  double X = 0;
  double Y = 0;
  int Button = 0;  // of a press or release: 1 main, 2 middle, 3 secondary, ...
  std::uint32_t Modifiers = 0;  // THotKeyModifier bits held at the report
};

class TWindowSystem {
 public:
  virtual ~TWindowSystem() = default;

  // "x11", "null", ...
  virtual std::string_view Name() const = 0;

  // Only these rectangles (window coordinates) take the pointer; elsewhere it
  // reaches the windows below. Where the system already passes the pointer
  // through fully transparent pixels this does nothing.
  virtual void SetInputRegion(TNativeWindow window, std::span<const TPlatformRect> rects) = 0;
  // The whole window takes the pointer again.
  virtual void SetFullInput(TNativeWindow window) = 0;

  // Where the pointer is on the desktop, in device pixels, whatever window
  // lies under it; false where the system does not tell a client.
  virtual bool PointerPosition(int& /*x*/, int& /*y*/) { return false; }

  // Pointer motion over the window itself (not its native children) reaches
  // the toolkit only while a button is held, or always again. An idle
  // pointer then costs the program nothing.
  virtual void MotionOnlyWhileButtonHeld(TNativeWindow /*window*/, bool /*only*/) {}
  // Where the system allows it, a press over such a window (not over its
  // native children) and the motion and release that follow are read here
  // instead of by the toolkit, all that waits in one go: readable when
  // reports wait; -1 where they reach the toolkit as usual.
  virtual int StrokeInputDescriptor() { return -1; }
  // The reports in order. accept is asked about each press that would
  // start a stroke; a stroke it refuses is dropped to its release.
  virtual std::vector<TPointerInput> TakeStrokeInput(const std::function<bool(TNativeWindow)>& /*accept*/) {
    return {};
  }
  // Reports already read off the descriptor (while waiting for an answer
  // or to write) and so no longer making it readable: take them too.
  virtual bool StrokeInputQueued() { return false; }
  // Writes premultiplied 0xAARRGGBB pixels (rows stride values apart) into
  // the window at rect, in its device pixels, past the toolkit's own copy of
  // the window, which the caller brings up to date later. False where that
  // cannot be done (the window has no alpha), and nothing is written.
  virtual bool DrawIntoWindow(TNativeWindow /*window*/, const TPlatformRect& /*rect*/,
                              const std::uint32_t* /*pixels*/, std::size_t /*stride*/) {
    return false;
  }
  // Returns once the system has carried out every DrawIntoWindow so far, so
  // that the toolkit's painting, which reaches the window another way, lands
  // over those pixels and not under them.
  virtual void FinishDrawingIntoWindow() {}

  // The window that has the user's focus; 0 when none is known.
  virtual TNativeWindow ForegroundWindow() = 0;
  // Puts the window above every other, a fullscreen one included, without
  // moving, sizing or activating it. The program's own windows in keepAbove
  // (its dialogs and messages) may lie above it and are kept there.
  virtual void PlaceTopMost(TNativeWindow window, std::span<const TNativeWindow> keepAbove) = 0;
  // Puts one of the program's own windows (a dialog shown over the overlay)
  // above the overlay and gives it the keyboard.
  virtual void PlaceAboveOverlay(TNativeWindow window, TNativeWindow overlay) = 0;
  // Gives the window the keyboard without changing the stacking order.
  virtual void TakeFocus(TNativeWindow window) = 0;
  // Brings a window to the top of the ordinary stacking order and lets it
  // have the keyboard; it is neither moved nor sized.
  virtual void RaiseWindow(TNativeWindow window) = 0;

  // Whether the key is down now or was pressed since the previous call for
  // it, whichever window has the focus; a quick tap between two polls counts.
  virtual bool KeyPressed(int virtualKey) = 0;

  // Copies what the screen shows in rect (screen device pixels) as opaque
  // 0xFFRRGGBB pixels, row after row, into pixels, which holds exactly
  // rect.Width * rect.Height values. Returns false, with pixels untouched,
  // when the capture cannot be made.
  virtual bool CaptureScreen(const TPlatformRect& rect, std::span<std::uint32_t> pixels) = 0;
  // Why the last capture failed, in words for the user; empty where the
  // system does not say.
  virtual std::string CaptureError() const { return {}; }

  // Shortcuts that reach the program whatever window has the keyboard, which
  // keeps it. False when the key cannot be had: another program holds it, or
  // this system has no such key.
  virtual bool GrabHotKey(int id, const THotKey& key);
  // Gives every grabbed shortcut back.
  virtual void ReleaseHotKeys() {}
  // Readable when presses of grabbed shortcuts wait; -1 where they arrive
  // through the event loop instead, which then calls HotKeyReady.
  virtual int HotKeyDescriptor() { return -1; }
  // The ids of the shortcuts pressed since the last call, in order: one per
  // press, however long the key is held.
  virtual std::vector<int> TakeHotKeyPresses() { return {}; }
  std::function<void()> HotKeyReady;
  // The monitors in screen device pixels, the primary one first; empty where
  // the system does not tell, and the toolkit's own figures stand in.
  virtual std::vector<TPlatformRect> Monitors() { return {}; }
};

// Does nothing and reports no foreground window and no keys: for headless
// runs, and the base of stand-ins that fill in only some services.
class TNullWindowSystem : public TWindowSystem {
 public:
  std::string_view Name() const override { return "null"; }
  void SetInputRegion(TNativeWindow, std::span<const TPlatformRect>) override {}
  void SetFullInput(TNativeWindow) override {}
  TNativeWindow ForegroundWindow() override { return 0; }
  void PlaceTopMost(TNativeWindow, std::span<const TNativeWindow>) override {}
  void PlaceAboveOverlay(TNativeWindow, TNativeWindow) override {}
  void TakeFocus(TNativeWindow) override {}
  void RaiseWindow(TNativeWindow) override {}
  bool KeyPressed(int) override { return false; }
  bool CaptureScreen(const TPlatformRect&, std::span<std::uint32_t>) override { return false; }
};

std::unique_ptr<TWindowSystem> CreateNullWindowSystem();

// The backend for a Qt platform name ("xcb", "windows", "offscreen", ...).
// nativeConnection is the window system's connection the toolkit uses (an
// xcb_connection_t* on X11), so that requests keep their order with the
// toolkit's own; nullptr falls back to a connection of the backend's own.
// Falls back to the null backend when the system cannot be reached.
std::unique_ptr<TWindowSystem> CreateWindowSystem(std::string_view platformName,
                                                  void* nativeConnection);

enum class TInstanceState {
  First,           // this process holds the guard
  AlreadyRunning,  // another process holds it
  Unguarded,       // the guard could not be made; run as if first
};

// The single-instance guard, held for the life of the object (the system
// releases it when the process ends, however it ends). Not inherited by
// started programs.
class TSingleInstance {
 public:
  // In the user's runtime folder.
  explicit TSingleInstance(std::string_view name);
  // In the given folder (which must exist).
  TSingleInstance(std::string_view name, const std::string& folder);
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  TInstanceState State() const { return FState; }

 private:
  void Acquire(std::string_view name, const std::string& folder);

  TInstanceState FState = TInstanceState::Unguarded;
  std::intptr_t FHandle = -1;
};

// The folder for the user's runtime files: $XDG_RUNTIME_DIR (made when it is
// named but missing), or a private folder of this user's that is created
// when missing. Empty when neither can be had safely.
std::string UserRuntimeFolder();

// Where the running instance listens for commands of a later start: a path
// in the user's runtime folder, which must be a folder of this user's that
// only they can enter; empty when there is no such folder.
std::string CommandChannelPath(std::string_view name);
// Whether a channel path may be listened on or connected to: not a symbolic
// link, and, when something is there already, a socket of this user's.
bool IsOwnChannel(const std::string& path);

// A descriptor that becomes readable when the system asks the program to end
// (a terminal's interrupt, a hang-up, the session ending), so that the
// program can close its window and end as the user closing it would. Set up
// once; -1 where the system delivers such requests as window messages.
int CloseRequestDescriptor();
// Reads what made the descriptor readable.
void AcknowledgeCloseRequest();

// The version of an executable file as "major.minor.release.build"; empty
// when the file carries no version information.
std::string FileVersionText(const std::string& fileName);
