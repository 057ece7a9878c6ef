#pragma once

// The connection and its layer surfaces (WaylandConnection.h): the globals,
// the seat and the routing of its input in WaylandClient.cpp and
// WaylandClientInput.cpp, each surface in LayerSurface.cpp.

#include "platform/WaylandConnection.h"

#include "platform/wayland/ScreenCopy.h"
#include "platform/wayland/ShmBuffers.h"
#include "platform/wayland/TouchTablet.h"
#include "platform/wayland/WaylandCursor.h"
#include "platform/wayland/XkbKeyboard.h"

#include <wayland-client.h>

// The protocol names a parameter "namespace", a keyword here.
#ifdef __clang__
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wkeyword-macro"
#endif
#define namespace name_space
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "tablet-unstable-v2-client-protocol.h"
#ifdef __clang__
#pragma clang diagnostic pop
#endif

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TClientOutput {
  wl_output* Output = nullptr;
  std::uint32_t Name = 0;
  int Scale = 1;
};

class TWaylandClient;

class TClientSurface final : public TLayerSurface {
 public:
  TClientSurface(TWaylandClient& client, TWaylandKeyboard keyboard, wl_output* on);
  ~TClientSurface() override;

  void SetListener(TLayerSurfaceListener* listener) override { FListener = listener; }
  TLayerSurfaceListener* Listener() const override { return FListener; }
  bool Remake(TWaylandKeyboard keyboard) override;
  bool Reopen(TWaylandKeyboard keyboard) override;
  int ShownOn(int timeoutMs) override;
  void SetKeyboard(TWaylandKeyboard keyboard) override;
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  int OutputScale() const override;
  TWaylandPixels AcquireBuffer(int scale) override;
  void Present(std::span<const TPlatformRect> damage) override;
  bool WaitPresented(int timeoutMs) override;
  void SetInputRegion(std::span<const TPlatformRect> rects) override;
  void SetFullInput() override;
  void SetInputOverride(bool full) override;
  bool CaptureOutput(const TPlatformRect& rect, std::span<std::uint32_t> pixels, int timeoutMs,
                     std::string& error) override;
  void SetCursorShape(int shape) override;
  void SetCursorPicture(const TWaylandPixels& picture, int hotX, int hotY, int scale) override;

  // For the connection's routing.
  wl_surface* Surface() const { return FSurface; }
  // Gives a cursor the picture this surface asks for.
  void ShowCursorOn(TWaylandCursor& cursor) const;
  // An event of the pointer, a finger or a pen, to the listener; buttons
  // come without a place and happen where the pointer last was.
  void Deliver(TWaylandPointerEvent event);
  void Left() { Deliver({TWaylandPointerEvent::Leave, FPointerX, FPointerY}); }
  void OutputGone(wl_output* output);

 private:
  void Commit();
  void Make(TWaylandKeyboard keyboard, wl_output* on);
  void DropSurface();
  void ApplyInputRegion();
  void InputChanged();

  static const wl_surface_listener SurfaceListener;
  static const wl_callback_listener FrameListener;
  static const zwlr_layer_surface_v1_listener LayerListener;

  TWaylandClient& FClient;
  TLayerSurfaceListener* FListener = nullptr;
  TWaylandKeyboard FKeyboardMode = TWaylandKeyboard::None;
  std::vector<wl_output*> FEntered;
  wl_output* FOn = nullptr;  // the output asked for, if any, while it is there
  bool FOnOutput = false;    // one was asked for
  double FPointerX = 0;
  double FPointerY = 0;

  wl_surface* FSurface = nullptr;
  zwlr_layer_surface_v1* FLayerSurface = nullptr;
  TShmBuffers FBuffers;
  wl_callback* FFrame = nullptr;
  int FWidth = 0;
  int FHeight = 0;
  int FBufferScale = 1;
  int FAttachedScale = 1;
  bool FFramePending = false;  // presented while the previous frame was on its way
  std::vector<TPlatformRect> FPendingDamage;
  bool FFullInput = true;
  bool FInputOverride = false;
  std::vector<TPlatformRect> FInput;
  std::vector<TPlatformRect> FCommitted;

  // The pointer's picture asked for: a shape, or (Shape -1) a copy of a picture.
  int FCursorShape = 0;  // Qt::ArrowCursor
  std::vector<std::uint32_t> FCursorPixels;
  int FCursorWidth = 0;
  int FCursorHeight = 0;
  int FCursorHotX = 0;
  int FCursorHotY = 0;
  int FCursorScale = 1;
};

class TWaylandClient final : public TWaylandConnection {
 public:
  ~TWaylandClient() override;
  bool Open(const char* displayName, std::string& error);

  bool HasLayerShell() const override { return FLayerShell != nullptr; }
  bool HasScreenCopy() const override { return FScreenCopy != nullptr; }
  int Descriptor() const override { return FDisplay ? wl_display_get_fd(FDisplay) : -1; }
  bool ReadEvents() override;
  bool Flush() override;
  bool Roundtrip() override { return wl_display_roundtrip(FDisplay) >= 0; }
  int OutputCount() const override { return static_cast<int>(FOutputs.size()); }
  std::unique_ptr<TLayerSurface> CreateSurface(TWaylandKeyboard keyboard, int output) override;

 private:
  friend class TClientSurface;
  TClientSurface* SurfaceOf(const wl_surface* surface) const;
  // The surface's picture to the cursors of the pointer and the pen on it.
  void CursorChanged(const TClientSurface& surface);
  void Forget(const TClientSurface& surface);

  static const wl_registry_listener RegistryListener;
  static const wl_output_listener OutputListener;
  static const wl_seat_listener SeatListener;
  static const wl_pointer_listener PointerListener;
  static const wl_keyboard_listener KeyboardListener;

  wl_display* FDisplay = nullptr;
  wl_registry* FRegistry = nullptr;
  wl_compositor* FCompositor = nullptr;
  std::uint32_t FCompositorVersion = 0;
  wl_shm* FShm = nullptr;
  wl_seat* FSeat = nullptr;
  wl_pointer* FPointer = nullptr;
  wl_keyboard* FKeyboard = nullptr;
  TXkbKeyboard FXkb;
  int FRepeatRate = 25;  // a second; the protocol's word comes with the keyboard
  int FRepeatDelay = 600;
  zwlr_layer_shell_v1* FLayerShell = nullptr;
  std::uint32_t FLayerShellVersion = 0;
  zwlr_screencopy_manager_v1* FScreenCopy = nullptr;
  std::uint32_t FScreenCopyVersion = 0;
  std::vector<TClientOutput> FOutputs;

  std::vector<TClientSurface*> FSurfaces;
  TClientSurface* FPointerFocus = nullptr;
  TClientSurface* FKeyboardFocus = nullptr;
  std::unique_ptr<TWaylandCursor> FCursor;
  std::unique_ptr<TTouchTablet> FTouchTablet;  // as the pointer
  zwp_tablet_manager_v2* FTabletManager = nullptr;  // until FTouchTablet takes it
};
