#include "platform/x11/X11StrokeInput.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> Own(T* reply) {
  return {reply, &std::free};
}

double FromFixed(xcb_input_fp1616_t v) { return double(v) / 65536.0; }

class TStrokeGrab final : public TX11StrokeInput {
 public:
  TStrokeGrab(xcb_connection_t* conn, std::uint8_t opcode) : FConn(conn), FOpcode(opcode) {}
  ~TStrokeGrab() override {
    std::free(FQueued);
    xcb_disconnect(FConn);
  }

  bool Draw(std::uint32_t window, const TPlatformRect& rect, const std::uint32_t* pixels,
            std::size_t stride) override {
    if (rect.Width <= 0 || rect.Height <= 0) return true;
    auto it = FGcs.find(window);
    if (it == FGcs.end()) {
      // Asked once per window: its depth, and a context of that depth.
      auto geometry = Own(xcb_get_geometry_reply(FConn, xcb_get_geometry(FConn, window), nullptr));
      xcb_gcontext_t gc = XCB_NONE;
      if (geometry && geometry->depth == 32) {
        gc = xcb_generate_id(FConn);
        const std::uint32_t noExposures = 0;
        xcb_create_gc(FConn, gc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
      }
      it = FGcs.emplace(window, gc).first;
    }
    if (it->second == XCB_NONE) return false;
    // Bands of rows that each fit in one request.
    const std::size_t rowBytes = std::size_t(rect.Width) * 4;
    const std::size_t most = std::size_t(xcb_get_maximum_request_length(FConn)) * 4 - 64;
    const int band = std::max(1, int(most / rowBytes));
    std::vector<std::uint32_t> rows;
    for (int y = 0; y < rect.Height; y += band) {
      const int n = std::min(band, rect.Height - y);
      const std::uint32_t* from = pixels + std::size_t(y) * stride;
      if (stride != std::size_t(rect.Width)) {
        rows.resize(std::size_t(n) * std::size_t(rect.Width));
        for (int r = 0; r < n; ++r)
          std::memcpy(&rows[std::size_t(r) * std::size_t(rect.Width)], from + std::size_t(r) * stride, rowBytes);
        from = rows.data();
      }
      xcb_put_image(FConn, XCB_IMAGE_FORMAT_Z_PIXMAP, window, it->second, static_cast<std::uint16_t>(rect.Width),
                    static_cast<std::uint16_t>(n), static_cast<std::int16_t>(rect.X),
                    static_cast<std::int16_t>(rect.Y + y), 0, 32, static_cast<std::uint32_t>(rowBytes * std::size_t(n)),
                    reinterpret_cast<const std::uint8_t*>(from));
    }
    xcb_flush(FConn);
    return true;
  }

  // The grab sits on an input-only window of our own, below every child
  // window the toolkit has in the overlay (its buttons, the column): a
  // press there never starts it, and a press over the surface does
  // without the pointer being held for an answer, so no report is merged
  // away while the program is slow to wake. Not owner events: everything
  // the grab reports comes at the window's coordinates, also outside it.
  void Grab(std::uint32_t window, bool on) override {
    const std::uint32_t anyModifier = 1u << 31;
    const xcb_window_t catcher = Catcher(window);
    if (catcher == XCB_WINDOW_NONE) return;
    if (on) {
      const std::uint32_t mask = XCB_INPUT_XI_EVENT_MASK_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_BUTTON_RELEASE |
                                 XCB_INPUT_XI_EVENT_MASK_MOTION;
      xcb_discard_reply(FConn, xcb_input_xi_passive_grab_device(
                                   FConn, XCB_CURRENT_TIME, catcher, XCB_NONE, 0 /* any button */,
                                   XCB_INPUT_DEVICE_ALL_MASTER, 1, 1, XCB_INPUT_GRAB_TYPE_BUTTON,
                                   XCB_INPUT_GRAB_MODE_22_ASYNC, XCB_INPUT_GRAB_MODE_22_ASYNC, 0, &mask,
                                   &anyModifier)
                                   .sequence);
    } else {
      xcb_input_xi_passive_ungrab_device(FConn, catcher, 0, XCB_INPUT_DEVICE_ALL_MASTER, 1,
                                         XCB_INPUT_GRAB_TYPE_BUTTON, &anyModifier);
    }
    xcb_flush(FConn);
  }

  int Descriptor() const override { return xcb_get_file_descriptor(FConn); }

  void Sync() override { Own(xcb_get_input_focus_reply(FConn, xcb_get_input_focus(FConn), nullptr)); }

  // Any request that waits for an answer (or to write a large picture)
  // reads what arrived meanwhile into the connection's queue, past the
  // descriptor's readiness: one such event is kept here until taken.
  bool Queued() override {
    if (!FQueued) FQueued = xcb_poll_for_queued_event(FConn);
    return FQueued != nullptr;
  }

  std::vector<TPointerInput> Take(const std::function<bool(TNativeWindow)>& accept) override {
    std::vector<TPointerInput> out;
    while (xcb_generic_event_t* event = FQueued ? std::exchange(FQueued, nullptr) : xcb_poll_for_event(FConn)) {
      if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
        const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        if (ge->extension == FOpcode) Read(reinterpret_cast<const xcb_input_button_press_event_t*>(event),
                                           ge->event_type, accept, out);
      }
      std::free(event);
    }
    return out;
  }

