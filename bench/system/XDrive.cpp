// Drives a program on an X display through XTest as a user's mouse would and
// reports what it cost, for the whole-system benchmark (SystemBench.sh):
//   backdrop RRGGBB
//       a window of one colour over the whole screen, below whatever maps
//       later; runs until killed;
//   stroke POINTS STROKES RATE PROGRAM_PID XSERVER_PID COMPOSITOR_PID
//   hover EVENTS PROGRAM_PID XSERVER_PID COMPOSITOR_PID
//   latency RATE POINTS STROKES PROGRAM_PID XSERVER_PID COMPOSITOR_PID
//       switches drawing on with the corner button, then injects pointer
//       events at RATE a second (hover: 1000): STROKES presses each with POINTS points
//       (press, moves, release), or EVENTS moves with no button held. Prints
//       one line "events=N program_us=.. xserver_us=.. compositor_us=..
//       drawn=D points=P rate=R", CPU time per event of each process while
//       the events were handled; for strokes, D of the P points show on the
//       screen afterwards (a point counts where its pixel changed).
//       latency: STROKES straight strokes of POINTS points 6 pixels apart at
//       RATE events a second; the composed screen (the root window) is
//       polled for the pixel of every 25th point, and the time from sending
//       that point to its pixel changing is taken. Prints "probes=N
//       median_ms=.. p90_ms=.. missed=M rate=R" (missed: not shown within
//       a second).
//   With KORIVAN_XDRIVE_PLAIN set, drawing is taken as on already (another
//   program than ours), and the screen is cleared between strokes by the
//   command in KORIVAN_XDRIVE_CLEAR rather than by our keypad key.
//
// A stroke is a zigzag whose every point is a corner 30 pixels from the line
// through its neighbours: a point the program never saw leaves its corner
// unpainted, so the share of points drawn is read off the screen.

#include <xcb/xcb.h>
#include <xcb/xproto.h>
#include <xcb/xtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "DriveCommon.h"

namespace {

using namespace drive;

xcb_connection_t* C = nullptr;
xcb_screen_t* Screen = nullptr;

void Fake(std::uint8_t type, std::uint8_t detail, int x = 0, int y = 0) {
  xcb_test_fake_input(C, type, detail, XCB_CURRENT_TIME, Screen->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), 0);
  xcb_flush(C);
}

void MoveTo(TPoint p) { Fake(XCB_MOTION_NOTIFY, 0, p.x, p.y); }

void Settle(int pid) {
  WaitQuiet(pid);
  // A round trip, so that what was sent has reached the server.
  free(xcb_get_input_focus_reply(C, xcb_get_input_focus(C), nullptr));
}

TGrab Grab(int x, int y, int w, int h) {
  TGrab g{x, y, w, h, {}};
  xcb_get_image_reply_t* r = xcb_get_image_reply(
      C,
      xcb_get_image(C, XCB_IMAGE_FORMAT_Z_PIXMAP, Screen->root, static_cast<std::int16_t>(x),
                    static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), ~0u),
      nullptr);
  if (!r) return g;
  const std::uint8_t* data = xcb_get_image_data(r);
  g.bits.assign(data, data + xcb_get_image_data_length(r));
  free(r);
  if (g.bits.size() < std::size_t(w) * std::size_t(h) * 4) g.bits.assign(std::size_t(w) * std::size_t(h) * 4, 0);
  return g;
}

void Press(std::uint8_t type, std::uint8_t detail) {
  Fake(type, detail);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// A keypad key by its keysym, to the window under the pointer.
void KeypadKey(std::uint32_t keysym) {
  const xcb_setup_t* setup = xcb_get_setup(C);
  const int first = setup->min_keycode, count = setup->max_keycode - setup->min_keycode + 1;
  xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
      C, xcb_get_keyboard_mapping(C, static_cast<xcb_keycode_t>(first), static_cast<std::uint8_t>(count)), nullptr);
  if (!map) return;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
  int code = 0;
  for (int i = 0; i < count * map->keysyms_per_keycode && !code; ++i) {
    if (syms[i] == keysym) code = first + i / map->keysyms_per_keycode;
  }
  free(map);
  if (!code) return;
  xcb_query_pointer_reply_t* under = xcb_query_pointer_reply(C, xcb_query_pointer(C, Screen->root), nullptr);
  if (under && under->child) xcb_set_input_focus(C, XCB_INPUT_FOCUS_POINTER_ROOT, under->child, XCB_CURRENT_TIME);
  free(under);
  Press(XCB_KEY_PRESS, static_cast<std::uint8_t>(code));
  Press(XCB_KEY_RELEASE, static_cast<std::uint8_t>(code));
}

