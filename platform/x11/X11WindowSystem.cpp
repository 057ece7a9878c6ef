// X11 through xcb. Window requests go over the toolkit's own connection when
// it is given, so that they follow its map and configure requests in order;
// key taps are watched on a second connection of our own, whose events the
// toolkit never sees.

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Platform.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11StrokeInput.h"

std::vector<TPlatformRect> X11Monitors(xcb_connection_t* conn, std::uint32_t root);

namespace {

template <typename T>
using TReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
TReply<T> Own(T* reply) {
  return TReply<T>(reply, &std::free);
}

xcb_atom_t InternAtom(xcb_connection_t* c, const char* name) {
  auto reply = Own(xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_window_t FirstRoot(xcb_connection_t* c) {
  const xcb_setup_t* setup = xcb_get_setup(c);
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
  return it.rem > 0 ? it.data->root : xcb_window_t{XCB_WINDOW_NONE};
}

// Keypad keysyms in the order of the virtual keys 106..111.
constexpr std::uint32_t FirstKeypadSym = 0xffaa;  // KP_Multiply
constexpr int FirstKeypadVk = vkMultiply;
constexpr int KeypadCount = vkDivide - vkMultiply + 1;

// Watches keypad taps anywhere through XInput2 raw key events, which report
// every press without taking the key from the focused window.
class TKeyWatcher {
 public:
  TKeyWatcher() {
    int screen = 0;
    FConn = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(FConn)) return;
    // Without XInput2 the key state at the moment of the poll still works.
    FOk = MapKeycodes();
    FHasRawKeys = FOk && SelectRawKeys();
    // A round trip: the selection holds before any window of the program
    // is mapped, so no tap the user makes on seeing it is missed.
    std::free(xcb_get_input_focus_reply(FConn, xcb_get_input_focus(FConn), nullptr));
  }
  ~TKeyWatcher() {
    if (FConn) xcb_disconnect(FConn);
  }

  bool KeyPressed(int vk) {
    const int index = vk - FirstKeypadVk;
    if (!FOk || index < 0 || index >= KeypadCount) return false;
    if (FHasRawKeys) Drain();
    bool pressed = FTapped[index];
    FTapped[index] = false;
    if (!pressed) pressed = IsDownNow(index);
    return pressed;
  }

 private:
  bool MapKeycodes() {
    const xcb_setup_t* setup = xcb_get_setup(FConn);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto map = Own(xcb_get_keyboard_mapping_reply(
        FConn, xcb_get_keyboard_mapping(FConn, setup->min_keycode, static_cast<std::uint8_t>(count)),
        nullptr));
    if (!map) return false;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    const int perCode = map->keysyms_per_keycode;
    const int total = xcb_get_keyboard_mapping_keysyms_length(map.get());
    for (int code = 0; code < count; ++code) {
      for (int k = 0; k < perCode && code * perCode + k < total; ++k) {
        const std::uint32_t sym = syms[code * perCode + k];
        if (sym >= FirstKeypadSym && sym < FirstKeypadSym + KeypadCount)
          FCodes[sym - FirstKeypadSym].push_back(static_cast<std::uint8_t>(first + code));
      }
    }
    return true;
  }

  bool SelectRawKeys() {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(FConn, &xcb_input_id);
    if (!ext || !ext->present) return false;
    FXiOpcode = ext->major_opcode;
    auto version = Own(xcb_input_xi_query_version_reply(
        FConn, xcb_input_xi_query_version(FConn, 2, 0), nullptr));
    if (!version || version->major_version < 2) return false;
    struct {
      xcb_input_event_mask_t head;
      std::uint32_t mask;
    } select{};
    select.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    select.head.mask_len = 1;
    select.mask = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS;
    const xcb_window_t root = FirstRoot(FConn);
    if (root == XCB_WINDOW_NONE) return false;
    xcb_input_xi_select_events(FConn, root, 1, &select.head);
    return true;
  }

  void Drain() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(FConn)) {
      if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
        auto* ge = reinterpret_cast<xcb_ge_generic_event_t*>(event);
        if (ge->extension == FXiOpcode && ge->event_type == XCB_INPUT_RAW_KEY_PRESS) {
          const auto code = reinterpret_cast<xcb_input_raw_key_press_event_t*>(event)->detail;
          for (int i = 0; i < KeypadCount; ++i)
            for (std::uint8_t c : FCodes[i])
              if (c == code) FTapped[i] = true;
        }
      }
      std::free(event);
    }
  }

  bool IsDownNow(int index) {
    auto keymap = Own(xcb_query_keymap_reply(FConn, xcb_query_keymap(FConn), nullptr));
    if (!keymap) return false;
    for (std::uint8_t c : FCodes[index])
      if (keymap->keys[c / 8] & (1u << (c % 8))) return true;
    return false;
  }

  xcb_connection_t* FConn = nullptr;
  bool FOk = false;
  bool FHasRawKeys = false;
  std::uint8_t FXiOpcode = 0;
  std::array<std::vector<std::uint8_t>, KeypadCount> FCodes;
  std::array<bool, KeypadCount> FTapped{};
};