 private:
  // The input-only window over the whole of the overlay window, made at the
  // first grab and sized to the window at every one.
  xcb_window_t Catcher(xcb_window_t window) {
    auto geometry = Own(xcb_get_geometry_reply(FConn, xcb_get_geometry(FConn, window), nullptr));
    if (!geometry) return XCB_WINDOW_NONE;
    const std::uint32_t size[] = {geometry->width, geometry->height};
    auto it = FCatchers.find(window);
    if (it != FCatchers.end()) {
      xcb_configure_window(FConn, it->second, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
      return it->second;
    }
    const xcb_window_t catcher = xcb_generate_id(FConn);
    xcb_create_window(FConn, 0, catcher, window, 0, 0, static_cast<std::uint16_t>(size[0]),
                      static_cast<std::uint16_t>(size[1]), 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0,
                      nullptr);
    const std::uint32_t bottom = XCB_STACK_MODE_BELOW;
    xcb_configure_window(FConn, catcher, XCB_CONFIG_WINDOW_STACK_MODE, &bottom);
    xcb_map_window(FConn, catcher);
    FCatchers.emplace(window, catcher);
    FOverlays.emplace(catcher, window);
    return catcher;
  }

  void Read(const xcb_input_button_press_event_t* e, std::uint16_t type,
            const std::function<bool(TNativeWindow)>& accept, std::vector<TPointerInput>& out) {
    const auto overlay = FOverlays.find(e->event);
    if (overlay == FOverlays.end()) return;
    TPointerInput in;
    in.Window = overlay->second;
    in.X = FromFixed(e->event_x);
    in.Y = FromFixed(e->event_y);
    switch (type) {
      case XCB_INPUT_MOTION: in.Kind = TPointerInput::Move; break;
      case XCB_INPUT_BUTTON_RELEASE: in.Kind = TPointerInput::Release; break;
      case XCB_INPUT_BUTTON_PRESS: in.Kind = TPointerInput::Press; break;
      default: return;
    }
    in.Button = in.Kind == TPointerInput::Move ? 0 : static_cast<int>(e->detail);
    // The server's state at the report: Shift counts whichever window has the keyboard.
    const std::uint32_t mods = e->mods.effective;
    in.Modifiers = ((mods & XCB_MOD_MASK_SHIFT) ? hmShift : 0u) | ((mods & XCB_MOD_MASK_CONTROL) ? hmControl : 0u) |
                   ((mods & XCB_MOD_MASK_1) ? hmAlt : 0u) | ((mods & XCB_MOD_MASK_4) ? hmMeta : 0u);
    // A refused stroke is dropped to its release, as the toolkit drops a
    // press on a window a dialog holds.
    if (in.Kind == TPointerInput::Press && !HeldBefore(e)) FRefused = !accept(in.Window);
    const bool refused = FRefused;
    if (in.Kind == TPointerInput::Release && !HeldAfterRelease(e)) FRefused = false;
    if (!refused) out.push_back(in);
  }

  // Whether a button other than the one released stays down.
  static bool HeldAfterRelease(const xcb_input_button_press_event_t* e) {
    const std::uint32_t* mask = xcb_input_button_press_button_mask(e);
    for (int i = 0; i < xcb_input_button_press_button_mask_length(e); ++i) {
      std::uint32_t word = mask[i];
      if (e->detail / 32 == std::uint32_t(i)) word &= ~(1u << (e->detail % 32));
      if (word) return true;
    }
    return false;
  }

  // Whether any button was down before this event (the mask tells the
  // state before it).
  static bool HeldBefore(const xcb_input_button_press_event_t* e) {
    const std::uint32_t* mask = xcb_input_button_press_button_mask(e);
    for (int i = 0; i < xcb_input_button_press_button_mask_length(e); ++i)
      if (mask[i]) return true;
    return false;
  }

  xcb_connection_t* FConn;
  std::uint8_t FOpcode;
  std::map<std::uint32_t, xcb_gcontext_t> FGcs;
  std::map<xcb_window_t, xcb_window_t> FCatchers;  // overlay window: its input-only window
  std::map<xcb_window_t, xcb_window_t> FOverlays;  // and back
  bool FRefused = false;
  xcb_generic_event_t* FQueued = nullptr;
};

}  // namespace

std::unique_ptr<TX11StrokeInput> CreateX11StrokeInput() {
  xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(conn)) {
    xcb_disconnect(conn);
    return nullptr;
  }
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn, &xcb_input_id);
  auto version = ext && ext->present ? Own(xcb_input_xi_query_version_reply(
                                           conn, xcb_input_xi_query_version(conn, 2, 2), nullptr))
                                     : Own<xcb_input_xi_query_version_reply_t>(nullptr);
  if (!version || version->major_version < 2 || (version->major_version == 2 && version->minor_version < 2)) {
    xcb_disconnect(conn);
    return nullptr;
  }
  return std::make_unique<TStrokeGrab>(conn, ext->major_opcode);
}
