#pragma once

// The overlay as a native Wayland client: a layer surface above every window
// and panel, on a connection of its own (not the toolkit's), so that it needs
// no private toolkit interfaces. Built only where libwayland-client is found
// (KORIVAN_HAVE_WAYLAND). Free of Qt: the caller paints into the shared
// buffers (a premultiplied ARGB32 QImage over Pixels has the same bytes on
// little-endian) and watches Descriptor() for the events.

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
  std::uint32_t Key = 0;  // in the toolkit's numbering (Qt::Key values); 0 when it has none
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

class TWaylandOverlay {
 public:
  // Connects to the compositor that displayName names (nullptr: the one of
  // WAYLAND_DISPLAY). Null, with the reason in error, when there is none or it
  // lacks the compositor, shared-memory or seat services.
  static std::unique_ptr<TWaylandOverlay> Connect(const char* displayName, std::string& error);
  virtual ~TWaylandOverlay() = default;

  // Whether the compositor offers the layer shell, without which there can be
  // no overlay surface (GNOME's, weston).
  virtual bool HasLayerShell() const = 0;

  // The connection's descriptor: call ReadEvents when it is readable and
  // Flush before the event loop blocks. False once the connection is lost.
  virtual int Descriptor() const = 0;
  virtual bool ReadEvents() = 0;
  virtual bool Flush() = 0;
  // Waits until the compositor has handled every request so far.
  virtual bool Roundtrip() = 0;

  // Makes the overlay surface: the overlay layer, all four edges, over every
  // exclusive zone, on the compositor's choice of output. False without the
  // layer shell or when one exists already (a closed one does not). Nothing
  // is shown before the first Present after Configured.
  virtual bool CreateSurface(TWaylandKeyboard keyboard) = 0;
  // The same on one output, by its place in the compositor's list (0 to
  // OutputCount() - 1): one surface, and so one connection, per output.
  virtual bool CreateSurfaceOn(TWaylandKeyboard keyboard, int output) = 0;
  virtual int OutputCount() const = 0;
  // The surface made anew where it was asked for, lying now below those
  // made before it in the same layer; false without one or when its
  // output is gone.
  virtual bool Remake(TWaylandKeyboard keyboard) = 0;
  // Shows a transparent first picture and waits, at most timeoutMs, until
  // the compositor says which output the surface is on: its place in the
  // list, -1 when that is not known.
  virtual int ShownOn(int timeoutMs) = 0;
  virtual void SetKeyboard(TWaylandKeyboard keyboard) = 0;
  // The size the compositor gave, in logical pixels; 0 before it has.
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // The largest scale of the outputs the surface is on; before it is on one,
  // of every output.
  virtual int OutputScale() const = 0;
  // The scale of the buffers from the next AcquireBuffer on.
  virtual void SetBufferScale(int scale) = 0;

  // A buffer the compositor is not reading, holding the last picture
  // presented (only the damage of the next frame needs painting; a new size
  // starts transparent); empty when there is no size yet, the memory cannot
  // be had or both buffers are still with the compositor.
  virtual TWaylandPixels AcquireBuffer() = 0;
  // Shows the buffer last acquired; damage in device pixels (empty: all of
  // it). While the previous frame is still on its way the newest buffer
  // waits and goes at the compositor's next frame callback.
  virtual void Present(std::span<const TPlatformRect> damage) = 0;

  // Only these rectangles (logical pixels) take the pointer; none lets every
  // click through to the windows below.
  virtual void SetInputRegion(std::span<const TPlatformRect> rects) = 0;
  // The whole surface takes the pointer.
  virtual void SetFullInput() = 0;
  // While on, the whole surface takes the pointer whatever region was set
  // (a dialog of the program's is open on it); off, the last region again.
  virtual void SetInputOverride(bool full) = 0;

  // Waits, at most timeoutMs, until the compositor has shown the last
  // picture presented (its frame callback came back).
  virtual bool WaitPresented(int timeoutMs) = 0;
  // Copies rect (device pixels of the surface's output) as opaque 0xFFRRGGBB
  // pixels through the compositor's screen copy, without the pointer, waiting
  // at most timeoutMs for it. False, pixels untouched and why in error, when
  // it cannot be made (no such service, no answer, a refusal).
  virtual bool CaptureOutput(const TPlatformRect& rect, std::span<std::uint32_t> pixels, int timeoutMs,
                             std::string& error) = 0;
  // Whether the compositor offers that screen copy. With KORIVAN_NO_SCREENCOPY
  // set it is left unused, to try the other ways of reading the screen.
  virtual bool HasScreenCopy() const = 0;

  // Asked to present what changed at once, before the screen is read.
  std::function<void()> BeforeCapture;
  // Another way to read the whole screen, for compositors without the screen
  // copy: same contract as CaptureOutput.
  std::function<bool(const TPlatformRect&, std::span<std::uint32_t>, std::string&)> FallbackCapture;

  // The pointer's picture over the surface: a shape of the user's cursor
  // theme by the toolkit's number (a Qt::CursorShape value; blank hides it),
  // or a picture of the program's, hot spot in surface pixels, scale its
  // pixels to one of the surface's (width and height multiples of it).
  virtual void SetCursorShape(int shape) = 0;
  virtual void SetCursorPicture(const TWaylandPixels& picture, int hotX, int hotY, int scale) = 0;

  std::function<void()> Configured;  // a size was given (again)
  std::function<void()> FrameDone;   // the compositor is ready for a new frame
  std::function<void(const TWaylandPointerEvent&)> Pointer;
  // The compositor took the surface away (its output went): nothing is shown
  // again, Width() is 0, until a new one is made.
  std::function<void()> Closed;
  std::function<void()> OutputAdded;  // an output came, before its scale is known
  std::function<void(const TWaylandKeyEvent&)> Key;  // while the surface has the keyboard
  std::function<void()> KeyboardLeft;  // no key reaches it now: none is held
};

// The window-system services of a program whose overlay is the layer
// surface: the input region goes to it; stacking and focus are the
// compositor's, so those do nothing.
// deviceScale: the toolkit's device pixels per surface pixel, in which the
// input region comes.
std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(TWaylandOverlay& overlay, double deviceScale = 1);
// Another output's surface and where its output lies on the desktop the
// program sees: the top left corner in device pixels, the origin being the
// main surface's; its size is the surface's at its scale now.
struct TWaylandOutputPlace {
  TWaylandOverlay* Overlay = nullptr;
  int X = 0;
  int Y = 0;
};
// The same for a surface on each of several outputs: overlayOf names the one
// a window of the program's lies on (null for none); main is the main
// window's, at the origin; a save reads each output that the part of the
// desktop asked for covers (others), black where none lies.
std::unique_ptr<TWindowSystem> CreateWaylandWindowSystem(TWaylandOverlay& main,
                                                         std::function<TWaylandOverlay*(TNativeWindow)> overlayOf,
                                                         double deviceScale,
                                                         const std::vector<TWaylandOutputPlace>& others = {});