class TX11WindowSystem final : public TWindowSystem {
 public:
  // Takes ownership of conn only when owned is true.
  TX11WindowSystem(xcb_connection_t* conn, bool owned) : FConn(conn), FOwned(owned) {
    const xcb_query_extension_reply_t* shape = xcb_get_extension_data(FConn, &xcb_shape_id);
    FHasShape = shape && shape->present;
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(FConn, &xcb_input_id);
    FHasInput = input && input->present;
    FActiveAtom = InternAtom(FConn, "_NET_ACTIVE_WINDOW");
    FRoot = FirstRoot(FConn);
  }
  ~TX11WindowSystem() override {
    if (FOwned) xcb_disconnect(FConn);
  }

  std::string_view Name() const override { return "x11"; }

  void SetInputRegion(TNativeWindow window, std::span<const TPlatformRect> rects) override {
    if (!FHasShape || window == 0) return;
    std::vector<xcb_rectangle_t> xr;
    xr.reserve(rects.size());
    for (const TPlatformRect& r : rects) {
      if (r.Width <= 0 || r.Height <= 0) continue;
      xr.push_back({static_cast<std::int16_t>(r.X), static_cast<std::int16_t>(r.Y),
                    static_cast<std::uint16_t>(r.Width), static_cast<std::uint16_t>(r.Height)});
    }
    xcb_shape_rectangles(FConn, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                         Window(window), 0, 0, static_cast<std::uint32_t>(xr.size()), xr.data());
    xcb_flush(FConn);
  }

  void SetFullInput(TNativeWindow window) override {
    if (!FHasShape || window == 0) return;
    xcb_shape_mask(FConn, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, Window(window), 0, 0, XCB_NONE);
    xcb_flush(FConn);
  }

