#include "platform/wayland/LayerOverlay.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <utility>


TLayerOverlay::~TLayerOverlay() {
  if (!FDisplay) return;
  FTouchTablet.reset();
  if (FTabletManager) zwp_tablet_manager_v2_destroy(FTabletManager);
  if (FFrame) wl_callback_destroy(FFrame);
  FBuffers.reset();
  FCursor.reset();
  if (FLayerSurface) zwlr_layer_surface_v1_destroy(FLayerSurface);
  if (FSurface) wl_surface_destroy(FSurface);
  if (FPointer) wl_pointer_destroy(FPointer);
  if (FKeyboard) wl_keyboard_destroy(FKeyboard);
  if (FSeat) wl_seat_destroy(FSeat);
  for (auto& o : FOutputs) wl_output_destroy(o.Output);
  if (FLayerShell) zwlr_layer_shell_v1_destroy(FLayerShell);
  if (FScreenCopy) zwlr_screencopy_manager_v1_destroy(FScreenCopy);
  if (FShm) wl_shm_destroy(FShm);
  if (FCompositor) wl_compositor_destroy(FCompositor);
  if (FRegistry) wl_registry_destroy(FRegistry);
  wl_display_disconnect(FDisplay);
}

const wl_registry_listener TLayerOverlay::RegistryListener = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t version) {
          auto* self = static_cast<TLayerOverlay*>(data);
          const auto bind = [&](const wl_interface* type, std::uint32_t newest) {
            return wl_registry_bind(registry, name, type, std::min(version, newest));
          };
          if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
            self->FCompositorVersion = std::min(version, 4u);
            self->FCompositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
          } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
            self->FShm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
          } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->FSeat) {
            self->FSeat = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
            wl_seat_add_listener(self->FSeat, &SeatListener, self);
          } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
            auto* output = static_cast<wl_output*>(bind(&wl_output_interface, 2));
            self->FOutputs.push_back({output, name, 1});
            wl_output_add_listener(output, &OutputListener, self);
            if (self->OutputAdded) self->OutputAdded();
          } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
            self->FLayerShellVersion = std::min(version, 4u);
            self->FLayerShell =
                static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 4));
          } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0 &&
                     !std::getenv("KORIVAN_NO_SCREENCOPY")) {
            self->FScreenCopyVersion = std::min(version, 3u);
            self->FScreenCopy =
                static_cast<zwlr_screencopy_manager_v1*>(bind(&zwlr_screencopy_manager_v1_interface, 3));
          } else if (std::strcmp(interface, zwp_tablet_manager_v2_interface.name) == 0 && !self->FTabletManager) {
            self->FTabletManager = static_cast<zwp_tablet_manager_v2*>(bind(&zwp_tablet_manager_v2_interface, 1));
          }
        },
    .global_remove =
        [](void* data, wl_registry*, std::uint32_t name) {
          auto* self = static_cast<TLayerOverlay*>(data);
          auto& outputs = self->FOutputs;
          const auto gone = std::find_if(outputs.begin(), outputs.end(),
                                         [&](const TLayerOutput& o) { return o.Name == name; });
          if (gone == outputs.end()) return;
          std::erase(self->FEntered, gone->Output);
          if (self->FOn == gone->Output) self->FOn = nullptr;
          wl_output_destroy(gone->Output);
          outputs.erase(gone);
        },
};

const wl_output_listener TLayerOverlay::OutputListener = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   const char*, const char*, std::int32_t) {},
    .mode = [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
    .done = [](void*, wl_output*) {},
    .scale =
        [](void* data, wl_output* output, std::int32_t factor) {
          for (auto& o : static_cast<TLayerOverlay*>(data)->FOutputs)
            if (o.Output == output) o.Scale = std::max(1, factor);
        },
    .name = nullptr,  // version 4, not bound
    .description = nullptr,
};


const wl_surface_listener TLayerOverlay::SurfaceListener = {
    .enter = [](void* data,
                wl_surface*, wl_output* output) { static_cast<TLayerOverlay*>(data)->FEntered.push_back(output); },
    .leave = [](void* data, wl_surface*,
                wl_output* output) { std::erase(static_cast<TLayerOverlay*>(data)->FEntered, output); },
};

const wl_callback_listener TLayerOverlay::FrameListener = {
    .done =
        [](void* data, wl_callback* callback, std::uint32_t) {
          auto* self = static_cast<TLayerOverlay*>(data);
          wl_callback_destroy(callback);
          self->FFrame = nullptr;
          if (self->FFramePending) {
            self->FFramePending = false;
            self->Commit();
          } else if (self->FrameDone) {
            self->FrameDone();
          }
        },
};

