#include "platform/wayland/WaylandClient.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

TClientSurface::TClientSurface(TWaylandClient& client, TWaylandKeyboard keyboard, wl_output* on)
    : FClient(client), FBuffers(client.FShm) {
  FOnOutput = on != nullptr;
  Make(keyboard, on);
}

TClientSurface::~TClientSurface() {
  FClient.Forget(*this);
  if (FFrame) wl_callback_destroy(FFrame);
  FBuffers.Reset();
  if (FLayerSurface) zwlr_layer_surface_v1_destroy(FLayerSurface);
  if (FSurface) wl_surface_destroy(FSurface);
}

const wl_surface_listener TClientSurface::SurfaceListener = {
    .enter = [](void* data,
                wl_surface*, wl_output* output) { static_cast<TClientSurface*>(data)->FEntered.push_back(output); },
    .leave = [](void* data, wl_surface*,
                wl_output* output) { std::erase(static_cast<TClientSurface*>(data)->FEntered, output); },
};

const wl_callback_listener TClientSurface::FrameListener = {
    .done =
        [](void* data, wl_callback* callback, std::uint32_t) {
          auto* self = static_cast<TClientSurface*>(data);
          wl_callback_destroy(callback);
          self->FFrame = nullptr;
          if (self->FFramePending) {
            self->FFramePending = false;
            self->Commit();
          } else if (self->FListener) {
            self->FListener->FrameDone();
          }
        },
};

const zwlr_layer_surface_v1_listener TClientSurface::LayerListener = {
    .configure =
        [](void* data, zwlr_layer_surface_v1* surface, std::uint32_t serial, std::uint32_t width,
           std::uint32_t height) {
          auto* self = static_cast<TClientSurface*>(data);
          zwlr_layer_surface_v1_ack_configure(surface, serial);
          self->FWidth = static_cast<int>(width);
          self->FHeight = static_cast<int>(height);
          if (self->FListener) self->FListener->Configured();
        },
    .closed =
        [](void* data, zwlr_layer_surface_v1*) {
          auto* self = static_cast<TClientSurface*>(data);
          self->DropSurface();
          if (self->FListener) self->FListener->Closed();
        },
};

void TClientSurface::OutputGone(wl_output* output) {
  std::erase(FEntered, output);
  if (FOn == output) FOn = nullptr;
}

bool TClientSurface::Remake(TWaylandKeyboard keyboard) {
  if (!FSurface || (FOnOutput && !FOn)) return false;
  DropSurface();
  Make(keyboard, FOn);
  return true;
}

bool TClientSurface::Reopen(TWaylandKeyboard keyboard) {
  if (FSurface) return false;
  FOnOutput = false;
  Make(keyboard, nullptr);
  return true;
}

