#pragma once

// The overlay as a native Wayland client: one connection of its own (not
// Qt's) with one layer surface per output, above every window and panel, so
// that it needs no private Qt interfaces. Built only where libwayland-client
// is found (KORIVAN_HAVE_WAYLAND). Free of Qt: the caller paints into the
// shared buffers (a premultiplied ARGB32 QImage over Pixels has the same
// bytes on little-endian) and watches Descriptor() for the events.

#include "platform/Platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct TWaylandPointerEvent {
  enum TKind { Enter, Motion, Press, Leave };  // Press: a button pressed or released
  TKind Kind = Motion;
  double X = 0;  // surface coordinates (logical pixels); where the pointer is for buttons
  double Y = 0;
  std::uint32_t Button = 0;  // Linux input code: 0x110 left, 0x111 right, 0x112 middle
  bool Pressed = false;
  std::uint32_t Time = 0;  // milliseconds, for motion and buttons
};

struct TWaylandKeyEvent {
  std::uint32_t Key = 0;  // in Qt's numbering (Qt::Key values); 0 when it has none
  bool Keypad = false;
  std::uint32_t Modifiers = 0;  // THotKeyModifier bits
  std::string Text;             // what the key types (UTF-8), empty for none
  bool Pressed = false;
  // A press held this long (ms) repeats every RepeatInterval ms, as the
  // compositor says; 0 for keys that do not repeat.
  int RepeatDelay = 0;
  int RepeatInterval = 0;
  std::uint32_t Code = 0;  // the key itself, the same on release whatever the modifiers
};

// When the surface takes the keyboard: never, when clicked, or at once and
// for as long as it is so (a dialog of the program's is open).
enum class TWaylandKeyboard { None, OnDemand, Exclusive };

// Premultiplied 0xAARRGGBB pixels, row after row, Stride bytes apart.
struct TWaylandPixels {
  std::uint32_t* Pixels = nullptr;
  int Width = 0;  // device pixels: the surface's size times the buffer scale
  int Height = 0;
  int Stride = 0;
};

// What a layer surface tells its owner, from inside the connection's
// ReadEvents or Roundtrip. Input comes to the surface that the pointer, the
// finger or the pen went down on, keys to the one that has the keyboard.
class TLayerSurfaceListener {
 public:
  virtual void Configured() {}  // a size was given (again)
  virtual void FrameDone() {}   // the compositor is ready for a new frame
  // The compositor took the surface away (its output went): nothing is shown
  // again, Width() is 0, until it is made anew.
  virtual void Closed() {}
  virtual void OutputAdded() {}  // an output came, before its scale is known
  virtual void Pointer(const TWaylandPointerEvent&) {}
  virtual void Key(const TWaylandKeyEvent&) {}  // while the surface has the keyboard
  virtual void KeyboardLeft() {}                // no key reaches it now: none is held
  // Asked to present what changed at once, before the screen is read.
  virtual void BeforeCapture() {}

 protected:
  ~TLayerSurfaceListener() = default;
};

// One layer surface: the overlay layer, all four edges, over every exclusive
// zone. Nothing is shown before the first Present after Configured.
class TLayerSurface {
 public:
  virtual ~TLayerSurface() = default;
  // Null: nothing is told from now on (what it shows stays).
  virtual void SetListener(TLayerSurfaceListener* listener) = 0;
  virtual TLayerSurfaceListener* Listener() const = 0;

  // Made anew where it was asked for, lying now below those made before it
  // in the same layer; false when its output is gone.
  virtual bool Remake(TWaylandKeyboard keyboard) = 0;
  // Made anew on the compositor's choice of output, once it was closed;
  // false before.
  virtual bool Reopen(TWaylandKeyboard keyboard) = 0;
  // Shows a transparent first picture and waits, at most timeoutMs, until
  // the compositor says which output the surface is on: its place in the
  // list, -1 when that is not known.
  virtual int ShownOn(int timeoutMs) = 0;
  virtual void SetKeyboard(TWaylandKeyboard keyboard) = 0;
  // The size the compositor gave, in logical pixels; 0 before it has.
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // The largest scale of the outputs the surface is on; before it is on one,
  // of the one asked for, else of every output.
  virtual int OutputScale() const = 0;

