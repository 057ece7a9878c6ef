// Strokes read on the platform layer's own X connection, on a virtual X
// server of the test's own: a window that selects pointer events as the
// toolkit does, with a child window of the toolkit's inside it, and the
// pointer driven through XTest.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "platform/Platform.h"

namespace {

class X11StrokeInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FServer = fork();
    if (FServer == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // The number, then a line end, maybe in two writes.
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) GTEST_SKIP() << "no Xvfb to run on";
    FDisplay = ":" + number;
    setenv("DISPLAY", FDisplay.c_str(), 1);
    Toolkit = xcb_connect(FDisplay.c_str(), nullptr);
    Driver = xcb_connect(FDisplay.c_str(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(Toolkit));
    ASSERT_FALSE(xcb_connection_has_error(Driver));
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(Toolkit)).data;
    Root = screen->root;
    Overlay = Create(Root, 0, 0, 400, 300);
    Child = Create(Overlay, 300, 0, 100, 100);
    std::free(xcb_input_xi_query_version_reply(Toolkit, xcb_input_xi_query_version(Toolkit, 2, 2), nullptr));
    Opcode = xcb_get_extension_data(Toolkit, &xcb_input_id)->major_opcode;
    for (xcb_window_t w : {Overlay, Child}) {
      struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
      } select{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
               XCB_INPUT_XI_EVENT_MASK_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_BUTTON_RELEASE |
                   XCB_INPUT_XI_EVENT_MASK_MOTION};
      xcb_input_xi_select_events(Toolkit, w, 1, &select.head);
    }
    RoundTrip(Toolkit);
    System = CreateWindowSystem("xcb", Toolkit);
    ASSERT_EQ(System->Name(), "x11");
    ASSERT_GE(System->StrokeInputDescriptor(), 0);
  }

  void TearDown() override {
    System.reset();
    if (Toolkit) xcb_disconnect(Toolkit);
    if (Driver) xcb_disconnect(Driver);
    if (FServer > 0) {
      kill(FServer, SIGTERM);
      waitpid(FServer, nullptr, 0);
    }
  }

  xcb_window_t Create(xcb_window_t parent, int x, int y, int w, int h) {
    const xcb_window_t win = xcb_generate_id(Toolkit);
    xcb_create_window(Toolkit, XCB_COPY_FROM_PARENT, win, parent, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_map_window(Toolkit, win);
    return win;
  }

  static void RoundTrip(xcb_connection_t* c) {
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  }

  void Fake(std::uint8_t type, int x = 0, int y = 0) {
    xcb_test_fake_input(Driver, type, type == XCB_MOTION_NOTIFY ? 0 : 1, XCB_CURRENT_TIME, Root,
                        static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), 0);
    RoundTrip(Driver);
  }

  // Press at the first point, moves to the others, release, all sent
  // before the program reads any: nothing holds the pointer meanwhile.
  std::vector<TPointerInput> Drag(std::initializer_list<std::pair<int, int>> points, bool accept = true) {
    Fake(XCB_MOTION_NOTIFY, points.begin()->first, points.begin()->second);
    Fake(XCB_BUTTON_PRESS);
    for (auto p = points.begin() + 1; p != points.end(); ++p) Fake(XCB_MOTION_NOTIFY, p->first, p->second);
    Fake(XCB_BUTTON_RELEASE);
    return Read(accept, [] { return false; });
  }

  // What the program's own connection read until done, or a while.
  std::vector<TPointerInput> Read(bool accept, const std::function<bool()>& done) {
    std::vector<TPointerInput> all;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(accept ? 3000 : 300);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{System->StrokeInputDescriptor(), POLLIN, 0};
      poll(&p, 1, 20);
      for (const TPointerInput& in : System->TakeStrokeInput([&](TNativeWindow w) {
             Asked.push_back(w);
             return accept;
           }))
        all.push_back(in);
      if (done() || (!all.empty() && all.back().Kind == TPointerInput::Release)) break;
    }
    return all;
  }

  // The XInput events the toolkit's connection got: type and window.
  std::vector<std::pair<int, xcb_window_t>> ToolkitEvents() {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    RoundTrip(Toolkit);
    std::vector<std::pair<int, xcb_window_t>> seen;
    while (xcb_generic_event_t* e = xcb_poll_for_event(Toolkit)) {
      const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(e);
      if ((e->response_type & 0x7f) == XCB_GE_GENERIC && ge->extension == Opcode)
        seen.push_back({ge->event_type, reinterpret_cast<const xcb_input_button_press_event_t*>(e)->event});
      std::free(e);
    }
    return seen;
  }

  // Until the server has the grab: requests of two connections have no order.
  void Grab(bool on) {
    System->MotionOnlyWhileButtonHeld(Overlay, on);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ToolkitEvents();
  }

  pid_t FServer = -1;
  std::string FDisplay;
  xcb_connection_t* Toolkit = nullptr;
  xcb_connection_t* Driver = nullptr;
  xcb_window_t Root = 0, Overlay = 0, Child = 0;
  std::uint8_t Opcode = 0;
  std::unique_ptr<TWindowSystem> System;
  std::vector<TNativeWindow> Asked;
};

