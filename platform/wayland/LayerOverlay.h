#pragma once

// The layer-shell overlay on a connection of its own (WaylandOverlay.h); its
// input listeners live in LayerOverlayInput.cpp.

#include "platform/WaylandOverlay.h"

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

struct TLayerOutput {
  wl_output* Output = nullptr;
  std::uint32_t Name = 0;
  int Scale = 1;
};

class TLayerOverlay final : public TWaylandOverlay {
 public:
  ~TLayerOverlay() override;
  bool Open(const char* displayName, std::string& error);

  bool HasLayerShell() const override { return FLayerShell != nullptr; }
  int Descriptor() const override { return FDisplay ? wl_display_get_fd(FDisplay) : -1; }
  bool ReadEvents() override;
  bool Flush() override;
  bool Roundtrip() override { return wl_display_roundtrip(FDisplay) >= 0; }

  bool CreateSurface(TWaylandKeyboard keyboard) override { return CreateSurfaceOn(keyboard, -1); }
  bool CreateSurfaceOn(TWaylandKeyboard keyboard, int output) override;
  bool Remake(TWaylandKeyboard keyboard) override;
  int OutputCount() const override { return static_cast<int>(FOutputs.size()); }
  int ShownOn(int timeoutMs) override;
  void SetKeyboard(TWaylandKeyboard keyboard) override;
  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  int OutputScale() const override;
  void SetBufferScale(int scale) override { FBufferScale = std::max(1, scale); }
  TWaylandPixels AcquireBuffer() override;
  void Present(std::span<const TPlatformRect> damage) override;
  void SetInputRegion(std::span<const TPlatformRect> rects) override;
  void SetFullInput() override;
  void SetInputOverride(bool full) override;
  bool WaitPresented(int timeoutMs) override {
    return !FFrame || DispatchUntil(FDisplay, [this] { return !FFrame; }, timeoutMs);
  }
  bool CaptureOutput(const TPlatformRect& rect, std::span<std::uint32_t> pixels, int timeoutMs,
                     std::string& error) override;
  bool HasScreenCopy() const override { return FScreenCopy != nullptr; }
  void SetCursorShape(int shape) override {
    if (FCursor) FCursor->SetShape(shape, OutputScale());
    if (TWaylandCursor* pens = FTouchTablet ? FTouchTablet->ToolCursor() : nullptr)
      pens->SetShape(shape, OutputScale());
  }
  void SetCursorPicture(const TWaylandPixels& picture, int hotX, int hotY, int scale) override {
    if (FCursor) FCursor->SetPicture(picture, hotX, hotY, scale);
    if (TWaylandCursor* pens = FTouchTablet ? FTouchTablet->ToolCursor() : nullptr)
      pens->SetPicture(picture, hotX, hotY, scale);
  }

 private:
  void Commit();
  void Make(TWaylandKeyboard keyboard, wl_output* on);
  void DropSurface();
  void ApplyInputRegion();
  void InputChanged();
  static void Deliver(void* data, TWaylandPointerEvent event);

  static const wl_registry_listener RegistryListener;
  static const wl_output_listener OutputListener;
  static const wl_seat_listener SeatListener;
  static const wl_pointer_listener PointerListener;
  static const wl_keyboard_listener KeyboardListener;
  static const wl_surface_listener SurfaceListener;
  static const wl_callback_listener FrameListener;
  static const zwlr_layer_surface_v1_listener LayerListener;

  wl_display* FDisplay = nullptr;
  wl_registry* FRegistry = nullptr;
  wl_compositor* FCompositor = nullptr;
  std::uint32_t FCompositorVersion = 0;
  wl_shm* FShm = nullptr;
  wl_seat* FSeat = nullptr;
  wl_pointer* FPointer = nullptr;
  wl_keyboard* FKeyboard = nullptr;
  TXkbKeyboard FXkb;
  TWaylandKeyboard FKeyboardMode = TWaylandKeyboard::None;
  int FRepeatRate = 25;  // a second; the protocol's word comes with the keyboard
  int FRepeatDelay = 600;
  zwlr_layer_shell_v1* FLayerShell = nullptr;
  std::uint32_t FLayerShellVersion = 0;
  zwlr_screencopy_manager_v1* FScreenCopy = nullptr;
  std::uint32_t FScreenCopyVersion = 0;
  std::vector<TLayerOutput> FOutputs;
  std::vector<wl_output*> FEntered;
  wl_output* FOn = nullptr;  // the output asked for, if any, while it is there
  bool FOnOutput = false;    // one was asked for
  double FPointerX = 0;
  double FPointerY = 0;

  wl_surface* FSurface = nullptr;
  zwlr_layer_surface_v1* FLayerSurface = nullptr;
  std::unique_ptr<TShmBuffers> FBuffers;
  std::unique_ptr<TWaylandCursor> FCursor;
  std::unique_ptr<TTouchTablet> FTouchTablet;  // as the pointer
  zwp_tablet_manager_v2* FTabletManager = nullptr;  // until FTouchTablet takes it
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
};