  // A buffer of that scale the compositor is not reading, holding the last
  // picture presented (only the damage of the next frame needs painting; a
  // new size starts transparent); empty when there is no size yet, the
  // memory cannot be had or both buffers are still with the compositor.
  virtual TWaylandPixels AcquireBuffer(int scale) = 0;
  // Shows the buffer last acquired; damage in device pixels (empty: all of
  // it). While the previous frame is still on its way the newest buffer
  // waits and goes at the compositor's next frame callback.
  virtual void Present(std::span<const TPlatformRect> damage) = 0;
  // Waits, at most timeoutMs, until the compositor has shown the last
  // picture presented (its frame callback came back).
  virtual bool WaitPresented(int timeoutMs) = 0;

  // Only these rectangles (logical pixels) take the pointer; none lets every
  // click through to the windows below.
  virtual void SetInputRegion(std::span<const TPlatformRect> rects) = 0;
  // The whole surface takes the pointer.
  virtual void SetFullInput() = 0;
  // While on, the whole surface takes the pointer whatever region was set
  // (a dialog of the program's is open on it); off, the last region again.
  virtual void SetInputOverride(bool full) = 0;

  // Copies rect (device pixels of the surface's output) as opaque 0xFFRRGGBB
  // pixels through the compositor's screen copy, without the pointer, waiting
  // at most timeoutMs for it. False, pixels untouched and why in error, when
  // it cannot be made (no such service, no answer, a refusal).
  virtual bool CaptureOutput(const TPlatformRect& rect, std::span<std::uint32_t> pixels, int timeoutMs,
                             std::string& error) = 0;

  // The pointer's picture over the surface, shown whenever the pointer or a
  // pen is on it: a shape of the user's cursor theme by Qt's number (a
  // Qt::CursorShape value; blank hides it), or a picture of the program's,
  // hot spot in surface pixels, scale its pixels to one of the surface's
  // (width and height multiples of it).
  virtual void SetCursorShape(int shape) = 0;
  virtual void SetCursorPicture(const TWaylandPixels& picture, int hotX, int hotY, int scale) = 0;
};

// The connection, with the seat (pointer, keyboard, touch, pens), the
// pointer's picture and the screen copy shared by its surfaces.
class TWaylandConnection {
 public:
  // Connects to the compositor that displayName names (nullptr: the one of
  // WAYLAND_DISPLAY). Null, with the reason in error, when there is none or it
  // lacks the compositor or shared-memory services.
  static std::unique_ptr<TWaylandConnection> Connect(const char* displayName, std::string& error);
  virtual ~TWaylandConnection() = default;

  // Whether the compositor offers the layer shell, without which there can be
  // no overlay surface (GNOME's, weston).
  virtual bool HasLayerShell() const = 0;
  // Whether it offers the screen copy. With KORIVAN_NO_SCREENCOPY set it is
  // left unused, to try the other ways of reading the screen.
  virtual bool HasScreenCopy() const = 0;

  // The connection's descriptor: call ReadEvents when it is readable and
  // Flush before the event loop blocks. False once the connection is lost.
  virtual int Descriptor() const = 0;
  virtual bool ReadEvents() = 0;
  virtual bool Flush() = 0;
  // Waits until the compositor has handled every request so far.
  virtual bool Roundtrip() = 0;

  virtual int OutputCount() const = 0;
  // A layer surface on one output, by its place in the compositor's list (0
  // to OutputCount() - 1), or -1 for the compositor's choice. Null without
  // the layer shell or for no such output. Each is destroyed before the
  // connection.
  virtual std::unique_ptr<TLayerSurface> CreateSurface(TWaylandKeyboard keyboard, int output = -1) = 0;
};

// A surface on an output other than the main window's, and where that
// output lies on the desktop the program sees: the top left corner in device
// pixels, the origin being the main surface's; its size is the surface's at
// its scale now.
struct TWaylandOutputPlace {
  TLayerSurface* Surface = nullptr;
  int X = 0;
  int Y = 0;
};

// Another way to read the whole screen, for compositors without the screen
// copy: the contract of TLayerSurface::CaptureOutput.
using TWaylandFallbackCapture = std::function<bool(const TPlatformRect&, std::span<std::uint32_t>, std::string&)>;

// The window-system services of a program whose overlay is made of layer
// surfaces: the input region goes to the surface that the window lies on
// (surfaceOf: null for none); stacking and focus are the compositor's, so
// those do nothing. main is the main window's, at the origin; a save reads
// each output that the part of the desktop asked for covers (others), black
// where none lies. deviceScale: Qt's device pixels per surface pixel, in
// which the input region comes.
std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(const TWaylandConnection& connection, TLayerSurface& main,
                                                         std::function<TLayerSurface*(TNativeWindow)> surfaceOf,
                                                         double deviceScale,
                                                         const std::vector<TWaylandOutputPlace>& others = {},
                                                         TWaylandFallbackCapture fallback = {});
