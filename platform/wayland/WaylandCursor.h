#pragma once

// The pointer's picture over the overlay surface: a shape of the user's
// cursor theme (XCURSOR_THEME, XCURSOR_SIZE; the library's own few pictures
// without one) or a picture of the program's, on a cursor surface of its own,
// at the output's scale. Set again at each pointer enter, whose serial the
// compositor asks for (or at a pen's coming near).

#include "platform/WaylandConnection.h"
#include "platform/wayland/ShmBuffers.h"

#include <cstdint>

struct wl_compositor;
struct wl_cursor_theme;
struct wl_pointer;
struct wl_shm;
struct wl_surface;
struct zwp_tablet_tool_v2;

class TWaylandCursor {
 public:
  TWaylandCursor(wl_compositor* compositor, std::uint32_t compositorVersion, wl_shm* shm);
  ~TWaylandCursor();
  TWaylandCursor(const TWaylandCursor&) = delete;
  TWaylandCursor& operator=(const TWaylandCursor&) = delete;

  // The pointer entered the surface, or left it (null).
  void Entered(wl_pointer* pointer, std::uint32_t serial);
  // A tablet's pen came near the surface (its proximity serial); a cursor
  // serves either the pointer or pens, as the surface's role is one of them.
  void EnteredTool(zwp_tablet_tool_v2* tool, std::uint32_t serial);
  void SetShape(int shape, int scale);
  void SetPicture(const TWaylandPixels& picture, int hotX, int hotY, int scale);

 private:
  void Show(wl_buffer* buffer, int width, int height, int scale);
  void Apply();

  wl_compositor* FCompositor;
  std::uint32_t FCompositorVersion;
  wl_shm* FShm;
  wl_surface* FSurface = nullptr;
  wl_pointer* FPointer = nullptr;
  zwp_tablet_tool_v2* FTool = nullptr;
  std::uint32_t FSerial = 0;
  wl_cursor_theme* FTheme = nullptr;
  int FThemeScale = 0;
  TShmBuffers FPictures;
  bool FHidden = false;
  bool FShown = false;  // the cursor surface holds a picture
  int FHotX = 0;        // surface pixels
  int FHotY = 0;
};