const zwlr_layer_surface_v1_listener TLayerOverlay::LayerListener = {
    .configure =
        [](void* data, zwlr_layer_surface_v1* surface, std::uint32_t serial, std::uint32_t width,
           std::uint32_t height) {
          auto* self = static_cast<TLayerOverlay*>(data);
          zwlr_layer_surface_v1_ack_configure(surface, serial);
          self->FWidth = static_cast<int>(width);
          self->FHeight = static_cast<int>(height);
          if (self->Configured) self->Configured();
        },
    .closed =
        [](void* data, zwlr_layer_surface_v1*) {
          auto* self = static_cast<TLayerOverlay*>(data);
          self->DropSurface();
          if (self->Closed) self->Closed();
        },
};

bool TLayerOverlay::Open(const char* displayName, std::string& error) {
  FDisplay = wl_display_connect(displayName);
  if (!FDisplay) {
    error = "no Wayland compositor to connect to";
    return false;
  }
  FTouchTablet = std::make_unique<TTouchTablet>([this] { return FSurface; },
                                                [this](const TWaylandPointerEvent& e) { Deliver(this, e); });
  FRegistry = wl_display_get_registry(FDisplay);
  wl_registry_add_listener(FRegistry, &RegistryListener, this);
  // The globals, then the first events of those bound (seat capabilities, output scales).
  if (wl_display_roundtrip(FDisplay) < 0 || wl_display_roundtrip(FDisplay) < 0) {
    error = "the Wayland compositor closed the connection";
    return false;
  }
  if (!FCompositor || !FShm) {
    error = "the Wayland compositor offers no wl_compositor or wl_shm";
    return false;
  }
  FBuffers = std::make_unique<TShmBuffers>(FShm);
  FCursor = std::make_unique<TWaylandCursor>(FCompositor, FCompositorVersion, FShm);
  FTouchTablet->StartTablets(std::exchange(FTabletManager, nullptr), FSeat, FCompositor, FCompositorVersion, FShm);
  return true;
}

bool TLayerOverlay::ReadEvents() {
  while (wl_display_prepare_read(FDisplay) != 0) {
    if (wl_display_dispatch_pending(FDisplay) < 0) return false;
  }
  pollfd p{wl_display_get_fd(FDisplay), POLLIN, 0};
  if (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
    if (wl_display_read_events(FDisplay) < 0) return false;
  } else {
    wl_display_cancel_read(FDisplay);
  }
  return wl_display_dispatch_pending(FDisplay) >= 0;
}

bool TLayerOverlay::Flush() {
  while (wl_display_flush(FDisplay) < 0) {
    if (errno != EAGAIN) return false;
    // The socket is full: wait until the compositor has read some.
    pollfd p{wl_display_get_fd(FDisplay), POLLOUT, 0};
    if (poll(&p, 1, 1000) <= 0) return false;
  }
  return true;
}

bool TLayerOverlay::CreateSurfaceOn(TWaylandKeyboard keyboard, int output) {
  if (!FLayerShell || FSurface || output >= OutputCount()) return false;
  wl_output* on = output >= 0 ? FOutputs[static_cast<std::size_t>(output)].Output : nullptr;
  FOnOutput = on != nullptr;
  Make(keyboard, on);
  return true;
}

bool TLayerOverlay::Remake(TWaylandKeyboard keyboard) {
  if (!FSurface || (FOnOutput && !FOn)) return false;
  DropSurface();
  Make(keyboard, FOn);
  return true;
}