  // The toolkit selects XInput2 motion (and core motion) on its window, so
  // that every report of a merely moving pointer costs a round through it.
  // Dropping motion from both selections and adding a passive grab of any
  // button whose mask carries motion hands over moves only while a button is
  // held; the grab reports them to the window as the toolkit expects.
  void MotionOnlyWhileButtonHeld(TNativeWindow window, bool only) override {
    if (window == 0 || !FHasInput) return;
    const xcb_window_t w = Window(window);
    constexpr std::uint32_t motion = XCB_INPUT_XI_EVENT_MASK_MOTION;
    auto selected = Own(xcb_input_xi_get_selected_events_reply(
        FConn, xcb_input_xi_get_selected_events(FConn, w), nullptr));
    if (!selected) return;
    // The toolkit's selection (for all devices or only the master ones) is
    // given back as it was, but for motion.
    bool found = false;
    for (auto it = xcb_input_xi_get_selected_events_masks_iterator(selected.get()); it.rem;
         xcb_input_event_mask_next(&it)) {
      const xcb_input_event_mask_t head = *it.data;
      if (head.mask_len < 1) continue;
      std::vector<std::uint32_t> words(1 + head.mask_len);
      std::memcpy(words.data(), &head, sizeof head);
      std::memcpy(words.data() + 1, xcb_input_event_mask_mask(it.data), head.mask_len * 4u);
      words[1] = only ? words[1] & ~motion : words[1] | motion;
      xcb_input_xi_select_events(FConn, w, 1, reinterpret_cast<xcb_input_event_mask_t*>(words.data()));
      found = true;
    }
    if (!found) return;  // the toolkit takes core events: leave them alone
    auto attr = Own(xcb_get_window_attributes_reply(FConn, xcb_get_window_attributes(FConn, w),
                                                    nullptr));
    if (attr) {
      constexpr std::uint32_t core = XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_BUTTON_MOTION;
      const std::uint32_t mask = only ? attr->your_event_mask & ~core : attr->your_event_mask | core;
      xcb_change_window_attributes(FConn, w, XCB_CW_EVENT_MASK, &mask);
    }
    // Our own connection takes the presses where it can: the stroke then
    // comes to the program in batches, past the toolkit.
    if (TX11StrokeInput* strokes = Strokes()) {
      xcb_flush(FConn);
      strokes->Grab(w, only);
      return;
    }
    const std::uint32_t anyModifier = 1u << 31;
    if (only) {
      const std::uint32_t grabMask = XCB_INPUT_XI_EVENT_MASK_BUTTON_PRESS |
                                     XCB_INPUT_XI_EVENT_MASK_BUTTON_RELEASE | motion |
                                     XCB_INPUT_XI_EVENT_MASK_ENTER | XCB_INPUT_XI_EVENT_MASK_LEAVE;
      xcb_discard_reply(
          FConn, xcb_input_xi_passive_grab_device(
                     FConn, XCB_CURRENT_TIME, w, XCB_NONE, 0 /* any button */,
                     XCB_INPUT_DEVICE_ALL_MASTER, 1, 1, XCB_INPUT_GRAB_TYPE_BUTTON,
                     XCB_INPUT_GRAB_MODE_22_ASYNC, XCB_INPUT_GRAB_MODE_22_ASYNC, 0, &grabMask,
                     &anyModifier)
                     .sequence);
    } else {
      xcb_input_xi_passive_ungrab_device(FConn, w, 0, XCB_INPUT_DEVICE_ALL_MASTER, 1,
                                         XCB_INPUT_GRAB_TYPE_BUTTON, &anyModifier);
    }
    xcb_flush(FConn);
  }

  int StrokeInputDescriptor() override {
    TX11StrokeInput* strokes = Strokes();
    return strokes ? strokes->Descriptor() : -1;
  }
  std::vector<TPointerInput> TakeStrokeInput(const std::function<bool(TNativeWindow)>& accept) override {
    return FStrokes ? FStrokes->Take(accept) : std::vector<TPointerInput>{};
  }
  bool StrokeInputQueued() override { return FStrokes && FStrokes->Queued(); }
  void FinishDrawingIntoWindow() override {
    if (FStrokes) FStrokes->Sync();
  }
  bool DrawIntoWindow(TNativeWindow window, const TPlatformRect& rect, const std::uint32_t* pixels,
                      std::size_t stride) override {
    return FStrokes && window != 0 && FStrokes->Draw(Window(window), rect, pixels, stride);
  }