TEST_F(X11StrokeInputTest, PressMovesAndReleaseComeInOrderPastTheToolkit) {
  Grab(true);
  const std::vector<TPointerInput> in = Drag({{50, 60}, {51, 60}, {70, 80}, {90, 65}, {500, 400}});
  ASSERT_EQ(in.size(), 6u);
  EXPECT_EQ(in[0].Kind, TPointerInput::Press);
  EXPECT_EQ(in[0].Button, 1);
  EXPECT_EQ(in[0].Window, Overlay);
  EXPECT_EQ(std::make_pair(in[0].X, in[0].Y), std::make_pair(50.0, 60.0));
  const std::pair<double, double> moves[] = {{51, 60}, {70, 80}, {90, 65}, {500, 400}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(in[1 + i].Kind, TPointerInput::Move) << i;
    // Outside the window too, at its coordinates: the stroke leaves it there.
    EXPECT_EQ(std::make_pair(in[1 + i].X, in[1 + i].Y), moves[i]) << i;
  }
  EXPECT_EQ(in[5].Kind, TPointerInput::Release);
  EXPECT_EQ(Asked, std::vector<TNativeWindow>{Overlay}) << "only the press that starts the stroke is asked about";
  EXPECT_TRUE(ToolkitEvents().empty()) << "the toolkit saw the stroke";
}

TEST_F(X11StrokeInputTest, PressesOverTheToolkitsOwnButtonsAreItsAndRefusedStrokesAreDropped) {
  Grab(true);
  // Over the child window: not asked, the toolkit has it as if no grab were there.
  EXPECT_TRUE(Drag({{350, 50}, {360, 55}}).empty());
  EXPECT_TRUE(Asked.empty());
  auto seen = ToolkitEvents();
  EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(int(XCB_INPUT_BUTTON_PRESS), Child)), seen.end());
  EXPECT_NE(std::find(seen.begin(), seen.end(), std::make_pair(int(XCB_INPUT_BUTTON_RELEASE), Child)), seen.end());
  // Refused over the window itself: asked once, then nothing of the stroke
  // reaches anyone, and the next stroke is asked about again.
  EXPECT_TRUE(Drag({{50, 60}, {70, 80}}, false).empty());
  EXPECT_EQ(Asked, std::vector<TNativeWindow>{Overlay});
  EXPECT_TRUE(ToolkitEvents().empty());
  EXPECT_EQ(Drag({{50, 60}, {70, 80}}).size(), 3u);
  EXPECT_EQ(Asked.size(), 2u);
  // Motion for the toolkit again (the lasso's hand): everything is the toolkit's.
  Grab(false);
  EXPECT_TRUE(Drag({{50, 60}, {70, 80}}).empty());
  seen = ToolkitEvents();
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.back().first, int(XCB_INPUT_BUTTON_RELEASE));
}

}  // namespace
