#include "platform/wayland/WaylandClient.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

TWaylandClient::~TWaylandClient() {
  if (!FDisplay) return;
  FTouchTablet.reset();
  if (FTabletManager) zwp_tablet_manager_v2_destroy(FTabletManager);
  FCursor.reset();
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

const wl_registry_listener TWaylandClient::RegistryListener = {
    .global =
        [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
           std::uint32_t version) {
          auto* self = static_cast<TWaylandClient*>(data);
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
            // A listener may make or drop surfaces.
            for (TClientSurface* s : std::vector(self->FSurfaces))
              if (s->Listener()) s->Listener()->OutputAdded();
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
          auto* self = static_cast<TWaylandClient*>(data);
          auto& outputs = self->FOutputs;
          const auto gone = std::find_if(outputs.begin(), outputs.end(),
                                         [&](const TClientOutput& o) { return o.Name == name; });
          if (gone == outputs.end()) return;
          for (TClientSurface* s : self->FSurfaces) s->OutputGone(gone->Output);
          wl_output_destroy(gone->Output);
          outputs.erase(gone);
        },
};

const wl_output_listener TWaylandClient::OutputListener = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   const char*, const char*, std::int32_t) {},
    .mode = [](void*, wl_output*, std::uint32_t, std::int32_t, std::int32_t, std::int32_t) {},
    .done = [](void*, wl_output*) {},
    .scale =
        [](void* data, wl_output* output, std::int32_t factor) {
          for (auto& o : static_cast<TWaylandClient*>(data)->FOutputs)
            if (o.Output == output) o.Scale = std::max(1, factor);
        },
    .name = nullptr,  // version 4, not bound
    .description = nullptr,
};

bool TWaylandClient::Open(const char* displayName, std::string& error) {
  FDisplay = wl_display_connect(displayName);
  if (!FDisplay) {
    error = "no Wayland compositor to connect to";
    return false;
  }
  FTouchTablet = std::make_unique<TTouchTablet>(
      [this](const wl_surface* surface) { return SurfaceOf(surface) != nullptr; },
      [this](const wl_surface* surface, const TWaylandPointerEvent& e) {
        TClientSurface* to = SurfaceOf(surface);
        if (!to) return;
        // A pen that comes near shows that surface's picture.
        if (e.Kind == TWaylandPointerEvent::Enter) CursorChanged(*to);
        to->Deliver(e);
      });
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
  FCursor = std::make_unique<TWaylandCursor>(FCompositor, FCompositorVersion, FShm);
  FTouchTablet->StartTablets(std::exchange(FTabletManager, nullptr), FSeat, FCompositor, FCompositorVersion, FShm);
  return true;
}

bool TWaylandClient::ReadEvents() {
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

bool TWaylandClient::Flush() {
  while (wl_display_flush(FDisplay) < 0) {
    if (errno != EAGAIN) return false;
    // The socket is full: wait until the compositor has read some.
    pollfd p{wl_display_get_fd(FDisplay), POLLOUT, 0};
    if (poll(&p, 1, 1000) <= 0) return false;
  }
  return true;
}

std::unique_ptr<TLayerSurface> TWaylandClient::CreateSurface(TWaylandKeyboard keyboard, int output) {
  if (!FLayerShell || output >= OutputCount()) return nullptr;
  wl_output* on = output >= 0 ? FOutputs[static_cast<std::size_t>(output)].Output : nullptr;
  auto surface = std::make_unique<TClientSurface>(*this, keyboard, on);
  FSurfaces.push_back(surface.get());
  return surface;
}

TClientSurface* TWaylandClient::SurfaceOf(const wl_surface* surface) const {
  if (!surface) return nullptr;
  for (TClientSurface* s : FSurfaces)
    if (s->Surface() == surface) return s;
  return nullptr;
}

void TWaylandClient::CursorChanged(const TClientSurface& surface) {
  if (FPointerFocus == &surface) surface.ShowCursorOn(*FCursor);
  if (TWaylandCursor* pens = FTouchTablet->ToolCursor(); pens && SurfaceOf(FTouchTablet->PenSurface()) == &surface)
    surface.ShowCursorOn(*pens);
}

void TWaylandClient::Forget(const TClientSurface& surface) {
  std::erase(FSurfaces, &surface);
  if (FPointerFocus == &surface) {
    FPointerFocus = nullptr;
    FCursor->Entered(nullptr, 0);
  }
  if (FKeyboardFocus == &surface) FKeyboardFocus = nullptr;
}

std::unique_ptr<TWaylandConnection> TWaylandConnection::Connect(const char* displayName, std::string& error) {
  auto client = std::make_unique<TWaylandClient>();
  if (!client->Open(displayName, error)) return nullptr;
  return client;
}
