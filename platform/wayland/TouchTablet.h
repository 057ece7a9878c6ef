#pragma once

// The seat's touch screen and tablet pens on the overlay's surfaces, handed
// to TPointerEmulation and from there to the surface the finger or the pen
// came to. Tablets come only where the compositor offers the tablet protocol
// (its manager global).

#include "platform/wayland/PointerEmulation.h"
#include "platform/wayland/WaylandCursor.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct wl_compositor;
struct wl_seat;
struct wl_shm;
struct wl_surface;
struct wl_touch;
struct zwp_tablet_manager_v2;
struct zwp_tablet_seat_v2;
struct zwp_tablet_tool_v2;
struct zwp_tablet_v2;
struct zwp_tablet_pad_v2;

class TTouchTablet {
 public:
  // ours: whether a surface is one of the overlay's; emit: the pointer's
  // events, to that surface.
  TTouchTablet(std::function<bool(const wl_surface*)> ours,
               std::function<void(const wl_surface*, const TWaylandPointerEvent&)> emit);
  ~TTouchTablet();
  TTouchTablet(const TTouchTablet&) = delete;
  TTouchTablet& operator=(const TTouchTablet&) = delete;

  // The seat's capabilities came (again): takes or lets go of its touch.
  void SeatCapabilities(wl_seat* seat, std::uint32_t capabilities);
  // The compositor's tablet manager, once the seat is known; its pens get
  // their pointer picture from a cursor surface of their own.
  void StartTablets(zwp_tablet_manager_v2* manager, wl_seat* seat, wl_compositor* compositor,
                    std::uint32_t compositorVersion, wl_shm* shm);
  // The pens' picture, as the pointer's (TWaylandCursor).
  TWaylandCursor* ToolCursor() { return FToolCursor.get(); }
  // The surface the pen is near; null for none.
  const wl_surface* PenSurface() const { return FNear ? FToolSurface : nullptr; }

 private:
  static const struct wl_touch_listener TouchListener;
  static const struct zwp_tablet_seat_v2_listener TabletSeatListener;
  static const struct zwp_tablet_tool_v2_listener ToolListener;

  // The emulation's calls for touch, then for the pen: what it emits goes to
  // that device's surface.
  TPointerEmulation& Touch() {
    FTo = FTouchSurface;
    return FEmulation;
  }
  TPointerEmulation& Pen() {
    FTo = FToolSurface;
    return FEmulation;
  }

  std::function<bool(const wl_surface*)> FOurs;
  std::function<void(const wl_surface*, const TWaylandPointerEvent&)> FEmit;
  TPointerEmulation FEmulation;
  const wl_surface* FTo = nullptr;
  const wl_surface* FTouchSurface = nullptr;  // the first finger's, until every finger is up
  std::vector<std::int32_t> FTouchPoints;     // down on it
  const wl_surface* FToolSurface = nullptr;   // the pen's, since it came near
  wl_touch* FTouch = nullptr;
  zwp_tablet_manager_v2* FManager = nullptr;
  zwp_tablet_seat_v2* FTabletSeat = nullptr;
  std::vector<zwp_tablet_tool_v2*> FTools;
  std::vector<zwp_tablet_v2*> FTablets;
  std::vector<zwp_tablet_pad_v2*> FPads;
  zwp_tablet_tool_v2* FNear = nullptr;  // the pen near the surface
  std::unique_ptr<TWaylandCursor> FToolCursor;
};
