#include "platform/wayland/WaylandClient.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

// The seat's events go to the surface they name at enter: the pointer's
// until it leaves, the keyboard's until it leaves.

const wl_seat_listener TWaylandClient::SeatListener = {
    .capabilities =
        [](void* data, wl_seat* seat, std::uint32_t caps) {
          auto* self = static_cast<TWaylandClient*>(data);
          const bool hasPointer = (caps & WL_SEAT_CAPABILITY_POINTER) != 0;
          if (hasPointer && !self->FPointer) {
            self->FPointer = wl_seat_get_pointer(seat);
            wl_pointer_add_listener(self->FPointer, &PointerListener, self);
          } else if (!hasPointer && self->FPointer) {
            wl_pointer_release(self->FPointer);
            self->FPointer = nullptr;
          }
          const bool hasKeyboard = (caps & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
          if (hasKeyboard && !self->FKeyboard) {
            self->FKeyboard = wl_seat_get_keyboard(seat);
            wl_keyboard_add_listener(self->FKeyboard, &KeyboardListener, self);
          } else if (!hasKeyboard && self->FKeyboard) {
            wl_keyboard_release(self->FKeyboard);
            self->FKeyboard = nullptr;
          }
          self->FTouchTablet->SeatCapabilities(seat, caps);
        },
    .name = [](void*, wl_seat*, const char*) {},
};

const wl_pointer_listener TWaylandClient::PointerListener = {
    .enter =
        [](void* data, wl_pointer* pointer, std::uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
          auto* self = static_cast<TWaylandClient*>(data);
          TClientSurface* to = self->SurfaceOf(surface);
          if (!to) return;
          self->FPointerFocus = to;
          to->ShowCursorOn(*self->FCursor);
          self->FCursor->Entered(pointer, serial);
          to->Deliver({TWaylandPointerEvent::Enter, wl_fixed_to_double(x), wl_fixed_to_double(y)});
        },
    // Also for a surface already destroyed (null): it left the one entered.
    .leave =
        [](void* data, wl_pointer*, std::uint32_t, wl_surface*) {
          auto* self = static_cast<TWaylandClient*>(data);
          TClientSurface* from = std::exchange(self->FPointerFocus, nullptr);
          if (!from) return;
          self->FCursor->Entered(nullptr, 0);
          from->Left();
        },
    .motion =
        [](void* data, wl_pointer*, std::uint32_t time, wl_fixed_t x, wl_fixed_t y) {
          TWaylandPointerEvent e{TWaylandPointerEvent::Motion, wl_fixed_to_double(x), wl_fixed_to_double(y)};
          e.Time = time;
          if (TClientSurface* to = static_cast<TWaylandClient*>(data)->FPointerFocus) to->Deliver(e);
        },
    .button =
        [](void* data, wl_pointer*, std::uint32_t, std::uint32_t time, std::uint32_t button,
           std::uint32_t state) {
          TWaylandPointerEvent e{TWaylandPointerEvent::Press};
          e.Button = button;
          e.Pressed = state == WL_POINTER_BUTTON_STATE_PRESSED;
          e.Time = time;
          if (TClientSurface* to = static_cast<TWaylandClient*>(data)->FPointerFocus) to->Deliver(e);
        },
    .axis = [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, std::uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},
    .axis_value120 = nullptr,  // version 8, not bound
};

const wl_keyboard_listener TWaylandClient::KeyboardListener = {
    .keymap =
        [](void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
          auto* self = static_cast<TWaylandClient*>(data);
          if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1)
            self->FXkb.SetKeymap(fd, size);
          else
            close(fd);
        },
    .enter =
        [](void* data, wl_keyboard*, std::uint32_t, wl_surface* surface, wl_array*) {
          auto* self = static_cast<TWaylandClient*>(data);
          self->FKeyboardFocus = self->SurfaceOf(surface);
        },
    .leave =
        [](void* data, wl_keyboard*, std::uint32_t, wl_surface*) {
          TClientSurface* from = std::exchange(static_cast<TWaylandClient*>(data)->FKeyboardFocus, nullptr);
          if (from && from->Listener()) from->Listener()->KeyboardLeft();
        },
    .key =
        [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t state) {
          auto* self = static_cast<TWaylandClient*>(data);
          TWaylandKeyEvent e = self->FXkb.Event(key, state == WL_KEYBOARD_KEY_STATE_PRESSED);
          if (e.Pressed && self->FRepeatRate > 0 && self->FXkb.Repeats(key)) {
            e.RepeatDelay = std::max(1, self->FRepeatDelay);
            e.RepeatInterval = std::max(1, 1000 / self->FRepeatRate);
          }
          if (self->FKeyboardFocus && self->FKeyboardFocus->Listener()) self->FKeyboardFocus->Listener()->Key(e);
        },
    .modifiers =
        [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
           std::uint32_t locked, std::uint32_t group) {
          static_cast<TWaylandClient*>(data)->FXkb.SetModifiers(depressed, latched, locked, group);
        },
    .repeat_info =
        [](void* data, wl_keyboard*, std::int32_t rate, std::int32_t delay) {
          auto* self = static_cast<TWaylandClient*>(data);
          self->FRepeatRate = rate;  // 0: keys do not repeat
          self->FRepeatDelay = delay;
        },
};