void TClientSurface::Make(TWaylandKeyboard keyboard, wl_output* on) {
  FSurface = wl_compositor_create_surface(FClient.FCompositor);
  wl_surface_add_listener(FSurface, &SurfaceListener, this);
  FOn = on;
  FLayerSurface = zwlr_layer_shell_v1_get_layer_surface(FClient.FLayerShell, FSurface, on,
                                                        ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "korivan-dsk");
  zwlr_layer_surface_v1_add_listener(FLayerSurface, &LayerListener, this);
  zwlr_layer_surface_v1_set_anchor(FLayerSurface, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                      ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                      ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                      ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_size(FLayerSurface, 0, 0);
  zwlr_layer_surface_v1_set_exclusive_zone(FLayerSurface, -1);
  FKeyboardMode = TWaylandKeyboard::None;  // the protocol's initial state
  SetKeyboard(keyboard);
  ApplyInputRegion();
  // The first commit carries no buffer: it asks for the size.
  wl_surface_commit(FSurface);
}

void TClientSurface::DropSurface() {
  // A closed layer surface shows nothing again; until a new one, nothing
  // reaches it. The input region asked for stays, for the new one.
  if (FFrame) wl_callback_destroy(std::exchange(FFrame, nullptr));
  if (FLayerSurface) zwlr_layer_surface_v1_destroy(std::exchange(FLayerSurface, nullptr));
  if (FSurface) wl_surface_destroy(std::exchange(FSurface, nullptr));
  FBuffers.Reset();
  FEntered.clear();
  FWidth = FHeight = 0;
  FFramePending = false;
  FPendingDamage.clear();
  FAttachedScale = 1;
}

void TClientSurface::SetKeyboard(TWaylandKeyboard keyboard) {
  // On demand came with version 4; before it only "exclusive" could take the
  // keyboard, which would keep it from every other window.
  if (keyboard == TWaylandKeyboard::OnDemand && FClient.FLayerShellVersion < 4) keyboard = TWaylandKeyboard::None;
  if (!FLayerSurface || keyboard == FKeyboardMode) return;
  FKeyboardMode = keyboard;
  zwlr_layer_surface_v1_set_keyboard_interactivity(
      FLayerSurface, keyboard == TWaylandKeyboard::Exclusive  ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                     : keyboard == TWaylandKeyboard::OnDemand ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_ON_DEMAND
                                                              : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  if (FWidth > 0) wl_surface_commit(FSurface);
}

int TClientSurface::OutputScale() const {
  // Before the surface is shown it is on no output yet: the one asked for
  // counts, else every one, so that the first frame is sharp wherever the
  // compositor puts it.
  int scale = 1;
  for (const auto& o : FClient.FOutputs) {
    const bool on = FEntered.empty() ? !FOn || o.Output == FOn
                                     : std::find(FEntered.begin(), FEntered.end(), o.Output) != FEntered.end();
    if (on) scale = std::max(scale, o.Scale);
  }
  return scale;
}

TWaylandPixels TClientSurface::AcquireBuffer(int scale) {
  FBufferScale = std::max(1, scale);
  if (!FSurface || FWidth <= 0 || FHeight <= 0) return {};
  return FBuffers.Acquire(FWidth * FBufferScale, FHeight * FBufferScale);
}

void TClientSurface::Present(std::span<const TPlatformRect> damage) {
  if (!FSurface) return;
  if (damage.empty()) {
    FPendingDamage.clear();
    FPendingDamage.push_back({0, 0, FWidth * FBufferScale, FHeight * FBufferScale});
  } else {
    FPendingDamage.insert(FPendingDamage.end(), damage.begin(), damage.end());
  }
  if (FFrame) {
    FFramePending = true;  // goes when the compositor is ready
    return;
  }
  Commit();
}

void TClientSurface::Commit() {
  wl_buffer* buffer = FBuffers.TakeForCommit(FPendingDamage, FCommitted);
  FPendingDamage.clear();
  if (!buffer) return;
  if (FAttachedScale != FBufferScale) {
    wl_surface_set_buffer_scale(FSurface, FBufferScale);
    FAttachedScale = FBufferScale;
  }
  wl_surface_attach(FSurface, buffer, 0, 0);
  for (const auto& r : FCommitted) {
    if (FClient.FCompositorVersion >= 4) {
      wl_surface_damage_buffer(FSurface, r.X, r.Y, r.Width, r.Height);
    } else {
      wl_surface_damage(FSurface, 0, 0, INT32_MAX, INT32_MAX);
      break;
    }
  }
  FFrame = wl_surface_frame(FSurface);
  wl_callback_add_listener(FFrame, &FrameListener, this);
  wl_surface_commit(FSurface);
}

bool TClientSurface::WaitPresented(int timeoutMs) {
  return !FFrame || DispatchUntil(FClient.FDisplay, [this] { return !FFrame; }, timeoutMs);
}

int TClientSurface::ShownOn(int timeoutMs) {
  if (FEntered.empty()) {
    const TWaylandPixels pixels = AcquireBuffer(FBufferScale);
    if (!pixels.Pixels) return -1;
    std::memset(pixels.Pixels, 0, static_cast<std::size_t>(pixels.Stride) * static_cast<std::size_t>(pixels.Height));
    Present({});
    // The compositor tells once it has put the surface on an output.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (FEntered.empty() && FClient.Flush()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{wl_display_get_fd(FClient.FDisplay), POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 || !FClient.ReadEvents()) break;
    }
  }
  const auto& outputs = FClient.FOutputs;
  for (std::size_t i = 0; i < outputs.size(); ++i)
    if (!FEntered.empty() && outputs[i].Output == FEntered.front()) return static_cast<int>(i);
  return -1;
}

void TClientSurface::SetInputRegion(std::span<const TPlatformRect> rects) {
  FFullInput = false;
  FInput.assign(rects.begin(), rects.end());
  InputChanged();
}

void TClientSurface::SetFullInput() {
  FFullInput = true;
  FInput.clear();
  InputChanged();
}

void TClientSurface::SetInputOverride(bool full) {
  if (full == FInputOverride) return;
  FInputOverride = full;
  InputChanged();
}

void TClientSurface::InputChanged() {
  ApplyInputRegion();
  // Surface state waits for a commit; before the first configure the first
  // buffer's commit carries it.
  if (FWidth > 0) wl_surface_commit(FSurface);
}

void TClientSurface::ApplyInputRegion() {
  if (!FSurface) return;
  if (FFullInput || FInputOverride) {
    wl_surface_set_input_region(FSurface, nullptr);
    return;
  }
  wl_region* region = wl_compositor_create_region(FClient.FCompositor);
  for (const auto& r : FInput) wl_region_add(region, r.X, r.Y, r.Width, r.Height);
  wl_surface_set_input_region(FSurface, region);
  wl_region_destroy(region);
}

bool TClientSurface::CaptureOutput(const TPlatformRect& rect, std::span<std::uint32_t> pixels, int timeoutMs,
                                   std::string& error) {
  // The output the overlay is on, else the one asked for, else the first
  // one; none when the one asked for is gone: another one would be the wrong picture.
  const wl_output* on = FEntered.empty() ? FOn : FEntered.front();
  const auto& outputs = FClient.FOutputs;
  const TClientOutput* output = outputs.empty() || FOnOutput ? nullptr : &outputs.front();
  for (const auto& o : outputs)
    if (on && o.Output == on) output = &o;
  return CopyOutput({FClient.FDisplay, FClient.FShm, FClient.FScreenCopy, FClient.FScreenCopyVersion,
                     output ? output->Output : nullptr, output ? output->Scale : 1},
                    rect, pixels, timeoutMs, error);
}

void TClientSurface::Deliver(TWaylandPointerEvent event) {
  // Buttons come without a position: they happen where the pointer last was.
  if (event.Kind == TWaylandPointerEvent::Press) {
    event.X = FPointerX;
    event.Y = FPointerY;
  } else {
    FPointerX = event.X;
    FPointerY = event.Y;
  }
  if (FListener) FListener->Pointer(event);
}

void TClientSurface::SetCursorShape(int shape) {
  FCursorShape = shape;
  FCursorPixels.clear();
  FClient.CursorChanged(*this);
}

void TClientSurface::SetCursorPicture(const TWaylandPixels& picture, int hotX, int hotY, int scale) {
  if (!picture.Pixels || picture.Width <= 0 || picture.Height <= 0) return;
  FCursorShape = -1;
  FCursorPixels.resize(static_cast<std::size_t>(picture.Width) * static_cast<std::size_t>(picture.Height));
  for (int y = 0; y < picture.Height; ++y)
    std::memcpy(FCursorPixels.data() + static_cast<std::ptrdiff_t>(y) * picture.Width,
                reinterpret_cast<const char*>(picture.Pixels) + static_cast<std::ptrdiff_t>(y) * picture.Stride,
                static_cast<std::size_t>(picture.Width) * 4);
  FCursorWidth = picture.Width;
  FCursorHeight = picture.Height;
  FCursorHotX = hotX;
  FCursorHotY = hotY;
  FCursorScale = scale;
  FClient.CursorChanged(*this);
}

void TClientSurface::ShowCursorOn(TWaylandCursor& cursor) const {
  if (FCursorShape >= 0) {
    cursor.SetShape(FCursorShape, OutputScale());
    return;
  }
  // The cursor copies it.
  const TWaylandPixels picture{const_cast<std::uint32_t*>(FCursorPixels.data()), FCursorWidth, FCursorHeight,
                               FCursorWidth * 4};
  cursor.SetPicture(picture, FCursorHotX, FCursorHotY, FCursorScale);
}
