#include "platform/wayland/PointerEmulation.h"

#include <algorithm>
#include <tuple>

namespace {

constexpr std::uint32_t LeftButton = 0x110;
constexpr std::uint32_t RightButton = 0x111;
constexpr std::uint32_t MiddleButton = 0x112;
constexpr std::uint32_t PenButton = 0x14b;
constexpr std::uint32_t PenButton2 = 0x14c;

}  // namespace

void TPointerEmulation::TouchDown(std::int32_t id, double x, double y) {
  if (FTouchId) return;
  FTouchId = id;
  FTouch.Enter = true;
  FTouch.At = {x, y};
  FTouch.Buttons.emplace_back(LeftButton, true);
}

void TPointerEmulation::TouchMotion(std::int32_t id, double x, double y) {
  if (FTouchId == id) FTouch.At = {x, y};
}

void TPointerEmulation::TouchUp(std::int32_t id) {
  if (FTouchId != id) return;
  FTouchId.reset();
  FTouch.Buttons.emplace_back(LeftButton, false);
  FTouch.Leave = true;
}

void TPointerEmulation::TouchFrame(std::uint32_t time) { Flush(FTouch, time); }

void TPointerEmulation::TouchCancel() {
  // What came before the cancel in this frame still happened.
  Flush(FTouch, 0);
  const bool down = FTouchId.has_value();
  FTouchId.reset();
  Abandon(FTouch, FTouchHeld, down);
}

void TPointerEmulation::ToolProximityIn() {
  FToolNear = true;
  FTool.Enter = true;
}

void TPointerEmulation::ToolProximityOut() {
  if (!FToolNear) return;
  FToolNear = false;
  FTool.Leave = true;
}

void TPointerEmulation::ToolMotion(double x, double y) {
  if (FToolNear) FTool.At = {x, y};
}

void TPointerEmulation::ToolDown() {
  if (FToolNear) FTool.Buttons.emplace_back(LeftButton, true);
}

void TPointerEmulation::ToolUp() {
  if (FToolNear) FTool.Buttons.emplace_back(LeftButton, false);
}

void TPointerEmulation::ToolButton(std::uint32_t code, bool pressed) {
  const std::uint32_t button = code == PenButton ? RightButton : code == PenButton2 ? MiddleButton : 0;
  if (FToolNear && button) FTool.Buttons.emplace_back(button, pressed);
}

void TPointerEmulation::ToolFrame(std::uint32_t time) { Flush(FTool, time); }

void TPointerEmulation::ToolRemoved() {
  Flush(FTool, 0);
  Abandon(FTool, FToolHeld, FToolNear);
  FToolNear = false;
}

void TPointerEmulation::Flush(TFrame& frame, std::uint32_t time) {
  std::vector<std::uint32_t>& held = &frame == &FTouch ? FTouchHeld : FToolHeld;
  if (frame.At) std::tie(FX, FY) = *frame.At;
  TWaylandPointerEvent e;
  e.X = FX;
  e.Y = FY;
  e.Time = time;
  if (frame.Enter) {
    e.Kind = TWaylandPointerEvent::Enter;
    Send(e);
  } else if (frame.At) {
    e.Kind = TWaylandPointerEvent::Motion;
    Send(e);
  }
  e.Kind = TWaylandPointerEvent::Press;
  for (const auto& [button, pressed] : frame.Buttons) {
    // A press twice or a release of what is not held (a lost event) would
    // leave the program's idea of the buttons wrong.
    const auto at = std::find(held.begin(), held.end(), button);
    if (pressed == (at != held.end())) continue;
    if (pressed)
      held.push_back(button);
    else
      held.erase(at);
    e.Button = button;
    e.Pressed = pressed;
    Send(e);
  }
  if (frame.Leave) {
    // Nothing stays held by what is gone (a pen's buttons, a lost lift).
    e.Pressed = false;
    for (std::uint32_t button : held) {
      e.Button = button;
      Send(e);
    }
    held.clear();
    e.Kind = TWaylandPointerEvent::Leave;
    Send(e);
  }
  frame = {};
}

void TPointerEmulation::Abandon(TFrame& frame, std::vector<std::uint32_t>& held, bool inside) {
  frame.Leave = inside || !held.empty();
  Flush(frame, 0);
}
