// The monitors of an X screen through RandR 1.5, which reports the monitors
// the toolkit makes its screens of, user-defined ones included.

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/Platform.h"

std::vector<TPlatformRect> X11Monitors(xcb_connection_t* conn, std::uint32_t root) {
  std::vector<TPlatformRect> monitors;
  const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn, &xcb_randr_id);
  if (!ext || !ext->present) return monitors;
  // The server answers the 1.5 requests only to a client that asked for 1.5.
  std::unique_ptr<xcb_randr_query_version_reply_t, decltype(&std::free)> version(
      xcb_randr_query_version_reply(conn, xcb_randr_query_version(conn, 1, 5), nullptr), &std::free);
  if (!version || (version->major_version == 1 && version->minor_version < 5)) return monitors;
  std::unique_ptr<xcb_randr_get_monitors_reply_t, decltype(&std::free)> reply(
      xcb_randr_get_monitors_reply(conn, xcb_randr_get_monitors(conn, root, 1), nullptr), &std::free);
  if (!reply) return monitors;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem;
       xcb_randr_monitor_info_next(&it)) {
    const xcb_randr_monitor_info_t& m = *it.data;
    const TPlatformRect r{m.x, m.y, m.width, m.height};
    if (r.Width <= 0 || r.Height <= 0) continue;
    if (m.primary)
      monitors.insert(monitors.begin(), r);
    else
      monitors.push_back(r);
  }
  return monitors;
}
