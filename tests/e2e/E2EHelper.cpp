// Helper of the end-to-end test, plain xcb so that it starts at once:
//   window NAME OUT X Y W H RRGGBB [fullscreen|override]
//       a window of one colour that appends "mapped ID" and then
//       "click X Y" (root coordinates) for every button press and "key CODE"
//       for every key press to OUT; it asks
//       the window manager for fullscreen, or bypasses it and so is stacked
//       above everything at the moment it maps;
//   input-at WINDOW_ID X Y...
//       for each point (window coordinates) prints 1 when the window's input
//       shape holds it, else 0;
//   grab OUT KEYSYM MODS
//       holds a passive grab of the key (keysym and modifier mask in hex,
//       with or without Caps Lock and Num Lock), as another program holding
//       a shortcut would, and appends "grabbed" to OUT once it has it;
//   wait-wm MS / wait-compositor MS
//       waits until a window manager / a compositor runs (exit 0) or MS pass (exit 1).

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  xcb_atom_t a = r ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(r);
  return a;
}

template <typename Probe>
int WaitFor(int ms, Probe probe) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (probe()) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 1;
}

int RunWindow(xcb_connection_t* c, xcb_screen_t* screen, char** argv, int argc) {
  const std::string name = argv[2];
  FILE* out = std::fopen(argv[3], "a");
  if (!out) return 2;
  const int x = std::atoi(argv[4]), y = std::atoi(argv[5]);
  const int w = std::atoi(argv[6]), h = std::atoi(argv[7]);
  const std::uint32_t colour = static_cast<std::uint32_t>(std::strtoul(argv[8], nullptr, 16));
  const bool fullscreen = argc > 9 && std::strcmp(argv[9], "fullscreen") == 0;
  const std::uint32_t overrideRedirect = argc > 9 && std::strcmp(argv[9], "override") == 0 ? 1 : 0;

  const xcb_window_t win = xcb_generate_id(c);
  const std::uint32_t values[] = {colour, overrideRedirect,
                                  XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_KEY_PRESS |
                                      XCB_EVENT_MASK_STRUCTURE_NOTIFY};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, win, screen->root, static_cast<std::int16_t>(x),
                    static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK,
                    values);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                      static_cast<std::uint32_t>(name.size()), name.data());
  // Ask the window manager to keep the given position (USPosition | PPosition).
  std::uint32_t hints[18] = {};
  hints[0] = 1 | 4;
  hints[1] = static_cast<std::uint32_t>(x);
  hints[2] = static_cast<std::uint32_t>(y);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18,
                      hints);
  if (fullscreen) {
    const xcb_atom_t state = Atom(c, "_NET_WM_STATE_FULLSCREEN");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, Atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 1, &state);
  }
  // A window manager that is still starting may drop the map request: ask
  // again until the window is mapped.
  bool mapped = false;
  auto lastRequest = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  for (;;) {
    if (!mapped && std::chrono::steady_clock::now() - lastRequest >= std::chrono::milliseconds(500)) {
      xcb_map_window(c, win);
      xcb_flush(c);
      lastRequest = std::chrono::steady_clock::now();
    }
    xcb_generic_event_t* e = xcb_poll_for_event(c);
    if (!e) {
      if (xcb_connection_has_error(c)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    switch (e->response_type & 0x7f) {
      case XCB_MAP_NOTIFY:
        if (!mapped) std::fprintf(out, "mapped %u\n", win);
        mapped = true;
        break;
      case XCB_BUTTON_PRESS: {
        auto* press = reinterpret_cast<xcb_button_press_event_t*>(e);
        std::fprintf(out, "click %d %d\n", press->root_x, press->root_y);
        break;
      }
      case XCB_KEY_PRESS: {
        auto* press = reinterpret_cast<xcb_key_press_event_t*>(e);
        std::fprintf(out, "key %d\n", press->detail);
        break;
      }
      default:
        break;
    }
    std::fflush(out);
    std::free(e);
  }
  return 0;
}

int RunGrab(xcb_connection_t* c, xcb_screen_t* screen, char** argv) {
  const auto sym = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 16));
  const auto mods = static_cast<std::uint16_t>(std::strtoul(argv[4], nullptr, 16));
  const xcb_setup_t* setup = xcb_get_setup(c);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
      c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr);
  if (!map) return 1;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
  xcb_keycode_t code = 0;
  for (int i = 0; i < count && !code; ++i)
    if (syms[i * map->keysyms_per_keycode] == sym) code = static_cast<xcb_keycode_t>(setup->min_keycode + i);
  std::free(map);
  if (!code) return 1;
  for (int lock : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2), int(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2)})
    xcb_grab_key(c, 1, screen->root, static_cast<std::uint16_t>(mods | lock), code, XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // the grabs are in place
  FILE* out = std::fopen(argv[2], "a");
  if (!out) return 2;
  std::fprintf(out, "grabbed\n");
  std::fclose(out);
  while (xcb_generic_event_t* e = xcb_wait_for_event(c)) std::free(e);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s window|wait-wm|wait-compositor ...\n", argv[0]);
    return 2;
  }
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c)) return 3;
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&it);
  xcb_screen_t* screen = it.data;
  const std::string mode = argv[1];

  if (mode == "window" && argc >= 9) return RunWindow(c, screen, argv, argc);
  if (mode == "grab" && argc >= 5) return RunGrab(c, screen, argv);
  if (mode == "input-at") {
    const auto win = static_cast<xcb_window_t>(std::strtoul(argv[2], nullptr, 0));
    xcb_shape_get_rectangles_reply_t* r = xcb_shape_get_rectangles_reply(
        c, xcb_shape_get_rectangles(c, win, XCB_SHAPE_SK_INPUT), nullptr);
    if (!r) return 1;
    const xcb_rectangle_t* rects = xcb_shape_get_rectangles_rectangles(r);
    const int n = xcb_shape_get_rectangles_rectangles_length(r);
    for (int a = 3; a + 1 < argc; a += 2) {
      const int x = std::atoi(argv[a]), y = std::atoi(argv[a + 1]);
      bool in = false;
      for (int i = 0; i < n; ++i)
        in = in || (x >= rects[i].x && x < rects[i].x + rects[i].width && y >= rects[i].y &&
                    y < rects[i].y + rects[i].height);
      std::printf("%d", in ? 1 : 0);
    }
    std::printf("\n");
    std::free(r);
    return 0;
  }
  if (mode == "wait-wm") {
    const xcb_atom_t check = Atom(c, "_NET_SUPPORTING_WM_CHECK");
    return WaitFor(std::atoi(argv[2]), [&] {
      xcb_get_property_reply_t* r = xcb_get_property_reply(
          c, xcb_get_property(c, 0, screen->root, check, XCB_ATOM_WINDOW, 0, 1), nullptr);
      const bool found = r && xcb_get_property_value_length(r) >= 4;
      std::free(r);
      return found;
    });
  }
  if (mode == "wait-compositor") {
    const xcb_atom_t selection = Atom(c, ("_NET_WM_CM_S" + std::to_string(screenNumber)).c_str());
    return WaitFor(std::atoi(argv[2]), [&] {
      xcb_get_selection_owner_reply_t* r =
          xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
      const bool owned = r && r->owner != XCB_WINDOW_NONE;
      std::free(r);
      return owned;
    });
  }
  std::fprintf(stderr, "unknown mode %s\n", argv[1]);
  return 2;
}
