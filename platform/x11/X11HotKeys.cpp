#include "platform/x11/X11HotKeys.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename T>
std::unique_ptr<T, decltype(&std::free)> Own(T* reply) {
  return {reply, &std::free};
}

constexpr std::uint32_t NoSymbol = 0;
constexpr std::uint32_t NumLockSym = 0xff7f;

// The keysym of a key in the toolkit's numbering (Qt::Key values).
std::uint32_t KeySym(const THotKey& key) {
  const std::uint32_t k = key.Key;
  if (key.Keypad) {
    if (k >= '0' && k <= '9') return 0xffb0 + (k - '0');
    switch (k) {
      case '*': return 0xffaa;
      case '+': return 0xffab;
      case ',': return 0xffac;
      case '-': return 0xffad;
      case '.': return 0xffae;
      case '/': return 0xffaf;
      case 0x01000005: return 0xff8d;  // Enter
      default: break;
    }
  }
  // Latin-1 keys carry their character; X names letters by the lower case.
  if ((k >= 0x20 && k <= 0x7e) || (k >= 0xa0 && k <= 0xff)) {
    if ((k >= 'A' && k <= 'Z') || (k >= 0xc0 && k <= 0xde && k != 0xd7)) return k + 0x20;
    return k;
  }
  if (k >= 0x01000030 && k <= 0x01000052) return 0xffbe + (k - 0x01000030);  // F1..F35
  struct TPair {
    std::uint32_t Key, Sym;
  };
  static constexpr TPair Named[] = {
      {0x01000000, 0xff1b}, {0x01000001, 0xff09}, {0x01000003, 0xff08}, {0x01000004, 0xff0d},
      {0x01000005, 0xff8d}, {0x01000006, 0xff63}, {0x01000007, 0xffff}, {0x01000008, 0xff13},
      {0x01000009, 0xff61}, {0x0100000a, 0xff15}, {0x0100000b, 0xff0b}, {0x01000010, 0xff50},
      {0x01000011, 0xff57}, {0x01000012, 0xff51}, {0x01000013, 0xff52}, {0x01000014, 0xff53},
      {0x01000015, 0xff54}, {0x01000016, 0xff55}, {0x01000017, 0xff56}, {0x01000055, 0xff67},
  };
  for (const TPair& p : Named)
    if (p.Key == k) return p.Sym;
  return NoSymbol;
}

class TGrabs final : public TX11HotKeys {
 public:
  explicit TGrabs(xcb_connection_t* conn) : FConn(conn) {
    const xcb_setup_t* setup = xcb_get_setup(FConn);
    FRoot = xcb_setup_roots_iterator(setup).data->root;
    LoadKeyboard();
  }
  ~TGrabs() override {
    ReleaseAll();
    xcb_disconnect(FConn);
  }

