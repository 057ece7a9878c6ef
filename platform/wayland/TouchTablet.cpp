#include "platform/wayland/TouchTablet.h"

#include <wayland-client.h>

#include "tablet-unstable-v2-client-protocol.h"

#include <algorithm>
#include <utility>

TTouchTablet::TTouchTablet(std::function<bool(const wl_surface*)> ours,
                           std::function<void(const wl_surface*, const TWaylandPointerEvent&)> emit)
    : FOurs(std::move(ours)), FEmit(std::move(emit)) {
  FEmulation.Emit = [this](const TWaylandPointerEvent& e) {
    if (FTo) FEmit(FTo, e);
  };
}

TTouchTablet::~TTouchTablet() {
  if (FTouch) wl_touch_release(FTouch);
  for (auto* tool : FTools) zwp_tablet_tool_v2_destroy(tool);
  for (auto* tablet : FTablets) zwp_tablet_v2_destroy(tablet);
  for (auto* pad : FPads) zwp_tablet_pad_v2_destroy(pad);
  if (FTabletSeat) zwp_tablet_seat_v2_destroy(FTabletSeat);
  FToolCursor.reset();
  if (FManager) zwp_tablet_manager_v2_destroy(FManager);
}

void TTouchTablet::SeatCapabilities(wl_seat* seat, std::uint32_t capabilities) {
  const bool hasTouch = (capabilities & WL_SEAT_CAPABILITY_TOUCH) != 0;
  if (hasTouch && !FTouch) {
    FTouch = wl_seat_get_touch(seat);
    wl_touch_add_listener(FTouch, &TouchListener, this);
  } else if (!hasTouch && FTouch) {
    Touch().TouchCancel();
    FTouchPoints.clear();
    wl_touch_release(FTouch);
    FTouch = nullptr;
  }
}

void TTouchTablet::StartTablets(zwp_tablet_manager_v2* manager, wl_seat* seat, wl_compositor* compositor,
                                std::uint32_t compositorVersion, wl_shm* shm) {
  if (FManager || !manager) return;
  FManager = manager;  // ours to destroy from here on
  if (!seat) return;
  FToolCursor = std::make_unique<TWaylandCursor>(compositor, compositorVersion, shm);
  FTabletSeat = zwp_tablet_manager_v2_get_tablet_seat(manager, seat);
  zwp_tablet_seat_v2_add_listener(FTabletSeat, &TabletSeatListener, this);
}

// Touch points arrive only where the input region lets them; motion and up
// belong to a point that went down on the first finger's surface, whose
// points the others on other surfaces do not disturb.
const wl_touch_listener TTouchTablet::TouchListener = {
    .down =
        [](void* data, wl_touch*, std::uint32_t, std::uint32_t, wl_surface* surface, std::int32_t id, wl_fixed_t x,
           wl_fixed_t y) {
          auto* self = static_cast<TTouchTablet*>(data);
          if (!surface || !self->FOurs(surface)) return;
          if (self->FTouchPoints.empty()) self->FTouchSurface = surface;
          if (surface != self->FTouchSurface) return;
          self->FTouchPoints.push_back(id);
          self->Touch().TouchDown(id, wl_fixed_to_double(x), wl_fixed_to_double(y));
        },
    .up =
        [](void* data, wl_touch*, std::uint32_t, std::uint32_t, std::int32_t id) {
          auto* self = static_cast<TTouchTablet*>(data);
          if (std::erase(self->FTouchPoints, id) > 0) self->Touch().TouchUp(id);
        },
    .motion =
        [](void* data, wl_touch*, std::uint32_t, std::int32_t id, wl_fixed_t x, wl_fixed_t y) {
          auto* self = static_cast<TTouchTablet*>(data);
          if (std::find(self->FTouchPoints.begin(), self->FTouchPoints.end(), id) != self->FTouchPoints.end())
            self->Touch().TouchMotion(id, wl_fixed_to_double(x), wl_fixed_to_double(y));
        },
    // Its time is that of the frame's last event; the pointer's handler needs none for touch.
    .frame = [](void* data, wl_touch*) { static_cast<TTouchTablet*>(data)->Touch().TouchFrame(0); },
    .cancel =
        [](void* data, wl_touch*) {
          auto* self = static_cast<TTouchTablet*>(data);
          self->Touch().TouchCancel();
          self->FTouchPoints.clear();
        },
    .shape = [](void*, wl_touch*, std::int32_t, wl_fixed_t, wl_fixed_t) {},
    .orientation = [](void*, wl_touch*, std::int32_t, wl_fixed_t) {},
};

