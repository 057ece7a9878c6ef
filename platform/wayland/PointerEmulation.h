#pragma once

// Touch and tablet pens as the pointer with its left button, so that every
// tile, corner button and stroke behaves under a finger or a pen as under the
// mouse. Free of Wayland types: the seat's glue feeds it the protocol's
// events; Emit gets what the pointer would have done. Both protocols group
// events into frames: what a frame holds comes out at its end, in the order
// a mouse would give it (arrive, move, buttons, go).

#include "platform/WaylandConnection.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TPointerEmulation {
 public:
  std::function<void(const TWaylandPointerEvent&)> Emit;

  // Touch points by the compositor's id; only the first one down is the
  // pointer, the others (a palm, a second finger) are ignored until it is up.
  void TouchDown(std::int32_t id, double x, double y);
  void TouchMotion(std::int32_t id, double x, double y);
  void TouchUp(std::int32_t id);
  void TouchFrame(std::uint32_t time);
  // The compositor took the touch points (a gesture of its own): the stroke
  // ends where it was, at once, without waiting for a frame.
  void TouchCancel();

  // One pen (tool) near the surface at a time, as the protocol has it.
  void ToolProximityIn();
  void ToolProximityOut();
  void ToolMotion(double x, double y);
  void ToolDown();
  void ToolUp();
  // A button on the pen (Linux input codes): the first is the right button,
  // the second the middle one; others are ignored.
  void ToolButton(std::uint32_t code, bool pressed);
  void ToolFrame(std::uint32_t time);
  // The pen went away (unplugged) without leaving first.
  void ToolRemoved();

 private:
  struct TFrame {
    bool Enter = false;
    std::optional<std::pair<double, double>> At;
    std::vector<std::pair<std::uint32_t, bool>> Buttons;  // in arrival order
    bool Leave = false;
  };
  void Flush(TFrame& frame, std::uint32_t time);
  void Send(TWaylandPointerEvent e) {
    if (Emit) Emit(e);
  }
  // Ends what a device holds pressed and, when it was there, leaves: now.
  void Abandon(TFrame& frame, std::vector<std::uint32_t>& held, bool inside);

  TFrame FTouch;
  std::optional<std::int32_t> FTouchId;  // the touch point that is the pointer
  std::vector<std::uint32_t> FTouchHeld;
  TFrame FTool;
  bool FToolNear = false;
  std::vector<std::uint32_t> FToolHeld;
  double FX = 0;  // the last place of either, for the buttons
  double FY = 0;
};