  TNativeWindow ForegroundWindow() override {
    if (FActiveAtom == XCB_ATOM_NONE || FRoot == XCB_WINDOW_NONE) return 0;
    auto reply = Own(xcb_get_property_reply(
        FConn, xcb_get_property(FConn, 0, FRoot, FActiveAtom, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) < 4)
      return 0;
    xcb_window_t active = 0;
    std::memcpy(&active, xcb_get_property_value(reply.get()), sizeof active);
    return active;
  }

  // Raises the window's top-level frame when some mapped window lies above
  // it. The program's own windows in keepAbove (dialogs, messages) stay above
  // it: the overlay then sits directly below the lowest of them. Their frames
  // belong to the window manager, which would not restack them on our
  // request, so it is the overlay that moves.
  void PlaceTopMost(TNativeWindow window, std::span<const TNativeWindow> keepAbove) override {
    if (window == 0) return;
    xcb_window_t root = XCB_WINDOW_NONE;
    const xcb_window_t top = TopLevel(Window(window), root);
    if (top == XCB_WINDOW_NONE) return;
    std::vector<xcb_window_t> kept;
    for (TNativeWindow w : keepAbove) {
      xcb_window_t ignored = XCB_WINDOW_NONE;
      if (const xcb_window_t k = TopLevel(Window(w), ignored); k != XCB_WINDOW_NONE && k != top)
        kept.push_back(k);
    }
    auto rootTree = Own(xcb_query_tree_reply(FConn, xcb_query_tree(FConn, root), nullptr));
    if (!rootTree) return;
    const xcb_window_t* children = xcb_query_tree_children(rootTree.get());
    const int n = xcb_query_tree_children_length(rootTree.get());
    int own = -1;
    int lowestKept = n;
    for (int i = 0; i < n; ++i) {
      if (children[i] == top) own = i;
      if (lowestKept == n && std::find(kept.begin(), kept.end(), children[i]) != kept.end()) lowestKept = i;
    }
    if (own < 0) return;
    // Children come bottom to top; ask about those between ours and the
    // kept windows (or the top) in one go.
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    for (int i = own + 1; i < lowestKept; ++i)
      cookies.push_back(xcb_get_window_attributes(FConn, children[i]));
    bool covered = own > lowestKept;
    for (auto cookie : cookies) {
      auto attr = Own(xcb_get_window_attributes_reply(FConn, cookie, nullptr));
      if (attr && attr->map_state == XCB_MAP_STATE_VIEWABLE) covered = true;
    }
    if (!covered) return;
    if (lowestKept == n) {
      const std::uint32_t above = XCB_STACK_MODE_ABOVE;
      xcb_configure_window(FConn, top, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    } else {
      const std::uint32_t below[] = {children[lowestKept], XCB_STACK_MODE_BELOW};
      xcb_configure_window(FConn, top, XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, below);
    }
    xcb_flush(FConn);
  }

  void PlaceAboveOverlay(TNativeWindow window, TNativeWindow overlay) override {
    if (window == 0) return;
    if (overlay != 0) {
      const TNativeWindow kept[] = {window};
      PlaceTopMost(overlay, kept);
    }
    // The window manager is asked first, so that it knows which window is
    // active; the direct focus covers a manager that refuses. Asked once:
    // the window is placed again over its first ticks on screen.
    if (ForegroundWindow() != window) {
      RaiseWindow(window);
      TakeFocus(window);
    }
  }

  void TakeFocus(TNativeWindow window) override {
    if (window == 0) return;
    xcb_set_input_focus(FConn, XCB_INPUT_FOCUS_PARENT, Window(window), XCB_CURRENT_TIME);
    xcb_flush(FConn);
  }

  void RaiseWindow(TNativeWindow window) override {
    if (window == 0 || FActiveAtom == XCB_ATOM_NONE || FRoot == XCB_WINDOW_NONE) return;
    xcb_client_message_event_t msg{};
    msg.response_type = XCB_CLIENT_MESSAGE;
    msg.format = 32;
    msg.window = Window(window);
    msg.type = FActiveAtom;
    msg.data.data32[0] = 2;  // the request comes from a pager-like tool: honour it
    msg.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(FConn, 0, FRoot,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&msg));
    xcb_flush(FConn);
  }

  bool KeyPressed(int virtualKey) override {
    if (!FKeys) FKeys = std::make_unique<TKeyWatcher>();
    return FKeys->KeyPressed(virtualKey);
  }

  bool GrabHotKey(int id, const THotKey& key) override {
    if (!FHotKeys) FHotKeys = CreateX11HotKeys();
    return FHotKeys && FHotKeys->Grab(id, key);
  }
  void ReleaseHotKeys() override {
    if (FHotKeys) FHotKeys->ReleaseAll();
  }
  int HotKeyDescriptor() override {
    if (!FHotKeys) FHotKeys = CreateX11HotKeys();
    return FHotKeys ? FHotKeys->Descriptor() : -1;
  }
  std::vector<int> TakeHotKeyPresses() override {
    return FHotKeys ? FHotKeys->TakePresses() : std::vector<int>{};
  }

  bool PointerPosition(int& x, int& y) override {
    if (FRoot == XCB_WINDOW_NONE) return false;
    auto reply = Own(xcb_query_pointer_reply(FConn, xcb_query_pointer(FConn, FRoot), nullptr));
    if (!reply || !reply->same_screen) return false;
    x = reply->root_x;
    y = reply->root_y;
    return true;
  }

  // The root window's image is what the screen shows: with a compositor
  // running that is its composed output, drawn into the overlay window that
  // lies among the root's children.
  bool CaptureScreen(const TPlatformRect& rect, std::span<std::uint32_t> pixels) override {
    if (FRoot == XCB_WINDOW_NONE || rect.Width <= 0 || rect.Height <= 0 ||
        pixels.size() != std::size_t(rect.Width) * std::size_t(rect.Height))
      return false;
    const xcb_setup_t* setup = xcb_get_setup(FConn);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    // The setup holds the size the screen had when the connection was made;
    // RandR resizes the root since, so its size is asked for now.
    auto root = Own(xcb_get_geometry_reply(FConn, xcb_get_geometry(FConn, FRoot), nullptr));
    if (!root || rect.X < 0 || rect.Y < 0 || rect.X + rect.Width > root->width ||
        rect.Y + rect.Height > root->height)
      return false;
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    if (!RootVisualMasks(screen, redMask, greenMask, blueMask)) return false;
    if (!HasPixmapFormat(setup, screen->root_depth, 32)) return false;
    // A reply is limited in size; bands of rows keep each one well inside it.
    const std::size_t rowBytes = std::size_t(rect.Width) * 4;
    const int bandRows = std::max(1, int((std::size_t(1) << 24) / rowBytes));
    std::vector<TReply<xcb_get_image_reply_t>> bands;
    std::vector<xcb_get_image_cookie_t> cookies;
    for (int y = 0; y < rect.Height; y += bandRows) {
      const int rows = std::min(bandRows, rect.Height - y);
      cookies.push_back(xcb_get_image(FConn, XCB_IMAGE_FORMAT_Z_PIXMAP, FRoot,
                                      static_cast<std::int16_t>(rect.X),
                                      static_cast<std::int16_t>(rect.Y + y),
                                      static_cast<std::uint16_t>(rect.Width),
                                      static_cast<std::uint16_t>(rows), ~0u));
    }
    for (const auto& cookie : cookies) {
      bands.push_back(Own(xcb_get_image_reply(FConn, cookie, nullptr)));
      if (!bands.back()) {
        // The remaining replies still have to be collected.
        for (std::size_t i = bands.size(); i < cookies.size(); ++i)
          std::free(xcb_get_image_reply(FConn, cookies[i], nullptr));
        return false;
      }
    }
    int y = 0;
    for (const auto& band : bands) {
      const int rows = std::min(bandRows, rect.Height - y);
      if (std::size_t(xcb_get_image_data_length(band.get())) < rowBytes * std::size_t(rows))
        return false;
      y += rows;
    }
    const bool swap = setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST;
    const int redShift = Shift(redMask), greenShift = Shift(greenMask), blueShift = Shift(blueMask);
    std::uint32_t* out = pixels.data();
    y = 0;
    for (const auto& band : bands) {
      const int rows = std::min(bandRows, rect.Height - y);
      const std::uint8_t* data = xcb_get_image_data(band.get());
      for (std::size_t i = 0; i < std::size_t(rows) * std::size_t(rect.Width); ++i) {
        std::uint32_t v;
        std::memcpy(&v, data + i * 4, 4);
        if (swap) v = __builtin_bswap32(v);
        *out++ = 0xFF000000u | (((v & redMask) >> redShift) & 0xFF) << 16 |
                 (((v & greenMask) >> greenShift) & 0xFF) << 8 | (((v & blueMask) >> blueShift) & 0xFF);
      }
      y += rows;
    }
    return true;
  }

  std::vector<TPlatformRect> Monitors() override { return X11Monitors(FConn, FRoot); }

 private:
  static xcb_window_t Window(TNativeWindow w) { return static_cast<xcb_window_t>(w); }

  TX11StrokeInput* Strokes() {
    if (!FStrokesTried && FHasInput) FStrokes = CreateX11StrokeInput();
    FStrokesTried = true;
    return FStrokes.get();
  }

  // The ancestor that is a child of the root: the frame, if a window manager added one.
  xcb_window_t TopLevel(xcb_window_t w, xcb_window_t& root) {
    for (int depth = 0; depth < 16; ++depth) {
      auto tree = Own(xcb_query_tree_reply(FConn, xcb_query_tree(FConn, w), nullptr));
      if (!tree) return XCB_WINDOW_NONE;
      root = tree->root;
      if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE) return w;
      w = tree->parent;
    }
    return XCB_WINDOW_NONE;
  }

