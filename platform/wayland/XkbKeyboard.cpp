#include "platform/wayland/XkbKeyboard.h"

#include <xkbcommon/xkbcommon.h>

#include <sys/mman.h>
#include <utility>
#include <unistd.h>

namespace {

// Qt::Key values of the keys that carry no character.
std::uint32_t NamedKey(xkb_keysym_t sym) {
  if (sym >= XKB_KEY_F1 && sym <= XKB_KEY_F35) return 0x01000030 + (sym - XKB_KEY_F1);
  switch (sym) {
    case XKB_KEY_Escape: return 0x01000000;
    case XKB_KEY_Tab: return 0x01000001;
    case XKB_KEY_ISO_Left_Tab: return 0x01000002;
    case XKB_KEY_BackSpace: return 0x01000003;
    case XKB_KEY_Return: return 0x01000004;
    case XKB_KEY_KP_Enter: return 0x01000005;
    case XKB_KEY_Insert: return 0x01000006;
    case XKB_KEY_Delete: return 0x01000007;
    case XKB_KEY_Home: return 0x01000010;
    case XKB_KEY_End: return 0x01000011;
    case XKB_KEY_Left: return 0x01000012;
    case XKB_KEY_Up: return 0x01000013;
    case XKB_KEY_Right: return 0x01000014;
    case XKB_KEY_Down: return 0x01000015;
    case XKB_KEY_Page_Up: return 0x01000016;
    case XKB_KEY_Page_Down: return 0x01000017;
    case XKB_KEY_Shift_L: case XKB_KEY_Shift_R: return 0x01000020;
    case XKB_KEY_Control_L: case XKB_KEY_Control_R: return 0x01000021;
    case XKB_KEY_Super_L: case XKB_KEY_Super_R: return 0x01000022;
    case XKB_KEY_Alt_L: case XKB_KEY_Alt_R: return 0x01000023;
    default: return 0;
  }
}

}  // namespace

TXkbKeyboard::TXkbKeyboard() : FContext(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

TXkbKeyboard::~TXkbKeyboard() {
  xkb_state_unref(FState);
  xkb_keymap_unref(FKeymap);
  xkb_context_unref(FContext);
}

bool TXkbKeyboard::SetKeymap(int fd, std::uint32_t size) {
  void* text = size > 0 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
  close(fd);
  if (text == MAP_FAILED || !FContext) return false;
  xkb_keymap* keymap = xkb_keymap_new_from_buffer(FContext, static_cast<const char*>(text), size - 1,
                                                  XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
  munmap(text, size);
  if (!keymap) return false;
  xkb_state_unref(FState);
  xkb_keymap_unref(FKeymap);
  FKeymap = keymap;
  FState = xkb_state_new(keymap);
  return FState != nullptr;
}

void TXkbKeyboard::SetModifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked,
                                std::uint32_t group) {
  if (FState) xkb_state_update_mask(FState, depressed, latched, locked, 0, 0, group);
}

TWaylandKeyEvent TXkbKeyboard::Event(std::uint32_t code, bool pressed) const {
  TWaylandKeyEvent e;
  e.Pressed = pressed;
  e.Code = code;
  if (!FState) return e;
  const xkb_keycode_t keycode = code + 8;  // evdev codes start 8 below X's
  const xkb_keysym_t sym = xkb_state_key_get_one_sym(FState, keycode);
  const auto active = [&](const char* name) {
    return xkb_state_mod_name_is_active(FState, name, XKB_STATE_MODS_EFFECTIVE) > 0;
  };
  const std::pair<const char*, THotKeyModifier> modifiers[] = {
      {XKB_MOD_NAME_SHIFT, hmShift}, {XKB_MOD_NAME_CTRL, hmControl}, {XKB_MOD_NAME_ALT, hmAlt}, {XKB_MOD_NAME_LOGO, hmMeta}};
  for (const auto& [name, bit] : modifiers)
    if (active(name)) e.Modifiers |= bit;
  char text[16] = {};
  if (xkb_state_key_get_utf8(FState, keycode, text, sizeof text) > 0 && static_cast<unsigned char>(text[0]) >= 0x20 &&
      text[0] != 0x7f)
    e.Text = text;
  e.Keypad = sym >= XKB_KEY_KP_Space && sym <= XKB_KEY_KP_9;
  if (const std::uint32_t named = NamedKey(sym)) {
    e.Key = named;
  } else if (const std::uint32_t c = xkb_keysym_to_utf32(sym); c >= 0x20) {
    // The toolkit names a letter key by its capital.
    e.Key = c < 0x80 && c >= 'a' && c <= 'z' ? c - 0x20 : c;
  }
  return e;
}

bool TXkbKeyboard::Repeats(std::uint32_t code) const {
  return FKeymap && xkb_keymap_key_repeats(FKeymap, code + 8) != 0;
}