  bool Grab(int id, const THotKey& key) override {
    const std::uint32_t sym = KeySym(key);
    const xcb_keycode_t code = sym == NoSymbol ? 0 : Keycode(sym);
    if (code == 0) return false;
    std::uint16_t mods = 0;
    if (key.Modifiers & hmShift) mods |= XCB_MOD_MASK_SHIFT;
    if (key.Modifiers & hmControl) mods |= XCB_MOD_MASK_CONTROL;
    if (key.Modifiers & hmAlt) mods |= XCB_MOD_MASK_1;
    if (key.Modifiers & hmMeta) mods |= XCB_MOD_MASK_4;
    // The grab must hold whether Caps Lock or Num Lock is on.
    const std::uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, FNumLock,
                                   static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | FNumLock)};
    std::vector<xcb_void_cookie_t> cookies;
    for (std::size_t i = 0; i < (FNumLock ? 4u : 2u); ++i)
      cookies.push_back(xcb_grab_key_checked(FConn, 1, FRoot, mods | locks[i], code,
                                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    bool taken = true;
    for (auto cookie : cookies)
      if (auto error = Own(xcb_request_check(FConn, cookie))) taken = false;  // BadAccess: held elsewhere
    if (!taken) {
      for (std::size_t i = 0; i < cookies.size(); ++i) xcb_ungrab_key(FConn, code, FRoot, mods | locks[i]);
      xcb_flush(FConn);
      return false;
    }
    FGrabs.push_back({id, code, mods, false});
    return true;
  }

  void ReleaseAll() override {
    for (const TGrabbed& g : FGrabs) {
      const std::uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, FNumLock,
                                     static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | FNumLock)};
      for (std::uint16_t lock : locks) xcb_ungrab_key(FConn, g.Code, FRoot, g.Mods | lock);
    }
    FGrabs.clear();
    xcb_flush(FConn);
  }

  int Descriptor() const override { return xcb_get_file_descriptor(FConn); }

  std::vector<int> TakePresses() override {
    std::vector<int> pressed;
    while (xcb_generic_event_t* event = xcb_poll_for_event(FConn)) {
      const auto type = event->response_type & 0x7f;
      if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
        const auto* e = reinterpret_cast<xcb_key_press_event_t*>(event);
        // Only the eight modifiers count: the keyboard group (another layout) does not.
        const auto mods = static_cast<std::uint16_t>(e->state & 0xff & ~(XCB_MOD_MASK_LOCK | FNumLock));
        for (TGrabbed& g : FGrabs) {
          if (g.Code != e->detail) continue;
          if (type == XCB_KEY_PRESS) {
            // Auto-repeat sends the press again while the key is held.
            if (!g.Down && mods == g.Mods) pressed.push_back(g.Id);
            g.Down = true;
          } else if (!IsDown(g.Code)) {
            // A repeat's release comes with its next press; the key is still down.
            g.Down = false;
          }
        }
      } else if (type == XCB_MAPPING_NOTIFY) {
        LoadKeyboard();
      }
      std::free(event);
    }
    return pressed;
  }

 private:
  struct TGrabbed {
    int Id;
    xcb_keycode_t Code;
    std::uint16_t Mods;
    bool Down;
  };

  void LoadKeyboard() {
    const xcb_setup_t* setup = xcb_get_setup(FConn);
    FFirst = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto map = Own(xcb_get_keyboard_mapping_reply(
        FConn, xcb_get_keyboard_mapping(FConn, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr));
    FSyms.clear();
    FPerCode = 0;
    if (map) {
      const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
      FSyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map.get()));
      FPerCode = map->keysyms_per_keycode;
    }
    FNumLock = 0;
    const xcb_keycode_t numLock = Keycode(NumLockSym);
    auto mods = Own(xcb_get_modifier_mapping_reply(FConn, xcb_get_modifier_mapping(FConn), nullptr));
    if (!mods || numLock == 0) return;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods.get());
    for (int m = 0; m < 8; ++m)
      for (int k = 0; k < mods->keycodes_per_modifier; ++k)
        if (codes[m * mods->keycodes_per_modifier + k] == numLock) FNumLock = static_cast<std::uint16_t>(1u << m);
  }

  // The first keycode that carries the keysym unshifted, else shifted.
  xcb_keycode_t Keycode(std::uint32_t sym) const {
    if (FPerCode == 0) return 0;
    for (int column = 0; column < std::min(FPerCode, 2); ++column)
      for (std::size_t i = 0; i * FPerCode + column < FSyms.size(); ++i)
        if (FSyms[i * FPerCode + column] == sym) return static_cast<xcb_keycode_t>(FFirst + i);
    return 0;
  }

  bool IsDown(xcb_keycode_t code) {
    auto keymap = Own(xcb_query_keymap_reply(FConn, xcb_query_keymap(FConn), nullptr));
    return keymap && (keymap->keys[code / 8] & (1u << (code % 8)));
  }

  xcb_connection_t* FConn;
  xcb_window_t FRoot = XCB_WINDOW_NONE;
  int FFirst = 0;
  int FPerCode = 0;
  std::vector<xcb_keysym_t> FSyms;
  std::uint16_t FNumLock = 0;
  std::vector<TGrabbed> FGrabs;
};

}  // namespace

std::unique_ptr<TX11HotKeys> CreateX11HotKeys() {
  xcb_connection_t* conn = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(conn) || !xcb_get_setup(conn)) {
    xcb_disconnect(conn);
    return nullptr;
  }
  return std::make_unique<TGrabs>(conn);
}
