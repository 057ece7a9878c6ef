// Clients for the Wayland end-to-end test, one per mode, each printing what
// it saw as lines on standard output and ending when standard input closes:
//   overlay  the overlay surface, transparent but for a red, a blue and a
//            yellow block, one a frame; only the red one takes the pointer
//   window   an ordinary green window, reporting clicks it gets; "window
//            max" asks to be maximised (where nothing tells a client where
//            its window lies, it then lies under the middle of the screen)
//   pointer  a virtual pointer: "move X Y W H", "down", "up" and "click" lines
//            on standard input
#include "platform/WaylandConnection.h"
#include "platform/wayland/ShmBuffers.h"

#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>

namespace {

constexpr TPlatformRect Red{40, 40, 120, 80};
constexpr TPlatformRect Blue{200, 40, 60, 60};
constexpr TPlatformRect Yellow{40, 200, 60, 60};

void Say(const std::string& line) {
  std::cout << line << std::endl;
}

void Fill(const TWaylandPixels& p, const TPlatformRect& r, std::uint32_t argb) {
  for (int y = r.Y; y < r.Y + r.Height; ++y)
    for (int x = r.X; x < r.X + r.Width; ++x) p.Pixels[y * (p.Stride / 4) + x] = argb;
}

// Runs until standard input closes or the connection fails; a line read on
// standard input goes to onLine.
int Loop(wl_display* display, const std::function<bool()>& read,
         const std::function<void(const std::string&)>& onLine = {}) {
  std::string pending;
  for (;;) {
    if (wl_display_flush(display) < 0) return 1;
    pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {0, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) return 1;
    if ((fds[0].revents & POLLIN) && !read()) return 1;
    if (fds[1].revents & (POLLIN | POLLHUP)) {
      char chunk[256];
      const ssize_t n = ::read(0, chunk, sizeof chunk);
      if (n <= 0) return 0;
      pending.append(chunk, static_cast<std::size_t>(n));
      for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        if (onLine) onLine(pending.substr(0, end));
        pending.erase(0, end + 1);
      }
    }
  }
}

constexpr struct {
  TPlatformRect Rect;
  std::uint32_t Argb;
} Blocks[] = {{Red, 0xFFFF0000}, {Blue, 0xFF0000FF}, {Yellow, 0xFFFFFF00}};

// Each frame paints one block and damages only that: the buffers take
// turns, so the later frames show the earlier blocks only if the buffer
// brought itself up to date.
class TBlocks final : public TLayerSurfaceListener {
 public:
  explicit TBlocks(TLayerSurface& surface) : FSurface(surface) {}
  void Configured() override {
    if (FFrames > 0) return;
    Say("size " + std::to_string(FSurface.Width()) + " " + std::to_string(FSurface.Height()));
    Paint();
  }
  void FrameDone() override {
    if (FFrames < std::size(Blocks)) {
      Paint();
    } else if (FFrames == std::size(Blocks)) {
      ++FFrames;
      Say("shown");
    }
  }
  void Pointer(const TWaylandPointerEvent& e) override {
    static const char* const kinds[] = {"enter", "motion", "press", "leave"};
    if (e.Kind == TWaylandPointerEvent::Motion) return;
    Say(std::string("overlay ") + kinds[e.Kind] + " " + std::to_string(static_cast<int>(e.X)) + " " +
        std::to_string(static_cast<int>(e.Y)) + (e.Kind == TWaylandPointerEvent::Press && e.Pressed ? " down" : ""));
  }

 private:
  void Paint() {
    const TWaylandPixels p = FSurface.AcquireBuffer(1);
    if (!p.Pixels) {
      Say("error no buffer for frame " + std::to_string(FFrames));
      return;
    }
    Fill(p, Blocks[FFrames].Rect, Blocks[FFrames].Argb);
    FSurface.Present(std::span(&Blocks[FFrames].Rect, 1));
    ++FFrames;
  }
  TLayerSurface& FSurface;
  std::size_t FFrames = 0;
};