bool Plain() { return std::getenv("KORIVAN_XDRIVE_PLAIN") != nullptr; }

void ClearScreen(int pid) {
  if (!Plain()) {
    KeypadKey(0xFFAD);
  } else if (const char* cmd = std::getenv("KORIVAN_XDRIVE_CLEAR")) {
    if (std::system(cmd) != 0) std::fprintf(stderr, "clearing failed: %s\n", cmd);
  }
  Settle(pid);
}

void SwitchDrawingOn(int pid) {
  if (Plain()) {
    MoveTo({Screen->width_in_pixels / 2, Screen->height_in_pixels / 2});
    Settle(pid);
    return;
  }
  MoveTo({Screen->width_in_pixels - 45, 15});
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  Press(XCB_BUTTON_PRESS, 1);
  Press(XCB_BUTTON_RELEASE, 1);
  Settle(pid);
  MoveTo({Screen->width_in_pixels / 2, Screen->height_in_pixels / 2});
  Settle(pid);
}

int RunStrokes(int points, int strokes, int rate, const int pids[3]) {
  SwitchDrawingOn(pids[0]);
  const int rows = Rows(points, Screen->width_in_pixels);
  const int rowsPerScreen = RowsPerScreen(Screen->height_in_pixels);
  TCpu used;
  long long events = 0, drawn = 0;
  double seconds = 0;
  int row = 0;
  for (int s = 0; s < strokes; ++s) {
    if (row + rows > rowsPerScreen) {
      // The screen is full: erase all and start at the top.
      ClearScreen(pids[0]);
      row = 0;
    }
    const std::vector<TPoint> pts = StrokePoints(points, row, Screen->width_in_pixels);
    int x0 = Screen->width_in_pixels, y0 = Screen->height_in_pixels, x1 = 0, y1 = 0;
    for (const TPoint& p : pts) {
      x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
    }
    MoveTo(pts.front());
    Settle(pids[0]);
    const TGrab before = Grab(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    const TCpu start = Sample(pids);
    const auto t0 = std::chrono::steady_clock::now();
    TPacer pace(1000000000L / std::max(1, rate));
    Fake(XCB_BUTTON_PRESS, 1);
    for (std::size_t i = 1; i < pts.size(); ++i) {
      pace.Wait();
      MoveTo(pts[i]);
    }
    pace.Wait();
    Fake(XCB_BUTTON_RELEASE, 1);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Settle(pids[0]);
    used += Sample(pids) - start;
    events += static_cast<long long>(pts.size()) + 1;
    const TGrab after = Grab(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    for (const TPoint& p : pts) drawn += Differs(before.At(p.x, p.y), after.At(p.x, p.y)) ? 1 : 0;
    if (const char* dump = std::getenv("KORIVAN_XDRIVE_DUMP")) {
      // The stroke as the screen showed it, with the missed points marked.
      FILE* f = std::fopen(dump, "wb");
      if (f) {
        std::fprintf(f, "P6 %d %d 255\n", after.w, after.h);
        std::vector<std::uint8_t> rgb(std::size_t(after.w) * std::size_t(after.h) * 3);
        for (int y = 0; y < after.h; ++y)
          for (int x = 0; x < after.w; ++x) {
            const std::uint32_t v = after.At(after.x + x, after.y + y);
            std::uint8_t* o = &rgb[(std::size_t(y) * std::size_t(after.w) + std::size_t(x)) * 3];
            o[0] = std::uint8_t(v >> 16), o[1] = std::uint8_t(v >> 8), o[2] = std::uint8_t(v);
          }
        for (const TPoint& p : pts) {
          if (Differs(before.At(p.x, p.y), after.At(p.x, p.y))) continue;
          std::uint8_t* o = &rgb[(std::size_t(p.y - after.y) * std::size_t(after.w) + std::size_t(p.x - after.x)) * 3];
          o[0] = 255, o[1] = 0, o[2] = 0;
        }
        std::fwrite(rgb.data(), 1, rgb.size(), f);
        std::fclose(f);
      }
    }
    row += rows;
  }
  Report(events, used, drawn, static_cast<long long>(points) * strokes, seconds);
  return 0;
}

int RunHover(int count, const int pids[3]) {
  SwitchDrawingOn(pids[0]);
  const int cx = Screen->width_in_pixels / 2, cy = Screen->height_in_pixels / 2;
  const TCpu start = Sample(pids);
  const auto t0 = std::chrono::steady_clock::now();
  TPacer pace;
  for (int i = 0; i < count; ++i) {
    pace.Wait();
    // A slow circle: every event is a new position.
    const double a = i * 0.005;
    MoveTo({cx + int(std::lround(400 * std::cos(a))), cy + int(std::lround(300 * std::sin(a)))});
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  Settle(pids[0]);
  Report(count, Sample(pids) - start, 0, 0, seconds);
  return 0;
}

std::uint32_t PixelAt(TPoint p) { return Grab(p.x, p.y, 1, 1).At(p.x, p.y); }

int RunLatency(int rate, int points, int strokes, const int pids[3]) {
  SwitchDrawingOn(pids[0]);
  const long period = 1000000000L / std::max(1, rate);
  const int rowsPerScreen = RowsPerScreen(Screen->height_in_pixels);
  std::vector<double> took;
  long long missed = 0, events = 0;
  double seconds = 0;
  int row = 0;
  for (int s = 0; s < strokes; ++s) {
    if (row >= rowsPerScreen) {
      ClearScreen(pids[0]);
      row = 0;
    }
    const int y = kTop + row * kRowPitch;
    const std::vector<TPoint> pts = StraightPoints(points, row, Screen->width_in_pixels);
    MoveTo(pts.front());
    Settle(pids[0]);
    // Each probe's pixel as it is before the stroke.
    const TGrab before = Grab(kLeft, y, pts.back().x - kLeft + 1, 1);
    std::vector<TProbe> waiting;
    const auto poll = [&] {
      for (auto it = waiting.begin(); it != waiting.end();) {
        const double now = Now();
        if (Differs(it->before, PixelAt(it->at))) {
          took.push_back(now - it->sent);
          it = waiting.erase(it);
        } else if (now - it->sent > kGiveUp) {
          ++missed;
          it = waiting.erase(it);
        } else {
          ++it;
        }
      }
    };
    TPacer pace(period);
    const double t0 = Now();
    Fake(XCB_BUTTON_PRESS, 1);
    for (std::size_t i = 1; i < pts.size(); ++i) {
      const double due = Seconds(pace.Advance());
      // Poll while waiting for the next event's time; sleep when nothing is awaited.
      while (Now() < due) {
        if (waiting.empty()) {
          const timespec t{static_cast<time_t>(due), static_cast<long>((due - std::floor(due)) * 1e9)};
          clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
          break;
        }
        poll();
      }
      MoveTo(pts[i]);
      if (i % kProbeEvery == 0) waiting.push_back({pts[i], before.At(pts[i].x, y), Now()});
    }
    seconds += Now() - t0;
    events += static_cast<long long>(pts.size());
    while (!waiting.empty()) poll();
    Fake(XCB_BUTTON_RELEASE, 1);
    Settle(pids[0]);
    ++row;
  }
  ReportLatency(std::move(took), missed, events, seconds);
  return 0;
}

// The spotlight following a pointer swept along a row at 1000 events a
// second: CPU while it sweeps, and frames a second, read from the screen as
// how often the light's left edge on that row moves (the row is grabbed
// about 500 times a second, in a sweep of its own so the grabs cost the
// CPU figures nothing). Last, CPU with the pointer still.
int RunSpotlight(int seconds, const int pids[3]) {
  const int w = Screen->width_in_pixels, y = Screen->height_in_pixels / 2;
  const int left = 300, right = w - 500;
  int x = left, dx = 2;
  const auto sweep = [&](bool grab, long long& edges, long long& grabs) {
    TPacer pace;
    int lastEdge = -1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    long long events = 0;
    while (std::chrono::steady_clock::now() < end) {
      pace.Wait();
      x += dx;
      if (x >= right || x <= left) dx = -dx;
      MoveTo({x, y});
      ++events;
      if (!grab || events % 2) continue;
      const TGrab row = Grab(0, y, w, 1);
      ++grabs;
      int edge = -1;
      for (int px = 0; px < w && edge < 0; ++px)
        if ((row.At(px, y) & 0xFF) > 0x90) edge = px;
      if (edge >= 0 && edge != lastEdge) ++edges;
      lastEdge = edge;
    }
    return events;
  };
  long long edges = 0, grabs = 0;
  MoveTo({x, y});
  Settle(pids[0]);
  const TCpu c0 = Sample(pids);
  const auto t0 = std::chrono::steady_clock::now();
  const long long events = sweep(false, edges, grabs);
  const double moving = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const TCpu used = Sample(pids) - c0;
  edges = 0;
  const auto t1 = std::chrono::steady_clock::now();
  sweep(true, edges, grabs);
  const double sampled = std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const TCpu c2 = Sample(pids);
  const auto t2 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const double still = std::chrono::duration<double>(std::chrono::steady_clock::now() - t2).count();
  const TCpu idle = Sample(pids) - c2;
  const double tick = 100.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  std::printf("fps=%.1f grabs=%.0f program_pct=%.1f xserver_pct=%.1f compositor_pct=%.1f idle_pct=%.1f rate=%.0f\n",
              static_cast<double>(edges) / sampled, static_cast<double>(grabs) / sampled,
              tick * static_cast<double>(used.prog) / moving, tick * static_cast<double>(used.xserver) / moving,
              tick * static_cast<double>(used.comp) / moving, tick * static_cast<double>(idle.prog) / still,
              static_cast<double>(events) / moving);
  return 0;
}

int RunBackdrop(std::uint32_t colour) {
  const xcb_window_t win = xcb_generate_id(C);
  const std::uint32_t values[] = {colour, 1};
  xcb_create_window(C, XCB_COPY_FROM_PARENT, win, Screen->root, 0, 0, Screen->width_in_pixels,
                    Screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, Screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(C, win);
  xcb_flush(C);
  std::printf("mapped %u\n", win);
  std::fflush(stdout);
  while (xcb_generic_event_t* e = xcb_wait_for_event(C)) free(e);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s backdrop RRGGBB | stroke POINTS STROKES RATE PIDS... | hover EVENTS PIDS... | latency RATE "
                 "POINTS STROKES PIDS... | spotlight SECONDS PIDS...\n",
                 argv[0]);
    return 1;
  }
  C = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(C)) {
    std::fprintf(stderr, "no X display\n");
    return 2;
  }
  Screen = xcb_setup_roots_iterator(xcb_get_setup(C)).data;
  const std::string cmd = argv[1];
  if (cmd == "backdrop") return RunBackdrop(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 16)));
  int pids[3] = {0, 0, 0};
  if (cmd == "stroke" && argc >= 8) {
    for (int i = 0; i < 3; ++i) pids[i] = std::atoi(argv[5 + i]);
    return RunStrokes(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), pids);
  }
  if (cmd == "hover" && argc >= 6) {
    for (int i = 0; i < 3; ++i) pids[i] = std::atoi(argv[3 + i]);
    return RunHover(std::atoi(argv[2]), pids);
  }
  if (cmd == "latency" && argc >= 8) {
    for (int i = 0; i < 3; ++i) pids[i] = std::atoi(argv[5 + i]);
    return RunLatency(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), pids);
  }
  if (cmd == "spotlight" && argc >= 6) {
    for (int i = 0; i < 3; ++i) pids[i] = std::atoi(argv[3 + i]);
    return RunSpotlight(std::atoi(argv[2]), pids);
  }
  std::fprintf(stderr, "unknown command %s\n", cmd.c_str());
  return 1;
}