void TLayerOverlay::Make(TWaylandKeyboard keyboard, wl_output* on) {
  FSurface = wl_compositor_create_surface(FCompositor);
  wl_surface_add_listener(FSurface, &SurfaceListener, this);
  FOn = on;
  FLayerSurface = zwlr_layer_shell_v1_get_layer_surface(FLayerShell, FSurface, on,
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

void TLayerOverlay::DropSurface() {
  // A closed layer surface shows nothing again; until a new one, nothing
  // reaches it. The input region asked for stays, for the new one.
  if (FFrame) wl_callback_destroy(std::exchange(FFrame, nullptr));
  if (FLayerSurface) zwlr_layer_surface_v1_destroy(std::exchange(FLayerSurface, nullptr));
  if (FSurface) wl_surface_destroy(std::exchange(FSurface, nullptr));
  FBuffers->Reset();
  FEntered.clear();
  FWidth = FHeight = 0;
  FFramePending = false;
  FPendingDamage.clear();
  FAttachedScale = 1;
}

void TLayerOverlay::SetKeyboard(TWaylandKeyboard keyboard) {
  // On demand came with version 4; before it only "exclusive" could take the
  // keyboard, which would keep it from every other window.
  if (keyboard == TWaylandKeyboard::OnDemand && FLayerShellVersion < 4) keyboard = TWaylandKeyboard::None;
  if (!FLayerSurface || keyboard == FKeyboardMode) return;
  FKeyboardMode = keyboard;
  zwlr_layer_surface_v1_set_keyboard_interactivity(
      FLayerSurface, keyboard == TWaylandKeyboard::Exclusive  ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                     : keyboard == TWaylandKeyboard::OnDemand ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_ON_DEMAND
                                                              : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  if (FWidth > 0) wl_surface_commit(FSurface);
}

int TLayerOverlay::OutputScale() const {
  // Before the surface is shown it is on no output yet: the one asked for
  // counts, else every one, so that the first frame is sharp wherever the
  // compositor puts it.
  int scale = 1;
  for (const auto& o : FOutputs) {
    const bool on = FEntered.empty() ? !FOn || o.Output == FOn
                                     : std::find(FEntered.begin(), FEntered.end(), o.Output) != FEntered.end();
    if (on) scale = std::max(scale, o.Scale);
  }
  return scale;
}

TWaylandPixels TLayerOverlay::AcquireBuffer() {
  if (!FSurface || FWidth <= 0 || FHeight <= 0) return {};
  return FBuffers->Acquire(FWidth * FBufferScale, FHeight * FBufferScale);
}

void TLayerOverlay::Present(std::span<const TPlatformRect> damage) {
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

void TLayerOverlay::Commit() {
  wl_buffer* buffer = FBuffers->TakeForCommit(FPendingDamage, FCommitted);
  FPendingDamage.clear();
  if (!buffer) return;
  if (FAttachedScale != FBufferScale) {
    wl_surface_set_buffer_scale(FSurface, FBufferScale);
    FAttachedScale = FBufferScale;
  }
  wl_surface_attach(FSurface, buffer, 0, 0);
  for (const auto& r : FCommitted) {
    if (FCompositorVersion >= 4) {
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

int TLayerOverlay::ShownOn(int timeoutMs) {
  if (FEntered.empty()) {
    const TWaylandPixels pixels = AcquireBuffer();
    if (!pixels.Pixels) return -1;
    std::memset(pixels.Pixels, 0, static_cast<std::size_t>(pixels.Stride) * static_cast<std::size_t>(pixels.Height));
    Present({});
    // The compositor tells once it has put the surface on an output.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (FEntered.empty() && Flush()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{wl_display_get_fd(FDisplay), POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0 || !ReadEvents()) break;
    }
  }
  for (std::size_t i = 0; i < FOutputs.size(); ++i)
    if (!FEntered.empty() && FOutputs[i].Output == FEntered.front()) return static_cast<int>(i);
  return -1;
}

void TLayerOverlay::SetInputRegion(std::span<const TPlatformRect> rects) {
  FFullInput = false;
  FInput.assign(rects.begin(), rects.end());
  InputChanged();
}

void TLayerOverlay::SetFullInput() {
  FFullInput = true;
  FInput.clear();
  InputChanged();
}

void TLayerOverlay::SetInputOverride(bool full) {
  if (full == FInputOverride) return;
  FInputOverride = full;
  InputChanged();
}

void TLayerOverlay::InputChanged() {
  ApplyInputRegion();
  // Surface state waits for a commit; before the first configure the first
  // buffer's commit carries it.
  if (FWidth > 0) wl_surface_commit(FSurface);
}

void TLayerOverlay::ApplyInputRegion() {
  if (!FSurface) return;
  if (FFullInput || FInputOverride) {
    wl_surface_set_input_region(FSurface, nullptr);
    return;
  }
  wl_region* region = wl_compositor_create_region(FCompositor);
  for (const auto& r : FInput) wl_region_add(region, r.X, r.Y, r.Width, r.Height);
  wl_surface_set_input_region(FSurface, region);
  wl_region_destroy(region);
}

bool TLayerOverlay::CaptureOutput(const TPlatformRect& rect, std::span<std::uint32_t> pixels, int timeoutMs,
                                  std::string& error) {
  // The output the overlay is on, else the one asked for, else the first
  // one; none when the one asked for is gone: another is no stand-in.
  const wl_output* on = FEntered.empty() ? FOn : FEntered.front();
  const TLayerOutput* output = FOutputs.empty() || FOnOutput ? nullptr : &FOutputs.front();
  for (const auto& o : FOutputs)
    if (on && o.Output == on) output = &o;
  return CopyOutput({FDisplay, FShm, FScreenCopy, FScreenCopyVersion, output ? output->Output : nullptr,
                     output ? output->Scale : 1},
                    rect, pixels, timeoutMs, error);
}


std::unique_ptr<TWaylandOverlay> TWaylandOverlay::Connect(const char* displayName, std::string& error) {
  auto overlay = std::make_unique<TLayerOverlay>();
  if (!overlay->Open(displayName, error)) return nullptr;
  return overlay;
}
