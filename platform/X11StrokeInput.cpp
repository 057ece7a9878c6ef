#include "platform/X11StrokeInput.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> Own(T* reply) {
  return {reply, &std::free};
}

double FromFixed(xcb_input_fp1616_t v) { return double(v) / 65536.0; }

class TStrokeGrab final : public TX11StrokeInput {
 public:
  TStrokeGrab(xcb_connection_t* conn, std::uint8_t opcode) : FConn(conn), FOpcode(opcode) {}
  ~TStrokeGrab() override { xcb_disconnect(FConn); }

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

  // Synchronous: the server holds the press (and all after it) until Take
  // answered whether the stroke is ours. Not owner events: everything the
  // grab reports comes at the grab window's coordinates, also outside it.
  void Grab(std::uint32_t window, bool on) override {
    const std::uint32_t anyModifier = 1u << 31;
    if (on) {
      const std::uint32_t mask = XCB_INPUT_XI_EVENT_MASK_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_BUTTON_RELEASE |
                                 XCB_INPUT_XI_EVENT_MASK_MOTION;
      xcb_discard_reply(FConn, xcb_input_xi_passive_grab_device(
                                   FConn, XCB_CURRENT_TIME, window, XCB_NONE, 0 /* any button */,
                                   XCB_INPUT_DEVICE_ALL_MASTER, 1, 1, XCB_INPUT_GRAB_TYPE_BUTTON,
                                   XCB_INPUT_GRAB_MODE_22_SYNC, XCB_INPUT_GRAB_MODE_22_ASYNC, 0, &mask,
                                   &anyModifier)
                                   .sequence);
    } else {
      xcb_input_xi_passive_ungrab_device(FConn, window, 0, XCB_INPUT_DEVICE_ALL_MASTER, 1, XCB_INPUT_GRAB_TYPE_BUTTON,
                                         &anyModifier);
    }
    xcb_flush(FConn);
  }

  int Descriptor() const override { return xcb_get_file_descriptor(FConn); }

  std::vector<TPointerInput> Take(const std::function<bool(TNativeWindow)>& accept) override {
    std::vector<TPointerInput> out;
    bool answered = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(FConn)) {
      if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
        const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        if (ge->extension == FOpcode) Read(reinterpret_cast<const xcb_input_button_press_event_t*>(event),
                                           ge->event_type, accept, out, answered);
      }
      std::free(event);
    }
    if (answered) xcb_flush(FConn);
    return out;
  }

 private:
  void Read(const xcb_input_button_press_event_t* e, std::uint16_t type,
            const std::function<bool(TNativeWindow)>& accept, std::vector<TPointerInput>& out, bool& answered) {
    TPointerInput in;
    in.Window = e->event;
    in.X = FromFixed(e->event_x);
    in.Y = FromFixed(e->event_y);
    switch (type) {
      case XCB_INPUT_MOTION: in.Kind = TPointerInput::Move; break;
      case XCB_INPUT_BUTTON_RELEASE: in.Kind = TPointerInput::Release; break;
      case XCB_INPUT_BUTTON_PRESS: in.Kind = TPointerInput::Press; break;
      default: return;
    }
    in.Button = in.Kind == TPointerInput::Move ? 0 : static_cast<int>(e->detail);
    if (in.Kind == TPointerInput::Press && !HeldBefore(e)) {
      // The press that started the grab: the device waits for the answer.
      const bool ours = e->child == XCB_WINDOW_NONE && accept(in.Window);
      xcb_input_xi_allow_events(FConn, XCB_CURRENT_TIME, e->deviceid,
                                ours ? XCB_INPUT_EVENT_MODE_ASYNC_DEVICE : XCB_INPUT_EVENT_MODE_REPLAY_DEVICE, 0,
                                e->event);
      answered = true;
      if (!ours) return;
    }
    out.push_back(in);
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