int RunOverlay() {
  std::string error;
  auto connection = TWaylandConnection::Connect(nullptr, error);
  if (!connection) {
    Say("error " + error);
    return 1;
  }
  Say(std::string("layer-shell ") + (connection->HasLayerShell() ? "yes" : "no"));
  auto surface = connection->CreateSurface(TWaylandKeyboard::None);
  if (!surface) return 1;
  surface->SetInputRegion(std::span(&Red, 1));
  TBlocks blocks(*surface);
  surface->SetListener(&blocks);
  for (;;) {
    if (!connection->Flush()) return 1;
    pollfd fds[2] = {{connection->Descriptor(), POLLIN, 0}, {0, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) return 1;
    if ((fds[0].revents & POLLIN) && !connection->ReadEvents()) return 1;
    if (fds[1].revents & (POLLIN | POLLHUP)) {
      char c;
      if (::read(0, &c, 1) <= 0) return 0;
    }
  }
}

struct TGlobals {
  wl_compositor* Compositor = nullptr;
  wl_shm* Shm = nullptr;
  wl_seat* Seat = nullptr;
  xdg_wm_base* WmBase = nullptr;
  zwlr_virtual_pointer_manager_v1* Pointers = nullptr;
};

const wl_registry_listener Registry = {
    .global =
        [](void* data, wl_registry* r, std::uint32_t name, const char* interface, std::uint32_t) {
          auto* g = static_cast<TGlobals*>(data);
          const auto is = [&](const wl_interface& i) { return std::strcmp(interface, i.name) == 0; };
          if (is(wl_compositor_interface))
            g->Compositor = static_cast<wl_compositor*>(wl_registry_bind(r, name, &wl_compositor_interface, 4));
          else if (is(wl_shm_interface))
            g->Shm = static_cast<wl_shm*>(wl_registry_bind(r, name, &wl_shm_interface, 1));
          else if (is(wl_seat_interface))
            g->Seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 1));
          else if (is(xdg_wm_base_interface))
            g->WmBase = static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
          else if (is(zwlr_virtual_pointer_manager_v1_interface))
            g->Pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
                wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
        },
    .global_remove = [](void*, wl_registry*, std::uint32_t) {},
};

struct TWindow {
  TGlobals G;
  wl_surface* Surface = nullptr;
  TShmBuffers* Buffers = nullptr;
  int Width = 320;
  int Height = 240;
  wl_pointer* Pointer = nullptr;
};

const wl_pointer_listener WindowPointer = {
    .enter = [](void*, wl_pointer*, std::uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t) { Say("window enter"); },
    .leave = [](void*, wl_pointer*, std::uint32_t, wl_surface*) {},
    .motion = [](void*, wl_pointer*, std::uint32_t, wl_fixed_t, wl_fixed_t) {},
    .button =
        [](void*, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
          if (state == WL_POINTER_BUTTON_STATE_PRESSED) Say("window press");
        },
    .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    .frame = nullptr, .axis_source = nullptr, .axis_stop = nullptr, .axis_discrete = nullptr,
    .axis_value120 = nullptr,
};

const wl_seat_listener WindowSeat = {
    .capabilities =
        [](void* data, wl_seat* seat, std::uint32_t caps) {
          auto* w = static_cast<TWindow*>(data);
          if ((caps & WL_SEAT_CAPABILITY_POINTER) && !w->Pointer) {
            w->Pointer = wl_seat_get_pointer(seat);
            wl_pointer_add_listener(w->Pointer, &WindowPointer, w);
          }
        },
    .name = nullptr,
};

