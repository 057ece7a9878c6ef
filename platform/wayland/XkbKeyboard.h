#pragma once

// The compositor's keymap and the state of the modifiers, turning the key
// codes of wl_keyboard into keys of the toolkit's numbering and text.

#include "platform/WaylandConnection.h"

#include <cstdint>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

class TXkbKeyboard {
 public:
  TXkbKeyboard();
  ~TXkbKeyboard();
  TXkbKeyboard(const TXkbKeyboard&) = delete;
  TXkbKeyboard& operator=(const TXkbKeyboard&) = delete;

  // The keymap the compositor sent (xkb text in a shared file); takes fd.
  bool SetKeymap(int fd, std::uint32_t size);
  void SetModifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked, std::uint32_t group);
  // A key of wl_keyboard.key (an evdev code); Key 0 without a keymap.
  TWaylandKeyEvent Event(std::uint32_t code, bool pressed) const;
  // Whether the keymap has the key repeat when held (letters, keypad keys;
  // not modifiers).
  bool Repeats(std::uint32_t code) const;

 private:
  xkb_context* FContext = nullptr;
  xkb_keymap* FKeymap = nullptr;
  xkb_state* FState = nullptr;
};
