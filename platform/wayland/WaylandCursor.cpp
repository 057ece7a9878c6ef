#include "platform/wayland/WaylandCursor.h"

#include <wayland-client.h>
#include <wayland-cursor.h>

#include "tablet-unstable-v2-client-protocol.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace {

// Names in cursor themes for the toolkit's shapes (Qt::CursorShape values),
// the commoner first; the library's own pictures have the older names.
struct TShapeNames {
  int Shape;
  std::array<const char*, 4> Names;  // null after the last
};
constexpr TShapeNames ShapeNames[] = {
    {1, {"up_arrow", "left_ptr"}},
    {2, {"crosshair", "cross", "tcross"}},
    {3, {"watch", "wait"}},
    {4, {"xterm", "text", "ibeam"}},
    {5, {"sb_v_double_arrow", "ns-resize", "top_side"}},
    {6, {"sb_h_double_arrow", "ew-resize", "left_side"}},
    {7, {"nesw-resize", "fd_double_arrow", "top_right_corner"}},
    {8, {"nwse-resize", "bd_double_arrow", "top_left_corner"}},
    {9, {"fleur", "size_all", "move"}},
    {11, {"row-resize", "sb_v_double_arrow"}},
    {12, {"col-resize", "sb_h_double_arrow"}},
    {13, {"pointer", "hand2", "hand1", "hand"}},
    {14, {"not-allowed", "crossed_circle", "forbidden"}},
    {15, {"help", "question_arrow", "whats_this"}},
    {16, {"left_ptr_watch", "progress", "watch"}},
    {17, {"openhand", "grab", "hand1"}},
    {18, {"closedhand", "grabbing"}},
    {19, {"dnd-copy", "copy"}},
    {20, {"dnd-move", "move"}},
    {21, {"dnd-link", "link"}},
};

// The shape's picture in the theme, else the arrow's.
wl_cursor* FindCursor(wl_cursor_theme* theme, int shape) {
  for (const auto& s : ShapeNames) {
    if (s.Shape != shape) continue;
    for (const char* name : s.Names)
      if (name)
        if (wl_cursor* cursor = wl_cursor_theme_get_cursor(theme, name)) return cursor;
  }
  wl_cursor* arrow = wl_cursor_theme_get_cursor(theme, "left_ptr");
  return arrow ? arrow : wl_cursor_theme_get_cursor(theme, "default");
}

constexpr int BlankShape = 10;  // Qt::BlankCursor

int ThemeSize() {
  const char* size = std::getenv("XCURSOR_SIZE");
  const int n = size ? std::atoi(size) : 0;
  return n > 0 && n <= 256 ? n : 24;
}

}  // namespace

TWaylandCursor::TWaylandCursor(wl_compositor* compositor, std::uint32_t compositorVersion, wl_shm* shm)
    : FCompositor(compositor), FCompositorVersion(compositorVersion), FShm(shm), FPictures(shm) {}

TWaylandCursor::~TWaylandCursor() {
  FPictures.Reset();
  if (FSurface) wl_surface_destroy(FSurface);
  if (FTheme) wl_cursor_theme_destroy(FTheme);
}

void TWaylandCursor::Entered(wl_pointer* pointer, std::uint32_t serial) {
  FPointer = pointer;
  FTool = nullptr;
  FSerial = serial;
  Apply();
}

void TWaylandCursor::EnteredTool(zwp_tablet_tool_v2* tool, std::uint32_t serial) {
  FPointer = nullptr;
  FTool = tool;
  FSerial = serial;
  Apply();
}

void TWaylandCursor::SetShape(int shape, int scale) {
  FHidden = shape == BlankShape;
  if (FHidden) {
    Apply();
    return;
  }
  scale = std::max(1, scale);
  wl_cursor_theme* theme = FTheme && FThemeScale == scale
                               ? FTheme
                               : wl_cursor_theme_load(std::getenv("XCURSOR_THEME"), ThemeSize() * scale, FShm);
  if (!theme) return;
  wl_cursor* cursor = FindCursor(theme, shape);
  if (!cursor || cursor->image_count == 0) {
    if (theme != FTheme) wl_cursor_theme_destroy(theme);
    return;
  }
  // An animated one (the watch) shows its first picture.
  const wl_cursor_image* image = cursor->images[0];
  FHotX = static_cast<int>(image->hotspot_x) / scale;
  FHotY = static_cast<int>(image->hotspot_y) / scale;
  Show(wl_cursor_image_get_buffer(cursor->images[0]), static_cast<int>(image->width),
       static_cast<int>(image->height), scale);
  // The old theme's picture stayed attached until the new one was.
  if (theme != FTheme) {
    if (FTheme) wl_cursor_theme_destroy(FTheme);
    FTheme = theme;
    FThemeScale = scale;
  }
}

void TWaylandCursor::SetPicture(const TWaylandPixels& picture, int hotX, int hotY, int scale) {
  scale = std::max(1, scale);
  if (!picture.Pixels || picture.Width <= 0 || picture.Height <= 0 || picture.Width % scale ||
      picture.Height % scale)
    return;
  const TWaylandPixels target = FPictures.Acquire(picture.Width, picture.Height);
  if (!target.Pixels) return;  // both still with the compositor: the old picture stays
  for (int y = 0; y < picture.Height; ++y)
    std::memcpy(reinterpret_cast<char*>(target.Pixels) + static_cast<std::ptrdiff_t>(y) * target.Stride,
                reinterpret_cast<const char*>(picture.Pixels) + static_cast<std::ptrdiff_t>(y) * picture.Stride,
                static_cast<std::size_t>(picture.Width) * 4);
  const TPlatformRect all{0, 0, picture.Width, picture.Height};
  std::vector<TPlatformRect> committed;
  FHidden = false;
  FHotX = hotX;
  FHotY = hotY;
  Show(FPictures.TakeForCommit({&all, 1}, committed), picture.Width, picture.Height, scale);
}

void TWaylandCursor::Show(wl_buffer* buffer, int width, int height, int scale) {
  if (!buffer) return;
  if (!FSurface) FSurface = wl_compositor_create_surface(FCompositor);
  if (FCompositorVersion >= 3) wl_surface_set_buffer_scale(FSurface, scale);  // else a protocol error
  wl_surface_attach(FSurface, buffer, 0, 0);
  if (FCompositorVersion >= 4)
    wl_surface_damage_buffer(FSurface, 0, 0, width, height);
  else
    wl_surface_damage(FSurface, 0, 0, INT32_MAX, INT32_MAX);
  wl_surface_commit(FSurface);
  FShown = true;
  Apply();
}

void TWaylandCursor::Apply() {
  wl_surface* surface = FHidden || !FShown ? nullptr : FSurface;
  const int hotX = surface ? FHotX : 0;
  const int hotY = surface ? FHotY : 0;
  if (FPointer) wl_pointer_set_cursor(FPointer, FSerial, surface, hotX, hotY);
  if (FTool) zwp_tablet_tool_v2_set_cursor(FTool, FSerial, surface, hotX, hotY);
}