  static int Shift(std::uint32_t mask) { return mask ? __builtin_ctz(mask) : 0; }

  // Eight bits for each colour of a true-colour root visual.
  static bool RootVisualMasks(const xcb_screen_t* screen, std::uint32_t& r, std::uint32_t& g,
                              std::uint32_t& b) {
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
      if (d.data->depth != screen->root_depth) continue;
      for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
        if (v.data->visual_id != screen->root_visual) continue;
        r = v.data->red_mask;
        g = v.data->green_mask;
        b = v.data->blue_mask;
        return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && __builtin_popcount(r) == 8 &&
               __builtin_popcount(g) == 8 && __builtin_popcount(b) == 8;
      }
    }
    return false;
  }

  static bool HasPixmapFormat(const xcb_setup_t* setup, std::uint8_t depth, std::uint8_t bpp) {
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
      if (f.data->depth == depth) return f.data->bits_per_pixel == bpp;
    return false;
  }

  xcb_connection_t* FConn;
  bool FOwned;
  bool FHasInput = false;
  bool FHasShape = false;
  xcb_atom_t FActiveAtom = XCB_ATOM_NONE;
  xcb_window_t FRoot = XCB_WINDOW_NONE;
  std::unique_ptr<TKeyWatcher> FKeys;
  std::unique_ptr<TX11HotKeys> FHotKeys;
  std::unique_ptr<TX11StrokeInput> FStrokes;
  bool FStrokesTried = false;
};

}  // namespace

std::unique_ptr<TWindowSystem> CreateX11WindowSystem(void* nativeConnection) {
  if (nativeConnection) {
    auto* conn = static_cast<xcb_connection_t*>(nativeConnection);
    if (xcb_connection_has_error(conn)) return nullptr;
    return std::make_unique<TX11WindowSystem>(conn, false);
  }
  xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(conn)) {
    xcb_disconnect(conn);
    return nullptr;
  }
  return std::make_unique<TX11WindowSystem>(conn, true);
}