const xdg_wm_base_listener WmBase = {
    .ping = [](void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

const xdg_toplevel_listener Toplevel = {
    .configure =
        [](void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*) {
          auto* w = static_cast<TWindow*>(data);
          if (width > 0 && height > 0) w->Width = width, w->Height = height;
        },
    .close = [](void*, xdg_toplevel*) {},
    .configure_bounds = nullptr,
    .wm_capabilities = nullptr,
};

const xdg_surface_listener XdgSurface = {
    .configure =
        [](void* data, xdg_surface* surface, std::uint32_t serial) {
          auto* w = static_cast<TWindow*>(data);
          xdg_surface_ack_configure(surface, serial);
          const TWaylandPixels p = w->Buffers->Acquire(w->Width, w->Height);
          if (!p.Pixels) return;
          Fill(p, {0, 0, p.Width, p.Height}, 0xFF00C000);
          std::vector<TPlatformRect> damage;
          wl_surface_attach(w->Surface, w->Buffers->TakeForCommit({}, damage), 0, 0);
          wl_surface_damage_buffer(w->Surface, 0, 0, p.Width, p.Height);
          wl_surface_commit(w->Surface);
          Say("window " + std::to_string(w->Width) + " " + std::to_string(w->Height));
        },
};

wl_display* ConnectWith(TGlobals& g) {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return nullptr;
  wl_registry_add_listener(wl_display_get_registry(display), &Registry, &g);
  wl_display_roundtrip(display);
  return display;
}

int RunWindow(bool maximised) {
  TWindow w;
  wl_display* display = ConnectWith(w.G);
  if (!display || !w.G.WmBase || !w.G.Shm) return 1;
  TShmBuffers buffers(w.G.Shm);
  w.Buffers = &buffers;
  xdg_wm_base_add_listener(w.G.WmBase, &WmBase, nullptr);
  if (w.G.Seat) wl_seat_add_listener(w.G.Seat, &WindowSeat, &w);
  w.Surface = wl_compositor_create_surface(w.G.Compositor);
  xdg_surface* surface = xdg_wm_base_get_xdg_surface(w.G.WmBase, w.Surface);
  xdg_surface_add_listener(surface, &XdgSurface, &w);
  xdg_toplevel* toplevel = xdg_surface_get_toplevel(surface);
  xdg_toplevel_add_listener(toplevel, &Toplevel, &w);
  xdg_toplevel_set_title(toplevel, "green");
  if (maximised) xdg_toplevel_set_maximized(toplevel);
  wl_surface_commit(w.Surface);
  return Loop(display, [&] { return wl_display_dispatch(display) >= 0; });
}

int RunPointer() {
  TGlobals g;
  wl_display* display = ConnectWith(g);
  if (!display || !g.Pointers) return 1;
  zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.Pointers, g.Seat);
  wl_display_roundtrip(display);
  std::uint32_t time = 0;
  Say("ready");
  return Loop(display, [&] { return wl_display_dispatch(display) >= 0; }, [&](const std::string& line) {
    unsigned x = 0, y = 0, w = 0, h = 0;
    if (std::sscanf(line.c_str(), "move %u %u %u %u", &x, &y, &w, &h) == 4) {
      zwlr_virtual_pointer_v1_motion_absolute(pointer, time += 10, x, y, w, h);
      zwlr_virtual_pointer_v1_frame(pointer);
    } else {
      const auto button = [&](wl_pointer_button_state state) {
        zwlr_virtual_pointer_v1_button(pointer, time += 10, 0x110, state);
        zwlr_virtual_pointer_v1_frame(pointer);
      };
      if (line == "click" || line == "down") button(WL_POINTER_BUTTON_STATE_PRESSED);
      if (line == "click" || line == "up") button(WL_POINTER_BUTTON_STATE_RELEASED);
    }
    wl_display_roundtrip(display);
    Say("ok");
  });
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "overlay") return RunOverlay();
  if (mode == "window") return RunWindow(argc > 2 && std::string(argv[2]) == "max");
  if (mode == "pointer") return RunPointer();
  std::cerr << "usage: korivan_wayland_probe overlay|window [max]|pointer\n";
  return 2;
}
