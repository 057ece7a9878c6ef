// Touch and tablet pens as the pointer: what each sequence of the protocol's
// events makes the pointer do, as the overlay's pointer handler sees it.

#include "platform/wayland/PointerEmulation.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::string Describe(const TWaylandPointerEvent& e) {
  const auto at = [&] {
    return " " + std::to_string(static_cast<int>(e.X)) + "," + std::to_string(static_cast<int>(e.Y));
  };
  switch (e.Kind) {
    case TWaylandPointerEvent::Enter: return "enter" + at();
    case TWaylandPointerEvent::Motion: return "move" + at();
    case TWaylandPointerEvent::Leave: return "leave";
    case TWaylandPointerEvent::Press: break;
  }
  const char* button = e.Button == 0x110 ? "left" : e.Button == 0x111 ? "right" : e.Button == 0x112 ? "middle" : "?";
  return std::string(e.Pressed ? "press " : "release ") + button + at();
}

struct TCase {
  const char* Name;
  std::function<void(TPointerEmulation&)> Feed;
  std::vector<std::string> Expected;
};

TEST(PointerEmulation, TouchAndPenActAsTheLeftButton) {
  const TCase cases[] = {
      {"a finger down, moved and up is a drag; a frame of several moves goes to the last place",
       [](TPointerEmulation& p) {
         p.TouchDown(3, 10, 20);
         p.TouchFrame(1);
         p.TouchMotion(3, 15, 25);
         p.TouchFrame(2);
         p.TouchMotion(3, 30, 30);
         p.TouchMotion(3, 40, 50);
         p.TouchUp(3);
         p.TouchFrame(3);
       },
       {"enter 10,20", "press left 10,20", "move 15,25", "move 40,50", "release left 40,50", "leave"}},
      {"nothing comes out before the frame ends",
       [](TPointerEmulation& p) {
         p.TouchDown(1, 10, 20);
         p.TouchMotion(1, 30, 40);
       },
       {}},
      {"a second finger is ignored, and a finger after the first is up counts",
       [](TPointerEmulation& p) {
         p.TouchDown(1, 10, 10);
         p.TouchDown(2, 90, 90);
         p.TouchFrame(1);
         p.TouchMotion(2, 95, 95);
         p.TouchMotion(1, 20, 20);
         p.TouchFrame(2);
         p.TouchUp(2);
         p.TouchFrame(3);
         p.TouchUp(1);
         p.TouchFrame(4);
         p.TouchMotion(2, 99, 99);
         p.TouchFrame(5);
         p.TouchDown(4, 50, 60);
         p.TouchUp(4);
         p.TouchFrame(6);
       },
       {"enter 10,10", "press left 10,10", "move 20,20", "release left 20,20", "leave", "enter 50,60",
        "press left 50,60", "release left 50,60", "leave"}},
      {"a cancel ends the stroke where it was, at once, and later points of it are ignored",
       [](TPointerEmulation& p) {
         p.TouchDown(1, 10, 10);
         p.TouchFrame(1);
         p.TouchMotion(1, 20, 20);
         p.TouchCancel();
         p.TouchMotion(1, 70, 70);
         p.TouchUp(1);
         p.TouchFrame(2);
         p.TouchCancel();
       },
       {"enter 10,10", "press left 10,10", "move 20,20", "release left 20,20", "leave"}},
      {"a pen near, down, moved, up and away",
       [](TPointerEmulation& p) {
         p.ToolProximityIn();
         p.ToolMotion(5, 6);
         p.ToolFrame(1);
         p.ToolMotion(7, 8);
         p.ToolFrame(2);
         p.ToolDown();
         p.ToolFrame(3);
         p.ToolMotion(30, 40);
         p.ToolFrame(4);
         p.ToolUp();
         p.ToolFrame(5);
         p.ToolMotion(31, 41);
         p.ToolFrame(6);
         p.ToolProximityOut();
         p.ToolFrame(7);
       },
       {"enter 5,6", "move 7,8", "press left 7,8", "move 30,40", "release left 30,40", "move 31,41", "leave"}},
      {"a pen's buttons are the right and middle ones; a pen going away lets go of what it held",
       [](TPointerEmulation& p) {
         p.ToolProximityIn();
         p.ToolMotion(1, 2);
         p.ToolButton(0x14b, true);
         p.ToolFrame(1);
         p.ToolButton(0x14b, false);
         p.ToolButton(0x14c, true);
         p.ToolButton(0x150, true);
         p.ToolFrame(2);
         p.ToolDown();
         p.ToolFrame(3);
         p.ToolRemoved();
         p.ToolMotion(9, 9);
         p.ToolDown();
         p.ToolFrame(4);
       },
       {"enter 1,2", "press right 1,2", "release right 1,2", "press middle 1,2", "press left 1,2",
        "release middle 1,2", "release left 1,2", "leave"}},
      {"one frame holding the whole tap: in order, as a mouse would",
       [](TPointerEmulation& p) {
         p.ToolDown();  // before it came near: not on this surface
         p.ToolFrame(1);
         p.ToolProximityIn();
         p.ToolDown();
         p.ToolMotion(12, 13);
         p.ToolUp();
         p.ToolDown();
         p.ToolDown();
         p.ToolProximityOut();
         p.ToolFrame(2);
       },
       {"enter 12,13", "press left 12,13", "release left 12,13", "press left 12,13", "release left 12,13",
        "leave"}},
  };
  for (const TCase& c : cases) {
    TPointerEmulation emulation;
    std::vector<std::string> seen;
    emulation.Emit = [&](const TWaylandPointerEvent& e) { seen.push_back(Describe(e)); };
    c.Feed(emulation);
    EXPECT_EQ(seen, c.Expected) << c.Name;
  }
}

}  // namespace