const zwp_tablet_seat_v2_listener TTouchTablet::TabletSeatListener = {
    .tablet_added = [](void* data, zwp_tablet_seat_v2*,
                       zwp_tablet_v2* tablet) { static_cast<TTouchTablet*>(data)->FTablets.push_back(tablet); },
    .tool_added =
        [](void* data, zwp_tablet_seat_v2*, zwp_tablet_tool_v2* tool) {
          auto* self = static_cast<TTouchTablet*>(data);
          self->FTools.push_back(tool);
          zwp_tablet_tool_v2_add_listener(tool, &ToolListener, self);
        },
    .pad_added = [](void* data, zwp_tablet_seat_v2*,
                    zwp_tablet_pad_v2* pad) { static_cast<TTouchTablet*>(data)->FPads.push_back(pad); },
};

// A pen's events count only while it is near this surface.
const zwp_tablet_tool_v2_listener TTouchTablet::ToolListener = {
    .type = [](void*, zwp_tablet_tool_v2*, std::uint32_t) {},
    .hardware_serial = [](void*, zwp_tablet_tool_v2*, std::uint32_t, std::uint32_t) {},
    .hardware_id_wacom = [](void*, zwp_tablet_tool_v2*, std::uint32_t, std::uint32_t) {},
    .capability = [](void*, zwp_tablet_tool_v2*, std::uint32_t) {},
    .done = [](void*, zwp_tablet_tool_v2*) {},
    .removed =
        [](void* data, zwp_tablet_tool_v2* tool) {
          auto* self = static_cast<TTouchTablet*>(data);
          if (tool == self->FNear) {
            self->Pen().ToolRemoved();
            self->FToolCursor->Entered(nullptr, 0);
            self->FNear = nullptr;
          }
          std::erase(self->FTools, tool);
          zwp_tablet_tool_v2_destroy(tool);
        },
    .proximity_in =
        [](void* data, zwp_tablet_tool_v2* tool, std::uint32_t serial, zwp_tablet_v2*, wl_surface* surface) {
          auto* self = static_cast<TTouchTablet*>(data);
          if (!surface || !self->FOurs(surface)) return;
          self->FNear = tool;
          self->FToolSurface = surface;
          self->FToolCursor->EnteredTool(tool, serial);
          self->Pen().ToolProximityIn();
        },
    .proximity_out =
        [](void* data, zwp_tablet_tool_v2* tool) {
          auto* self = static_cast<TTouchTablet*>(data);
          if (tool != self->FNear) return;
          self->Pen().ToolProximityOut();
          self->FToolCursor->Entered(nullptr, 0);
          self->FNear = nullptr;
        },
    .down =
        [](void* data, zwp_tablet_tool_v2* tool, std::uint32_t) {
          auto* self = static_cast<TTouchTablet*>(data);
          if (tool == self->FNear) self->Pen().ToolDown();
        },
    .up =
        [](void* data, zwp_tablet_tool_v2* tool) {
          auto* self = static_cast<TTouchTablet*>(data);
          if (tool == self->FNear) self->Pen().ToolUp();
        },
    .motion =
        [](void* data, zwp_tablet_tool_v2* tool, wl_fixed_t x, wl_fixed_t y) {
          auto* self = static_cast<TTouchTablet*>(data);
          if (tool == self->FNear) self->Pen().ToolMotion(wl_fixed_to_double(x), wl_fixed_to_double(y));
        },
    // The strokes have one width whatever the pressure.
    .pressure = [](void*, zwp_tablet_tool_v2*, std::uint32_t) {},
    .distance = [](void*, zwp_tablet_tool_v2*, std::uint32_t) {},
    .tilt = [](void*, zwp_tablet_tool_v2*, wl_fixed_t, wl_fixed_t) {},
    .rotation = [](void*, zwp_tablet_tool_v2*, wl_fixed_t) {},
    .slider = [](void*, zwp_tablet_tool_v2*, std::int32_t) {},
    .wheel = [](void*, zwp_tablet_tool_v2*, wl_fixed_t, std::int32_t) {},
    .button =
        [](void* data, zwp_tablet_tool_v2* tool, std::uint32_t, std::uint32_t button, std::uint32_t state) {
          auto* self = static_cast<TTouchTablet*>(data);
          if (tool == self->FNear)
            self->Pen().ToolButton(button, state == ZWP_TABLET_TOOL_V2_BUTTON_STATE_PRESSED);
        },
    // The frame after proximity out still belongs to the pen that left.
    .frame = [](void* data, zwp_tablet_tool_v2*,
                std::uint32_t time) { static_cast<TTouchTablet*>(data)->Pen().ToolFrame(time); },
};
